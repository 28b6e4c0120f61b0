#pragma once
// The studio's one audio output: a 44.1 kHz stereo float mix of every attached source,
// played through one SDL device that is opened once and kept. A tap sees the mix as it
// goes to the device (the game track of a screen recording).
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

namespace pk::audio {

inline constexpr int kMixSampleRate = 44100;
inline constexpr int kMixChannels = 2;

struct AudioFormat {
    double sampleRate = 0;
    int channels = 0;
    bool operator==(const AudioFormat&) const = default;
};

// Something the output mixes in. mixInto runs on the audio thread: it adds `frames`
// interleaved stereo frames at 44.1 kHz to `mix` and must only hold short locks.
class AudioSource {
public:
    virtual ~AudioSource() = default;
    virtual void mixInto(float* mix, int frames) = 0;
};

class AudioOutput {
public:
    // Interleaved stereo frames at 44.1 kHz, called on the audio thread.
    using Tap = std::function<void(std::span<const float> interleaved, int frames)>;

    static AudioOutput& shared();

    // Opens the device the first time (later calls reuse it) and lets it run. Throws
    // StudioError (domain "SDL") when the audio system or the device cannot be opened;
    // nothing is kept from a failed attempt, so the next call tries again.
    void start();
    bool isStarted() const;
    // Closes the device (quit, or a test that must see the driver's output flushed).
    void close();

    void attach(std::shared_ptr<AudioSource> source);
    void detach(const AudioSource* source);

    // Taps run under the mix lock: a tap must not add or remove taps or sources itself.
    // A source or tap that throws is dropped from the mix for good.
    uint64_t addTap(Tap tap);
    void removeTap(uint64_t id);

    // One block of the mix exactly as the device callback makes it (taps included).
    void render(float* interleaved, int frames);

    AudioFormat format() const { return {double(kMixSampleRate), kMixChannels}; }

private:
    AudioOutput() = default;
    static void callback(void* self, uint8_t* stream, int len);

    mutable std::mutex deviceMutex_;
    uint32_t device_ = 0;

    std::mutex mixMutex_;
    std::vector<std::shared_ptr<AudioSource>> sources_;
    std::vector<std::pair<uint64_t, Tap>> taps_;
    uint64_t nextTap_ = 1;
};

// Opens SDL's audio subsystem once per process; throws StudioError when it cannot.
void ensureAudioSubsystem();

}  // namespace pk::audio
