#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <limits>
#include <thread>

#include "MarblewickCreatorStudio/VelLive3DProximityVoiceEngineV1170.h"
#include "MarblewickCreatorStudio/VelSpatialProximityVoiceDSPV1020.h"
#include "PlatformKit/Audio/AudioOutput.h"

using namespace creator;
using Engine = VelLive3DProximityVoiceEngineV1170;
using Codec = VelIMAADPCMVoiceCodecV1170;

TEST(ProximityVoiceEngine, MicrophoneBlockThinning) {
    struct Case {
        double rate;
        size_t step;
    };
    std::vector<float> block(1024 * 2);  // stereo: only channel 0 counts
    for (size_t i = 0; i < 1024; ++i) {
        block[2 * i] = 0.3f * std::sin(0.05f * static_cast<float>(i));
        block[2 * i + 1] = 5.0f;  // never read
    }
    for (Case c : {Case{48000, 3}, Case{44100, 3}, Case{24000, 2}, Case{16000, 1}, Case{8000, 1}, Case{0, 1}}) {
        SCOPED_TRACE(c.rate);
        EXPECT_EQ(Engine::thinningStep(c.rate), c.step);
        auto out = Engine::processMicrophoneBlock(block, 2, 1024, c.rate);
        ASSERT_TRUE(out);
        auto d = Codec::decodeToFloat32(out->packet);
        ASSERT_TRUE(d);
        EXPECT_EQ(d->sampleRate, 16000.0);  // the label never changes
        EXPECT_EQ(d->samples.size(), (1024 + c.step - 1) / c.step);
        std::vector<float> kept;
        for (size_t i = 0; i < 1024; i += c.step) kept.push_back(block[2 * i]);
        EXPECT_GT(Codec::measureSNRDB(kept, d->samples), 15.0);  // every step-th sample of channel 0
    }
    EXPECT_FALSE(Engine::processMicrophoneBlock({}, 1, 0, 48000));
    // A frame count beyond the data reads only the data.
    EXPECT_EQ(Engine::processMicrophoneBlock(block, 2, 5000, 48000), Engine::processMicrophoneBlock(block, 2, 1024, 48000));
}

TEST(ProximityVoiceEngine, GateAndLevel) {
    auto constant = [](float v) { return std::vector<float>(1024, v); };
    EXPECT_FALSE(Engine::processMicrophoneBlock(constant(0.012f), 1, 1024, 16000));
    EXPECT_FALSE(Engine::processMicrophoneBlock(constant(0.0f), 1, 1024, 16000));
    auto quiet = Engine::processMicrophoneBlock(constant(0.0121f), 1, 1024, 16000);
    ASSERT_TRUE(quiet);
    EXPECT_NEAR(quiet->level, 0.0726f, 1e-6f);
    auto loud = Engine::processMicrophoneBlock(constant(-0.5f), 1, 1024, 48000);
    ASSERT_TRUE(loud);
    EXPECT_EQ(loud->level, 1.0f);
}

TEST(ProximityVoiceEngine, SelfTestRecord) {
    const auto a = Engine::runSelfTestLoopbackVerification();
    EXPECT_EQ(a.rawPCMBytes, 1920);
    EXPECT_EQ(a.adpcmPacketBytes, 492);
    EXPECT_EQ(a.compressionRatio, 3.9);
    EXPECT_GE(a.decodedSNRDB, 18.0);
    EXPECT_EQ(a.decodedSNRDB, std::round(a.decodedSNRDB * 10) / 10);
    EXPECT_GT(a.spatialRightRMS, 2 * a.spatialLeftRMS);
    EXPECT_GT(a.spatialLeftRMS, 0.0f);
    EXPECT_FLOAT_EQ(a.wallOccludedCutoffHz, 1126.4f);
    EXPECT_TRUE(a.packetRoundTripOK);
    EXPECT_TRUE(a.passed);
    EXPECT_EQ(VelLiveVoiceLoopbackAuditV1170::fromJson(a.toJson()), a);
}

