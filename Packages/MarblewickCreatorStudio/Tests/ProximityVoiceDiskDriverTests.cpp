// End to end through SDL's disk driver: a raw 48 kHz tone file is the microphone, the
// packets the engine sends are played back for a speaker on the right, and the played
// output lands in a file.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <thread>

#include "MarblewickCreatorStudio/VelLive3DProximityVoiceEngineV1170.h"
#include "PlatformKit/Audio/AudioOutput.h"
#include "PlatformKit/Foundation/Files.h"

using namespace creator;
namespace fs = std::filesystem;

TEST(ProximityVoiceDiskDriver, MicrophoneToPacketsToPlayedFile) {
    const fs::path dir = fs::path(KS_TEST_OUTPUT_DIR) / "voice-disk";
    fs::create_directories(dir);
    const fs::path inFile = dir / "mic.raw", outFile = dir / "played.raw";
    fs::remove(outFile);
    // 0.5 s of a 440 Hz tone at 48 kHz, mono 32-bit float, then the driver reads silence.
    std::vector<float> tone(24000);
    for (size_t i = 0; i < tone.size(); ++i) tone[i] = 0.4f * std::sin(6.283185f * 440.0f * float(i) / 48000.0f);
    pk::writeInPlace(inFile, std::span(reinterpret_cast<const uint8_t*>(tone.data()), tone.size() * 4));
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILEIN", inFile.c_str(), 1);
    setenv("SDL_DISKAUDIOFILE", outFile.c_str(), 1);
    setenv("SDL_DISKAUDIODELAY", "1", 1);

    VelLive3DProximityVoiceEngineV1170 engine;
    std::mutex m;
    std::condition_variable cv;
    std::vector<std::vector<uint8_t>> packets;
    engine.setOnEncodedVoicePacket([&](const std::vector<uint8_t>& p, float level) {
        std::lock_guard lock(m);
        EXPECT_GT(level, 0.012f * 6);
        packets.push_back(p);
        cv.notify_all();
    });
    engine.startLiveCaptureAndPlayback();
    ASSERT_TRUE(engine.isRunning());
    ASSERT_TRUE(engine.isCapturing());
    {
        std::unique_lock lock(m);
        ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(10), [&] { return packets.size() >= 8; }));
    }
    std::vector<std::vector<uint8_t>> got;
    {
        std::lock_guard lock(m);
        got = packets;
    }
    // 1024 frames at 48 kHz keep every third sample: 342 samples of a true 16 kHz signal.
    std::vector<float> voice;
    for (const auto& p : got) {
        auto d = VelIMAADPCMVoiceCodecV1170::decodeToFloat32(p);
        ASSERT_TRUE(d);
        EXPECT_EQ(d->sampleRate, 16000.0);
        EXPECT_EQ(d->samples.size(), 342u);
        voice.insert(voice.end(), d->samples.begin(), d->samples.end());
    }
    int crossings = 0;
    for (size_t i = 200; i + 1 < voice.size(); ++i) crossings += (voice[i] < 0) != (voice[i + 1] < 0);
    const double hz = crossings / 2.0 / (double(voice.size() - 201) / 16000.0);
    EXPECT_NEAR(hz, 440.0, 15.0);  // the pitch survives: the 16 kHz label is true

    for (const auto& p : got) engine.ingestRemoteVoicePacket(p, {0, 0, 0}, {1, 0, 0}, {3, 0, 0}, 0);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (engine.queuedPlaybackFrames() > 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(engine.queuedPlaybackFrames(), 0);
    engine.stop();
    pk::audio::AudioOutput::shared().close();

    const auto bytes = pk::readFile(outFile);
    ASSERT_TRUE(bytes);
    const size_t frames = bytes->size() / 8;
    const float* s = reinterpret_cast<const float*>(bytes->data());
    double left = 0, right = 0;
    for (size_t i = 0; i < frames; ++i) {
        left += double(s[2 * i]) * s[2 * i];
        right += double(s[2 * i + 1]) * s[2 * i + 1];
    }
    EXPECT_GT(right, 0.1);
    EXPECT_LT(left, right * 1e-6);  // a speaker straight to the right
}
