#pragma once
// The owner-thread job queue of a device. Work posted from other threads runs on the
// owner, in order; work from the owner runs inline, so the owner never waits on itself.
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace pk::gpu {

class JobQueue {
public:
    // Runs fn on the owner and waits; inline when called on the owner. Rethrows what
    // fn threw. Throws StudioError when the queue is closed.
    void runAndWait(const std::function<void()>& fn);
    // Runs fn on the owner without waiting (inline on the owner); dropped once closed.
    // Nobody waits for it: what it throws on the owner is reported on stderr.
    void post(std::function<void()> fn);

    bool isOwnerThread() const { return owner_.load() == std::this_thread::get_id(); }
    void setOwner(std::thread::id id) { owner_.store(id); }

    // Owner only: runs what is queued now. Returns the number of jobs run.
    size_t drain();
    // Owner only: waits for jobs and runs them until close(); used by headless devices.
    void runUntilClosed();
    // Refuses further jobs; waiters of jobs that never ran get an error.
    void close();
    bool closed() const;
    size_t pending() const;

private:
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<std::function<void()>> jobs_;
    bool closed_ = false;
    std::atomic<std::thread::id> owner_{};
};

}  // namespace pk::gpu
