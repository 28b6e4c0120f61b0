#include "MarblewickCreatorStudio/VelCinemaLensMMV950.h"

#include <algorithm>
#include <cmath>

#include "PlatformKit/Foundation/Numbers.h"

namespace creator {

namespace {
constexpr float kPi = 3.1415925f;  // the kernels' own value of pi, part of their results

struct LensRow {
    float mm;
    float fStop;
    float focalMeters;
    float frameT;  // twice the focal length
};
constexpr LensRow kLenses[4] = {
    {24.0f, 4.0f, 0.024f, 48.0f},
    {35.0f, 2.0f, 0.035f, 70.0f},
    {50.0f, 1.4f, 0.05f, 100.0f},
    {85.0f, 1.2f, 0.085f, 170.0f},
};
}  // namespace

const std::array<VelCinemaLensMMV950, 4> VelCinemaLensMMV950::allCases = {
    VelCinemaLensMMV950::wide24mm, VelCinemaLensMMV950::cinema35mm, VelCinemaLensMMV950::standard50mm,
    VelCinemaLensMMV950::portrait85mm};

float VelCinemaLensMMV950::rawValue() const { return kLenses[value].mm; }

std::optional<VelCinemaLensMMV950> VelCinemaLensMMV950::fromRaw(float mm) {
    for (auto lens : allCases)
        if (kLenses[lens.value].mm == mm) return lens;
    return std::nullopt;
}

float VelCinemaLensMMV950::fStopAperture() const { return kLenses[value].fStop; }
float VelCinemaLensMMV950::focalLengthMeters() const { return kLenses[value].focalMeters; }

float VelCinemaLensMMV950::verticalFOVDegrees() const {
    return 2.0f * std::atan(24.0f / kLenses[value].frameT) * 180.0f / kPi;
}

pk::json::Json VelCinemaLensMMV950::toJson() const { return pk::json::floatNumber(rawValue()); }

VelCinemaLensMMV950 VelCinemaLensMMV950::fromJson(const pk::json::Json& j) {
    float mm = pk::json::asFloat(j, "VelCinemaLensMMV950");
    auto lens = fromRaw(mm);
    if (!lens) pk::json::failDecode(pk::json::dataCorrupted, "Cannot initialize VelCinemaLensMMV950 from invalid Float value " + pk::shortestText(mm));
    return *lens;
}

pk::json::OrderedJson VelDocumentaryShotScoreV950::toJson() const {
    pk::json::OrderedJson j = pk::json::OrderedJson::object();
    j["compositionScore01"] = pk::json::floatNumber(compositionScore01);
    j["proximityScore01"] = pk::json::floatNumber(proximityScore01);
    j["rarityMultiplier"] = pk::json::floatNumber(rarityMultiplier);
    j["totalViralScore"] = totalViralScore;
    j["estimatedPayoutUSD"] = estimatedPayoutUSD;
    j["verdict"] = verdict;
    return j;
}

VelDocumentaryShotScoreV950 VelDocumentaryShotScoreV950::fromJson(const pk::json::OrderedJson& j) {
    using namespace pk::json;
    VelDocumentaryShotScoreV950 s;
    s.compositionScore01 = readFloat(j, "compositionScore01");
    s.proximityScore01 = readFloat(j, "proximityScore01");
    s.rarityMultiplier = readFloat(j, "rarityMultiplier");
    s.totalViralScore = readInteger<int64_t>(j, "totalViralScore");
    s.estimatedPayoutUSD = readInteger<int64_t>(j, "estimatedPayoutUSD");
    s.verdict = readString(j, "verdict");
    return s;
}

float VelVirtualCinematographerV950::circleOfConfusion01(float depthMeters, float focusMeters, VelCinemaLensMMV950 lens) {
    const float f = lens.focalLengthMeters();
    const float n = lens.fStopAperture();
    const float coc = (f * f / n) / std::max(focusMeters - f, 0.15f) * std::fabs(depthMeters - focusMeters) /
                      std::max(depthMeters, 0.25f) * 180.0f;
    return std::min(coc, 1.0f);
}

VelDocumentaryShotScoreV950 VelVirtualCinematographerV950::scoreFootageFrame(pk::float2 uv, float distanceMeters,
                                                                            float rarity01, float speedMPS) {
    static const pk::float2 kAnchors[5] = {
        {0.333f, 0.333f}, {0.667f, 0.333f}, {0.333f, 0.667f}, {0.667f, 0.667f}, {0.5f, 0.5f}};
    float dmin = glm::distance(uv, kAnchors[0]);
    for (int i = 1; i < 5; ++i) dmin = std::min(dmin, glm::distance(uv, kAnchors[i]));

    VelDocumentaryShotScoreV950 s;
    s.compositionScore01 = std::clamp(1.0f - 2.4f * dmin, 0.0f, 1.0f);
    s.proximityScore01 = std::clamp(1.0f - std::fabs(distanceMeters - 12.0f) / 45.0f, 0.1f, 1.0f);
    s.rarityMultiplier = 1.0f + 2.5f * std::clamp(rarity01, 0.0f, 1.0f);
    const float total = (std::min(speedMPS * 0.06f, 1.2f) + 1.0f) * s.rarityMultiplier *
                        (s.proximityScore01 * 280.0f + s.compositionScore01 * 420.0f);
    // A NaN total (NaN inputs) scores 0; finite totals saturate to the integer range.
    s.totalViralScore = std::isfinite(total) ? pk::truncToInt64(total) : 0;
    // Saturate the payout too, so 4 × a huge total cannot overflow.
    const int64_t kMax = INT64_MAX / 4, kMin = INT64_MIN / 4;
    s.estimatedPayoutUSD = 4 * std::clamp(s.totalViralScore, kMin, kMax);
    if (s.totalViralScore >= 1200)
        s.verdict = "JACKPOT / VIRAL FRONT-PAGE SHOT!";
    else if (s.totalViralScore >= 700)
        s.verdict = "BROADCAST GRADE FOOTAGE";
    else
        s.verdict = "B-ROLL COVERAGE";
    return s;
}

VelNPCEyeGazeStateV950 VelVirtualCinematographerV950::evaluateNPCEyeGaze(pk::float3 head, pk::float2 forwardXZ,
                                                                        pk::float3 playerEye, float t, float stress) {
    const pk::float3 d = playerEye - head;
    const float bearing = std::atan2(d.x, -d.z);
    const float facing = std::atan2(forwardXZ.x, -forwardXZ.y);
    float yaw = bearing - facing;
    // Each side is within -pi..pi, so the difference needs at most one wrap; the loops
    // also stay bounded for non-finite input.
    for (int i = 0; i < 4 && yaw > kPi; ++i) yaw -= 6.283185f;
    for (int i = 0; i < 4 && yaw < -kPi; ++i) yaw += 6.283185f;

    VelNPCEyeGazeStateV950 g;
    const float phase = std::fmod(t, 3.8f);
    g.blinkClosed01 = phase > 3.62f ? std::sin((phase - 3.62f) / 0.18f * kPi) : 0.0f;
    g.suspiciousDartOffsetRad = stress > 0.55f ? stress * std::sin(5.2f * t) * 0.24f : 0.0f;
    g.eyeYawRad = std::clamp(yaw, -0.55f, 0.55f) + g.suspiciousDartOffsetRad;
    const float horizontal = std::sqrt(d.x * d.x + d.z * d.z);
    g.eyePitchRad = std::clamp(std::atan2(d.y, std::max(horizontal, 0.01f)), -0.35f, 0.35f);
    return g;
}

}  // namespace creator
