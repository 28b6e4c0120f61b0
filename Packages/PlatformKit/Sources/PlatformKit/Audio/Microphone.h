#pragma once
// Microphone capture through SDL: blocks of a fixed number of frames, delivered on the
// audio thread, at the rate asked for (SDL converts from the device's own rate) or at
// the device's own rate.
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

#include "PlatformKit/Audio/AudioOutput.h"

namespace pk::audio {

class Microphone {
public:
    struct Block {
        AudioFormat format;
        int frames = 0;
        std::span<const float> interleaved;  // frames × channels
        float sample(int channel, int frame) const { return interleaved[size_t(frame) * format.channels + channel]; }
    };
    using Handler = std::function<void(const Block&)>;

    Microphone() = default;
    ~Microphone();
    Microphone(const Microphone&) = delete;
    Microphone& operator=(const Microphone&) = delete;

    // What the default capture device delivers; none when there is no capture device.
    static std::optional<AudioFormat> defaultInputFormat();

    // Opens the default capture device. A field of `requested` that is 0 takes the
    // device's own value. blockFrames must be positive. Throws StudioError ("Audio" 1
    // for bad arguments, "SDL" for a device that cannot be opened); a running capture
    // is stopped first. A handler that throws is dropped: no further block reaches it.
    void start(AudioFormat requested, int blockFrames, Handler handler);
    // Not from inside the handler (it waits for the audio thread).
    void stop();
    bool isRunning() const { return device_.load() != 0; }
    // The format blocks arrive in (valid while running).
    AudioFormat format() const;

private:
    static void callback(void* self, uint8_t* stream, int len);
    void receive(const float* samples, size_t count);

    std::atomic<uint32_t> device_{0};
    mutable std::mutex mutex_;
    AudioFormat format_;
    int blockFrames_ = 0;
    Handler handler_;
    std::vector<float> pending_;
};

}  // namespace pk::audio
