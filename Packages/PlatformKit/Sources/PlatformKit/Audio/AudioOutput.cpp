#include "PlatformKit/Audio/AudioOutput.h"

#include <SDL2/SDL.h>

#include <algorithm>
#include <cstring>

#include "PlatformKit/Foundation/JobGuard.h"
#include "PlatformKit/Foundation/StudioError.h"

namespace pk::audio {

namespace {
std::mutex gSubsystemMutex;
bool gSubsystemUp = false;
}  // namespace

void ensureAudioSubsystem() {
    std::lock_guard lock(gSubsystemMutex);
    if (gSubsystemUp) return;
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        throw StudioError::library("SDL", -1, std::string("Audio system unavailable: ") + SDL_GetError());
    }
    gSubsystemUp = true;
}

AudioOutput& AudioOutput::shared() {
    static AudioOutput* output = new AudioOutput();  // lives to process exit, like the device
    return *output;
}

void AudioOutput::start() {
    std::lock_guard lock(deviceMutex_);
    if (device_ == 0) {
        ensureAudioSubsystem();
        SDL_AudioSpec want{};
        want.freq = kMixSampleRate;
        want.format = AUDIO_F32SYS;
        want.channels = kMixChannels;
        want.samples = 1024;
        want.callback = &AudioOutput::callback;
        want.userdata = this;
        SDL_AudioSpec have{};
        // No allowed changes: SDL converts our format to whatever the hardware takes.
        const SDL_AudioDeviceID dev = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
        if (dev == 0) {
            throw StudioError::library("SDL", -2, std::string("Could not open audio output: ") + SDL_GetError());
        }
        device_ = dev;
    }
    SDL_PauseAudioDevice(device_, 0);
}

bool AudioOutput::isStarted() const {
    std::lock_guard lock(deviceMutex_);
    return device_ != 0 && SDL_GetAudioDeviceStatus(device_) == SDL_AUDIO_PLAYING;
}

void AudioOutput::close() {
    std::lock_guard lock(deviceMutex_);
    if (device_ != 0) {
        SDL_CloseAudioDevice(device_);
        device_ = 0;
    }
}

void AudioOutput::attach(std::shared_ptr<AudioSource> source) {
    if (!source) return;
    std::lock_guard lock(mixMutex_);
    if (std::find(sources_.begin(), sources_.end(), source) == sources_.end()) sources_.push_back(std::move(source));
}

void AudioOutput::detach(const AudioSource* source) {
    std::lock_guard lock(mixMutex_);
    std::erase_if(sources_, [&](const auto& s) { return s.get() == source; });
}

uint64_t AudioOutput::addTap(Tap tap) {
    std::lock_guard lock(mixMutex_);
    const uint64_t id = nextTap_++;
    taps_.emplace_back(id, std::move(tap));
    return id;
}

void AudioOutput::removeTap(uint64_t id) {
    std::lock_guard lock(mixMutex_);
    std::erase_if(taps_, [&](const auto& t) { return t.first == id; });
}

void AudioOutput::render(float* interleaved, int frames) {
    const size_t count = size_t(std::max(frames, 0)) * kMixChannels;
    std::fill(interleaved, interleaved + count, 0.0f);
    // Taps and sources run under the mix lock so that removing a tap or detaching a
    // source returns only once the audio thread no longer uses it.
    std::lock_guard lock(mixMutex_);
    // This runs on the audio system's thread: a source or tap that throws is dropped
    // (and said on stderr), so one broken player neither ends the studio nor silences
    // the others.
    for (auto it = sources_.begin(); it != sources_.end();) {
        if (runGuarded("Audio source", [&] { (*it)->mixInto(interleaved, frames); })) ++it;
        else it = sources_.erase(it);
    }
    // The device never gets a NaN, whatever a source added (std::clamp would pass it on).
    for (size_t i = 0; i < count; ++i) {
        const float x = interleaved[i];
        interleaved[i] = std::clamp(x == x ? x : 0.0f, -1.0f, 1.0f);
    }
    const std::span<const float> mix(interleaved, count);
    for (auto it = taps_.begin(); it != taps_.end();) {
        if (runGuarded("Audio tap", [&] { it->second(mix, frames); })) ++it;
        else it = taps_.erase(it);
    }
}

void AudioOutput::callback(void* self, uint8_t* stream, int len) {
    const int frames = len / int(sizeof(float) * kMixChannels);
    static_cast<AudioOutput*>(self)->render(reinterpret_cast<float*>(stream), frames);
}

}  // namespace pk::audio
