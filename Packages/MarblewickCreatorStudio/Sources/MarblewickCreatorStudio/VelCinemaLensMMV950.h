#pragma once
// The studio's four cinema prime lenses and the pure camera kernels around them:
// depth-of-field blur, documentary shot scoring and an NPC's eye gaze.
#include <array>
#include <bit>
#include <cstdint>
#include <optional>
#include <string>

#include "PlatformKit/Foundation/Json.h"
#include "PlatformKit/Math/Math.h"

namespace creator {

// Raw value: the focal length in millimetres (24, 35, 50, 85).
struct VelCinemaLensMMV950 {
    enum Case : uint8_t { wide24mm, cinema35mm, standard50mm, portrait85mm };

    constexpr VelCinemaLensMMV950(Case c = standard50mm) : value(c) {}
    constexpr operator Case() const { return value; }

    float rawValue() const;
    // Exactly 24, 35, 50 or 85 (float equality); anything else gives no lens.
    static std::optional<VelCinemaLensMMV950> fromRaw(float mm);
    static const std::array<VelCinemaLensMMV950, 4> allCases;

    float fStopAperture() const;
    // The focal length the blur kernel uses, in metres.
    float focalLengthMeters() const;
    // 2·atan(24 / 2f) in degrees: a 24 mm tall frame.
    float verticalFOVDegrees() const;

    // JSON: the raw number; decoding any other number is a data-corrupted error.
    pk::json::Json toJson() const;
    static VelCinemaLensMMV950 fromJson(const pk::json::Json& j);

    Case value;
};

struct VelDocumentaryShotScoreV950 {
    float compositionScore01 = 0;
    float proximityScore01 = 0;
    float rarityMultiplier = 0;
    int64_t totalViralScore = 0;
    int64_t estimatedPayoutUSD = 0;
    std::string verdict;

    pk::json::OrderedJson toJson() const;
    static VelDocumentaryShotScoreV950 fromJson(const pk::json::OrderedJson& j);
};

struct VelNPCEyeGazeStateV950 {
    float eyeYawRad = 0;
    float eyePitchRad = 0;
    float blinkClosed01 = 0;
    float suspiciousDartOffsetRad = 0;
};

struct VelVirtualCinematographerV950 {
    static float circleOfConfusion01(float depthMeters, float focusMeters, VelCinemaLensMMV950 lens);
    static VelDocumentaryShotScoreV950 scoreFootageFrame(pk::float2 subjectScreenUV, float distanceMeters,
                                                         float subjectRarity01, float actionVelocityMPS);
    static VelNPCEyeGazeStateV950 evaluateNPCEyeGaze(pk::float3 npcHeadPos, pk::float2 npcForwardXZ,
                                                     pk::float3 playerEyePos, float timeSec, float stress01);
};

}  // namespace creator

// By the bit pattern of the raw focal length.
template <>
struct std::hash<creator::VelCinemaLensMMV950> {
    size_t operator()(const creator::VelCinemaLensMMV950& lens) const noexcept {
        return std::hash<uint32_t>()(std::bit_cast<uint32_t>(lens.rawValue()));
    }
};
