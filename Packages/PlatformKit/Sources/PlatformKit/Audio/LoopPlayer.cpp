#include "PlatformKit/Audio/LoopPlayer.h"

#include "PlatformKit/Foundation/StudioError.h"

namespace pk::audio {

void LoopPlayer::stop() {
    std::shared_ptr<const Loop> old;
    {
        std::lock_guard lock(mutex_);
        playing_.store(false);
        old = std::move(loop_);
        position_ = 0;
    }
    // `old` is freed here, off the audio thread.
}

void LoopPlayer::scheduleLoop(std::vector<float> left, std::vector<float> right) {
    if (left.empty() || left.size() != right.size()) {
        throw StudioError("Audio", 1, "A loop needs two channels of the same, non-zero length.");
    }
    auto loop = std::make_shared<const Loop>(Loop{std::move(left), std::move(right)});
    std::shared_ptr<const Loop> old;
    {
        std::lock_guard lock(mutex_);
        old = std::move(loop_);
        loop_ = std::move(loop);
        position_ = 0;
    }
}

void LoopPlayer::play() { playing_.store(true); }

void LoopPlayer::mixInto(float* mix, int frames) {
    if (!playing_.load()) return;
    std::lock_guard lock(mutex_);
    if (!loop_ || !playing_.load()) return;
    const float v = volume_.load();
    const size_t n = loop_->left.size();
    const float* l = loop_->left.data();
    const float* r = loop_->right.data();
    size_t p = position_;
    for (int i = 0; i < frames; ++i) {
        mix[2 * i] += l[p] * v;
        mix[2 * i + 1] += r[p] * v;
        if (++p == n) p = 0;
    }
    position_ = p;
}

}  // namespace pk::audio
