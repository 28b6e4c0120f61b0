#include "PlatformKit/Foundation/MainQueue.h"

#include <algorithm>
#include <chrono>

namespace pk {

MainQueue::MainQueue(std::shared_ptr<Clock> clock) : clock_(std::move(clock)) {}
MainQueue::~MainQueue() = default;

MainQueue& MainQueue::main() {
    static MainQueue* q = new MainQueue();  // never destroyed: threads may post at exit
    return *q;
}

void MainQueue::push(Item item) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        item.seq = nextSeq_++;
        items_.push_back(std::move(item));
    }
    cv_.notify_all();
}

void MainQueue::post(std::function<void()> fn) {
    Item it;
    it.due = clock_->now();
    it.fn = std::move(fn);
    push(std::move(it));
}

void MainQueue::postIfAlive(std::weak_ptr<const void> owner, std::function<void()> fn) {
    post([owner = std::move(owner), fn = std::move(fn)] {
        if (!owner.expired()) fn();
    });
}

void MainQueue::postAfter(double seconds, std::function<void()> fn) {
    Item it;
    it.due = clock_->now() + std::max(0.0, seconds);
    it.fn = std::move(fn);
    push(std::move(it));
}

std::shared_ptr<MainQueue::Timer> MainQueue::scheduleRepeating(double interval, std::function<void()> fn) {
    auto timer = std::make_shared<Timer>();
    Item it;
    it.interval = std::max(interval, 1e-4);
    it.due = clock_->now() + it.interval;
    it.fn = std::move(fn);
    it.timer = timer;
    it.repeating = true;
    push(std::move(it));
    return timer;
}

size_t MainQueue::drain() {
    if (owner_.load() == std::thread::id{}) owner_.store(std::this_thread::get_id());
    const double now = clock_->now();
    std::vector<Item> due;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto mid = std::stable_partition(items_.begin(), items_.end(), [&](const Item& i) { return i.due > now; });
        due.assign(std::make_move_iterator(mid), std::make_move_iterator(items_.end()));
        items_.erase(mid, items_.end());
    }
    std::sort(due.begin(), due.end(), [](const Item& a, const Item& b) {
        return a.due != b.due ? a.due < b.due : a.seq < b.seq;
    });
    size_t ran = 0;
    for (auto& item : due) {
        if (item.repeating) {
            auto timer = item.timer.lock();
            if (!timer || timer->cancelled()) continue;
            item.fn();
            ++ran;
            if (timer->cancelled()) continue;
            Item next;
            next.interval = item.interval;
            next.due = item.due + item.interval;
            if (next.due <= now) next.due = now + item.interval;  // fell behind: skip missed ticks
            next.fn = std::move(item.fn);
            next.timer = item.timer;
            next.repeating = true;
            push(std::move(next));
        } else {
            item.fn();
            ++ran;
        }
    }
    return ran;
}

size_t MainQueue::waitAndDrain(double timeoutSeconds) {
    {
        std::unique_lock<std::mutex> lock(mutex_);
        const double now = clock_->now();
        double nextDue = 1e300;
        for (const auto& i : items_) nextDue = std::min(nextDue, i.due);
        double wait = std::min(timeoutSeconds, std::max(0.0, nextDue - now));
        if (wait > 0) {
            const size_t before = items_.size();
            cv_.wait_for(lock, std::chrono::duration<double>(wait), [&] { return items_.size() != before; });
        }
    }
    return drain();
}

bool MainQueue::runUntil(const std::function<bool()>& pred, double timeoutSeconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeoutSeconds);
    while (!pred()) {
        if (std::chrono::steady_clock::now() >= deadline) return pred();
        waitAndDrain(0.005);
    }
    return true;
}

bool MainQueue::isOwnerThread() const { return owner_.load() == std::this_thread::get_id(); }
void MainQueue::adoptCurrentThread() { owner_.store(std::this_thread::get_id()); }

size_t MainQueue::pendingCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return items_.size();
}

}  // namespace pk
