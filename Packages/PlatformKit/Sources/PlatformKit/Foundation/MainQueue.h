#pragma once
// The main actor: work posted from any thread and run, in order, by the queue's owner
// (the main loop drains it every iteration; tests drain it by hand).
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "PlatformKit/Foundation/Clock.h"

namespace pk {

class MainQueue {
public:
    explicit MainQueue(std::shared_ptr<Clock> clock = Clock::system());
    ~MainQueue();
    MainQueue(const MainQueue&) = delete;
    MainQueue& operator=(const MainQueue&) = delete;

    // The process's main queue. Its owner is the thread that first drains it.
    static MainQueue& main();

    // A repeating timer; cancelling (or dropping every copy of the handle) stops it.
    class Timer {
    public:
        void cancel() { cancelled_ = true; }
        bool cancelled() const { return cancelled_; }
    private:
        friend class MainQueue;
        std::atomic<bool> cancelled_{false};
    };

    // Thread-safe. Runs fn on the owner at the next drain, after what was posted before.
    void post(std::function<void()> fn);
    // Work handed over on behalf of an owner that the main thread may destroy meanwhile:
    // fn runs only if `owner` still exists when its turn comes (checked on the owner
    // thread, which is also where owners are destroyed).
    void postIfAlive(std::weak_ptr<const void> owner, std::function<void()> fn);
    // Runs fn once `seconds` of the queue's clock have passed.
    void postAfter(double seconds, std::function<void()> fn);
    // Runs fn every `interval` seconds until the timer is cancelled or released.
    std::shared_ptr<Timer> scheduleRepeating(double interval, std::function<void()> fn);

    // Runs everything that is due now, in order; work posted while draining waits for
    // the next drain. Returns how many items ran.
    size_t drain();
    // Waits (real time) until something is due or the timeout passes, then drains.
    size_t waitAndDrain(double timeoutSeconds);
    // Drains until pred() holds or the timeout passes; true when pred() held.
    bool runUntil(const std::function<bool()>& pred, double timeoutSeconds);

    bool isOwnerThread() const;
    void adoptCurrentThread();
    const std::shared_ptr<Clock>& clock() const { return clock_; }
    size_t pendingCount() const;

private:
    struct Item {
        double due;
        uint64_t seq;
        std::function<void()> fn;
        std::weak_ptr<Timer> timer;
        double interval = 0;
        bool repeating = false;
    };
    void push(Item item);

    std::shared_ptr<Clock> clock_;
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    std::vector<Item> items_;
    uint64_t nextSeq_ = 0;
    std::atomic<std::thread::id> owner_{};
};

}  // namespace pk
