// The facecam feed with a fake camera provider and fake or real segmentation: its start,
// stop and configure rules, and what each background mode makes of a frame.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "MarblewickCreatorStudio/VelCreatorCameraFeedV1045.h"
#include "MarblewickCreatorStudio/VelCreatorFacecamSelfTestV1045.h"
#include "PlatformKit/Capture/SyntheticFrameSource.h"
#include "PlatformKit/Draw2D/Canvas.h"
#include "PlatformKit/Vision/MatteCompositing.h"

using namespace creator;
using pk::capture::CameraAccess;
using pk::draw2d::Bitmap;
using Mode = VelFacecamBackgroundModeV1045;

namespace {

// Hands out the scripted outcomes in turn (the last one repeats), counting the opens.
struct FakeCameras : pk::capture::CameraDeviceProvider {
    std::vector<CameraAccess> outcomes;
    std::atomic<int> opens{0};
    explicit FakeCameras(std::vector<CameraAccess> o) : outcomes(std::move(o)) {}
    pk::capture::CameraOpenResult openCamera(const pk::capture::CameraRequest& req) override {
        const size_t i = std::min(size_t(opens++), outcomes.size() - 1);
        pk::capture::CameraOpenResult r;
        r.access = outcomes[i];
        if (r.access == CameraAccess::granted)
            r.source = std::make_unique<pk::capture::SyntheticFrameSource>(
                pk::capture::SyntheticFrameSource::Options{req.width, req.height, 200, {}});
        return r;
    }
};

// A person on the left half of the frame as captured, counting its calls.
struct LeftHalfSegmenter : pk::vision::PersonSegmenter {
    std::atomic<int> calls{0};
    bool findsNobody = false;
    std::optional<pk::vision::GrayMask> segment(const pk::draw2d::BitmapView& frame) override {
        ++calls;
        if (findsNobody) return std::nullopt;
        // At half the frame's size, as a segmenter working on a small copy returns it.
        auto m = pk::vision::GrayMask::filled(frame.width / 2, frame.height / 2, 0);
        for (int y = 0; y < m.height; ++y)
            for (int x = 0; x < m.width / 2; ++x) m.values[size_t(y) * m.width + x] = 255;
        return m;
    }
};

struct Report {
    bool success = false;
    std::string status;
};

Report startAndWait(VelCreatorCameraFeedV1045& feed) {
    Report r;
    feed.start([&](bool ok, const std::string& s) { r = {ok, s}; });
    feed.waitForQueue();
    return r;
}

// The camera: left half red, right half green, with a flat grey top band.
pk::capture::FrameImage twoToneFrame() {
    Bitmap b = *Bitmap::create(64, 48);
    pk::draw2d::Canvas c(b);
    c.setFillColor({1, 0, 0, 1});
    c.fill({0, 0, 32, 48});
    c.setFillColor({0, 1, 0, 1});
    c.fill({32, 0, 32, 48});
    return std::make_shared<const Bitmap>(std::move(b));
}

}  // namespace

TEST(CreatorCameraFeed, StartReportsEachOutcomeAndConfiguresOnlyOnSuccess) {
    struct Case {
        CameraAccess access;
        const char* status;
    };
    for (const Case& c : {Case{CameraAccess::noDevice, VelCreatorCameraFeedV1045::kNoCameraStatus},
                          Case{CameraAccess::restricted, VelCreatorCameraFeedV1045::kRestrictedStatus},
                          Case{CameraAccess::denied, VelCreatorCameraFeedV1045::kDeniedStatus}}) {
        auto cams = std::make_shared<FakeCameras>(std::vector{c.access, CameraAccess::granted});
        VelCreatorCameraFeedV1045 feed({cams, std::make_shared<LeftHalfSegmenter>()});
        Report r = startAndWait(feed);
        EXPECT_FALSE(r.success);
        EXPECT_EQ(r.status, c.status);
        EXPECT_FALSE(feed.isConfigured());
        EXPECT_FALSE(feed.isRunning());
        r = startAndWait(feed);  // a failed configuration is tried again
        EXPECT_TRUE(r.success);
        EXPECT_EQ(r.status, "Live Camera Active");
        EXPECT_TRUE(feed.isConfigured() && feed.isRunning());
        EXPECT_EQ(cams->opens.load(), 2);
    }
}

