#pragma once
// GPU work called the two ways the studio calls it: on the device's owner thread, inside
// Device::run, as the window's thread does, and from a worker thread, as background
// exports do. Each call has a deadline: one that does not finish in time waits on the
// device while the device waits on it, and the test binary says so and exits at once
// rather than hang ctest.
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "PlatformKit/Gpu/Device.h"

namespace pk::test {

enum class DeviceCaller { owner, worker };
inline constexpr DeviceCaller kDeviceCallers[] = {DeviceCaller::owner, DeviceCaller::worker};

inline const char* callerName(DeviceCaller caller) {
    return caller == DeviceCaller::owner ? "on the device's owner thread" : "from a worker thread";
}

// Runs fn as `caller` and rethrows what it threw.
inline void callAs(pk::gpu::Device& device, DeviceCaller caller, const std::function<void()>& fn,
                   std::chrono::seconds deadline = std::chrono::seconds(120)) {
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> finished = done->get_future();
    std::thread call([&device, caller, &fn, done] {
        try {
            if (caller == DeviceCaller::owner) {
                device.run([&] { fn(); });
            } else {
                fn();
            }
            done->set_value();
        } catch (...) {
            done->set_exception(std::current_exception());
        }
    });
    if (finished.wait_for(deadline) != std::future_status::ready) {
        std::fprintf(stderr, "FAILED: GPU work called %s did not finish within %lld s: it waits on the device while "
                             "the device waits on it.\n",
                     callerName(caller), static_cast<long long>(deadline.count()));
        std::fflush(stderr);
        std::_Exit(EXIT_FAILURE);
    }
    call.join();
    finished.get();
}

// For work that must run on this very thread (it owns a window's device): while alive,
// a watcher ends the binary if `what` has not finished within the deadline.
class DeadlineWatch {
public:
    explicit DeadlineWatch(std::string what, std::chrono::seconds deadline = std::chrono::seconds(120))
        : watcher_([this, what = std::move(what), deadline] {
              std::unique_lock lock(mutex_);
              if (!done_changed_.wait_for(lock, deadline, [&] { return done_; })) {
                  std::fprintf(stderr, "FAILED: %s did not finish within %lld s: it waits on the device while the "
                                       "device waits on it.\n",
                               what.c_str(), static_cast<long long>(deadline.count()));
                  std::fflush(stderr);
                  std::_Exit(EXIT_FAILURE);
              }
          }) {}
    ~DeadlineWatch() {
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        done_changed_.notify_all();
        watcher_.join();
    }
    DeadlineWatch(const DeadlineWatch&) = delete;
    DeadlineWatch& operator=(const DeadlineWatch&) = delete;

private:
    std::mutex mutex_;
    std::condition_variable done_changed_;
    bool done_ = false;
    std::thread watcher_;
};

}  // namespace pk::test
