#include <gtest/gtest.h>

#include "PlatformKit/Foundation/StudioError.h"
#include "PlatformKit/Vision/FeaturePrint.h"
#include "PlatformKit/Vision/TesseractTextRecognizer.h"

using namespace pk::vision;
using pk::image::RgbaImage;

namespace {
RgbaImage solid(int w, int h, uint8_t r, uint8_t g, uint8_t b) {
    RgbaImage img = RgbaImage::blank(w, h);
    for (size_t i = 0; i < img.bytes.size(); i += 4) {
        img.bytes[i] = r; img.bytes[i + 1] = g; img.bytes[i + 2] = b; img.bytes[i + 3] = 255;
    }
    return img;
}
// A stride whose product with the height wraps to 0: the rows are not there.
RgbaImage wrappingStride() {
    RgbaImage img = solid(1, 4, 9, 9, 9);
    img.stride = size_t(1) << 62;
    return img;
}
void square(RgbaImage& img, int x0, int y0, int side, uint8_t v) {
    for (int y = y0; y < y0 + side; ++y)
        for (int x = x0; x < x0 + side; ++x)
            for (int c = 0; c < 3; ++c) img.row(y)[x * 4 + c] = v;
}
}  // namespace

// CI fails here when the engine or the English data is missing, instead of every audit
// silently reading "no text".
TEST(TesseractTextRecognizer, EngineLoadsWithEnglishData) {
    TesseractTextRecognizer recognizer("eng");
    EXPECT_EQ(recognizer.loadFailure(), std::nullopt);
    TesseractTextRecognizer missing("zz_no_such_language");
    EXPECT_TRUE(missing.loadFailure().has_value());
    EXPECT_THROW(missing.recognize(solid(8, 8, 0, 0, 0)), pk::StudioError);
    EXPECT_TRUE(recognizer.recognize(RgbaImage{}).empty());
    EXPECT_TRUE(recognizer.recognize(solid(64, 64, 20, 20, 20)).empty());
    EXPECT_TRUE(recognizer.recognize(wrappingStride()).empty());
}

TEST(FeaturePrint, SeparatesStaticSmallMoveAndHardCut) {
    RgbaImage a = solid(320, 180, 60, 70, 80);
    square(a, 100, 60, 40, 230);
    RgbaImage moved = solid(320, 180, 60, 70, 80);
    square(moved, 108, 62, 40, 230);
    RgbaImage cut = solid(320, 180, 200, 40, 30);
    square(cut, 10, 100, 70, 10);
    auto pa = featurePrint(a), pm = featurePrint(moved), pc = featurePrint(cut);
    ASSERT_TRUE(pa && pm && pc);
    EXPECT_EQ(featurePrintDistance(*pa, *featurePrint(a)), 0.0f);
    const float small = featurePrintDistance(*pa, *pm), hard = featurePrintDistance(*pa, *pc);
    EXPECT_GT(small, 0.005f);
    EXPECT_LT(small, 1.35f);
    EXPECT_GT(hard, 1.35f);
    // Flat frames of different tone still differ; 0 x 0 has no print.
    EXPECT_GT(featurePrintDistance(*featurePrint(solid(4, 4, 255, 255, 255)), *featurePrint(solid(4, 4, 0, 0, 0))), 1.35f);
    EXPECT_FALSE(featurePrint(RgbaImage{}).has_value());
    EXPECT_TRUE(featurePrint(solid(1, 1, 9, 9, 9)).has_value());
    EXPECT_FALSE(featurePrint(wrappingStride()).has_value());
}