TEST(CreatorCameraFeed, WhateverThrowsOnTheCaptureThreadFallsBackToNoCamera) {
    // Each case throws once, at a different step; the feed falls back to no camera, keeps
    // serving, and its next start opens a camera afresh.
    enum class Step { open, start, frame, handler };
    struct Case {
        const char* name;
        Step step;
        std::exception_ptr thrown;
    };
    const Case cases[] = {
        {"opening the camera", Step::open, std::make_exception_ptr(std::bad_alloc())},
        {"starting the camera", Step::start, std::make_exception_ptr(std::runtime_error("device busy"))},
        {"a frame from the source", Step::frame, std::make_exception_ptr(std::runtime_error("unplugged"))},
        {"the frame handler", Step::handler, std::make_exception_ptr(std::bad_alloc())},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::atomic<bool> armed{true};
        std::atomic<int> opens{0};
        const auto throwAt = [&](Step s) {
            if (c.step == s && armed.exchange(false)) std::rethrow_exception(c.thrown);
        };
        // A synthetic camera whose open, start or painting throws where the case says.
        struct ThrowingStart : pk::capture::SyntheticFrameSource {
            using SyntheticFrameSource::SyntheticFrameSource;
            std::function<void()> onStart;
            void start() override {
                onStart();
                SyntheticFrameSource::start();
            }
        };
        auto cams = std::make_shared<pk::capture::FunctionCameraProvider>([&](const pk::capture::CameraRequest& r) {
            ++opens;
            throwAt(Step::open);
            auto source = std::make_unique<ThrowingStart>(pk::capture::SyntheticFrameSource::Options{
                r.width, r.height, 200, [&](Bitmap&, int64_t index) {
                    if (index == 2) throwAt(Step::frame);
                }});
            source->onStart = [&] { throwAt(Step::start); };
            pk::capture::CameraOpenResult out;
            out.access = CameraAccess::granted;
            out.source = std::move(source);
            return out;
        });
        VelCreatorCameraFeedV1045 feed({cams, std::make_shared<LeftHalfSegmenter>()});
        feed.updateSettings(Mode::fullCamera, false);
        std::atomic<int> frames{0};
        feed.setOnFrameReady([&](const VelCreatorCameraFeedV1045::FrameImage&) {
            if (++frames == 2) throwAt(Step::handler);
        });
        std::mutex m;
        std::vector<Report> reports;
        const auto report = [&](bool ok, const std::string& s) {
            std::lock_guard lock(m);
            reports.push_back({ok, s});
        };
        const auto reported = [&] {
            std::lock_guard lock(m);
            return reports;
        };
        feed.start(report);
        for (int i = 0; i < 500 && armed.load(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ASSERT_FALSE(armed.load()) << "the step never ran";
        feed.waitForQueue();
        // Opening or starting fails the start itself; a later step follows the success.
        const bool failsTheStart = c.step == Step::open || c.step == Step::start;
        const auto got = reported();
        ASSERT_EQ(got.size(), failsTheStart ? 1u : 2u);
        if (!failsTheStart) {
            EXPECT_TRUE(got[0].success);
            EXPECT_EQ(got[0].status, VelCreatorCameraFeedV1045::kLiveStatus);
        }
        EXPECT_FALSE(got.back().success);
        EXPECT_EQ(got.back().status, VelCreatorCameraFeedV1045::kNoCameraStatus);
        EXPECT_FALSE(feed.isConfigured());
        EXPECT_FALSE(feed.isRunning());

        const int before = frames.load();
        Report again = startAndWait(feed);
        EXPECT_TRUE(again.success);
        EXPECT_EQ(opens.load(), 2) << "the next start opens a camera afresh";
        for (int i = 0; i < 300 && frames.load() <= before; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_GT(frames.load(), before) << "frames flow again";
        EXPECT_EQ(reported().size(), got.size()) << "the camera that failed reports no more";
    }
}

TEST(CreatorCameraFeed, StartsTwiceOrAfterStopWithoutConfiguringAgainAndFramesFollowTheSession) {
    auto cams = std::make_shared<FakeCameras>(std::vector{CameraAccess::granted});
    VelCreatorCameraFeedV1045 feed({cams, std::make_shared<LeftHalfSegmenter>()});
    std::atomic<int> frames{0};
    feed.setOnFrameReady([&](const VelCreatorCameraFeedV1045::FrameImage& f) {
        if (f && f->width() == 640 && f->height() == 480) ++frames;
    });
    EXPECT_TRUE(startAndWait(feed).success);
    EXPECT_TRUE(startAndWait(feed).success);
    EXPECT_EQ(cams->opens.load(), 1) << "two starts in a row configure once";
    for (int i = 0; i < 300 && frames.load() < 3; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_GE(frames.load(), 3);

    feed.stop();
    feed.waitForQueue();
    EXPECT_FALSE(feed.isRunning());
    EXPECT_TRUE(feed.isConfigured());
    const int afterStop = frames.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    EXPECT_EQ(frames.load(), afterStop) << "no frames while stopped";

    Report r = startAndWait(feed);
    EXPECT_TRUE(r.success);
    EXPECT_EQ(r.status, "Live Camera Active");
    EXPECT_EQ(cams->opens.load(), 1) << "start, stop, start: still one configuration";
    for (int i = 0; i < 300 && frames.load() <= afterStop; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_GT(frames.load(), afterStop);

    // The handler and the settings change under running frames.
    for (int i = 0; i < 20; ++i) {
        feed.updateSettings(i % 2 ? Mode::studioBlur : Mode::fullCamera, i % 3 == 0);
        feed.setOnFrameReady(i % 2 ? VelCreatorCameraFeedV1045::FrameHandler{} : [](const auto&) {});
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

TEST(CreatorCameraFeed, EachModeCompositesTheFrameAndMirroringMovesPersonAndMatteTogether) {
    const auto camera = twoToneFrame();
    LeftHalfSegmenter seg;
    auto at = [](const pk::capture::FrameImage& f, int x, int y) { return f->pixel(x, y); };

    // Cutout: the person (left, red) stays opaque, the room is fully transparent.
    auto cut = VelCreatorCameraFeedV1045::composite(camera, Mode::cutoutNoBackground, false, &seg);
    EXPECT_EQ(at(cut, 4, 24), (pk::draw2d::Pixel{0, 0, 255, 255}));
    EXPECT_EQ(at(cut, 60, 24).a, 0);
    // Mirrored: the frame and the matte flip together, so the person is still cut out whole.
    auto mirrored = VelCreatorCameraFeedV1045::composite(camera, Mode::cutoutNoBackground, true, &seg);
    EXPECT_EQ(at(mirrored, 60, 24), (pk::draw2d::Pixel{0, 0, 255, 255}));
    EXPECT_EQ(at(mirrored, 4, 24).a, 0);

    // Blur: nothing transparent, and the frame's edges carry no dark border.
    auto blur = VelCreatorCameraFeedV1045::composite(camera, Mode::studioBlur, false, &seg);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) ASSERT_EQ(at(blur, x, y).a, 255) << x << "," << y;
    EXPECT_GE(at(blur, 63, 0).g, 235) << "corner of the room keeps its colour";
    EXPECT_GE(at(blur, 63, 47).g, 235);
    EXPECT_EQ(at(blur, 4, 24), (pk::draw2d::Pixel{0, 0, 255, 255})) << "the person stays sharp";

    // Full camera: the frame untouched (mirrored when asked) and no segmentation at all.
    const int before = seg.calls.load();
    auto full = VelCreatorCameraFeedV1045::composite(camera, Mode::fullCamera, true, &seg);
    EXPECT_EQ(seg.calls.load(), before);
    EXPECT_EQ(at(full, 60, 24), (pk::draw2d::Pixel{0, 0, 255, 255}));
    EXPECT_EQ(at(full, 4, 24), (pk::draw2d::Pixel{0, 255, 0, 255}));

    // Nobody found: the frame goes out whole rather than not at all.
    seg.findsNobody = true;
    auto whole = VelCreatorCameraFeedV1045::composite(camera, Mode::cutoutNoBackground, false, &seg);
    ASSERT_TRUE(whole);
    EXPECT_EQ(at(whole, 60, 24), (pk::draw2d::Pixel{0, 255, 0, 255}));
}

TEST(CreatorCameraFeed, SettingsApplyFromTheNextFrame) {
    auto seg = std::make_shared<LeftHalfSegmenter>();
    VelCreatorCameraFeedV1045 feed({std::make_shared<FakeCameras>(std::vector{CameraAccess::noDevice}), seg});
    EXPECT_EQ(feed.backgroundMode(), Mode::cutoutNoBackground);
    EXPECT_TRUE(feed.isMirrored());
    const auto camera = twoToneFrame();
    feed.updateSettings(Mode::fullCamera, false);
    EXPECT_EQ(feed.processFrame(camera)->pixel(60, 24).a, 255);
    EXPECT_EQ(seg->calls.load(), 0) << "full camera never segments";
    feed.updateSettings(Mode::cutoutNoBackground, false);
    EXPECT_EQ(feed.processFrame(camera)->pixel(60, 24).a, 0);
    EXPECT_EQ(seg->calls.load(), 1);
}

// The segmenter keeps state between frames and is not thread-safe: frames processed from
// several threads at once must still reach it one at a time.
TEST(CreatorCameraFeed, FramesFromSeveralThreadsReachTheSegmenterOneAtATime) {
    struct OverlapSegmenter : LeftHalfSegmenter {
        std::atomic<int> inside{0}, mostInside{0};
        std::optional<pk::vision::GrayMask> segment(const pk::draw2d::BitmapView& frame) override {
            const int now = ++inside;
            for (int seen = mostInside.load(); now > seen && !mostInside.compare_exchange_weak(seen, now);) {
            }
            std::this_thread::sleep_for(std::chrono::microseconds(300));
            auto m = LeftHalfSegmenter::segment(frame);
            --inside;
            return m;
        }
    };
    auto seg = std::make_shared<OverlapSegmenter>();
    VelCreatorCameraFeedV1045 feed({std::make_shared<FakeCameras>(std::vector{CameraAccess::noDevice}), seg});
    const auto camera = twoToneFrame();
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 10; ++i) ASSERT_TRUE(feed.processFrame(camera));
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(seg->calls.load(), 40);
    EXPECT_EQ(seg->mostInside.load(), 1);
}

TEST(CreatorCameraFeed, SegmentationOfTheSelfTestFrameFromASeededFaceMatchesItsMask) {
    Bitmap frame = *Bitmap::create(256, 256), truth = *Bitmap::create(256, 256);
    {
        pk::draw2d::Canvas c(frame, pk::draw2d::Origin::bottomLeft);
        VelCreatorFacecamSelfTestV1045::paintSyntheticCameraFrame(c);
        pk::draw2d::Canvas m(truth, pk::draw2d::Origin::bottomLeft);
        VelCreatorFacecamSelfTestV1045::paintSyntheticPersonMask(m);
    }
    // The head's ellipse, in pixels from the top.
    const pk::vision::FaceBox head{78, 256 - 220, 100, 112};
    pk::vision::FaceSeededPersonSegmenter seg;
    auto mask = seg.segment(frame.view(), head);
    ASSERT_TRUE(mask);
    const auto scaled = pk::vision::resizedMask(*mask, 256, 256);
    int64_t both = 0, either = 0;
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            const bool a = scaled.at(x, y) >= 128, b = truth.pixel(x, y).r >= 128;
            both += a && b;
            either += a || b;
        }
    EXPECT_GE(double(both) / double(either), 0.9);
}
