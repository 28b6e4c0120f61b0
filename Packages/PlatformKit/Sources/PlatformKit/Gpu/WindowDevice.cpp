#include "PlatformKit/Gpu/WindowDevice.h"

#include <epoxy/gl.h>

#include "PlatformKit/Foundation/StudioError.h"

namespace pk::gpu {

WindowDevice::WindowDevice() : Device(std::make_shared<JobQueue>()) {
    queue()->setOwner(std::this_thread::get_id());
    initializeContext();
}

std::shared_ptr<WindowDevice> WindowDevice::adoptCurrentContext() {
    return std::shared_ptr<WindowDevice>(new WindowDevice());
}

WindowDevice::~WindowDevice() {
    if (!isOwnerThread()) {
        // The context belongs to the owner; only refuse further work (waiters get an error).
        queue()->close();
        return;
    }
    queue()->drain();
    releaseContextObjects();
    queue()->close();
    queue()->drain();  // jobs queued before the close still run, so no submitter hangs
}

size_t WindowDevice::drainJobs() {
    requireOwnerThread("drainJobs");
    return queue()->drain();
}

}  // namespace pk::gpu
