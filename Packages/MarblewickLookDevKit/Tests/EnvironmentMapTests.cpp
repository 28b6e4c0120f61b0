#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include <glm/gtc/packing.hpp>

#include "MarblewickLookDevKit/HDRIEnvironmentLoader.h"
#include "PlatformKit/Foundation/Files.h"
#include "PlatformKit/Foundation/StudioError.h"
#include "FuzzSeeds.h"
#include <unistd.h>

using lookdev::HDRIEnvironmentLoader;

namespace {

std::vector<uint8_t> bytesOf(const std::string& s) { return {s.begin(), s.end()}; }

// A Radiance file: header lines, resolution line, then the given pixel bytes.
std::vector<uint8_t> radiance(const std::string& resolution, const std::vector<uint8_t>& pixels,
                              const std::string& header = "#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n") {
    auto out = bytesOf(header + resolution + "\n");
    out.insert(out.end(), pixels.begin(), pixels.end());
    return out;
}

float channel(const lookdev::HalfFloatImage& img, int64_t x, int64_t y, int c) {
    return glm::unpackHalf1x16(img.rgbaHalf[static_cast<size_t>((y * img.width + x) * 4 + c)]);
}

std::vector<uint8_t> flatPixels(int count, uint8_t r, uint8_t g, uint8_t b, uint8_t e) {
    std::vector<uint8_t> px;
    for (int i = 0; i < count; ++i) px.insert(px.end(), {r, g, b, e});
    return px;
}

struct Refusal {
    const char* what;
    std::vector<uint8_t> file;
};

}  // namespace

TEST(RadianceReader, HeaderAndResolutionRules) {
    struct Case {
        const char* what;
        std::vector<uint8_t> file;
        bool ok;
        int64_t width, height;
    };
    const auto px6 = flatPixels(6, 128, 64, 32, 129);
    std::vector<uint8_t> nonAsciiHeader = bytesOf("#?RADIANCE\nFORMAT=\xC3\xA9\n-Y 2 +X 3\n");
    nonAsciiHeader.insert(nonAsciiHeader.end(), px6.begin(), px6.end());
    const Case cases[] = {
        {"plain", radiance("-Y 2 +X 3", px6), true, 3, 2},
        {"flipped axis tokens", radiance("+Y 2 -X 3", px6), true, 3, 2},
        {"extra spaces", radiance("-Y   2  +X 3", px6), true, 3, 2},
        {"no signature is fine", radiance("-Y 2 +X 3", px6, "garbage line\n\n"), true, 3, 2},
        {"a non-ASCII header line ends the header", nonAsciiHeader, true, 3, 2},
        {"too few parts", radiance("-Y 2 +X", px6), false, 0, 0},
        {"not a number", radiance("-Y two +X 3", px6), false, 0, 0},
        {"width 8193", radiance("-Y 1 +X 8193", {}), false, 0, 0},
        {"height 4097", radiance("-Y 4097 +X 1", {}), false, 0, 0},
        {"zero width", radiance("-Y 2 +X 0", px6), false, 0, 0},
        {"no empty header line", bytesOf("#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n-Y 2 +X 3\nxxxxxxxxxxxx"), false, 0, 0},
        {"shorter than 33 bytes", radiance("-Y 1 +X 1", {1, 1, 1, 128}, "\n"), false, 0, 0},
    };
    for (const auto& c : cases) {
        auto img = HDRIEnvironmentLoader::decodeRadiance(c.file);
        ASSERT_EQ(img.has_value(), c.ok) << c.what;
        if (c.ok) {
            EXPECT_EQ(img->width, c.width) << c.what;
            EXPECT_EQ(img->height, c.height) << c.what;
        }
    }
}

TEST(RadianceReader, PixelConversionAndTruncation) {
    // Row 0: mantissa 128 exponent 129 -> 128 * 2^-7 = 1; then 255/255 clamps at 60; then E = 0.
    std::vector<uint8_t> px = {128, 64, 32, 129, 255, 255, 255, 255, 9, 9, 9, 0};
    px.insert(px.end(), {128, 128, 128, 136});  // row 1 has only one of its three pixels
    auto img = HDRIEnvironmentLoader::decodeRadiance(radiance("-Y 2 +X 3", px));
    ASSERT_TRUE(img);
    EXPECT_FLOAT_EQ(channel(*img, 0, 0, 0), 1.0f);
    EXPECT_FLOAT_EQ(channel(*img, 0, 0, 1), 0.5f);
    EXPECT_FLOAT_EQ(channel(*img, 0, 0, 3), 1.0f);
    EXPECT_FLOAT_EQ(channel(*img, 1, 0, 0), 60.0f);
    EXPECT_FLOAT_EQ(channel(*img, 2, 0, 0), 0.0f);
    // The truncated row stays black.
    EXPECT_FLOAT_EQ(channel(*img, 0, 1, 0), 0.0f);
}

