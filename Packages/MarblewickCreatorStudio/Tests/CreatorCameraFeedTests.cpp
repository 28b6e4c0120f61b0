// The facecam feed with a fake camera provider and fake or real segmentation: its start,
// stop and configure rules, what each background mode makes of a frame, and the real
// segmenter's cut-out of a figure whose head turns away and who then walks out.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <chrono>
#include <optional>
#include <thread>
#include <vector>

#include "MarblewickCreatorStudio/VelCreatorCameraFeedV1045.h"
#include "MarblewickCreatorStudio/VelCreatorFacecamSelfTestV1045.h"
#include "PlatformKit/Capture/SyntheticFrameSource.h"
#include "PlatformKit/Draw2D/Canvas.h"
#include "PlatformKit/Vision/MatteCompositing.h"
#include "RefusedThreadStarts.h"
#include "TurningFigureScene.h"

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
    std::optional<pk::vision::GrayMask> segment(const pk::draw2d::BitmapView& frame, double) override {
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

// The delivered frame's alpha (the matte) against the figure's known coverage, the frame
// having been mirrored.
struct MatteOnFigure {
    const creator_test::FigureShot& shot;
    const Bitmap& out;

    int width() const { return out.width(); }
    double alpha(double x, double y) const {  // bilinear, in the delivered frame
        x = std::clamp(x, 0.0, width() - 1.001);
        y = std::clamp(y, 0.0, out.height() - 1.001);
        const int x0 = int(x), y0 = int(y);
        const double fx = x - x0, fy = y - y0;
        const auto a = [&](int u, int v) { return double(out.data()[size_t(v) * out.bytesPerRow() + size_t(u) * 4 + 3]); };
        return (a(x0, y0) * (1 - fx) + a(x0 + 1, y0) * fx) * (1 - fy) + (a(x0, y0 + 1) * (1 - fx) + a(x0 + 1, y0 + 1) * fx) * fy;
    }
    double truth(int x, int y) const { return shot.truth[size_t(y) * size_t(width()) + size_t(width() - 1 - x)]; }

    double iou() const {
        int64_t both = 0, either = 0;
        for (int y = 0; y < out.height(); ++y)
            for (int x = 0; x < width(); ++x) {
                const bool a = alpha(x, y) >= 128, t = truth(x, y) >= 128;
                both += a && t;
                either += a || t;
            }
        return either ? double(both) / double(either) : 1.0;
    }
    bool whole() const {
        for (int y = 0; y < out.height(); ++y)
            for (int x = 0; x < width(); ++x)
                if (out.data()[size_t(y) * out.bytesPerRow() + size_t(x) * 4 + 3] != 255) return false;
        return true;
    }

    // Across the known outline, away from the frame's border: how far the matte takes to
    // fall from 90 % to 10 % (median and 90th percentile, pixels), and its mean 3 to 8 px
    // outside (room let in: a halo) and inside (person let go).
    struct Edge {
        double median = 0, p90 = 0, outside = 0, inside = 0;
    };
    Edge edge() const {
        std::vector<double> widths;
        double out = 0, in = 0;
        int64_t outN = 0, inN = 0;
        for (int y = 12; y < shot.frame.height() - 12; y += 2)
            for (int x = 12; x < width() - 12; x += 2) {
                if (truth(x, y) < 128 ||
                    (truth(x + 1, y) >= 128 && truth(x - 1, y) >= 128 && truth(x, y + 1) >= 128 && truth(x, y - 1) >= 128))
                    continue;
                double gx = 0, gy = 0;
                for (int k = -2; k <= 2; ++k) {
                    gx += truth(x + 2, y + k) - truth(x - 2, y + k);
                    gy += truth(x + k, y + 2) - truth(x + k, y - 2);
                }
                const double len = std::hypot(gx, gy);
                if (len < 1) continue;
                const double nx = -gx / len, ny = -gy / len;  // outwards
                double from = 99, to = 99;
                for (double d = -8; d <= 8; d += 0.25) {
                    const double a = alpha(x + nx * d, y + ny * d);
                    if (from == 99 && a < 0.9 * 255) from = d;
                    if (to == 99 && a < 0.1 * 255) to = d;
                    if (d >= 3) out += a, ++outN;
                    if (d <= -3) in += a, ++inN;
                }
                widths.push_back(from == 99 || to == 99 ? 16.0 : to - from);
            }
        Edge e;
        if (widths.empty()) return e;
        std::sort(widths.begin(), widths.end());
        e.median = widths[widths.size() / 2];
        e.p90 = widths[widths.size() * 9 / 10];
        e.outside = out / double(std::max<int64_t>(outN, 1)) / 255;
        e.inside = in / double(std::max<int64_t>(inN, 1)) / 255;
        return e;
    }
};

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

TEST(CreatorCameraFeed, AStartWithoutACaptureThreadReportsNoCameraAndTheNextStartTriesAgain) {
    auto cams = std::make_shared<FakeCameras>(std::vector{CameraAccess::granted});
    VelCreatorCameraFeedV1045 feed({cams, std::make_shared<LeftHalfSegmenter>()});
    std::optional<Report> r;
    {
        pk::test::RefusedThreadStarts refused;
        feed.start([&](bool ok, const std::string& s) { r = Report{ok, s}; });
        EXPECT_EQ(refused.refused(), 1);
        feed.waitForQueue();  // nothing is queued, so nothing to wait for
    }
    ASSERT_TRUE(r) << "the start was answered";
    EXPECT_FALSE(r->success);
    EXPECT_EQ(r->status, VelCreatorCameraFeedV1045::kNoCameraStatus);
    EXPECT_EQ(cams->opens.load(), 0);
    const Report again = startAndWait(feed);
    EXPECT_TRUE(again.success);
    EXPECT_TRUE(feed.isRunning());
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
    auto cut = VelCreatorCameraFeedV1045::composite(camera, 0, Mode::cutoutNoBackground, false, &seg);
    EXPECT_EQ(at(cut, 4, 24), (pk::draw2d::Pixel{0, 0, 255, 255}));
    EXPECT_EQ(at(cut, 60, 24).a, 0);
    // Mirrored: the frame and the matte flip together, so the person is still cut out whole.
    auto mirrored = VelCreatorCameraFeedV1045::composite(camera, 0, Mode::cutoutNoBackground, true, &seg);
    EXPECT_EQ(at(mirrored, 60, 24), (pk::draw2d::Pixel{0, 0, 255, 255}));
    EXPECT_EQ(at(mirrored, 4, 24).a, 0);

    // Blur: nothing transparent, and the frame's edges carry no dark border.
    auto blur = VelCreatorCameraFeedV1045::composite(camera, 0, Mode::studioBlur, false, &seg);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) ASSERT_EQ(at(blur, x, y).a, 255) << x << "," << y;
    EXPECT_GE(at(blur, 63, 0).g, 235) << "corner of the room keeps its colour";
    EXPECT_GE(at(blur, 63, 47).g, 235);
    EXPECT_EQ(at(blur, 4, 24), (pk::draw2d::Pixel{0, 0, 255, 255})) << "the person stays sharp";

    // Full camera: the frame untouched (mirrored when asked) and no segmentation at all.
    const int before = seg.calls.load();
    auto full = VelCreatorCameraFeedV1045::composite(camera, 0, Mode::fullCamera, true, &seg);
    EXPECT_EQ(seg.calls.load(), before);
    EXPECT_EQ(at(full, 60, 24), (pk::draw2d::Pixel{0, 0, 255, 255}));
    EXPECT_EQ(at(full, 4, 24), (pk::draw2d::Pixel{0, 255, 0, 255}));

    // Nobody found: the frame goes out whole rather than not at all.
    seg.findsNobody = true;
    auto whole = VelCreatorCameraFeedV1045::composite(camera, 0, Mode::cutoutNoBackground, false, &seg);
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
    EXPECT_EQ(feed.processFrame(camera, 0)->pixel(60, 24).a, 255);
    EXPECT_EQ(seg->calls.load(), 0) << "full camera never segments";
    feed.updateSettings(Mode::cutoutNoBackground, false);
    EXPECT_EQ(feed.processFrame(camera, 1.0 / 30)->pixel(60, 24).a, 0);
    EXPECT_EQ(seg->calls.load(), 1);
}

