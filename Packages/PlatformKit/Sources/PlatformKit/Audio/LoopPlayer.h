#pragma once
// Plays one stereo buffer at 44.1 kHz over and over until it is stopped or replaced.
#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "PlatformKit/Audio/AudioOutput.h"

namespace pk::audio {

class LoopPlayer : public AudioSource {
public:
    // Stops and drops the loop; play() afterwards is silent until a new loop is scheduled.
    void stop();
    // The buffer to loop (channels of equal, non-zero length, else StudioError "Audio" 1).
    // Takes effect from its first frame on the next play().
    void scheduleLoop(std::vector<float> left, std::vector<float> right);
    void play();
    bool isPlaying() const { return playing_.load(); }

    void setVolume(float volume) { volume_.store(volume); }
    float volume() const { return volume_.load(); }

    void mixInto(float* mix, int frames) override;

private:
    struct Loop {
        std::vector<float> left, right;
    };
    std::mutex mutex_;
    std::shared_ptr<const Loop> loop_;
    size_t position_ = 0;
    std::atomic<bool> playing_{false};
    std::atomic<float> volume_{1.0f};
};

}  // namespace pk::audio