TEST(ProximityVoiceEngine, IngestNeedsARunningEngineAndAPlayableRate) {
    const auto wave = VelSpatialProximityVoiceDSPV1020::generateTestVoiceWave(420, 0.06f, 16000);
    const auto packet = Codec::encodeFloat32Packet(wave, 16000);
    Engine engine;
    engine.ingestRemoteVoicePacket(packet, {0, 0, 0}, {1, 0, 0}, {2, 0, 0}, 0);
    EXPECT_EQ(engine.queuedPlaybackFrames(), 0);  // stopped: nothing plays

    engine.startLiveCaptureAndPlayback();
    if (!engine.isRunning()) GTEST_SKIP() << "no audio output on this machine";
    engine.startLiveCaptureAndPlayback();  // a second start changes nothing
    EXPECT_TRUE(engine.isRunning());

    auto rate0 = packet;
    rate0[6] = rate0[7] = 0;
    engine.ingestRemoteVoicePacket(rate0, {0, 0, 0}, {1, 0, 0}, {2, 0, 0}, 0);
    engine.ingestRemoteVoicePacket(std::vector<uint8_t>(12, 0), {0, 0, 0}, {1, 0, 0}, {2, 0, 0}, 0);
    EXPECT_EQ(engine.queuedPlaybackFrames(), 0);

    // Two loud talkers at once cannot queue more than the latency bound.
    for (int i = 0; i < 100; ++i) engine.ingestRemoteVoicePacket(packet, {0, 0, 0}, {1, 0, 0}, {2, 0, 0}, 0);
    EXPECT_GT(engine.queuedPlaybackFrames(), 0);
    EXPECT_LE(engine.queuedPlaybackFrames(), Engine::maxQueuedFrames);

    engine.stop();
    EXPECT_FALSE(engine.isRunning());
    EXPECT_EQ(engine.queuedPlaybackFrames(), 0);
    engine.ingestRemoteVoicePacket(packet, {0, 0, 0}, {1, 0, 0}, {2, 0, 0}, 0);
    EXPECT_EQ(engine.queuedPlaybackFrames(), 0);
}

TEST(ProximityVoiceEngine, HostilePacketsHoldTheBoundAndNeverReachTheMixAsNaN) {
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    Engine engine;
    engine.startLiveCaptureAndPlayback();
    if (!engine.isRunning()) GTEST_SKIP() << "no audio output on this machine";
    std::atomic<bool> finite{true};
    auto& output = pk::audio::AudioOutput::shared();
    const uint64_t tap = output.addTap([&](std::span<const float> mix, int) {
        for (float v : mix)
            if (!std::isfinite(v)) finite = false;
    });

    // Speakers (or a listener) that are nowhere play nothing.
    const auto voice = Codec::encodeFloat32Packet(VelSpatialProximityVoiceDSPV1020::generateTestVoiceWave(420, 0.06f, 16000), 16000);
    for (auto [listener, speaker] : {std::pair{pk::float3(0), pk::float3(nan, 0, 0)}, std::pair{pk::float3(0), pk::float3(0, inf, 0)},
                                     std::pair{pk::float3(0, 0, -inf), pk::float3(2, 0, 0)}}) {
        engine.ingestRemoteVoicePacket(voice, listener, {1, 0, 0}, speaker, 0);
        EXPECT_EQ(engine.queuedPlaybackFrames(), 0);
    }

    // The largest packet a peer can send, at the extreme rates, never queues past 250 ms.
    std::vector<float> loud(65535);
    for (size_t i = 0; i < loud.size(); ++i) loud[i] = (i % 2 ? 0.9f : -0.9f);
    for (uint16_t rate : {uint16_t(1), uint16_t(16000), uint16_t(65535)}) {
        const auto packet = Codec::encodeFloat32Packet(loud, rate);
        ASSERT_EQ(Codec::decodeToFloat32(packet)->samples.size(), 65535u);
        for (int i = 0; i < 3; ++i) {
            engine.ingestRemoteVoicePacket(packet, {0, 0, 0}, {nan, 0, 0}, {0.1f, 0, 0}, 0);
            EXPECT_GT(engine.queuedPlaybackFrames(), 0);
            EXPECT_LE(engine.queuedPlaybackFrames(), Engine::maxQueuedFrames);
        }
    }
    // Let the mix play some of it.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (engine.queuedPlaybackFrames() > 2000 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    output.removeTap(tap);
    engine.stop();
    EXPECT_TRUE(finite);
}
