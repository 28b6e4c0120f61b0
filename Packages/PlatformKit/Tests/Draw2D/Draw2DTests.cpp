#include <gtest/gtest.h>

#include <algorithm>
#include <climits>

#include "PlatformKit/Draw2D/Bitmap.h"
#include "PlatformKit/Draw2D/Canvas.h"
#include "PlatformKit/Draw2D/Compositing.h"
#include "PlatformKit/Draw2D/Font.h"
#include "PlatformKit/Foundation/StudioError.h"

using namespace pk::draw2d;

namespace {

Bitmap makeBitmap(int w, int h, size_t bpr = 0) {
    auto b = Bitmap::create(w, h, bpr);
    EXPECT_TRUE(b.has_value());
    return std::move(*b);
}

// Memory rows (top first) holding any pixel with alpha, as [first, last]; {-1,-1} for none.
std::pair<int, int> inkRows(const Bitmap& b) {
    int first = -1, last = -1;
    for (int y = 0; y < b.height(); ++y)
        for (int x = 0; x < b.width(); ++x)
            if (b.pixel(x, y).a > 0) {
                if (first < 0) first = y;
                last = y;
                break;
            }
    return {first, last};
}

int inkWidthOfRow(const Bitmap& b, int y) {
    int lo = INT_MAX, hi = -1;
    for (int x = 0; x < b.width(); ++x)
        if (b.pixel(x, y).a > 128) {
            lo = std::min(lo, x);
            hi = std::max(hi, x);
        }
    return hi < 0 ? 0 : hi - lo + 1;
}

}  // namespace

TEST(Draw2DBitmap, RefusesSizesAndRowsItCannotHold) {
    struct Case {
        int w, h;
        size_t bpr;
        bool ok;
    } cases[] = {
        {1, 1, 0, true},          {256, 256, 1024, true}, {10, 3, 48, true},   {0, 10, 0, false},
        {10, -1, 0, false},       {32769, 1, 0, false},   {20000, 20000, 0, false},
        {10, 10, 39, false},      {10, 10, 42, false},
    };
    for (const auto& c : cases) {
        auto b = Bitmap::create(c.w, c.h, c.bpr);
        EXPECT_EQ(b.has_value(), c.ok) << c.w << "x" << c.h << " row " << c.bpr;
        if (b) {
            EXPECT_EQ(b->bytesPerRow(), c.bpr == 0 ? size_t(c.w) * 4 : c.bpr);
            EXPECT_EQ(b->pixel(c.w - 1, c.h - 1), (Pixel{0, 0, 0, 0}));
        }
    }
    EXPECT_THROW(Canvas(BitmapView{}), pk::StudioError);
}

TEST(Draw2DBitmap, StraightRGBARoundTripsThroughPremultipliedBGRA) {
    std::vector<uint8_t> rgba = {255, 0, 0, 255, 10, 200, 30, 128, 90, 90, 90, 0, 0, 0, 255, 1};
    auto b = Bitmap::fromStraightRGBA(rgba, 2, 2);
    ASSERT_TRUE(b);
    EXPECT_EQ(b->pixel(0, 0), (Pixel{0, 0, 255, 255}));  // bytes B, G, R, A
    EXPECT_EQ(b->pixel(1, 0), (Pixel{15, 100, 5, 128}));  // premultiplied
    auto back = b->straightRGBA();
    ASSERT_EQ(back.size(), rgba.size());
    EXPECT_EQ(std::vector<uint8_t>(back.begin(), back.begin() + 4), std::vector<uint8_t>({255, 0, 0, 255}));
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(back[4 + c], rgba[4 + c], 2);
    EXPECT_EQ(back[11], 0);  // fully transparent stays transparent
    EXPECT_FALSE(Bitmap::fromStraightRGBA(std::span(rgba).first(15), 2, 2));
}

TEST(Draw2DCanvas, BottomLeftOriginPutsYZeroAtTheLastRowWithPremultipliedBGRA) {
    for (Origin origin : {Origin::topLeft, Origin::bottomLeft}) {
        Bitmap b = makeBitmap(20, 10, 96);  // padded rows
        {
            Canvas c(b, origin);
            c.setFillColor({1, 0, 0, 0.5});
            c.fill({0, 0, 20, 2});
        }
        int filledRow = origin == Origin::bottomLeft ? 9 : 0;
        int emptyRow = origin == Origin::bottomLeft ? 0 : 9;
        EXPECT_EQ(b.pixel(5, filledRow), (Pixel{0, 0, 128, 128}));
        EXPECT_EQ(b.pixel(5, emptyRow).a, 0);
        EXPECT_EQ(b.data()[80], 0) << "row padding untouched";
    }
}

