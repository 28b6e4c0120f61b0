// Matte compositing, guided upsampling and the cascade-seeded person segmenter on frames
// drawn here.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "PlatformKit/Draw2D/Canvas.h"
#include "PlatformKit/Vision/MatteCompositing.h"
#include "PlatformKit/Vision/PersonSegmenter.h"

using namespace pk::vision;
using pk::draw2d::Bitmap;
using pk::draw2d::Canvas;

namespace {

Bitmap solid(int w, int h, uint8_t b, uint8_t g, uint8_t r) {
    Bitmap bmp = *Bitmap::create(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = bmp.data() + size_t(y) * bmp.bytesPerRow() + size_t(x) * 4;
            p[0] = b, p[1] = g, p[2] = r, p[3] = 255;
        }
    return bmp;
}

// A webcam-like 640 × 480 frame: a room, shoulders cut by the bottom edge, a head. The
// same shapes in white on black are the true mask.
struct Scene {
    Bitmap frame = *Bitmap::create(640, 480);
    Bitmap truth = *Bitmap::create(640, 480);
    FaceBox face{270, 120, 100, 130};
};

// With `gap`, the room shows through a hole in the body (as between an arm and the chest).
Scene drawScene(double shift = 0, bool gap = false) {
    Scene s;
    s.face.x += shift;
    auto person = [&](Canvas& c, pk::draw2d::RGBA body, pk::draw2d::RGBA head, pk::draw2d::RGBA room) {
        c.setFillColor(body);
        c.fillEllipse({170 + shift, 300, 300, 330});
        c.setFillColor(head);
        c.fillEllipse({270 + shift, 110, 100, 150});
        if (!gap) return;
        c.setFillColor(room);
        c.fillEllipse({270 + shift, 370, 100, 70});
    };
    {
        Canvas c(s.frame);
        c.setFillColor({0.55, 0.6, 0.52, 1});
        c.fill({0, 0, 640, 480});
        c.setFillColor({0.42, 0.3, 0.22, 1});
        c.fill({0, 380, 640, 100});  // a desk edge behind, in the room's lower part
        person(c, {0.15, 0.22, 0.6, 1}, {0.85, 0.66, 0.55, 1}, {0.55, 0.6, 0.52, 1});
    }
    {
        Canvas c(s.truth);
        c.setFillColor({0, 0, 0, 1});
        c.fill({0, 0, 640, 480});
        person(c, {1, 1, 1, 1}, {1, 1, 1, 1}, {0, 0, 0, 1});
    }
    return s;
}

double iou(const GrayMask& mask, const Bitmap& truth) {
    const GrayMask m = resizedMask(mask, truth.width(), truth.height());
    int64_t both = 0, either = 0;
    for (int y = 0; y < truth.height(); ++y)
        for (int x = 0; x < truth.width(); ++x) {
            const bool a = m.at(x, y) >= 128, b = truth.pixel(x, y).r >= 128;
            both += a && b;
            either += a || b;
        }
    return either ? double(both) / double(either) : 0;
}

}  // namespace

TEST(MatteCompositing, BlendKeepsThePersonAndReplacesOrClearsTheRest) {
    const Bitmap image = solid(4, 1, 10, 20, 30);
    const Bitmap back = solid(4, 1, 200, 100, 50);
    GrayMask matte{4, 1, {255, 128, 0, 0}};
    struct Case {
        const Bitmap* background;
        int x;
        pk::draw2d::Pixel expected;
    };
    for (const Case& c : {Case{nullptr, 0, {10, 20, 30, 255}}, Case{nullptr, 1, {5, 10, 15, 128}},
                          Case{nullptr, 2, {0, 0, 0, 0}}, Case{&back, 0, {10, 20, 30, 255}},
                          Case{&back, 1, {105, 60, 40, 255}}, Case{&back, 3, {200, 100, 50, 255}}}) {
        pk::draw2d::BitmapView bv = c.background ? c.background->view() : pk::draw2d::BitmapView{};
        auto out = blendWithMatte(image.view(), c.background ? &bv : nullptr, matte);
        ASSERT_TRUE(out);
        EXPECT_EQ(out->pixel(c.x, 0), c.expected) << "x " << c.x << (c.background ? " over background" : " cutout");
    }
    EXPECT_FALSE(blendWithMatte(image.view(), nullptr, GrayMask::filled(3, 1, 255))) << "size mismatch";
}

