#include <gtest/gtest.h>

#include <cmath>

#include "MarblewickCreatorStudio/VelCinemaLensMMV950.h"

using namespace creator;
using Lens = VelCinemaLensMMV950;
using Cine = VelVirtualCinematographerV950;

TEST(CinemaLens, RawValuesApertureAndFieldOfView) {
    ASSERT_EQ(Lens::allCases.size(), 4u);
    const float mm[] = {24, 35, 50, 85};
    const float fstop[] = {4.0f, 2.0f, 1.4f, 1.2f};
    const float fov[] = {53.13f, 37.85f, 26.99f, 16.07f};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(Lens::allCases[i].rawValue(), mm[i]);
        EXPECT_EQ(Lens::allCases[i].fStopAperture(), fstop[i]);
        EXPECT_NEAR(Lens::allCases[i].verticalFOVDegrees(), fov[i], 0.01f);
        EXPECT_EQ(Lens::fromRaw(mm[i]), Lens::allCases[i]);
    }
    EXPECT_FALSE(Lens::fromRaw(36).has_value());
    EXPECT_FALSE(Lens::fromRaw(50.0001f).has_value());
    EXPECT_EQ(Lens::fromJson(pk::json::parse("85")), Lens::portrait85mm);
    EXPECT_THROW(Lens::fromJson(pk::json::parse("36")), pk::StudioError);
    EXPECT_EQ(pk::json::dump(Lens(Lens::standard50mm).toJson()), "50");
}

TEST(CinemaLens, ShotScoring) {
    struct Case {
        float u, v, d, rarity, speed;
        int64_t total;
        const char* verdict;
    };
    const Case cases[] = {
        {0.5f, 0.5f, 12, 0, 0, 700, "BROADCAST GRADE FOOTAGE"},
        {0.5f, 0.5f, 12, 1, 30, 5390, "JACKPOT / VIRAL FRONT-PAGE SHOT!"},
        {0.5f, 0.5f, 12, 5, 30, 5390, "JACKPOT / VIRAL FRONT-PAGE SHOT!"},  // rarity clamps at 1
        {0.0f, 0.0f, 80, 0, 0, 28, "B-ROLL COVERAGE"},                      // proximity held at 0.1
        {0.5f, 0.5f, 12, 0, -1000, -41300, "B-ROLL COVERAGE"},             // negative speed not clamped
    };
    for (const auto& c : cases) {
        auto s = Cine::scoreFootageFrame({c.u, c.v}, c.d, c.rarity, c.speed);
        EXPECT_EQ(s.totalViralScore, c.total) << c.u << "," << c.d << "," << c.speed;
        EXPECT_EQ(s.estimatedPayoutUSD, 4 * c.total);
        EXPECT_EQ(s.verdict, c.verdict);
    }
    auto far = Cine::scoreFootageFrame({0, 0}, 80, 0, 0);
    EXPECT_FLOAT_EQ(far.proximityScore01, 0.1f);
    EXPECT_FLOAT_EQ(far.compositionScore01, 0.0f);
}

TEST(CinemaLens, NonFiniteOrHugeTotalsStayDefined) {
    auto nanShot = Cine::scoreFootageFrame({0.5f, 0.5f}, NAN, 0, 0);
    EXPECT_EQ(nanShot.totalViralScore, 0);
    auto infShot = Cine::scoreFootageFrame({0.5f, 0.5f}, 12, 0, -INFINITY);
    EXPECT_EQ(infShot.totalViralScore, 0);
    auto huge = Cine::scoreFootageFrame({0.5f, 0.5f}, 12, 0, -1e30f);
    EXPECT_EQ(huge.totalViralScore, INT64_MIN);
    EXPECT_EQ(huge.verdict, "B-ROLL COVERAGE");
}

TEST(CinemaLens, ScoreJsonKeepsItsKeysInOrderAndRequiresAll) {
    auto s = Cine::scoreFootageFrame({0.5f, 0.5f}, 12, 0, 0);
    const std::string text = pk::json::dump(s.toJson());
    EXPECT_EQ(text,
              R"({"compositionScore01":1,"proximityScore01":1,"rarityMultiplier":1,"totalViralScore":700,"estimatedPayoutUSD":2800,"verdict":"BROADCAST GRADE FOOTAGE"})");
    auto back = VelDocumentaryShotScoreV950::fromJson(pk::json::parseOrdered(text));
    EXPECT_EQ(back.totalViralScore, 700);
    auto missing = pk::json::parseOrdered(text);
    missing.erase("verdict");
    EXPECT_THROW(VelDocumentaryShotScoreV950::fromJson(missing), pk::StudioError);
}

TEST(CinemaLens, BlurAmount) {
    EXPECT_EQ(Cine::circleOfConfusion01(3, 3, Lens::standard50mm), 0.0f);
    EXPECT_EQ(Cine::circleOfConfusion01(100, 0.5f, Lens::portrait85mm), 1.0f);
    // Near focus: the denominator is held at 0.15.
    const float f = 0.05f, n = 1.4f;
    const float expected = (f * f / n) / 0.15f * std::fabs(2.0f - 0.1f) / 2.0f * 180.0f;
    EXPECT_FLOAT_EQ(Cine::circleOfConfusion01(2.0f, 0.1f, Lens::standard50mm), std::min(expected, 1.0f));
}

TEST(CinemaLens, EyeGaze) {
    const pk::float3 head{0, 1.7f, 0};
    const pk::float2 forward{0, -1};
    EXPECT_NEAR(Cine::evaluateNPCEyeGaze(head, forward, {0, 1.7f, -5}, 3.71f, 0).blinkClosed01, 1.0f, 1e-4f);
    EXPECT_EQ(Cine::evaluateNPCEyeGaze(head, forward, {0, 1.7f, -5}, 3.0f, 0).blinkClosed01, 0.0f);
    // A player straight behind: yaw clamps to the limit.
    auto behind = Cine::evaluateNPCEyeGaze(head, forward, {0.01f, 1.7f, 5}, 0, 0);
    EXPECT_FLOAT_EQ(std::fabs(behind.eyeYawRad), 0.55f);
    EXPECT_EQ(Cine::evaluateNPCEyeGaze(head, forward, {1, 1.7f, -5}, 1, 0.55f).suspiciousDartOffsetRad, 0.0f);
    for (float t = 0; t < 2; t += 0.1f) {
        auto g = Cine::evaluateNPCEyeGaze(head, forward, {0, 1.7f, 5}, t, 1.0f);
        EXPECT_LE(std::fabs(g.suspiciousDartOffsetRad), 0.24f + 1e-6f);
        EXPECT_LE(std::fabs(g.eyeYawRad), 0.55f + 0.24f + 1e-5f);
    }
    // Pitch: straight above is clamped; the horizontal distance never divides by zero.
    EXPECT_FLOAT_EQ(Cine::evaluateNPCEyeGaze(head, forward, {0, 5, 0}, 0, 0).eyePitchRad, 0.35f);
}