TEST(Draw2DCanvas, ImagesAreDrawnUprightOnceAndStretched) {
    // 2 × 2: top row red, bottom row blue.
    std::vector<uint8_t> rgba = {255, 0, 0, 255, 255, 0, 0, 255, 0, 0, 255, 255, 0, 0, 255, 255};
    auto img = Bitmap::fromStraightRGBA(rgba, 2, 2);
    ASSERT_TRUE(img);
    for (Origin origin : {Origin::topLeft, Origin::bottomLeft}) {
        Bitmap b = makeBitmap(40, 40);
        {
            Canvas c(b, origin);
            c.drawImage(*img, {10, 10, 20, 8}, Interpolation::nearest);
        }
        // Memory rows 12..30 hold the image in both origins (40 − 10 − 20 = 10 from the top).
        int top = origin == Origin::bottomLeft ? 40 - 10 - 8 : 10;
        EXPECT_EQ(b.pixel(15, top + 1), (Pixel{0, 0, 255, 255})) << "top half red";
        EXPECT_EQ(b.pixel(15, top + 6), (Pixel{255, 0, 0, 255})) << "bottom half blue";
        EXPECT_EQ(b.pixel(10, top + 1).a, 255);
        EXPECT_EQ(b.pixel(29, top + 1).a, 255);
        EXPECT_EQ(b.pixel(9, top + 1).a, 0) << "not tiled";
        EXPECT_EQ(b.pixel(30, top + 1).a, 0);
        EXPECT_EQ(b.pixel(15, top - 1).a, 0);
        EXPECT_EQ(b.pixel(15, top + 8).a, 0);
    }
}

TEST(Draw2DCanvas, PathsStrokesGradientsClipAndClear) {
    Bitmap b = makeBitmap(100, 100);
    {
        Canvas c(b);
        c.setFillLinearGradient({0, 0}, {100, 0}, {{0, {0, 0, 0, 1}}, {1, {1, 1, 1, 1}}});
        c.fill({0, 0, 100, 50});
        c.setFillColor({0, 1, 0, 1});
        c.fillEllipse({50, 50, 50, 50});
        c.fillRoundedRect({0, 50, 40, 40}, 10);
        c.setStrokeColor({0, 0, 1, 1});
        c.setLineWidth(2);
        c.beginPath();
        c.moveTo({0, 99});
        c.lineTo({40, 99});
        c.strokePath();
        c.clear({0, 0, 10, 10});
        c.saveState();
        c.clipTo({90, 0, 10, 10});
        c.setFillColor({1, 0, 0, 1});
        c.fill({0, 0, 100, 100});
        c.restoreState();
    }
    EXPECT_LT(b.pixel(20, 30).r, b.pixel(80, 30).r) << "gradient runs left to right";
    EXPECT_EQ(b.pixel(75, 75), (Pixel{0, 255, 0, 255})) << "ellipse centre";
    EXPECT_EQ(b.pixel(52, 52).a, 0) << "ellipse corner stays empty";
    EXPECT_EQ(b.pixel(20, 70), (Pixel{0, 255, 0, 255}));
    EXPECT_EQ(b.pixel(0, 50).a, 0) << "rounded corner";
    EXPECT_EQ(b.pixel(20, 99).b, 255);
    EXPECT_EQ(b.pixel(5, 5).a, 0) << "cleared";
    EXPECT_EQ(b.pixel(95, 5), (Pixel{0, 0, 255, 255})) << "inside the clip";
    EXPECT_NE(b.pixel(50, 5).r, 255) << "outside the clip";
}