TEST(MatteCompositing, ClampedBlurKeepsEdgesAndSpreadsLikeAGaussian) {
    const Bitmap flat = solid(640, 480, 40, 160, 220);
    auto blurred = gaussianBlurClamped(flat.view(), 14);
    ASSERT_TRUE(blurred);
    int worst = 0;
    for (int y = 0; y < 480; y += 7)
        for (int x : {0, 1, 2, 320, 637, 638, 639}) {
            const auto p = blurred->pixel(x, y);
            worst = std::max({worst, std::abs(p.b - 40), std::abs(p.g - 160), std::abs(p.r - 220), 255 - p.a});
        }
    EXPECT_LE(worst, 1) << "a clamped blur of a flat frame stays flat up to the border";

    // A white column on black spreads as a Gaussian of sigma 14 would.
    Bitmap line = solid(640, 64, 0, 0, 0);
    for (int y = 0; y < 64; ++y) line.data()[size_t(y) * line.bytesPerRow() + 320 * 4 + 1] = 255;
    auto spread = gaussianBlurClamped(line.view(), 14);
    ASSERT_TRUE(spread);
    double total = 0, second = 0;
    for (int x = 0; x < 640; ++x) {
        const double v = spread->pixel(x, 32).g;
        total += v;
        second += v * (x - 320) * (x - 320);
    }
    EXPECT_NEAR(total, 255, 255 * 0.08) << "energy is kept";
    EXPECT_NEAR(std::sqrt(second / total), 14, 1.5) << "width of the blur";
}

TEST(MatteCompositing, MirrorSwapsSidesAndMasksScaleWithSoftEdges) {
    Bitmap img = solid(5, 2, 0, 0, 0);
    img.data()[0] = 99;  // blue of (0, 0)
    auto flipped = mirroredHorizontally(img.view());
    ASSERT_TRUE(flipped);
    EXPECT_EQ(flipped->pixel(4, 0).b, 99);
    EXPECT_EQ(flipped->pixel(0, 0).b, 0);
    GrayMask m{3, 1, {255, 0, 0}};
    EXPECT_EQ(mirroredHorizontally(m).values, (std::vector<uint8_t>{0, 0, 255}));

    GrayMask half{2, 2, {255, 0, 255, 0}};
    const GrayMask big = resizedMask(half, 64, 64);
    EXPECT_EQ(big.at(0, 10), 255);
    EXPECT_EQ(big.at(63, 10), 0);
    EXPECT_GT(big.at(32, 10), 0);
    EXPECT_LT(big.at(32, 10), 255) << "bilinear: the edge stays soft";
}

