#pragma once
// A flag a long operation checks at its own safe points; set from any thread (for
// example when the application quits while an export runs).
#include <atomic>

namespace pk {

class CancelToken {
public:
    void cancel() { cancelled_.store(true, std::memory_order_relaxed); }
    bool isCancelled() const { return cancelled_.load(std::memory_order_relaxed); }

private:
    std::atomic<bool> cancelled_{false};
};

}  // namespace pk