TEST(Draw2DFont, PlatformNamesMapToInstalledFamilies) {
    struct Case {
        const char* name;
        const char* family;
        FontWeight weight;
    } cases[] = {
        {"HelveticaNeue-Bold", "Nimbus Sans", FontWeight::bold},
        {"Helvetica", "Nimbus Sans", FontWeight::regular},
        {"Arial-BoldMT", "Nimbus Sans", FontWeight::bold},
        {"Menlo-Regular", "Nimbus Mono PS", FontWeight::regular},
        {"DejaVu Sans-Bold", "DejaVu Sans", FontWeight::bold},
        {"NoSuchFamilyAnywhere-Bold", "Nimbus Sans", FontWeight::bold},
    };
    for (const auto& c : cases) {
        Font f = Font::named(c.name, 20);
        EXPECT_EQ(f.resolvedFamily(), c.family) << c.name;
        EXPECT_EQ(f.weight(), c.weight) << c.name;
    }
    EXPECT_EQ(Font::family("Liberation Sans", 12, FontWeight::bold).resolvedFamily(), "Liberation Sans");
}

TEST(Draw2DFont, MeasurementScalesWithSizeAndWeight) {
    Font regular = Font::named("Helvetica", 20);
    Font bold = Font::named("Helvetica-Bold", 20);
    Font big = Font::named("Helvetica-Bold", 40);
    TextMetrics m = bold.measure("MARBLEWICK");
    EXPECT_GT(m.advance, 100);
    EXPECT_NEAR(big.measure("MARBLEWICK").advance, 2 * m.advance, 0.5);
    EXPECT_GT(m.advance, regular.measure("MARBLEWICK").advance);
    EXPECT_NEAR(m.inkHeight, 0.72 * 20, 2.0);  // cap height of a Helvetica-like face
    EXPECT_NEAR(m.inkY, 0, 0.5);                // capitals sit on the baseline
    EXPECT_GT(bold.ascent(), 0);
    EXPECT_GT(bold.descent(), 0);
    EXPECT_EQ(bold.measure("").advance, 0);
    EXPECT_GT(bold.measure("A\xff" "B").advance, bold.measure("AB").advance) << "bad bytes repaired, not dropped";
}

TEST(Draw2DCanvas, TextSitsOnItsBaselineUprightInBothOrigins) {
    Font font = Font::named("HelveticaNeue-Bold", 40);
    for (Origin origin : {Origin::topLeft, Origin::bottomLeft}) {
        Bitmap b = makeBitmap(120, 100);
        {
            Canvas c(b, origin);
            c.drawText("T", font, {1, 1, 1, 1}, {10, 30});
        }
        auto [first, last] = inkRows(b);
        ASSERT_GE(first, 0);
        int baselineRow = origin == Origin::bottomLeft ? 100 - 30 : 30;
        EXPECT_NEAR(last, baselineRow - 1, 1) << "glyph ends on the baseline";
        EXPECT_NEAR(last - first + 1, font.measure("T").inkHeight, 2);
        EXPECT_GT(inkWidthOfRow(b, first + 1), 3 * inkWidthOfRow(b, last - 1)) << "bar of the T on top";
        EXPECT_EQ(b.pixel(12, first + 2), (Pixel{255, 255, 255, 255}));
    }
}

TEST(Draw2DCompositing, MaskLuminanceChoosesBetweenImageAndBackground) {
    Bitmap img = makeBitmap(3, 1), bg = makeBitmap(3, 1), mask = makeBitmap(3, 1), out = makeBitmap(3, 1);
    {
        Canvas c(img);
        c.setFillColor({1, 0, 0, 1});
        c.fill({0, 0, 3, 1});
    }
    {
        Canvas c(mask);
        c.setFillColor({0, 0, 0, 1});
        c.fill({0, 0, 1, 1});
        c.setFillColor({1, 1, 1, 1});
        c.fill({1, 0, 1, 1});
        c.setFillColor({0.5, 0.5, 0.5, 1});
        c.fill({2, 0, 1, 1});
    }
    ASSERT_TRUE(blendWithMask(img.view(), bg.view(), mask.view(), out.view()));
    EXPECT_EQ(out.pixel(0, 0), (Pixel{0, 0, 0, 0}));
    EXPECT_EQ(out.pixel(1, 0), (Pixel{0, 0, 255, 255}));
    EXPECT_NEAR(out.pixel(2, 0).a, 128, 1);
    Bitmap wrong = makeBitmap(3, 2);
    EXPECT_FALSE(blendWithMask(img.view(), bg.view(), wrong.view(), out.view()));
}
