// End to end through SDL's disk driver: what is played lands in a file, what is
// captured comes from one. Also: a failed start is reported and a later start works.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "PlatformKit/Audio/AudioOutput.h"
#include "PlatformKit/Audio/LoopPlayer.h"
#include "PlatformKit/Audio/Microphone.h"
#include "PlatformKit/Foundation/Files.h"
#include "PlatformKit/Foundation/StudioError.h"

using namespace pk::audio;
namespace fs = std::filesystem;

TEST(AudioDiskDriver, FailedStartIsReportedThenPlaybackAndCaptureGoThroughFiles) {
    const fs::path dir = fs::path(KS_TEST_OUTPUT_DIR) / "audio-disk";
    fs::create_directories(dir);
    const fs::path outFile = dir / "out.raw", inFile = dir / "in.raw";
    fs::remove(outFile);

    auto& out = AudioOutput::shared();
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    EXPECT_THROW(out.start(), pk::StudioError);
    EXPECT_FALSE(out.isStarted());

    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", outFile.c_str(), 1);
    setenv("SDL_DISKAUDIOFILEIN", inFile.c_str(), 1);
    setenv("SDL_DISKAUDIODELAY", "1", 1);

    auto loop = std::make_shared<LoopPlayer>();
    std::vector<float> l(300), r(300);
    for (int i = 0; i < 300; ++i) {
        l[i] = float(i) / 300.0f;
        r[i] = 0.5f - float(i) / 600.0f;
    }
    loop->scheduleLoop(l, r);
    loop->setVolume(0.24f);
    loop->play();
    out.attach(loop);
    ASSERT_NO_THROW(out.start()) << "the retry opens the device";
    // The driver writes at its own pace; wait for enough frames rather than a fixed time,
    // so a loaded machine still gets there.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    std::error_code ec;
    while (std::chrono::steady_clock::now() < deadline) {
        const auto size = fs::file_size(outFile, ec);
        if (!ec && size >= 4096u * 8u) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    out.close();
    out.detach(loop.get());

    const auto bytes = pk::readFile(outFile);
    ASSERT_TRUE(bytes.has_value());
    const size_t frames = bytes->size() / 8;
    ASSERT_GE(frames, 4096u);
    const float* s = reinterpret_cast<const float*>(bytes->data());
    for (size_t i = 0; i < frames; ++i) {
        ASSERT_FLOAT_EQ(s[2 * i], 0.24f * l[i % 300]) << i;
        ASSERT_FLOAT_EQ(s[2 * i + 1], 0.24f * r[i % 300]) << i;
    }

    // Capture: 16 kHz mono floats from the input file, in blocks of 1000 frames.
    std::vector<float> input(5000);
    for (size_t i = 0; i < input.size(); ++i) input[i] = float(int(i % 97) - 48) / 64.0f;
    pk::writeInPlace(inFile, std::span(reinterpret_cast<const uint8_t*>(input.data()), input.size() * 4));
    Microphone mic;
    std::mutex m;
    std::condition_variable cv;
    std::vector<float> got;
    mic.start({16000, 1}, 1000, [&](const Microphone::Block& b) {
        std::lock_guard lock(m);
        for (int i = 0; i < b.frames; ++i) got.push_back(b.sample(0, i));
        cv.notify_all();
    });
    {
        std::unique_lock lock(m);
        ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(10), [&] { return got.size() >= input.size(); }));
    }
    mic.stop();
    for (size_t i = 0; i < input.size(); ++i) ASSERT_FLOAT_EQ(got[i], input[i]) << i;
}
