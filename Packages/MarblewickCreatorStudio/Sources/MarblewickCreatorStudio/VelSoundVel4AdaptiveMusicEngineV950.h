#pragma once
// The studio's procedural score: a stereo loop of four sine stems (pad, pulse bass,
// kick, lead) in one of six moods, rendered to sample arrays and, on request, played
// looped through the shared audio output.
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "PlatformKit/Foundation/Json.h"

namespace pk::audio {
class LoopPlayer;
}

namespace creator {

// Raw value: the case name.
struct VelMusicIntensityStateV950 {
    enum Case : uint8_t {
        ambientExploration,
        coastalSerene,
        tensionPulse,
        combatDrive,
        heroicBossBrass,
        victoryResolve,
    };
    constexpr VelMusicIntensityStateV950(Case c = ambientExploration) : value(c) {}
    constexpr operator Case() const { return value; }

    const char* rawValue() const;
    // Exactly one of the six names, else nothing.
    static std::optional<VelMusicIntensityStateV950> fromRaw(std::string_view raw);
    static const std::array<VelMusicIntensityStateV950, 6> allCases;

    // Tempo in beats per minute.
    double bpm() const;
    // F major for coastalSerene and victoryResolve, D minor otherwise.
    bool isFMajor() const { return value == coastalSerene || value == victoryResolve; }

    pk::json::Json toJson() const { return rawValue(); }
    // Any other string is a data-corrupted error.
    static VelMusicIntensityStateV950 fromJson(const pk::json::Json& j);

    Case value;
};

struct VelStemGainsV950 {
    float pad = 0, bass = 0, perc = 0, lead = 0;
    bool operator==(const VelStemGainsV950&) const = default;
};

struct VelAdaptiveMusicMixSnapshotV950 {
    VelMusicIntensityStateV950 state;
    double bpm = 0;
    float padGain = 0;
    float pulseBassGain = 0;
    float percussionGain = 0;
    float leadBrassGain = 0;
    double sampleRateHz = 0;
    // Root-mean-square level of the whole stereo buffer (not a peak, despite the name).
    float synthesizedPeakRMS = 0;
    bool operator==(const VelAdaptiveMusicMixSnapshotV950&) const = default;
};

struct VelStemBufferV950 {
    std::vector<float> samplesL;
    std::vector<float> samplesR;
    VelAdaptiveMusicMixSnapshotV950 snapshot;
};

class VelSoundVel4AdaptiveMusicEngineV950 {
public:
    VelSoundVel4AdaptiveMusicEngineV950() = default;
    ~VelSoundVel4AdaptiveMusicEngineV950();
    VelSoundVel4AdaptiveMusicEngineV950(const VelSoundVel4AdaptiveMusicEngineV950&) = delete;
    VelSoundVel4AdaptiveMusicEngineV950& operator=(const VelSoundVel4AdaptiveMusicEngineV950&) = delete;

    // The process-wide engine, made on first use.
    static VelSoundVel4AdaptiveMusicEngineV950& shared();

    VelMusicIntensityStateV950 currentState() const;
    // 92 until a state is first set (no state has 92).
    double targetBPM() const;
    bool isPlaying() const { return isPlaying_.load(); }

    void setIntensity(VelMusicIntensityStateV950 state);
    VelStemGainsV950 stemGains(VelMusicIntensityStateV950 state) const;

    // Sets the state (so it changes the live state too), then renders
    // max(1024, trunc(durationSec × sampleRate)) frames per channel, each in −0.95..0.95.
    // Throws StudioError ("MarblewickCreatorStudio" 1) for a sample rate that is not a
    // positive finite number as a float (or so small that the last frame's time in
    // seconds overflows a float), or a product that is not finite or beyond 2^31 frames.
    VelStemBufferV950 synthesizeStemBuffer(VelMusicIntensityStateV950 state, double durationSec, double sampleRate);

    // The 4 s preview loop (176,400 frames at 44.1 kHz) that joins without a click: the
    // score's first 4 s with the last 50 ms faded into the score as it sounds just before
    // its start, turned to begin at most 10 ms before it, on a gentle step. Sets the
    // state like synthesizeStemBuffer.
    VelStemBufferV950 synthesizePreviewLoop(VelMusicIntensityStateV950 state);

    // Sets the state; unless dryRun, renders the preview loop and plays it looped at volume
    // 0.24 in place of any loop playing. Reports nothing: an output that will not start
    // leaves the loop scheduled and is tried again on the next start.
    void startAdaptiveScore(VelMusicIntensityStateV950 state, bool dryRun = false);
    // Silences the score (the preview's pause); the player is kept for the next start.
    void stopAdaptiveScore();

    // The loop player once playback was first started (nothing before).
    const pk::audio::LoopPlayer* playerNode() const;

private:
    mutable std::mutex lock_;
    VelMusicIntensityStateV950 currentState_ = VelMusicIntensityStateV950::ambientExploration;
    double targetBPM_ = 92.0;
    std::atomic<bool> isPlaying_{false};

    mutable std::mutex playbackMutex_;
    std::shared_ptr<pk::audio::LoopPlayer> playerNode_;
};

}  // namespace creator

template <>
struct std::hash<creator::VelMusicIntensityStateV950> {
    size_t operator()(const creator::VelMusicIntensityStateV950& s) const noexcept {
        return std::hash<std::string_view>()(s.rawValue());
    }
};
