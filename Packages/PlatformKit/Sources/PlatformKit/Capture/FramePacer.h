#pragma once
// Internal to Capture: the steady clock of sources that stand in for a camera. Frame n is
// due at start + n/fps; a reader waits for the next frame due, and a late reader gets the
// frame of now, as a camera would show it.
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>

namespace pk::capture::detail {

class FramePacer {
public:
    // maxSkip bounds how many missed frames a late reader jumps over (0: no bound); past it
    // the clock is moved so the reader carries on from the next frame, as after a pause.
    explicit FramePacer(double fps, int64_t maxSkip = 0) : period_(1.0 / fps), maxSkip_(maxSkip) {}

    // Starts the clock so that frame `next` is due now.
    void restart(int64_t next);

    // The index (>= next) of the frame to hand out, once it is due. Waits on `cv` with `lock`
    // held; empty when the timeout passes first or `running` turns false meanwhile.
    std::optional<int64_t> waitForDue(std::unique_lock<std::mutex>& lock, std::condition_variable& cv,
                                      const bool& running, int64_t next, double timeoutSeconds);

private:
    double period_;
    int64_t maxSkip_;
    double startTime_ = 0;
};

}  // namespace pk::capture::detail
