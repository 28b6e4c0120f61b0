#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "CoopTestSupport.h"
#include "MarblewickCreatorStudio/VelIMAADPCMVoiceCodecV1170.h"
#include "MarblewickCreatorStudio/VelSpatialProximityVoiceDSPV1020.h"
#include "FuzzSeeds.h"

using namespace creator;
using Codec = VelIMAADPCMVoiceCodecV1170;

TEST(VoiceCodec, GoldenPacket) {
    // 0 → predictor; +327 → code 7 (p = 11, index 8); −327 → code 15 (p = −19).
    const float samples[] = {0.0f, 0.01f, -0.01f};
    const auto bytes = Codec::encodeFloat32Packet(samples, 16000);
    kstest::writeFuzzSeed("creator_VoicePacket", "three", bytes);
    EXPECT_EQ(toHex(bytes), "4356574d0300803e00000000f7");
    auto d = Codec::decodeToFloat32(bytes);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->sampleRate, 16000.0);
    EXPECT_EQ(d->samples, (std::vector<float>{0.0f, 11.0f / 32767.0f, -19.0f / 32767.0f}));
}

TEST(VoiceCodec, SizesAndNibblePlacement) {
    struct Case {
        size_t n;
        size_t bytes;
    };
    for (Case c : {Case{1, 12}, Case{2, 13}, Case{3, 13}, Case{4, 14}, Case{5, 14}, Case{960, 492}}) {
        SCOPED_TRACE(c.n);
        std::vector<float> s(c.n);
        for (size_t i = 0; i < c.n; ++i) s[i] = (i % 2 ? 0.3f : -0.3f);
        const auto p = Codec::encodeFloat32Packet(s, 16000);
        EXPECT_EQ(p.size(), c.bytes);
        EXPECT_EQ(p[4] | (p[5] << 8), static_cast<int>(c.n));
        EXPECT_EQ(Codec::decodeToFloat32(p)->samples.size(), c.n);
        if (c.n == 2) {
            EXPECT_EQ(p[12] & 0xF0, 0);  // lone code: low nibble only
        }
        if (c.n == 3) {
            EXPECT_NE(p[12] & 0xF0, 0);  // second code fills the high nibble
        }
    }
    EXPECT_TRUE(Codec::encodeFloat32Packet({}, 16000).empty());
    const float one = 0.25f;
    const auto single = Codec::encodeFloat32Packet({&one, 1}, 8000);
    EXPECT_EQ(static_cast<int16_t>(single[8] | (single[9] << 8)), 8191);
}

TEST(VoiceCodec, SelfTestSignalFigures) {
    const auto wave = VelSpatialProximityVoiceDSPV1020::generateTestVoiceWave(420, 0.06f, 16000);
    ASSERT_EQ(wave.size(), 960u);
    const auto packet = Codec::encodeFloat32Packet(wave, 16000);
    EXPECT_EQ(packet.size(), 492u);
    const double ratio = 1920.0 / static_cast<double>(packet.size());
    EXPECT_NEAR(ratio, 3.9, 0.005);
    const auto decoded = Codec::decodeToFloat32(packet);
    ASSERT_TRUE(decoded);
    const double snr = Codec::measureSNRDB(wave, decoded->samples);
    EXPECT_GE(snr, 18.0);
    EXPECT_LT(snr, 99.0);
}

TEST(VoiceCodec, SixteenBitScale) {
    struct Case {
        float sample;
        int32_t pcm;
    };
    const Case cases[] = {{1.5f, 32767},
                          {-1.5f, -32768},
                          {1.0f, 32767},
                          {0.01f, 327},
                          {-0.01f, -327},  // truncation toward zero
                          {std::numeric_limits<float>::quiet_NaN(), 32767},
                          {std::numeric_limits<float>::infinity(), 32767},
                          {-std::numeric_limits<float>::infinity(), -32768}};
    for (const auto& c : cases) EXPECT_EQ(Codec::toPCM16(c.sample), c.pcm) << c.sample;

    const float hot = 1.5f, cold = -1.5f;
    EXPECT_EQ(Codec::decodeToFloat32(Codec::encodeFloat32Packet({&hot, 1}, 16000))->samples[0], 1.0f);
    EXPECT_FLOAT_EQ(Codec::decodeToFloat32(Codec::encodeFloat32Packet({&cold, 1}, 16000))->samples[0],
                    -32768.0f / 32767.0f);
}

