// Screen recording fed by the test as the app's main loop would: frames through the tap,
// the studio's sound through the audio output's mix, the movie read back.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <future>
#include <new>
#include <stdexcept>
#include <thread>

#include "PlatformKit/Audio/AudioOutput.h"
#include "PlatformKit/Audio/LoopPlayer.h"
#include "PlatformKit/Media/MediaProbe.h"
#include "PlatformKit/Media/ScreenRecorder.h"

using namespace pk::media;
namespace fs = std::filesystem;

namespace {

fs::path outDir(const std::string& name) {
    const fs::path d = fs::path(KS_TEST_OUTPUT_DIR) / "screen-recorder" / name;
    fs::remove_all(d);
    fs::create_directories(d);
    return d;
}

// Calls a recorder operation and waits for its handler.
template <class Op>
std::optional<pk::StudioError> await(Op op) {
    auto p = std::make_shared<std::promise<std::optional<pk::StudioError>>>();
    auto f = p->get_future();
    op([p](std::optional<pk::StudioError> e) { p->set_value(std::move(e)); });
    EXPECT_EQ(f.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    return f.get();
}

ScreenRecorder::Options quietOptions(const fs::path& staging) {
    ScreenRecorder::Options o;
    o.stagingDirectory = staging;
    o.microphone = false;
    return o;
}

// RGBA rows bottom first, as glReadPixels gives them: the picture's top half red, its
// lower half blue.
std::vector<uint8_t> readBackFrame(int w, int h) {
    std::vector<uint8_t> px(size_t(w) * h * 4);
    for (int row = 0; row < h; ++row) {
        const bool pictureTop = row >= h / 2;  // bottom-first: the last rows are the top
        for (int x = 0; x < w; ++x) {
            uint8_t* p = &px[(size_t(row) * w + x) * 4];
            p[0] = pictureTop ? 220 : 20;
            p[1] = 20;
            p[2] = pictureTop ? 20 : 220;
            p[3] = 255;
        }
    }
    return px;
}

}  // namespace

TEST(ScreenRecorder, RecordsTheAppsFramesAndItsSoundThenMovesTheMovieIntoPlace) {
    const fs::path dir = outDir("record");
    ScreenRecorder rec(quietOptions(dir / "staging"));
    ASSERT_TRUE(rec.isAvailable());
    EXPECT_FALSE(rec.wantsFrame()) << "nothing is wanted before a recording starts";

    // The studio's sound: a 441 Hz tone in the mix, rendered by hand as the device would.
    auto& out = pk::audio::AudioOutput::shared();
    auto tone = std::make_shared<pk::audio::LoopPlayer>();
    std::vector<float> l(100), r(100);
    for (int i = 0; i < 100; ++i) l[size_t(i)] = r[size_t(i)] = 0.5f * float(std::sin(2 * M_PI * i / 100.0));
    tone->scheduleLoop(l, r);
    tone->play();
    out.attach(tone);

    ASSERT_EQ(await([&](auto h) { rec.startRecording(h); }), std::nullopt);
    EXPECT_TRUE(rec.isRecording());
    EXPECT_EQ(await([&](auto h) { rec.startRecording(h); })->code, ScreenRecorder::busy);

    const auto started = std::chrono::steady_clock::now();
    std::vector<float> mix(441 * 2);
    int submitted = 0;
    bool sawNotDue = false;
    while (std::chrono::steady_clock::now() - started < std::chrono::milliseconds(1200)) {
        out.render(mix.data(), 441);
        if (rec.wantsFrame()) {
            // A window resized mid-recording still lands in the movie's size.
            const int w = submitted == 5 ? 320 : 160;
            const int h = submitted == 5 ? 180 : 90;
            rec.submitFrame(readBackFrame(w, h), w, h, size_t(w) * 4, FrameLayout::rgbaBottomFirst);
            ++submitted;
            if (!rec.wantsFrame()) sawNotDue = true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(sawNotDue) << "right after a frame the next one is not due yet";
    EXPECT_LE(submitted, 38) << "never more than 30 frames a second";
    EXPECT_GE(submitted, 12) << "a loop polling every 10 ms is asked for most frames";
    const fs::path movie = dir / "nested" / "My Recording.mp4";
    EXPECT_FALSE(fs::exists(movie));
    ASSERT_EQ(await([&](auto h) { rec.stopRecording(movie, h); }), std::nullopt);
    out.detach(tone.get());
    EXPECT_FALSE(rec.isRecording());
    EXPECT_TRUE(fs::is_empty(dir / "staging")) << "the temporary file was moved, not copied";

    auto probe = probeMedia(movie);
    ASSERT_TRUE(probe);
    const StreamProbe* v = probe->first(StreamProbe::Kind::video);
    const StreamProbe* a = probe->first(StreamProbe::Kind::audio);
    ASSERT_TRUE(v && a);
    EXPECT_EQ(v->codecName, "h264");
    EXPECT_EQ(v->width, 160);
    EXPECT_EQ(v->height, 90);
    EXPECT_EQ(v->packetCount, submitted);
    EXPECT_NEAR(v->presentationTimes.back(), 1.2, 0.15) << "frames keep their time";
    EXPECT_EQ(a->codecName, "aac");
    EXPECT_EQ(a->sampleRate, 44100);
    EXPECT_NEAR(a->durationSeconds, v->presentationTimes.back(), 0.25);

    auto first = decodeFirstVideoFrameRGB(movie);
    ASSERT_TRUE(first);
    EXPECT_GT(first->at(80, 10)[0], 180) << "top is red: rows were flipped and channels kept";
    EXPECT_GT(first->at(80, 80)[2], 180) << "bottom is blue";

    auto sound = decodeAudio(movie);
    ASSERT_TRUE(sound);
    double energy = 0;
    const size_t from = sound->interleaved.size() / 4, to = sound->interleaved.size() * 3 / 4;
    for (size_t i = from; i < to; ++i) energy += double(sound->interleaved[i]) * sound->interleaved[i];
    EXPECT_GT(std::sqrt(energy / double(to - from)), 0.2) << "the studio's tone is the sound track";
}

TEST(ScreenRecorder, RefusesWhatCannotBeRecordedAndKeepsNothingHalfDone) {
    const fs::path dir = outDir("refusals");
    {
        ScreenRecorder::Options o = quietOptions(dir);
        o.encoderAvailable = [] { return false; };
        ScreenRecorder none(o);
        EXPECT_FALSE(none.isAvailable());
        EXPECT_EQ(await([&](auto h) { none.startRecording(h); })->code, ScreenRecorder::unavailable);
    }
    // A recorder that has been asked nothing holds no thread (the studio makes one at
    // start-up and most sessions never record).
    const auto threads = [] {
        return std::distance(fs::directory_iterator("/proc/self/task"), fs::directory_iterator());
    };
    const auto before = threads();
    ScreenRecorder rec(quietOptions(dir / "staging"));
    EXPECT_FALSE(rec.wantsFrame());
    EXPECT_TRUE(rec.waitUntilIdle(0));
    EXPECT_LE(threads(), before);
    EXPECT_EQ(await([&](auto h) { rec.stopRecording(dir / "x.mp4", h); })->code, ScreenRecorder::notRecording);

    // Stopped before the first frame: nothing to save.
    ASSERT_EQ(await([&](auto h) { rec.startRecording(h); }), std::nullopt);
    EXPECT_EQ(await([&](auto h) { rec.stopRecording(dir / "empty.mp4", h); })->code, ScreenRecorder::nothingRecorded);
    EXPECT_FALSE(fs::exists(dir / "empty.mp4"));

    // A stop asked for while the start is still pending runs after it.
    std::promise<std::optional<pk::StudioError>> started;
    rec.startRecording([&](std::optional<pk::StudioError> e) { started.set_value(e); });
    auto stopped = await([&](auto h) { rec.stopRecording(dir / "early.mp4", h); });
    EXPECT_EQ(started.get_future().get(), std::nullopt);
    EXPECT_EQ(stopped->code, ScreenRecorder::nothingRecorded);

    // Bad frames are ignored; an existing movie at the target is replaced.
    std::ofstream(dir / "replace.mp4") << "old";
    ASSERT_EQ(await([&](auto h) { rec.startRecording(h); }), std::nullopt);
    std::vector<uint8_t> px(64 * 4 * 32, 128);
    rec.submitFrame(px.data(), 64, 32, 16, FrameLayout::bgraTopFirst);  // rows shorter than the width
    EXPECT_TRUE(rec.wantsFrame());
    rec.submitFrame(px.data(), 64, 32, 64 * 4, FrameLayout::bgraTopFirst);
    ASSERT_EQ(await([&](auto h) { rec.stopRecording(dir / "replace.mp4", h); }), std::nullopt);
    auto probe = probeMedia(dir / "replace.mp4");
    ASSERT_TRUE(probe);
    EXPECT_EQ(probe->first(StreamProbe::Kind::video)->packetCount, 1);
    EXPECT_TRUE(rec.waitUntilIdle(1));
    EXPECT_TRUE(fs::is_empty(dir / "staging"));

    // A movie that cannot take its name is kept where it was written, and the error says where.
    fs::create_directories(dir / "taken.mp4" / "inside");
    ASSERT_EQ(await([&](auto h) { rec.startRecording(h); }), std::nullopt);
    rec.submitFrame(px.data(), 64, 32, 64 * 4, FrameLayout::bgraTopFirst);
    auto failed = await([&](auto h) { rec.stopRecording(dir / "taken.mp4", h); });
    ASSERT_TRUE(failed);
    EXPECT_NE(failed->description.find((dir / "staging").string()), std::string::npos) << failed->description;
    EXPECT_FALSE(fs::is_empty(dir / "staging")) << "nothing recorded is lost";
}

TEST(ScreenRecorder, AFailedRecordingWantsNoMoreFramesAndItsStopSaysWhy) {
    auto clock = std::make_shared<pk::ManualClock>();
    ScreenRecorder::Options o = quietOptions("/proc/self");  // a folder where no file can be made
    o.clock = clock;
    ScreenRecorder rec(o);
    ASSERT_EQ(await([&](auto h) { rec.startRecording(h); }), std::nullopt);
    std::vector<uint8_t> px(64 * 4 * 32, 128);
    bool wanted = true;
    for (int i = 0; i < 500 && wanted; ++i) {
        if (rec.wantsFrame()) rec.submitFrame(px.data(), 64, 32, 64 * 4, FrameLayout::bgraTopFirst);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        clock->advance(0.1);
        wanted = rec.wantsFrame();
    }
    EXPECT_FALSE(wanted) << "frames that could only be dropped are not read back";
    clock->advance(1);
    EXPECT_FALSE(rec.wantsFrame());
    auto failed = await([&](auto h) { rec.stopRecording("/proc/self/x.mp4", h); });
    ASSERT_TRUE(failed);
    EXPECT_NE(failed->domain, ScreenRecorder::kErrorDomain) << "the writer's own failure: " << failed->description;

    ASSERT_EQ(await([&](auto h) { rec.startRecording(h); }), std::nullopt);
    EXPECT_TRUE(rec.wantsFrame()) << "a new recording starts afresh";
    EXPECT_EQ(await([&](auto h) { rec.stopRecording("/proc/self/x.mp4", h); })->code, ScreenRecorder::nothingRecorded);
}

namespace {

// A clock that fails on the recorder's own thread once armed; the test's thread still
// reads it.
class ClockFailingOnTheRecorderThread : public pk::Clock {
public:
    double now() const override {
        if (armed.load() && std::this_thread::get_id() != owner) throw std::bad_alloc();
        return base.now();
    }
    double wallSeconds() const override { return base.wallSeconds(); }

    pk::ManualClock base;
    std::atomic<bool> armed{false};
    std::thread::id owner = std::this_thread::get_id();
};

}  // namespace

TEST(ScreenRecorder, AnExceptionOnItsThreadFailsTheRecordingAndTheRecorderGoesOn) {
    const fs::path dir = outDir("throwing");
    auto clock = std::make_shared<ClockFailingOnTheRecorderThread>();
    ScreenRecorder::Options o = quietOptions(dir / "staging");
    o.clock = clock;
    ScreenRecorder rec(o);
    std::vector<uint8_t> px(64 * 4 * 32, 128);
    // Each round a frame is due; a recording that goes on takes it.
    const auto feedUntilRefused = [&] {
        for (int i = 0; i < 500; ++i) {
            clock->base.advance(0.05);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            if (!rec.wantsFrame()) return true;
            rec.submitFrame(px.data(), 64, 32, 64 * 4, FrameLayout::bgraTopFirst);
        }
        return false;
    };
    struct Case {
        const char* name;
        bool throwingStartHandler;  // else the clock fails while frames are encoded
        std::string description;
    };
    for (const Case& c : {Case{"start handler throws", true, "the overlay is gone"},
                          Case{"frame timing throws", false, std::bad_alloc().what()}}) {
        SCOPED_TRACE(c.name);
        std::promise<void> started;
        rec.startRecording([&](std::optional<pk::StudioError> e) {
            EXPECT_EQ(e, std::nullopt);
            started.set_value();
            if (c.throwingStartHandler) throw std::runtime_error("the overlay is gone");
        });
        started.get_future().wait();
        ASSERT_TRUE(rec.waitUntilIdle(10));
        if (!c.throwingStartHandler) {
            ASSERT_TRUE(rec.wantsFrame());
            rec.submitFrame(px.data(), 64, 32, 64 * 4, FrameLayout::bgraTopFirst);
            clock->armed = true;
        }
        EXPECT_TRUE(feedUntilRefused()) << "a failed recording wants no more frames";
        clock->armed = false;
        const fs::path movie = dir / (std::string(c.name) + ".mp4");
        const auto failed = await([&](auto h) { rec.stopRecording(movie, h); });
        ASSERT_TRUE(failed.has_value());
        EXPECT_EQ(failed->domain, ScreenRecorder::kErrorDomain);
        EXPECT_EQ(failed->code, ScreenRecorder::recordingFailed);
        EXPECT_EQ(failed->description, c.description);
        EXPECT_FALSE(fs::exists(movie));
        EXPECT_TRUE(fs::is_empty(dir / "staging")) << "the partial movie is removed";
    }

    // A stop handler that throws has nothing left to fail: it is said on stderr, and the
    // next recording is saved as usual.
    ASSERT_EQ(await([&](auto h) { rec.startRecording(h); }), std::nullopt);
    rec.submitFrame(px.data(), 64, 32, 64 * 4, FrameLayout::bgraTopFirst);
    testing::internal::CaptureStderr();
    std::promise<void> stopped;
    rec.stopRecording(dir / "first.mp4", [&](std::optional<pk::StudioError>) {
        stopped.set_value();
        throw std::runtime_error("nobody listens");
    });
    stopped.get_future().wait();
    ASSERT_TRUE(rec.waitUntilIdle(10));
    EXPECT_NE(testing::internal::GetCapturedStderr().find("Screen recorder failed: nobody listens"), std::string::npos);
    ASSERT_EQ(await([&](auto h) { rec.startRecording(h); }), std::nullopt);
    rec.submitFrame(px.data(), 64, 32, 64 * 4, FrameLayout::bgraTopFirst);
    ASSERT_EQ(await([&](auto h) { rec.stopRecording(dir / "second.mp4", h); }), std::nullopt);
    EXPECT_TRUE(probeMedia(dir / "second.mp4").has_value());
}
