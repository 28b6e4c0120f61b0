#pragma once
// GPU fences and timer queries. Both are used on the device's owner thread (inside
// Device::run); they hold GL objects of the owner's context.
#include <cstdint>
#include <memory>

#include "PlatformKit/Gpu/Resources.h"

namespace pk::gpu {

class Device;

// A fence after the commands issued so far.
class Fence {
public:
    explicit Fence(Device& device);  // inserts the fence (owner thread)
    ~Fence();
    Fence(const Fence&) = delete;
    Fence& operator=(const Fence&) = delete;
    // Waits up to timeoutNs; true when the GPU passed the fence.
    bool wait(uint64_t timeoutNs = UINT64_MAX);

private:
    std::shared_ptr<JobQueue> queue_;
    void* sync_;
};

// Measures the GPU time of the commands between begin() and end().
class TimerQuery {
public:
    explicit TimerQuery(Device& device);
    void begin();
    void end();
    // Waits for the result; nanoseconds of GPU time.
    uint64_t elapsedNanoseconds();

private:
    detail::GlObject query_;
    bool running_ = false;
};

}  // namespace pk::gpu
