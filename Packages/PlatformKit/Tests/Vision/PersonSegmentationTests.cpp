// Matte compositing and the face-seeded person segmenter on frames drawn here.
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

Scene drawScene(double shift = 0) {
    Scene s;
    s.face.x += shift;
    auto person = [&](Canvas& c, pk::draw2d::RGBA body, pk::draw2d::RGBA head) {
        c.setFillColor(body);
        c.fillEllipse({170 + shift, 300, 300, 330});
        c.setFillColor(head);
        c.fillEllipse({270 + shift, 110, 100, 150});
    };
    {
        Canvas c(s.frame);
        c.setFillColor({0.55, 0.6, 0.52, 1});
        c.fill({0, 0, 640, 480});
        c.setFillColor({0.42, 0.3, 0.22, 1});
        c.fill({0, 380, 640, 100});  // a desk edge behind, in the room's lower part
        person(c, {0.15, 0.22, 0.6, 1}, {0.85, 0.66, 0.55, 1});
    }
    {
        Canvas c(s.truth);
        c.setFillColor({0, 0, 0, 1});
        c.fill({0, 0, 640, 480});
        person(c, {1, 1, 1, 1}, {1, 1, 1, 1});
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

TEST(FaceSeededPersonSegmenter, SeededFaceGrowsIntoHeadAndShouldersAndFollowsTheNextFrame) {
    FaceSeededPersonSegmenter seg;
    EXPECT_TRUE(seg.hasFaceDetector()) << "opencv-data's cascade is missing";
    Scene s = drawScene();
    auto mask = seg.segment(s.frame.view(), s.face);
    ASSERT_TRUE(mask);
    EXPECT_GE(iou(*mask, s.truth), 0.9);

    Scene moved = drawScene(12);  // the person leans a little: the previous mask seeds this one
    auto next = seg.segment(moved.frame.view(), moved.face);
    ASSERT_TRUE(next);
    EXPECT_GE(iou(*next, moved.truth), 0.9);

    EXPECT_FALSE(seg.segment(s.frame.view(), FaceBox{5000, 5000, 100, 100})) << "a face outside the frame";
    EXPECT_FALSE(seg.segment(s.frame.view(), FaceBox{10, 10, 0, 0}));
    const double inf = std::numeric_limits<double>::infinity(), nan = std::numeric_limits<double>::quiet_NaN();
    for (const FaceBox& bad : {FaceBox{270, 120, inf, 130}, FaceBox{270, 120, 100, 1e300}, FaceBox{270, 120, nan, 130},
                               FaceBox{-1e300, 120, 100, 130}, FaceBox{270, inf, 100, 130}, FaceBox{0, 0, 4000, 4000}})
        EXPECT_FALSE(seg.segment(s.frame.view(), bad)) << bad.x << " " << bad.y << " " << bad.width << " " << bad.height;
}

TEST(FaceSeededPersonSegmenter, NoFaceMeansNoMask) {
    FaceSeededPersonSegmenter seg;
    const Bitmap room = solid(640, 480, 90, 110, 100);
    EXPECT_TRUE(seg.detectFaces(room.view()).empty());
    EXPECT_FALSE(seg.segment(room.view()));

    FaceSeededPersonSegmenter blind({"/no/such/cascade.xml"});
    EXPECT_FALSE(blind.hasFaceDetector());
    Scene s = drawScene();
    EXPECT_FALSE(blind.segment(s.frame.view()));
}