TEST(MatteCompositing, GuidedUpsamplingPutsACoarseEdgeOnTheFramesOwnEdge) {
    // A disc on stripes, and its matte made 8 times smaller: blocky once scaled back.
    constexpr int kSide = 256, kSmall = 32;
    Bitmap frame = *Bitmap::create(kSide, kSide);
    {
        Canvas c(frame);
        c.setFillColor({0.7, 0.66, 0.58, 1});
        c.fill({0, 0, kSide, kSide});
        c.setFillColor({0.55, 0.5, 0.42, 1});
        for (int x = 0; x < kSide; x += 24) c.fill({double(x), 0, 12, kSide});
        c.setFillColor({0.2, 0.3, 0.65, 1});
        c.fillEllipse({60.3, 50.7, 140, 150});
    }
    const auto inside = [](double x, double y) {
        return std::hypot((x + 0.5 - 130.3) / 70, (y + 0.5 - 125.7) / 75);  // < 1 inside the disc
    };
    GrayMask coarse = GrayMask::filled(kSmall, kSmall, 0);
    for (int y = 0; y < kSmall; ++y)
        for (int x = 0; x < kSmall; ++x)
            coarse.values[size_t(y) * kSmall + size_t(x)] = inside(x * 8.0 + 3.5, y * 8.0 + 3.5) < 1 ? 255 : 0;

    const GrayMask fine = guidedUpsampledMatte(coarse, frame.view());
    ASSERT_EQ(fine.width, kSide);
    ASSERT_EQ(fine.height, kSide);
    const GrayMask stretched = resizedMask(coarse, kSide, kSide);
    // Along the disc's outline: where the matte crosses one half, and how far it takes to
    // go from 90 % to 10 %.
    int worstOffset = 0, widest = 0, stretchedWidest = 0;
    for (double angle = 0; angle < 6.28; angle += 0.05) {
        const double dx = std::cos(angle), dy = std::sin(angle);
        const auto profile = [&](const GrayMask& m, int& half, int& from, int& to) {
            half = from = to = 99;
            for (int s = -16; s <= 16; ++s) {
                const int x = int(std::lround(130.3 - 0.5 + dx * (70 + s))), y = int(std::lround(125.7 - 0.5 + dy * (75 + s)));
                const uint8_t v = m.at(std::clamp(x, 0, kSide - 1), std::clamp(y, 0, kSide - 1));
                if (from == 99 && v < 0.9 * 255) from = s;
                if (half == 99 && v < 128) half = s;
                if (to == 99 && v < 0.1 * 255) to = s;
            }
        };
        int half, from, to;
        profile(fine, half, from, to);
        worstOffset = std::max(worstOffset, std::abs(half));
        widest = std::max(widest, to - from);
        profile(stretched, half, from, to);
        stretchedWidest = std::max(stretchedWidest, to - from);
    }
    EXPECT_LE(worstOffset, 2) << "the edge lies on the disc's outline";
    EXPECT_LE(widest, 3) << "and is about as sharp as the frame's own";
    EXPECT_GE(stretchedWidest, 6) << "where plain stretching leaves it soft";
    EXPECT_EQ(fine.at(5, 5), 0);
    EXPECT_EQ(fine.at(130, 125), 255) << "away from the edge the coarse value stands";

    // A coarse matte of the frame's own size is refined in place.
    EXPECT_EQ(guidedUpsampledMatte(stretched, frame.view()).width, kSide);
    const Bitmap wrongGuide = solid(kSmall + 1, kSmall, 0, 0, 0);
    const pk::draw2d::BitmapView wrongView = wrongGuide.view();
    for (const auto& [m, guide] : {std::pair{GrayMask::filled(kSide + 1, kSide, 0), (const pk::draw2d::BitmapView*)nullptr},
                                   std::pair{GrayMask{}, (const pk::draw2d::BitmapView*)nullptr},
                                   std::pair{coarse, &wrongView}})
        EXPECT_FALSE(guidedUpsampledMatte(m, frame.view(), guide).isValid());
}

