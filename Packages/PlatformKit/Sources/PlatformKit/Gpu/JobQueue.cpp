#include "PlatformKit/Gpu/JobQueue.h"

#include <future>

#include "PlatformKit/Foundation/JobGuard.h"
#include "PlatformKit/Foundation/StudioError.h"

namespace pk::gpu {

namespace {
StudioError closedError() { return StudioError("PlatformKit.Gpu", 2, "The GPU device has been shut down."); }

// A job that throws fails alone: its waiter gets the exception (runAndWait wraps it so);
// a posted job has nobody to fail to. The owner thread goes on either way.
void runJob(const std::function<void()>& job) { runGuarded("GPU job", job); }
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
            if (runGuarded("GPU job", fn, [&](const JobFailure& f) { done->set_exception(f.exception()); }))
                done->set_value();
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
    for (auto& job : now) runJob(job);
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
        runJob(job);
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
