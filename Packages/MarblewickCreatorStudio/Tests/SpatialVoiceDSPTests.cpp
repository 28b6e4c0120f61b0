#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "MarblewickCreatorStudio/VelSpatialProximityVoiceDSPV1020.h"

using namespace creator;
using DSP = VelSpatialProximityVoiceDSPV1020;

namespace {
std::vector<float> tone(size_t n) { return DSP::generateTestVoiceWave(420, static_cast<float>(n) / 16000.0f, 16000); }

VelSpatialVoiceMixResultV1020 mix(const std::vector<float>& in, pk::float3 speaker, pk::float3 right = {1, 0, 0},
                                  pk::float3 vel = {0, 0, 0}, int64_t walls = 0, float wet = 0.24f, float sr = 16000) {
    return DSP::spatializeMonoVoice(in, sr, {0, 0, 0}, right, speaker, vel, walls, wet, 32);
}
}  // namespace

TEST(SpatialVoiceDSP, WorkedExampleToTheRight) {
    const auto wave = tone(960);
    const auto r = mix(wave, {5.2f, -1.0f, 0});
    EXPECT_NEAR(r.distanceAttenuation, 0.20302f, 1e-5f);
    ASSERT_EQ(r.stereoInterleavedPCM.size(), 1920u);
    // p ≈ 0.98201: θ = (p + 1)·π/4, so right / left = tan θ.
    const float theta = (0.98201f + 1.0f) * DSP::pi / 4.0f;
    EXPECT_NEAR(r.rightRMS / r.leftRMS, std::tan(theta), 0.02f * std::tan(theta));
    EXPECT_GT(r.rightRMS, 2 * r.leftRMS);
    EXPECT_EQ(r.wallCutoffHz, 11000.0f);
    EXPECT_EQ(r.dopplerPitchRatio, 1.0f);
    EXPECT_GT(r.echoEnergy, 0.0f);
}

TEST(SpatialVoiceDSP, DistanceGain) {
    const auto wave = tone(64);
    EXPECT_NEAR(mix(wave, {0, 0, 0}).distanceAttenuation, 1.0f / (1.0f + 0.01715f), 1e-5f);  // d held at 0.35
    for (pk::float3 far : {pk::float3(32, 0, 0), pk::float3(0, 0, -40)}) {
        const auto r = mix(wave, far);
        EXPECT_EQ(r.distanceAttenuation, 0.0f);
        ASSERT_EQ(r.stereoInterleavedPCM.size(), 128u);
        for (float v : r.stereoInterleavedPCM) ASSERT_EQ(v, 0.0f);
    }
    // Fading over the last 4.5 m inside the radius.
    EXPECT_NEAR(DSP::distanceGain(29.75f, 32), 0.5f / (1 + 0.14f * 29.75f * 29.75f), 1e-7f);
}

TEST(SpatialVoiceDSP, PanAndDegenerateRightVector) {
    const auto wave = tone(256);
    const auto ahead = mix(wave, {0, 0, -3});
    EXPECT_NEAR(ahead.leftRMS, ahead.rightRMS, 1e-6f);
    const auto right = mix(wave, {3, 0, 0});
    EXPECT_LT(right.leftRMS, 1e-6f);
    const auto left = mix(wave, {-3, 0, 0});
    EXPECT_LT(left.rightRMS, 1e-6f);
    // Any length of right vector pans the same.
    EXPECT_EQ(mix(wave, {2, 0, -1}, {5, 0, 0}).stereoInterleavedPCM, mix(wave, {2, 0, -1}).stereoInterleavedPCM);

    const auto centred = mix(wave, {3, 0, 0}, {0, 0, 0});
    for (float v : centred.stereoInterleavedPCM) ASSERT_FALSE(std::isnan(v));
    EXPECT_NEAR(centred.leftRMS, centred.rightRMS, 1e-6f);
    EXPECT_GT(centred.leftRMS, 0.0f);
}

TEST(SpatialVoiceDSP, WallCutoffs) {
    struct Case {
        int64_t walls;
        float hz;
    };
    for (Case c : {Case{0, 11000}, Case{1, 3520}, Case{2, 1126.4f}, Case{3, 480}, Case{7, 480}, Case{-3, 11000},
                   Case{INT64_MAX, 480}}) {
        EXPECT_FLOAT_EQ(DSP::wallCutoffHz(c.walls), c.hz) << c.walls;
    }
    const auto wave = tone(960);
    EXPECT_LT(mix(wave, {0, 0, -3}, {1, 0, 0}, {0, 0, 0}, 3).leftRMS, mix(wave, {0, 0, -3}).leftRMS);
}