// The segmenter keeps state between frames and is not thread-safe: frames processed from
// several threads at once must still reach it one at a time.
TEST(CreatorCameraFeed, FramesFromSeveralThreadsReachTheSegmenterOneAtATime) {
    struct OverlapSegmenter : LeftHalfSegmenter {
        std::atomic<int> inside{0}, mostInside{0};
        std::optional<pk::vision::GrayMask> segment(const pk::draw2d::BitmapView& frame, double t) override {
            const int now = ++inside;
            for (int seen = mostInside.load(); now > seen && !mostInside.compare_exchange_weak(seen, now);) {
            }
            std::this_thread::sleep_for(std::chrono::microseconds(300));
            auto m = LeftHalfSegmenter::segment(frame, t);
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
            for (int i = 0; i < 10; ++i) ASSERT_TRUE(feed.processFrame(camera, i / 30.0));
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
    pk::vision::CascadeSeededPersonSegmenter seg;
    auto mask = seg.segment(frame.view(), 0, head);
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

TEST(CreatorCameraFeed, CutoutStaysOnAFigureWhoseHeadTurnsAwayAndGoesSoonAfterTheyLeave) {
    using creator_test::TurningFigureScene;
    using Kind = pk::vision::PersonSeed::Kind;
    constexpr int kW = 1280, kH = 720;
    const TurningFigureScene scene(kW, kH);
    const double fps = TurningFigureScene::kFps;

    // The take tests what it means to: the cascades see the face on and each half-turned
    // profile, and no face at all once the head has turned fully away, which only following
    // the last matte can bridge.
    {
        pk::vision::CascadeSeededPersonSegmenter probe;
        struct Case {
            double yaw;
            std::optional<Kind> face;
        };
        const double half = TurningFigureScene::kHalfPi;
        for (const Case& c : {Case{0, Kind::frontalFace}, Case{0.7, Kind::profileFacingRight},
                              Case{-0.7, Kind::profileFacingLeft}, Case{half, std::nullopt}, Case{-half, std::nullopt}}) {
            const auto shot = scene.shot({0.5, c.yaw}, 1);
            bool found = false, anyFace = false;
            for (const auto& seed : probe.detectSeeds(shot.frame.view())) {
                found = found || (c.face && seed.kind == *c.face);
                anyFace = anyFace || seed.kind != Kind::upperBody;
            }
            if (c.face)
                EXPECT_TRUE(found) << "yaw " << c.yaw;
            else
                EXPECT_FALSE(anyFace) << "yaw " << c.yaw;
        }
    }

    pk::vision::CascadeSeededPersonSegmenter seg;
    double firstMatte = -1, worstIoU = 1, out = -1, worstRoomBesideNeck = 0;
    std::vector<std::pair<double, MatteOnFigure::Edge>> edges;
    const int frames = int(TurningFigureScene::kEnd * fps);
    for (int i = 0; i < frames; ++i) {
        const double t = i / fps;
        const auto pose = TurningFigureScene::poseAt(t);
        const auto shot = scene.shot(pose, uint32_t(i + 1));
        const auto frame = std::make_shared<const Bitmap>(shot.frame);
        const auto delivered = VelCreatorCameraFeedV1045::composite(frame, t, Mode::cutoutNoBackground, true, &seg);
        ASSERT_TRUE(delivered);
        const MatteOnFigure m{shot, *delivered};
        const bool whole = m.whole();
        if (t < TurningFigureScene::kLeaveStart) {
            if (firstMatte < 0 && !whole) firstMatte = t;
            if (firstMatte < 0) continue;
            worstIoU = std::min(worstIoU, m.iou());
            // Under the chin beside the neck the room shows: nothing may force it in.
            const double cx = kW - pose.centerX * kW, u = kH / 720.0;
            for (double side : {-1.0, 1.0})
                for (double x = 56 * u; x <= 90 * u; x += 4)
                    for (double y = 440 * u; y <= 500 * u; y += 4)
                        worstRoomBesideNeck = std::max(worstRoomBesideNeck, m.alpha(cx + side * x, y));
            // Face on, held in either profile, face on again.
            if (i == 6 || i == 30 || i == 66 || i == 93) edges.emplace_back(t, m.edge());
            continue;
        }
        if (out < 0 && std::all_of(shot.truth.begin(), shot.truth.end(), [](uint8_t v) { return v == 0; })) out = t;
        if (out >= 0 && t >= out + pk::vision::CascadeSeededPersonSegmenter::kGoneSeconds + 1 / fps) {
            EXPECT_TRUE(whole) << "the empty room is still cut out " << t - out << " s after the figure left";
        }
    }
    EXPECT_GE(firstMatte, 0);
    EXPECT_LE(firstMatte, 1 / fps) << "the whole-frame search takes one frame, the matte starts with the next";
    std::printf("worst IoU through the turns %.3f; room beside the neck at most %.0f / 255\n", worstIoU,
                worstRoomBesideNeck);
    EXPECT_GE(worstIoU, 0.9) << "the matte stays on the figure through both turns";
    EXPECT_LT(worstRoomBesideNeck, 32) << "room under the chin";
    EXPECT_GT(out, 0) << "the figure walked out of the picture";
    ASSERT_EQ(edges.size(), 4u);
    for (const auto& [t, e] : edges) {
        std::printf("edge at %.2f s: 10-90 %% width median %.2f px, 90th percentile %.2f px; mean alpha 3-8 px "
                    "outside %.3f, inside %.3f\n",
                    t, e.median, e.p90, e.outside, e.inside);
        EXPECT_LE(e.median, 2.5) << t;
        EXPECT_LE(e.p90, 4) << t;
        EXPECT_LE(e.outside, 0.03) << t << ": the room's colour haloes the figure";
        EXPECT_GE(e.inside, 0.9) << t;
    }
}

// No face cascade sees a head turned fully away; the upper-body one still finds the figure,
// within the whole-frame searches' turns.
TEST(CreatorCameraFeed, AFigureFirstSeenTurnedAwayIsFoundByItsUpperBody) {
    using creator_test::TurningFigureScene;
    const TurningFigureScene scene(1280, 720);
    pk::vision::CascadeSeededPersonSegmenter seg;
    std::optional<double> iou;
    for (int i = 0; i < 24 && !iou; ++i) {
        const auto shot = scene.shot({0.5, TurningFigureScene::kHalfPi}, uint32_t(i + 1));
        const auto delivered = VelCreatorCameraFeedV1045::composite(std::make_shared<const Bitmap>(shot.frame),
                                                                    i / TurningFigureScene::kFps,
                                                                    Mode::cutoutNoBackground, true, &seg);
        ASSERT_TRUE(delivered);
        const MatteOnFigure m{shot, *delivered};
        if (!m.whole()) iou = m.iou();
    }
    ASSERT_TRUE(iou) << "never found";
    EXPECT_GE(*iou, 0.9);
}