TEST(CascadeSeededPersonSegmenter, SeededFaceGrowsIntoHeadAndShouldersAndFollowsTheNextFrame) {
    CascadeSeededPersonSegmenter seg;
    EXPECT_TRUE(seg.hasFrontalFaceDetector() && seg.hasProfileFaceDetector() && seg.hasUpperBodyDetector())
        << "opencv-data's cascades are missing";
    Scene s = drawScene();
    auto mask = seg.segment(s.frame.view(), 0, s.face);
    ASSERT_TRUE(mask);
    EXPECT_EQ(mask->width, 640) << "the matte comes at the frame's size";
    EXPECT_GE(iou(*mask, s.truth), 0.95);

    Scene moved = drawScene(12);  // the person leans a little: the previous mask seeds this one
    auto next = seg.segment(moved.frame.view(), 1.0 / 30, moved.face);
    ASSERT_TRUE(next);
    EXPECT_GE(iou(*next, moved.truth), 0.95);
    // No forced foreground where the room shows: under the chin, in the gap between the
    // head and the shoulders, the matte is clear.
    for (int x : {300, 364})
        for (int y = 280; y <= 298; y += 6) EXPECT_LT(next->at(x + 12, y), 16) << x << "," << y;

    // Small holes the person encloses are theirs; room seen through a large one is not.
    CascadeSeededPersonSegmenter other;
    Scene gap = drawScene(0, true);
    auto withGap = other.segment(gap.frame.view(), 0, gap.face);
    ASSERT_TRUE(withGap);
    EXPECT_GE(iou(*withGap, gap.truth), 0.95);
    EXPECT_LT(withGap->at(320, 405), 16) << "the room through the gap";

    EXPECT_FALSE(seg.segment(s.frame.view(), 0.1, FaceBox{5000, 5000, 100, 100})) << "a face outside the frame";
    EXPECT_FALSE(seg.segment(s.frame.view(), 0.1, FaceBox{10, 10, 0, 0}));
    const double inf = std::numeric_limits<double>::infinity(), nan = std::numeric_limits<double>::quiet_NaN();
    for (const FaceBox& bad : {FaceBox{270, 120, inf, 130}, FaceBox{270, 120, 100, 1e300}, FaceBox{270, 120, nan, 130},
                               FaceBox{-1e300, 120, 100, 130}, FaceBox{270, inf, 100, 130}, FaceBox{0, 0, 4000, 4000}})
        EXPECT_FALSE(seg.segment(s.frame.view(), 0.1, bad)) << bad.x << " " << bad.y << " " << bad.width << " " << bad.height;
}

TEST(CascadeSeededPersonSegmenter, NobodyInTheRoomMeansNoMaskAndAPersonWhoLeftGoesAfterTheNamedTime) {
    CascadeSeededPersonSegmenter seg;
    const Bitmap room = solid(640, 480, 90, 110, 100);
    EXPECT_TRUE(seg.detectSeeds(room.view()).empty());
    for (int i = 0; i < 8; ++i) EXPECT_FALSE(seg.segment(room.view(), i / 30.0)) << "every cascade has had its turn";

    // Followed, then gone: the empty room keeps the matte for goneSeconds of frame time,
    // counted from the frames' own timestamps (a frame without a usable one counts as
    // taken with the one before), then nothing.
    Scene s = drawScene();
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(seg.segment(s.frame.view(), 10.0 - (5 - i) / 30.0, s.face));
    ASSERT_TRUE(seg.segment(s.frame.view(), 10.0, s.face));
    const double gone = CascadeSeededPersonSegmenter::kGoneSeconds;
    struct Step {
        double t;
        bool matte;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    bool lost = false;
    for (const Step& step : {Step{10.0 + 1.0 / 30, true}, Step{nan, true}, Step{10.2, true}, Step{10.0 + gone, true},
                             Step{10.1 + gone, false}, Step{11.0, false}}) {
        const bool has = seg.segment(room.view(), step.t).has_value();
        lost = lost || !has;
        if (step.matte)
            EXPECT_TRUE(has) << step.t;
        else
            EXPECT_FALSE(has) << step.t;
    }
    EXPECT_TRUE(lost);
    EXPECT_FALSE(seg.isTracking());
    // After a pause in the frames longer than that, the last matte is not carried over.
    ASSERT_TRUE(seg.segment(s.frame.view(), 12.0, s.face));
    EXPECT_FALSE(seg.segment(room.view(), 12.0 + 2 * gone));

    CascadeSeededPersonSegmenter blind({"/no/such/cascade.xml", "/no/such/either.xml", "/nor/this.xml"});
    EXPECT_FALSE(blind.hasFrontalFaceDetector() || blind.hasProfileFaceDetector() || blind.hasUpperBodyDetector());
    for (int i = 0; i < 8; ++i) EXPECT_FALSE(blind.segment(s.frame.view(), i / 30.0));
    EXPECT_TRUE(blind.detectSeeds(s.frame.view()).empty());
    EXPECT_FALSE(seg.segment(solid(12, 9, 0, 0, 0).view(), 20)) << "a frame too small to hold anybody";
}
