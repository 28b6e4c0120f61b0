#include "PlatformKit/Audio/Microphone.h"

#include <SDL2/SDL.h>

#include <cmath>

#include "PlatformKit/Foundation/JobGuard.h"
#include "PlatformKit/Foundation/StudioError.h"

namespace pk::audio {

Microphone::~Microphone() { stop(); }

std::optional<AudioFormat> Microphone::defaultInputFormat() {
    try {
        ensureAudioSubsystem();
    } catch (const StudioError&) {
        return std::nullopt;
    }
    SDL_AudioSpec spec{};
    if (SDL_GetDefaultAudioInfo(nullptr, &spec, 1) == 0 && spec.freq > 0 && spec.channels > 0) {
        return AudioFormat{double(spec.freq), int(spec.channels)};
    }
    // Drivers that cannot describe their default device: open it and see what it gives.
    SDL_AudioSpec want{};
    want.freq = 48000;
    want.format = AUDIO_F32SYS;
    want.channels = 1;
    want.samples = 1024;
    SDL_AudioSpec have{};
    const SDL_AudioDeviceID dev = SDL_OpenAudioDevice(nullptr, 1, &want, &have,
                                                      SDL_AUDIO_ALLOW_FREQUENCY_CHANGE | SDL_AUDIO_ALLOW_CHANNELS_CHANGE);
    if (dev == 0) return std::nullopt;
    SDL_CloseAudioDevice(dev);
    if (have.freq <= 0 || have.channels == 0) return std::nullopt;
    return AudioFormat{double(have.freq), int(have.channels)};
}

void Microphone::start(AudioFormat requested, int blockFrames, Handler handler) {
    if (blockFrames <= 0 || !std::isfinite(requested.sampleRate) || requested.sampleRate < 0 ||
        requested.sampleRate > 384000 || requested.channels < 0 || requested.channels > 8 || !handler) {
        throw StudioError("Audio", 1, "Microphone capture needs a block size, a handler and a sensible format.");
    }
    stop();
    ensureAudioSubsystem();
    SDL_AudioSpec want{};
    int allowed = 0;
    want.freq = int(std::lround(requested.sampleRate));
    if (want.freq == 0) {
        want.freq = 48000;
        allowed |= SDL_AUDIO_ALLOW_FREQUENCY_CHANGE;
    }
    want.channels = uint8_t(requested.channels);
    if (want.channels == 0) {
        want.channels = 1;
        allowed |= SDL_AUDIO_ALLOW_CHANNELS_CHANGE;
    }
    want.format = AUDIO_F32SYS;
    want.samples = 1024;
    want.callback = &Microphone::callback;
    want.userdata = this;
    SDL_AudioSpec have{};
    const SDL_AudioDeviceID dev = SDL_OpenAudioDevice(nullptr, 1, &want, &have, allowed);
    if (dev == 0) {
        throw StudioError::library("SDL", -2, std::string("Could not open the microphone: ") + SDL_GetError());
    }
    {
        std::lock_guard lock(mutex_);
        format_ = AudioFormat{double(have.freq), int(have.channels)};
        blockFrames_ = blockFrames;
        handler_ = std::move(handler);
        pending_.clear();
        pending_.reserve(size_t(blockFrames) * have.channels);
    }
    device_.store(dev);
    SDL_PauseAudioDevice(dev, 0);
}

void Microphone::stop() {
    const uint32_t dev = device_.exchange(0);
    if (dev != 0) SDL_CloseAudioDevice(dev);  // waits for a callback in progress
    std::lock_guard lock(mutex_);
    handler_ = nullptr;
    pending_.clear();
}

AudioFormat Microphone::format() const {
    std::lock_guard lock(mutex_);
    return format_;
}

void Microphone::callback(void* self, uint8_t* stream, int len) {
    static_cast<Microphone*>(self)->receive(reinterpret_cast<const float*>(stream), size_t(len) / sizeof(float));
}

void Microphone::receive(const float* samples, size_t count) {
    std::lock_guard lock(mutex_);
    if (!handler_ || format_.channels <= 0) return;
    const size_t blockSamples = size_t(blockFrames_) * size_t(format_.channels);
    while (count > 0) {
        const size_t take = std::min(count, blockSamples - pending_.size());
        pending_.insert(pending_.end(), samples, samples + take);
        samples += take;
        count -= take;
        if (pending_.size() == blockSamples) {
            // On the audio system's thread: a handler that throws is dropped (and said on
            // stderr) rather than ending the studio; the device goes on, unheard.
            const Block block{format_, blockFrames_, std::span<const float>(pending_)};
            const bool heard = runGuarded("Microphone", [&] { handler_(block); });
            pending_.clear();
            if (!heard) {
                handler_ = nullptr;
                return;
            }
        }
    }
}

}  // namespace pk::audio