TEST(RadianceReader, AFileNeedsOneCompleteRowAndKeepsTheRowsItHas) {
    // Width 16, the first row run-length coded and cut inside its exponent channel.
    std::vector<uint8_t> rleCut = {2, 2, 0, 16, 128 + 16, 100, 128 + 16, 100, 128 + 16, 100, 128 + 8};
    auto shortRow = flatPixels(16, 1, 1, 1, 128);
    shortRow.pop_back();
    const Refusal refused[] = {
        {"a header declaring the largest size and no pixels", radiance("-Y 4096 +X 8192", bytesOf("                "))},
        {"a flat first row one byte short", radiance("-Y 2 +X 16", shortRow)},
        {"a run-length first row cut in its last channel", radiance("-Y 2 +X 16", rleCut)},
    };
    for (const auto& c : refused) EXPECT_FALSE(HDRIEnvironmentLoader::decodeRadiance(c.file).has_value()) << c.what;

    // Half of eight rows: the first four keep their colour, the rest are black.
    const auto img = HDRIEnvironmentLoader::decodeRadiance(radiance("-Y 8 +X 16", flatPixels(16 * 4, 128, 128, 128, 129)));
    ASSERT_TRUE(img);
    EXPECT_EQ(img->width, 16);
    EXPECT_EQ(img->height, 8);
    for (int y = 0; y < 8; ++y) EXPECT_FLOAT_EQ(channel(*img, 15, y, 0), y < 4 ? 1.0f : 0.0f) << y;
}

TEST(RadianceReader, RunLengthScanlines) {
    // Width 4: R channel a run of 6 (longer than the row: the rest is dropped), then G, B, E
    // as literals; decoding continues with the next channel at the following byte.
    std::vector<uint8_t> row = {2, 2, 0, 4};
    row.insert(row.end(), {128 + 6, 200});               // R: run of 200
    row.insert(row.end(), {4, 10, 20, 30, 40});          // G literals
    row.insert(row.end(), {128 + 4, 0});                 // B: run of 0
    row.insert(row.end(), {0, 128 + 4, 136});            // E: an empty literal packet, then run of 136
    std::vector<uint8_t> file = radiance("-Y 1 +X 4", row);
    auto img = HDRIEnvironmentLoader::decodeRadiance(file);
    ASSERT_TRUE(img);
    for (int x = 0; x < 4; ++x) {
        EXPECT_FLOAT_EQ(channel(*img, x, 0, 0), 60.0f);  // 200 * 2^0 clamps
        EXPECT_FLOAT_EQ(channel(*img, x, 0, 1), static_cast<float>(10 * (x + 1)));
        EXPECT_FLOAT_EQ(channel(*img, x, 0, 2), 0.0f);
    }
    // Any prefix of the file decodes or fails cleanly.
    for (size_t n = 0; n < file.size(); ++n) {
        std::vector<uint8_t> cut(file.begin(), file.begin() + static_cast<ptrdiff_t>(n));
        (void)HDRIEnvironmentLoader::decodeRadiance(cut);
    }
}

