#include "PlatformKit/Gpu/JobQueue.h"

#include <future>

#include "PlatformKit/Foundation/StudioError.h"

namespace pk::gpu {

namespace {
StudioError closedError() { return StudioError("PlatformKit.Gpu", 2, "The GPU device has been shut down."); }
}  // namespace

void JobQueue::runAndWait(const std::function<void()>& fn) {
    if (isOwnerThread()) {
        fn();
        return;
    }
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> result = done->get_future();
    {
        std::lock_guard lock(mutex_);
        if (closed_) throw closedError();
        jobs_.push_back([&fn, done] {
            try {
                fn();
                done->set_value();
            } catch (...) {
                done->set_exception(std::current_exception());
            }
        });
    }
    cv_.notify_all();
    try {
        result.get();
    } catch (const std::future_error&) {
        throw closedError();  // the job was dropped unrun when the device went away
    }
}

void JobQueue::post(std::function<void()> fn) {
    if (isOwnerThread()) {
        fn();
        return;
    }
    {
        std::lock_guard lock(mutex_);
        if (closed_) return;
        jobs_.push_back(std::move(fn));
    }
    cv_.notify_all();
}

size_t JobQueue::drain() {
    std::deque<std::function<void()>> now;
    {
        std::lock_guard lock(mutex_);
        now.swap(jobs_);
    }
    for (auto& job : now) job();
    return now.size();
}

void JobQueue::runUntilClosed() {
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock lock(mutex_);
            cv_.wait(lock, [&] { return closed_ || !jobs_.empty(); });
            if (jobs_.empty()) return;
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        job();
    }
}

void JobQueue::close() {
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
    }
    cv_.notify_all();
}

bool JobQueue::closed() const {
    std::lock_guard lock(mutex_);
    return closed_;
}

size_t JobQueue::pending() const {
    std::lock_guard lock(mutex_);
    return jobs_.size();
}

}  // namespace pk::gpu
