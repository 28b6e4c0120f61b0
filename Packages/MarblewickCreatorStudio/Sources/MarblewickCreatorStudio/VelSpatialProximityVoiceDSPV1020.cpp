#include "MarblewickCreatorStudio/VelSpatialProximityVoiceDSPV1020.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "PlatformKit/Foundation/Numbers.h"

namespace creator {

using DSP = VelSpatialProximityVoiceDSPV1020;

float DSP::distanceGain(float d, float maxHearingRadius) {
    const float fade = std::clamp((maxHearingRadius - d) / 4.5f, 0.0f, 1.0f);
    return fade / (1.0f + 0.14f * d * d);
}

float DSP::wallCutoffHz(int64_t occludingWalls) {
    const float w = static_cast<float>(std::max<int64_t>(occludingWalls, 0));
    return std::max(11000.0f * std::pow(0.32f, w), 480.0f);
}

float DSP::dopplerRatio(float velocityAlongOffset) {
    const float c = 4.2f * velocityAlongOffset + 343.0f;
    const float ratio = c >= 120.0f ? std::min(343.0f / c, 1.38f) : 1.38f;
    return std::max(ratio, 0.65f);
}

int64_t DSP::echoRingLength(float sampleRate) {
    return std::max<int64_t>(pk::truncToInt64(sampleRate * 0.058f), 1);
}

VelSpatialVoiceMixResultV1020 DSP::spatializeMonoVoice(std::span<const float> in, float sampleRate, pk::float3 listenerPos,
                                                       pk::float3 listenerRight, pk::float3 speakerPos,
                                                       pk::float3 speakerVel, int64_t occludingWalls, float echoWetness,
                                                       float maxHearingRadius) {
    VelSpatialVoiceMixResultV1020 result;
    const pk::float3 v = speakerPos - listenerPos;
    // A position that is not a number, or too far for a float, is out of earshot: silence
    // rather than NaN, which max() and clamp() would pass on.
    const float length = glm::length(v);
    const bool placed = std::isfinite(length);
    const float d = placed ? std::max(length, 0.35f) : std::numeric_limits<float>::infinity();
    const pk::float3 u = placed ? v / d : pk::float3(0.0f);

    const float g = placed ? distanceGain(d, maxHearingRadius) : 0.0f;

    const float rightLength = glm::length(listenerRight);
    float p = 0.0f;  // no usable right vector: centre
    if (rightLength > 0.0f) {
        p = glm::dot(u, listenerRight / rightLength);
        if (std::isnan(p)) p = 0.0f;
    }
    const float theta = p >= 1.0f ? pi / 2.0f : (std::max(p, -1.0f) + 1.0f) * pi / 4.0f;
    const float leftGain = std::cos(theta) * g;
    const float rightGain = std::sin(theta) * g;

    const float along = glm::dot(speakerVel, u);
    const float ratio = dopplerRatio(std::isfinite(along) ? along : 0.0f);
    const float fc = wallCutoffHz(occludingWalls);
    const float dt = 1.0f / sampleRate;
    const float a = dt / (dt + 1.0f / (twoPi * fc));

    result.distanceAttenuation = g;
    result.wallCutoffHz = fc;
    result.dopplerPitchRatio = ratio;

    const size_t n = in.size();
    if (n == 0) return result;

    std::vector<float> ring(static_cast<size_t>(echoRingLength(sampleRate)), 0.0f);
    size_t k = 0;
    float y = 0.0f;
    float sumL = 0.0f, sumR = 0.0f, sumE = 0.0f;
    const int64_t last = static_cast<int64_t>(n) - 1;
    result.stereoInterleavedPCM.reserve(2 * n);
    for (size_t i = 0; i < n; ++i) {
        const float x = ratio * static_cast<float>(i);
        const int64_t i0 = std::min(std::max<int64_t>(pk::truncToInt64(x), 0), last);
        const int64_t i1 = std::min(i0 + 1, last);
        const float t = x - static_cast<float>(i0);
        const float s = (1.0f - t) * in[static_cast<size_t>(i0)] + t * in[static_cast<size_t>(i1)];
        y = y + a * (s - y);
        const float e = echoWetness * ring[k];
        ring[k] = y + 0.35f * e;
        const float out = y + e;
        if (++k == ring.size()) k = 0;
        const float left = std::clamp(leftGain * out, -1.0f, 1.0f);
        const float right = std::clamp(rightGain * out, -1.0f, 1.0f);
        result.stereoInterleavedPCM.push_back(left);
        result.stereoInterleavedPCM.push_back(right);
        sumL += left * left;
        sumR += right * right;
        sumE += e * e;
    }
    const float fn = static_cast<float>(n);
    result.leftRMS = std::sqrt(sumL / fn);
    result.rightRMS = std::sqrt(sumR / fn);
    result.echoEnergy = std::sqrt(sumE / fn);
    return result;
}

std::vector<float> DSP::generateTestVoiceWave(float frequencyHz, float durationSec, float sampleRate) {
    const int64_t count = std::max<int64_t>(pk::truncToInt64(durationSec * sampleRate), 0);
    std::vector<float> out;
    out.reserve(static_cast<size_t>(count));
    const float partial = 2.15f * frequencyHz;
    for (int64_t i = 0; i < count; ++i) {
        const float fi = static_cast<float>(i);
        out.push_back(0.55f * std::sin(twoPi * frequencyHz * fi / sampleRate) +
                      0.22f * std::sin(twoPi * partial * fi / sampleRate));
    }
    return out;
}

}  // namespace creator
