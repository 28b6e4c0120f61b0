#include "PlatformKit/Audio/QueuePlayer.h"

#include <cmath>

#include "PlatformKit/Foundation/StudioError.h"

namespace pk::audio {

QueuePlayer::QueuePlayer(double sampleRate) : sampleRate_(sampleRate) {
    if (!(sampleRate > 0) || !std::isfinite(sampleRate)) {
        throw StudioError("Audio", 1, "A queue player needs a positive sample rate.");
    }
    step_ = sampleRate / kMixSampleRate;
}

void QueuePlayer::enqueue(std::span<const float> left, std::span<const float> right) {
    if (left.size() != right.size()) throw StudioError("Audio", 1, "Both channels of a block need the same length.");
    std::lock_guard lock(mutex_);
    // Compact once the consumed part dominates, so the queue does not grow without end.
    if (head_ > 0 && head_ * 2 >= queue_.size() / 2) {
        queue_.erase(queue_.begin(), queue_.begin() + ptrdiff_t(head_ * 2));
        head_ = 0;
    }
    queue_.reserve(queue_.size() + left.size() * 2);
    for (size_t i = 0; i < left.size(); ++i) {
        queue_.push_back(left[i]);
        queue_.push_back(right[i]);
    }
}

int64_t QueuePlayer::queuedFrames() const {
    std::lock_guard lock(mutex_);
    return int64_t(queue_.size() / 2 - head_);
}

void QueuePlayer::play() { playing_.store(true); }

void QueuePlayer::stop() {
    std::lock_guard lock(mutex_);
    playing_.store(false);
    queue_.clear();
    head_ = 0;
    frac_ = 0;
}

void QueuePlayer::mixInto(float* mix, int frames) {
    if (!playing_.load()) return;
    std::lock_guard lock(mutex_);
    const float v = volume_.load();
    const size_t total = queue_.size() / 2;
    for (int i = 0; i < frames && head_ < total; ++i) {
        const float t = float(frac_);
        const float* a = &queue_[head_ * 2];
        // The frame after the last queued one counts as silence until more arrives.
        const float bl = head_ + 1 < total ? a[2] : 0.0f;
        const float br = head_ + 1 < total ? a[3] : 0.0f;
        mix[2 * i] += (a[0] + (bl - a[0]) * t) * v;
        mix[2 * i + 1] += (a[1] + (br - a[1]) * t) * v;
        frac_ += step_;
        const double whole = std::floor(frac_);
        head_ += size_t(whole);
        frac_ -= whole;
    }
    if (head_ >= total) {
        queue_.clear();
        head_ = 0;
    }
}

}  // namespace pk::audio
