#pragma once
// Plays queued stereo blocks back to back at their own sample rate (16 kHz voice),
// converted to the 44.1 kHz mix by linear interpolation. An empty queue is silence.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <span>
#include <vector>

#include "PlatformKit/Audio/AudioOutput.h"

namespace pk::audio {

class QueuePlayer : public AudioSource {
public:
    // sampleRate must be positive and finite (else StudioError "Audio" 1).
    explicit QueuePlayer(double sampleRate);

    double sampleRate() const { return sampleRate_; }
    // Appends one block; channels of different length: StudioError "Audio" 1.
    void enqueue(std::span<const float> left, std::span<const float> right);
    // Frames still waiting to be played, at the player's own rate.
    int64_t queuedFrames() const;

    void play();
    // Stops and drops everything queued.
    void stop();
    bool isPlaying() const { return playing_.load(); }

    void setVolume(float volume) { volume_.store(volume); }
    float volume() const { return volume_.load(); }

    void mixInto(float* mix, int frames) override;

private:
    double sampleRate_;
    double step_;  // source frames per output frame
    mutable std::mutex mutex_;
    std::vector<float> queue_;  // interleaved stereo, consumed from head_
    size_t head_ = 0;           // in frames
    double frac_ = 0;
    std::atomic<bool> playing_{false};
    std::atomic<float> volume_{1.0f};
};

}  // namespace pk::audio
