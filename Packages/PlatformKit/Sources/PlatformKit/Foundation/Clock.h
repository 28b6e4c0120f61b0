#pragma once
// An injectable clock: monotonic seconds for timing, wall time for dates.
#include <atomic>
#include <chrono>
#include <memory>

namespace pk {

class Clock {
public:
    virtual ~Clock() = default;
    // Monotonic seconds since an arbitrary origin.
    virtual double now() const = 0;
    // Seconds since 1970-01-01 UTC.
    virtual double wallSeconds() const = 0;

    static std::shared_ptr<Clock> system();
};

// A clock tests move by hand.
class ManualClock : public Clock {
public:
    explicit ManualClock(double start = 1000.0, double wallStart = 1.7e9) : t_(start), wall_(wallStart) {}
    double now() const override { return t_.load(); }
    double wallSeconds() const override { return wall_.load(); }
    void advance(double seconds) {
        t_.store(t_.load() + seconds);
        wall_.store(wall_.load() + seconds);
    }
    void setWall(double seconds) { wall_.store(seconds); }

private:
    std::atomic<double> t_;
    std::atomic<double> wall_;
};

}  // namespace pk
