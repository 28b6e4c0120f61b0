#include "PlatformKit/Capture/FramePacer.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include "PlatformKit/Foundation/Clock.h"

namespace pk::capture::detail {

void FramePacer::restart(int64_t next) { startTime_ = Clock::system()->now() - double(next) * period_; }

std::optional<int64_t> FramePacer::waitForDue(std::unique_lock<std::mutex>& lock, std::condition_variable& cv,
                                              const bool& running, int64_t next, double timeoutSeconds) {
    const double now = Clock::system()->now();
    int64_t due = std::max(next, int64_t(std::floor((now - startTime_) / period_)));
    if (maxSkip_ > 0 && due - next > maxSkip_) {
        startTime_ = now - double(next) * period_;
        due = next;
    }
    const double dueTime = startTime_ + double(due) * period_;
    if (dueTime > now) {
        const auto stopped = [&] { return !running; };
        if (dueTime - now > timeoutSeconds) {
            cv.wait_for(lock, std::chrono::duration<double>(std::max(timeoutSeconds, 0.0)), stopped);
            return std::nullopt;
        }
        if (cv.wait_for(lock, std::chrono::duration<double>(dueTime - now), stopped)) return std::nullopt;
    }
    return due;
}

}  // namespace pk::capture::detail