TEST(SpatialVoiceDSP, DopplerRatios) {
    struct Case {
        pk::float3 vel;
        float ratio;
    };
    // Speaker at +x; velocity along +x moves it away.
    const Case cases[] = {{{100, 0, 0}, 0.65f},   // c = 763: 0.4495 raised to the floor
                          {{-100, 0, 0}, 1.38f},  // c = −77, below 120
                          {{0, 0, 0}, 1.0f},
                          {{10, 0, 0}, 343.0f / 385.0f},
                          {{-20, 0, 0}, 343.0f / 259.0f},
                          {{-40, 0, 0}, 1.38f},   // 343 / 175 is capped
                          {{0, 50, 0}, 1.0f}};    // across the line of sight
    const auto wave = tone(500);
    for (const auto& c : cases) {
        const auto r = mix(wave, {4, 0, 0}, {1, 0, 0}, c.vel);
        EXPECT_FLOAT_EQ(r.dopplerPitchRatio, c.ratio);
        EXPECT_EQ(r.stereoInterleavedPCM.size(), 1000u);  // pitch never changes the block length
    }
}

TEST(SpatialVoiceDSP, EchoRing) {
    EXPECT_EQ(DSP::echoRingLength(16000), 928);
    EXPECT_EQ(DSP::echoRingLength(10), 1);
    EXPECT_EQ(DSP::echoRingLength(48000), 2784);
    // The first echo of an impulse arrives one ring length later.
    std::vector<float> impulse(1200, 0.0f);
    impulse[0] = 1.0f;
    const auto dry = mix(impulse, {0, 0, -1}, {1, 0, 0}, {0, 0, 0}, 0, 0.0f);
    const auto wet = mix(impulse, {0, 0, -1}, {1, 0, 0}, {0, 0, 0}, 0, 1.0f);
    for (size_t i = 0; i < 928; ++i) ASSERT_EQ(dry.stereoInterleavedPCM[2 * i], wet.stereoInterleavedPCM[2 * i]) << i;
    EXPECT_GT(wet.stereoInterleavedPCM[2 * 928], dry.stereoInterleavedPCM[2 * 928]);
    EXPECT_EQ(dry.echoEnergy, 0.0f);
}

TEST(SpatialVoiceDSP, EmptyInputAndTestVoice) {
    const auto r = mix({}, {1, 0, 0});
    EXPECT_TRUE(r.stereoInterleavedPCM.empty());
    EXPECT_EQ(r.leftRMS, 0.0f);
    EXPECT_EQ(r.rightRMS, 0.0f);
    EXPECT_EQ(r.echoEnergy, 0.0f);

    const auto wave = DSP::generateTestVoiceWave(420, 0.06f, 16000);
    EXPECT_EQ(wave.size(), 960u);
    EXPECT_EQ(wave[0], 0.0f);
    EXPECT_NEAR(wave[1], 0.55f * std::sin(6.283185f * 420 / 16000) + 0.22f * std::sin(6.283185f * 903 / 16000), 1e-6f);
    EXPECT_TRUE(DSP::generateTestVoiceWave(420, 0, 16000).empty());
}

TEST(SpatialVoiceDSP, PositionsFromAHostilePeer) {
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    struct Case {
        const char* name;
        pk::float3 listener, speaker, right, vel;
        bool silent;
    };
    const Case cases[] = {
        {"speaker x NaN", {0, 0, 0}, {nan, 0, 0}, {1, 0, 0}, {0, 0, 0}, true},
        {"speaker at infinity", {0, 0, 0}, {0, inf, 0}, {1, 0, 0}, {0, 0, 0}, true},
        {"listener NaN", {0, 0, nan}, {3, 0, 0}, {1, 0, 0}, {0, 0, 0}, true},
        {"both at infinity", {inf, 0, 0}, {inf, 0, 0}, {1, 0, 0}, {0, 0, 0}, true},
        {"offset too far for a float", {-3e38f, 0, 0}, {3e38f, 0, 0}, {1, 0, 0}, {0, 0, 0}, true},
        {"right NaN", {0, 0, 0}, {3, 0, 0}, {nan, 0, 0}, {0, 0, 0}, false},
        {"right infinite", {0, 0, 0}, {3, 0, 0}, {inf, 0, inf}, {0, 0, 0}, false},
        {"velocity NaN", {0, 0, 0}, {3, 0, 0}, {1, 0, 0}, {nan, 0, 0}, false},
        {"velocity infinite", {0, 0, 0}, {3, 0, 0}, {1, 0, 0}, {-inf, 0, 0}, false},
    };
    const auto wave = tone(960);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto r = DSP::spatializeMonoVoice(wave, 16000, c.listener, c.right, c.speaker, c.vel, 0, 0.24f, 32);
        ASSERT_EQ(r.stereoInterleavedPCM.size(), 1920u);
        float peak = 0;
        for (float v : r.stereoInterleavedPCM) {
            ASSERT_TRUE(std::isfinite(v));
            peak = std::max(peak, std::abs(v));
        }
        for (float v : {r.leftRMS, r.rightRMS, r.distanceAttenuation, r.dopplerPitchRatio, r.echoEnergy})
            EXPECT_TRUE(std::isfinite(v));
        if (c.silent) {
            EXPECT_EQ(peak, 0.0f);
            EXPECT_EQ(r.distanceAttenuation, 0.0f);
        } else {
            EXPECT_GT(peak, 0.0f);
            EXPECT_EQ(r.dopplerPitchRatio, 1.0f) << "a velocity that is not a number is none";
        }
    }
}