TEST(RadianceReader, SyntheticStudioWriterRoundTrips) {
    const auto bytes = HDRIEnvironmentLoader::encodeSyntheticStudioHDR(64, 32);
    for (const char* target : {"lookdev_radiance", "panorama_decode"}) kstest::writeFuzzSeed(target, "studio.hdr", bytes);
    const std::string header = "#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y 32 +X 64\n";
    ASSERT_EQ(bytes.size(), header.size() + 64 * 32 * 4);
    EXPECT_EQ(std::memcmp(bytes.data(), header.data(), header.size()), 0);
    auto img = HDRIEnvironmentLoader::decodeRadiance(bytes);
    ASSERT_TRUE(img);
    EXPECT_EQ(img->width, 64);
    EXPECT_EQ(img->height, 32);
    // The horizon row glows brighter than the zenith row; the lower half is darker.
    EXPECT_GT(channel(*img, 5, 16, 0), channel(*img, 5, 0, 0));
    EXPECT_LT(channel(*img, 5, 28, 2), channel(*img, 5, 4, 2));
    // Zero sizes write the header and no pixels.
    EXPECT_EQ(HDRIEnvironmentLoader::encodeSyntheticStudioHDR(0, 10).size(),
              std::string("#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y 10 +X 0\n").size());
    // The writer creates folders and replaces atomically.
    const auto dir = std::filesystem::temp_directory_path() / ("ks-hdr-" + std::to_string(getpid()));
    std::filesystem::remove_all(dir);
    HDRIEnvironmentLoader::writeSyntheticStudioHDR(dir / "a" / "studio.hdr", 16, 8);
    auto back = pk::readFile(dir / "a" / "studio.hdr");
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, HDRIEnvironmentLoader::encodeSyntheticStudioHDR(16, 8));
    EXPECT_THROW(HDRIEnvironmentLoader::writeSyntheticStudioHDR(dir / "a" / "studio.hdr" / "x.hdr", 4, 4), pk::StudioError);
}

#include "PlatformKit/Gpu/HeadlessDevice.h"
#include "PlatformKit/Image/Image.h"

TEST(PanoramaLoader, SizesClampAndBrightPixelsAreBoosted) {
    const auto dir = std::filesystem::temp_directory_path() / ("ks-pano-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    struct Case {
        int w, h, expectW, expectH;
    };
    for (const Case c : {Case{4000, 100, 2048, 100}, Case{10, 10, 64, 32}, Case{300, 2000, 300, 1024}}) {
        auto img = pk::image::RgbaImage::blank(c.w, c.h);
        for (int y = 0; y < c.h; ++y)
            for (int x = 0; x < c.w; ++x) {
                uint8_t* p = img.row(y) + 4 * x;
                p[0] = 255, p[1] = 255, p[2] = 255, p[3] = 255;
            }
        const auto path = dir / ("p" + std::to_string(c.w) + ".png");
        pk::image::writePng(path, img);
        auto pano = HDRIEnvironmentLoader::decodePanoramicImage(path);
        ASSERT_TRUE(pano);
        EXPECT_EQ(pano->width, c.expectW);
        EXPECT_EQ(pano->height, c.expectH);
        EXPECT_NEAR(channel(*pano, 0, 0, 0), 3.2f, 0.01f);  // white: 1^2.2 boosted
    }
    EXPECT_FALSE(HDRIEnvironmentLoader::decodePanoramicImage(dir / "missing.png"));
}

TEST(EnvironmentLoader, MakesHalfFloatTexturesAndFallsBackToTheImageLoader) {
    auto device = pk::gpu::HeadlessDevice::create();
    const auto dir = std::filesystem::temp_directory_path() / ("ks-envload-" + std::to_string(getpid()));
    HDRIEnvironmentLoader::writeSyntheticStudioHDR(dir / "Studio Rig.hdr", 32, 16);
    auto env = HDRIEnvironmentLoader::loadEnvironment(dir / "Studio Rig.hdr", *device);
    ASSERT_TRUE(env);
    EXPECT_EQ(env->name, "Studio Rig");
    EXPECT_TRUE(env->isHDRRadiance);
    EXPECT_EQ(env->texture->format(), pk::gpu::PixelFormat::rgba16Float);
    auto pixels = device->readback(*env->texture);
    EXPECT_EQ(pixels.size(), 32u * 16u * 8u);

    // A PNG named .hdr is not Radiance: the image loader takes over.
    auto img = pk::image::RgbaImage::blank(8, 8);
    pk::image::writePng(dir / "fake.hdr", img);
    auto fake = HDRIEnvironmentLoader::loadEnvironment(dir / "fake.hdr", *device);
    ASSERT_TRUE(fake);
    EXPECT_FALSE(fake->isHDRRadiance);
    EXPECT_EQ(fake->width, 64);
    EXPECT_FALSE(HDRIEnvironmentLoader::loadEnvironment(dir / "nothing.hdr", *device));
}
