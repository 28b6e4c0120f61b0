#include "PlatformKit/Gpu/HeadlessDevice.h"

#include <future>

#include "PlatformKit/Foundation/JobGuard.h"
#include "PlatformKit/Gpu/EglPlatform.h"

namespace pk::gpu {

HeadlessDevice::HeadlessDevice() : Device(std::make_shared<JobQueue>()) {
    std::promise<std::string> ready;
    auto started = ready.get_future();
    // The thread keeps its own reference to the queue: it may outlive the device when
    // the last reference is dropped on the owner thread itself.
    thread_ = std::thread([queue = queue(), ready = std::move(ready)]() mutable {
        std::unique_ptr<EglPlatform> platform;
        const bool made = pk::runGuarded(
            "GPU device",
            [&] {
                platform = EglPlatform::create();
                queue->setOwner(std::this_thread::get_id());
                ready.set_value(platform->platformName());
            },
            [&](const pk::JobFailure& f) { ready.set_exception(f.exception()); });
        if (!made) return;
        // Each job is guarded on its own; this catches what the loop or the teardown throws.
        pk::runGuarded("GPU device", [&] {
            queue->runUntilClosed();
            platform.reset();
        });
    });
    try {
        platformName_ = started.get();
        run([this] { initializeContext(); });
    } catch (...) {
        queue()->close();
        thread_.join();
        throw;
    }
}

std::shared_ptr<HeadlessDevice> HeadlessDevice::create() {
    return std::shared_ptr<HeadlessDevice>(new HeadlessDevice());
}

HeadlessDevice::~HeadlessDevice() {
    if (isOwnerThread()) {
        releaseContextObjects();
        queue()->close();
        thread_.detach();
        return;
    }
    pk::runGuarded("GPU device", [this] { run([this] { releaseContextObjects(); }); });
    queue()->close();
    thread_.join();
}

}  // namespace pk::gpu
