#pragma once
// The stateless signal path of proximity voice: one block of mono voice becomes
// interleaved stereo for one speaker and one listener (distance fade, equal-power pan,
// Doppler resampling, wall low-pass, short room echo). All arithmetic is 32-bit float.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "PlatformKit/Math/Math.h"

namespace creator {

struct VelSpatialVoiceMixResultV1020 {
    std::vector<float> stereoInterleavedPCM;
    float leftRMS = 0;
    float rightRMS = 0;
    float distanceAttenuation = 0;
    float wallCutoffHz = 0;
    float dopplerPitchRatio = 0;
    float echoEnergy = 0;

    bool operator==(const VelSpatialVoiceMixResultV1020&) const = default;
};

struct VelProximityVoiceSpeakerV1020 {
    std::string id;
    std::string displayName;
    pk::float3 worldPosition{0.0f};
    pk::float3 worldVelocity{0.0f};
    int64_t occludingWalls = 0;
    bool isMuted = false;
    bool isLocalPlayer = false;
    float voiceActivityLevel = 0;

    bool operator==(const VelProximityVoiceSpeakerV1020&) const = default;
};

struct VelSpatialProximityVoiceDSPV1020 {
    static constexpr float pi = 3.1415925f;
    static constexpr float twoPi = 6.283185f;

    // The caller passes a finite sample rate above 0. A zero-length right vector pans to
    // the centre; positions that are not finite put the speaker out of earshot, and a
    // velocity that is not finite counts as none. The output has exactly as many frames
    // as the input; finite samples give values within -1..1.
    static VelSpatialVoiceMixResultV1020 spatializeMonoVoice(std::span<const float> monoSamples, float sampleRate,
                                                             pk::float3 listenerPos, pk::float3 listenerRight,
                                                             pk::float3 speakerPos, pk::float3 speakerVel,
                                                             int64_t occludingWalls, float echoWetness,
                                                             float maxHearingRadius);

    // The fundamental plus one inharmonic partial at 2.15 times its frequency.
    static std::vector<float> generateTestVoiceWave(float frequencyHz, float durationSec, float sampleRate);

    // The pieces of the path, exposed for callers that show them.
    static float distanceGain(float distance, float maxHearingRadius);
    static float wallCutoffHz(int64_t occludingWalls);
    static float dopplerRatio(float closingSpeedAlongOffset);
    static int64_t echoRingLength(float sampleRate);
};

}  // namespace creator