TEST(VoiceCodec, DecoderStaysInsideItsInput) {
    std::vector<float> s(200);
    for (size_t i = 0; i < s.size(); ++i) s[i] = 0.4f * std::sin(0.2f * static_cast<float>(i));
    auto p = Codec::encodeFloat32Packet(s, 16000);

    // Count 100, bytes cut to 20: the first sample and two per byte 12..19.
    auto cut = p;
    cut[4] = 100;
    cut[5] = 0;
    cut.resize(20);
    EXPECT_EQ(Codec::decodeToFloat32(cut)->samples.size(), 17u);

    EXPECT_FALSE(Codec::decodeToFloat32(std::span(p).first(11)));
    auto zeroCount = p;
    zeroCount[4] = zeroCount[5] = 0;
    EXPECT_FALSE(Codec::decodeToFloat32(zeroCount));
    auto wrongMagic = p;
    wrongMagic[0] ^= 1;
    EXPECT_FALSE(Codec::decodeToFloat32(wrongMagic));

    // Header only: the predictor's one sample.
    EXPECT_EQ(Codec::decodeToFloat32(std::span(p).first(12))->samples.size(), 1u);

    auto index200 = p, index88 = p;
    index200[10] = 200;
    index88[10] = 88;
    EXPECT_EQ(Codec::decodeToFloat32(index200), Codec::decodeToFloat32(index88));

    // A rate of 0 is reported as stored; the play path decides.
    auto rate0 = p;
    rate0[6] = rate0[7] = 0;
    EXPECT_EQ(Codec::decodeToFloat32(rate0)->sampleRate, 0.0);
}

TEST(VoiceCodec, CountSaturatesAbove65535) {
    std::vector<float> s(70000, 0.1f);
    const auto p = Codec::encodeFloat32Packet(s, 16000);
    EXPECT_EQ(p.size(), 12u + 35000u);  // every sample is still encoded
    EXPECT_EQ(p[4] | (p[5] << 8), 65535);
    EXPECT_EQ(Codec::decodeToFloat32(p)->samples.size(), 65535u);
}

TEST(VoiceCodec, SignalToNoise) {
    const std::vector<float> a = {0.5f, -0.25f, 0.125f};
    EXPECT_EQ(Codec::measureSNRDB(a, a), 99.0);
    EXPECT_EQ(Codec::measureSNRDB({}, a), 0.0);
    EXPECT_EQ(Codec::measureSNRDB(a, {}), 0.0);
    const std::vector<float> ones = {1, 1}, nines = {0.9f, 0.9f, 123.0f};  // extra tail ignored
    const double noise = static_cast<double>(1.0f - 0.9f);
    EXPECT_DOUBLE_EQ(Codec::measureSNRDB(ones, nines), 10.0 * std::log10(1.0 / (noise * noise)));
}

TEST(VoiceLoopbackAudit, JsonKeysAndStrictDecode) {
    VelLiveVoiceLoopbackAuditV1170 a{1920, 492, 3.9, 31.4, 0.01f, 0.2f, 1126.4f, true, true};
    EXPECT_EQ(pk::json::dump(a.toJson()),
              R"({"rawPCMBytes":1920,"adpcmPacketBytes":492,"compressionRatio":3.9,"decodedSNRDB":31.4,)"
              R"("spatialLeftRMS":0.01,"spatialRightRMS":0.2,"wallOccludedCutoffHz":1126.4,)"
              R"("packetRoundTripOK":true,"passed":true})");
    EXPECT_EQ(VelLiveVoiceLoopbackAuditV1170::fromJson(pk::json::parse(pk::json::dump(a.toJson()))), a);
    auto j = a.toJson();
    j.erase("passed");
    EXPECT_THROW(VelLiveVoiceLoopbackAuditV1170::fromJson(j), pk::StudioError);
}
