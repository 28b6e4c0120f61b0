// Mixing, looping, queued playback and capture, headless on SDL's dummy driver.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <new>
#include <stdexcept>
#include <thread>

#include "PlatformKit/Audio/AudioOutput.h"
#include "PlatformKit/Audio/LoopPlayer.h"
#include "PlatformKit/Audio/Microphone.h"
#include "PlatformKit/Audio/QueuePlayer.h"
#include "PlatformKit/Foundation/StudioError.h"

using namespace pk::audio;

namespace {

struct DummyDriver : ::testing::Environment {
    void SetUp() override { setenv("SDL_AUDIODRIVER", "dummy", 0); }
};
const auto* const kEnv = ::testing::AddGlobalTestEnvironment(new DummyDriver);

std::vector<float> render(AudioSource& s, int frames) {
    std::vector<float> out(size_t(frames) * 2, 0.0f);
    s.mixInto(out.data(), frames);
    return out;
}

// Power of one frequency in a block (Goertzel), normalised by the block length.
double goertzel(const std::vector<float>& x, double freq, double rate) {
    const double w = 2.0 * M_PI * freq / rate, c = 2.0 * std::cos(w);
    double s1 = 0, s2 = 0;
    for (float v : x) {
        const double s0 = v + c * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    const double p = s1 * s1 + s2 * s2 - c * s1 * s2;
    return p / (double(x.size()) * x.size());
}

}  // namespace

TEST(LoopPlayer, LoopsAtVolumeAndReplacementStartsFromTheNewLoopsFirstFrame) {
    LoopPlayer p;
    p.scheduleLoop({1, 2, 3, 4, 5}, {-1, -2, -3, -4, -5});
    EXPECT_TRUE(render(p, 4) == std::vector<float>(8, 0.0f)) << "silent until play()";
    p.setVolume(0.5f);
    p.play();
    auto out = render(p, 12);
    for (int i = 0; i < 12; ++i) {
        EXPECT_FLOAT_EQ(out[2 * i], 0.5f * float(i % 5 + 1)) << i;
        EXPECT_FLOAT_EQ(out[2 * i + 1], -0.5f * float(i % 5 + 1)) << i;
    }
    p.stop();
    EXPECT_FALSE(p.isPlaying());
    p.play();
    EXPECT_TRUE(render(p, 3) == std::vector<float>(6, 0.0f)) << "stop drops the loop";
    p.scheduleLoop({7, 8}, {9, 10});
    out = render(p, 3);
    EXPECT_EQ(out, (std::vector<float>{3.5f, 4.5f, 4, 5, 3.5f, 4.5f}));
}

TEST(LoopPlayer, RefusesUnequalOrEmptyChannels) {
    LoopPlayer p;
    EXPECT_THROW(p.scheduleLoop({1, 2}, {1}), pk::StudioError);
    EXPECT_THROW(p.scheduleLoop({}, {}), pk::StudioError);
}

TEST(QueuePlayer, PlaysSixteenKilohertzBlocksBackToBackAtTheirPitchAndLength) {
    QueuePlayer q(16000);
    std::vector<float> l(16000), r(16000);
    for (int i = 0; i < 16000; ++i) {
        l[i] = 0.5f * std::sin(float(2.0 * M_PI * 1000.0 * i / 16000.0));
        r[i] = 0.25f * std::sin(float(2.0 * M_PI * 500.0 * i / 16000.0));
    }
    // Two half-second blocks queued back to back make one continuous second.
    q.enqueue(std::span(l).first(8000), std::span(r).first(8000));
    q.enqueue(std::span(l).subspan(8000), std::span(r).subspan(8000));
    EXPECT_EQ(q.queuedFrames(), 16000);
    q.play();
    auto out = render(q, 50000);
    int last = 0;
    for (int i = 0; i < 50000; ++i)
        if (out[2 * i] != 0.0f || out[2 * i + 1] != 0.0f) last = i;
    EXPECT_NEAR(last, 44100, 3) << "one second of 16 kHz input lasts one second at 44.1 kHz";
    EXPECT_EQ(q.queuedFrames(), 0);
    std::vector<float> left(44000), right(44000);
    for (int i = 0; i < 44000; ++i) {
        left[i] = out[2 * i];
        right[i] = out[2 * i + 1];
    }
    EXPECT_NEAR(std::sqrt(goertzel(left, 1000, 44100)) * 2, 0.5, 0.02);
    EXPECT_LT(goertzel(left, 1500, 44100), 1e-5);
    EXPECT_NEAR(std::sqrt(goertzel(right, 500, 44100)) * 2, 0.25, 0.01);

    q.enqueue(l, r);
    q.stop();
    EXPECT_EQ(q.queuedFrames(), 0);
    EXPECT_THROW(QueuePlayer(0), pk::StudioError);
    EXPECT_THROW(QueuePlayer(NAN), pk::StudioError);
    EXPECT_THROW(q.enqueue(std::span(l).first(3), std::span(r).first(2)), pk::StudioError);
}

TEST(AudioOutput, MixesSourcesClampsAndShowsTheMixToTaps) {
    auto& out = AudioOutput::shared();
    auto a = std::make_shared<LoopPlayer>();
    auto b = std::make_shared<LoopPlayer>();
    a->scheduleLoop({0.25f, 0.75f}, {-0.5f, -0.75f});
    b->scheduleLoop({0.5f, 0.5f}, {-0.25f, -0.5f});
    a->play();
    b->play();
    out.attach(a);
    out.attach(b);
    out.attach(a);  // attaching twice mixes once
    std::vector<float> tapped;
    const uint64_t tap = out.addTap([&](std::span<const float> s, int frames) {
        EXPECT_EQ(s.size(), size_t(frames) * 2);
        tapped.assign(s.begin(), s.end());
    });
    std::vector<float> buf(4);
    out.render(buf.data(), 2);
    EXPECT_EQ(buf, (std::vector<float>{0.75f, -0.75f, 1.0f, -1.0f}));
    EXPECT_EQ(tapped, buf);
    out.removeTap(tap);
    out.detach(b.get());
    tapped.clear();
    out.render(buf.data(), 2);
    EXPECT_EQ(buf, (std::vector<float>{0.25f, -0.5f, 0.75f, -0.75f}));
    EXPECT_TRUE(tapped.empty());
    out.detach(a.get());

    // Whatever a source adds, the device gets no NaN: it is silence, infinities are clipped.
    struct Hostile : AudioSource {
        void mixInto(float* mix, int frames) override {
            const float values[] = {NAN, INFINITY, -INFINITY, 0.5f};
            for (int i = 0; i < 2 * frames; ++i) mix[i] += values[i % 4];
        }
    };
    auto hostile = std::make_shared<Hostile>();
    out.attach(hostile);
    out.render(buf.data(), 2);
    EXPECT_EQ(buf, (std::vector<float>{0.0f, 1.0f, -1.0f, 0.5f}));
    out.detach(hostile.get());
}

TEST(AudioOutput, ASourceOrTapThatThrowsIsDroppedAndTheRestPlayOn) {
    auto& out = AudioOutput::shared();
    struct Throwing : AudioSource {
        int calls = 0;
        void mixInto(float*, int) override {
            ++calls;
            throw std::bad_alloc();
        }
    };
    auto thrower = std::make_shared<Throwing>();
    auto loop = std::make_shared<LoopPlayer>();
    loop->scheduleLoop({0.25f, 0.5f}, {-0.25f, -0.5f});
    loop->play();
    out.attach(thrower);
    out.attach(loop);
    int tapCalls = 0, goodTapCalls = 0;
    const uint64_t bad = out.addTap([&](std::span<const float>, int) {
        ++tapCalls;
        throw std::runtime_error("recorder gone");
    });
    const uint64_t good = out.addTap([&](std::span<const float>, int) { ++goodTapCalls; });
    testing::internal::CaptureStderr();
    std::vector<float> buf(4);
    for (int i = 0; i < 2; ++i) {
        out.render(buf.data(), 2);
        EXPECT_EQ(buf, (std::vector<float>{0.25f, -0.25f, 0.5f, -0.5f})) << "round " << i;
    }
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(thrower->calls, 1);
    EXPECT_EQ(tapCalls, 1);
    EXPECT_EQ(goodTapCalls, 2);
    EXPECT_NE(err.find("Audio source failed: "), std::string::npos) << err;
    EXPECT_NE(err.find("Audio tap failed: recorder gone"), std::string::npos) << err;
    out.removeTap(bad);
    out.removeTap(good);
    out.detach(loop.get());
}

TEST(AudioOutput, DeviceRunsHeadlessAndTheTapSeesTheLoopContinuously) {
    auto& out = AudioOutput::shared();
    auto loop = std::make_shared<LoopPlayer>();
    std::vector<float> l(441), r(441);
    for (int i = 0; i < 441; ++i) {
        l[i] = float(i) / 441.0f;
        r[i] = -float(i) / 441.0f;
    }
    loop->scheduleLoop(l, r);
    loop->setVolume(0.5f);
    loop->play();
    out.attach(loop);
    std::mutex m;
    std::condition_variable cv;
    std::vector<float> seen;
    const uint64_t tap = out.addTap([&](std::span<const float> s, int) {
        std::lock_guard lock(m);
        seen.insert(seen.end(), s.begin(), s.end());
        cv.notify_all();
    });
    ASSERT_NO_THROW(out.start());
    out.start();  // a second start reuses the open device
    {
        std::unique_lock lock(m);
        ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(10), [&] { return seen.size() >= 2 * 4096; }));
    }
    out.removeTap(tap);
    out.detach(loop.get());
    // Find where in the loop the tap started, then every frame must follow on from it.
    const int offset = int(std::lround(seen[0] / 0.5f * 441.0f));
    for (size_t i = 0; i < 4096; ++i) {
        const size_t k = (size_t(offset) + i) % 441;
        ASSERT_FLOAT_EQ(seen[2 * i], 0.5f * l[k]) << i;
        ASSERT_FLOAT_EQ(seen[2 * i + 1], 0.5f * r[k]) << i;
    }
}

