// The area filter of previews, checked against sums worked out by hand.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <numeric>
#include <random>
#include <vector>

#include "PlatformKit/Image/Downscale.h"

using namespace pk::image;

namespace {

RgbaImage filled(int w, int h, std::array<uint8_t, 4> px) {
    RgbaImage im = RgbaImage::blank(w, h);
    for (size_t i = 0; i < im.bytes.size(); ++i) im.bytes[i] = px[i % 4];
    return im;
}

// One row of opaque grey levels.
RgbaImage greyRow(std::vector<uint8_t> levels) {
    RgbaImage im = RgbaImage::blank(int(levels.size()), 1);
    for (size_t x = 0; x < levels.size(); ++x) {
        uint8_t* p = &im.bytes[x * 4];
        p[0] = p[1] = p[2] = levels[x];
        p[3] = 255;
    }
    return im;
}

std::vector<int> greys(const RgbaImage& im) {
    std::vector<int> out;
    for (int x = 0; x < im.width; ++x) out.push_back(im.row(0)[x * 4]);
    return out;
}

}  // namespace

TEST(Downscale, AveragesByCoveredArea) {
    struct Case {
        std::vector<uint8_t> source;
        int width;
        std::vector<int> expected;
    };
    const Case cases[] = {
        {{10, 20, 30, 40}, 2, {15, 35}},             // whole pixels: plain pairs
        {{0, 90, 180}, 2, {30, 150}},                // 1.5 per output: the middle pixel split in halves
        {{0, 0, 0, 255, 255}, 2, {0, 204}},          // 2.5 per output: (0.5*0 + 2*255) / 2.5
        {{1, 2}, 1, {2}},                            // 1.5 rounds half up
        {{7, 7, 7, 7, 7, 7, 7}, 3, {7, 7, 7}},       // flat stays flat whatever the factor
    };
    for (const auto& c : cases) {
        RgbaImage out = downscaledBox(greyRow(c.source), c.width, 1);
        ASSERT_EQ(out.width, c.width);
        ASSERT_EQ(out.height, 1);
        EXPECT_EQ(greys(out), c.expected) << "from " << c.source.size() << " to " << c.width;
    }
}

TEST(Downscale, TransparentPixelsLendNoColour) {
    // Opaque red beside transparent green: the colour is red's, the alpha the mean.
    RgbaImage im = RgbaImage::blank(2, 1);
    const uint8_t px[8] = {255, 0, 0, 255, 0, 255, 0, 0};
    std::copy(px, px + 8, im.bytes.begin());
    RgbaImage out = downscaledBox(im, 1, 1);
    EXPECT_EQ(out.bytes, (std::vector<uint8_t>{255, 0, 0, 128}));
    // Nothing but transparency gives transparent black.
    EXPECT_EQ(downscaledBox(filled(4, 4, {90, 80, 70, 0}), 2, 2).bytes, std::vector<uint8_t>(16, 0));
}

TEST(Downscale, TwoAxesKeepTheMeanAndReadOnlyTheRowsGiven) {
    // Random opaque pixels in rows padded with bytes that must never be read.
    std::mt19937 rng(7);
    RgbaImage im;
    im.width = 37, im.height = 23, im.stride = 37 * 4 + 12;
    im.bytes.assign(im.stride * 23, 0);
    for (int y = 0; y < im.height; ++y) {
        for (int x = 0; x < im.width; ++x) {
            uint8_t* p = im.row(y) + x * 4;
            p[0] = uint8_t(rng()), p[1] = uint8_t(rng()), p[2] = uint8_t(rng()), p[3] = 255;
        }
        std::fill(im.row(y) + im.width * 4, im.row(y) + im.stride, 0xFF);
    }
    RgbaImage out = downscaledBox(im, 10, 7);
    ASSERT_EQ(out.width, 10);
    ASSERT_EQ(out.height, 7);
    ASSERT_EQ(out.stride, 40u);
    // Equal areas per output pixel: the output's mean is the source's, to rounding.
    for (int c = 0; c < 4; ++c) {
        double in = 0, got = 0;
        for (int y = 0; y < im.height; ++y)
            for (int x = 0; x < im.width; ++x) in += im.row(y)[x * 4 + c];
        for (int y = 0; y < out.height; ++y)
            for (int x = 0; x < out.width; ++x) got += out.row(y)[x * 4 + c];
        EXPECT_NEAR(got / 70, in / (37 * 23), 0.5) << "channel " << c;
    }
    // The corner pixel covers 3.7 x 3.29 source pixels from the corner.
    double sum = 0;
    const double wx[4] = {1, 1, 1, 0.7}, wy[4] = {1, 1, 1, 23.0 / 7 - 3};
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) sum += wx[x] * wy[y] * im.row(y)[x * 4];
    EXPECT_NEAR(out.row(0)[0], sum / (3.7 * 23.0 / 7), 0.51);
}

TEST(Downscale, SizesOutsideTheRange) {
    RgbaImage im = filled(8, 4, {1, 2, 3, 255});
    EXPECT_EQ(downscaledBox(im, 8, 4), im) << "the own size is the source";
    EXPECT_EQ(downscaledBox(im, 20, 2).width, 8) << "never wider than the source";
    EXPECT_EQ(downscaledBox(im, 20, 2).height, 2);
    for (auto [w, h] : {std::pair{0, 2}, {2, 0}, {-3, -3}}) EXPECT_TRUE(downscaledBox(im, w, h).empty()) << w << "x" << h;
    RgbaImage hollow = im;
    hollow.bytes.resize(10);
    EXPECT_TRUE(downscaledBox(hollow, 2, 2).empty()) << "bytes that do not hold the rows are not read";
    EXPECT_TRUE(downscaledBox(RgbaImage{}, 2, 2).empty());
}