TEST(Microphone, DeliversFixedBlocksInTheFormatAsked) {
    const auto native = Microphone::defaultInputFormat();
    ASSERT_TRUE(native.has_value());
    EXPECT_GT(native->sampleRate, 0);
    EXPECT_GE(native->channels, 1);

    struct Case {
        AudioFormat requested;
        int block;
    };
    for (const Case& c : {Case{{0, 0}, 1024}, Case{{16000, 1}, 333}, Case{{44100, 2}, 2048}}) {
        Microphone mic;
        std::mutex m;
        std::condition_variable cv;
        int blocks = 0;
        bool allGood = true;
        mic.start(c.requested, c.block, [&](const Microphone::Block& b) {
            std::lock_guard lock(m);
            allGood = allGood && b.frames == c.block && b.interleaved.size() == size_t(c.block) * b.format.channels;
            ++blocks;
            cv.notify_all();
        });
        const AudioFormat f = mic.format();
        if (c.requested.sampleRate > 0) EXPECT_EQ(f, c.requested);
        else EXPECT_EQ(f, *native);
        std::unique_lock lock(m);
        EXPECT_TRUE(cv.wait_for(lock, std::chrono::seconds(10), [&] { return blocks >= 3; }));
        EXPECT_TRUE(allGood);
        lock.unlock();
        mic.stop();
        EXPECT_FALSE(mic.isRunning());
    }
    Microphone mic;
    {
        // A handler that throws, on the capture thread: dropped, and the device runs on.
        testing::internal::CaptureStderr();
        std::atomic<int> calls{0};
        mic.start({16000, 1}, 160, [&](const Microphone::Block&) {
            ++calls;
            throw std::runtime_error("voice engine gone");
        });
        for (int i = 0; i < 1000 && calls.load() == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        std::this_thread::sleep_for(std::chrono::milliseconds(100));  // several blocks' time
        EXPECT_EQ(calls.load(), 1);
        EXPECT_TRUE(mic.isRunning());
        mic.stop();
        EXPECT_NE(testing::internal::GetCapturedStderr().find("Microphone failed: voice engine gone"), std::string::npos);
    }
    EXPECT_THROW(mic.start({16000, 1}, 0, [](const Microphone::Block&) {}), pk::StudioError);
    EXPECT_THROW(mic.start({16000, 1}, 256, nullptr), pk::StudioError);
}
