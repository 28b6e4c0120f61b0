// Decode, resize and PNG encode over fixtures the tests make themselves.
#include <gtest/gtest.h>

#include <OpenImageIO/imageio.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <random>

#include "PlatformKit/Foundation/Files.h"
#include "PlatformKit/Foundation/StudioError.h"
#include "PlatformKit/Image/Image.h"
#include "FuzzSeeds.h"

namespace fs = std::filesystem;
using namespace pk::image;

namespace {

fs::path outDir() {
    fs::path d = fs::path(KS_TEST_OUTPUT_DIR) / "pk_image";
    fs::create_directories(d);
    return d;
}

// Writes a fixture with OpenImageIO; false when this build cannot write the format.
bool writeWithOiio(const fs::path& path, int w, int h, int channels, OIIO::TypeDesc type, const void* data,
                   int subimages = 1) {
    auto out = OIIO::ImageOutput::create(path.string());
    if (!out) {
        (void)OIIO::geterror();
        return false;
    }
    OIIO::ImageSpec spec(w, h, channels, type);
    spec.attribute("oiio:UnassociatedAlpha", 1);  // the fixtures hold straight alpha
    if (path.extension() == ".jpg") spec.attribute("Compression", "jpeg:100");
    bool ok;
    if (subimages > 1) {
        std::vector<OIIO::ImageSpec> specs(subimages, spec);
        ok = out->open(path.string(), subimages, specs.data()) && out->write_image(type, data);
        for (int s = 1; ok && s < subimages; ++s) {
            // Later pages differ so the test can tell which one came back.
            std::vector<uint8_t> other(size_t(w) * h * channels * type.size(), 0x11);
            ok = out->open(path.string(), spec, OIIO::ImageOutput::AppendSubimage) && out->write_image(type, other.data());
        }
    } else {
        ok = out->open(path.string(), spec) && out->write_image(type, data);
    }
    ok = out->close() && ok;
    (void)out->geterror();
    (void)OIIO::geterror();
    return ok;
}

// --- a hand-made PNG writer for what OpenImageIO does not write (palette, forged headers)
uint32_t crc32(const uint8_t* p, size_t n, uint32_t crc = 0) {
    crc = ~crc;
    for (size_t i = 0; i < n; ++i) {
        crc ^= p[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}
void put32(std::vector<uint8_t>& v, uint32_t x) {
    for (int s = 24; s >= 0; s -= 8) v.push_back(uint8_t(x >> s));
}
void chunk(std::vector<uint8_t>& png, const char* type, const std::vector<uint8_t>& data) {
    put32(png, uint32_t(data.size()));
    std::vector<uint8_t> body(type, type + 4);
    body.insert(body.end(), data.begin(), data.end());
    png.insert(png.end(), body.begin(), body.end());
    put32(png, crc32(body.data(), body.size()));
}
// zlib stream of stored (uncompressed) deflate blocks.
std::vector<uint8_t> zlibStored(const std::vector<uint8_t>& raw) {
    std::vector<uint8_t> z = {0x78, 0x01};
    size_t pos = 0;
    do {
        size_t n = std::min<size_t>(65535, raw.size() - pos);
        z.push_back(pos + n == raw.size() ? 1 : 0);
        z.push_back(uint8_t(n));
        z.push_back(uint8_t(n >> 8));
        z.push_back(uint8_t(~n));
        z.push_back(uint8_t(~n >> 8));
        z.insert(z.end(), raw.begin() + pos, raw.begin() + pos + n);
        pos += n;
    } while (pos < raw.size());
    uint32_t a = 1, b = 0;
    for (uint8_t c : raw) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    put32(z, (b << 16) | a);
    return z;
}
std::vector<uint8_t> ihdr(uint32_t w, uint32_t h, uint8_t depth, uint8_t colorType) {
    std::vector<uint8_t> d;
    put32(d, w);
    put32(d, h);
    d.insert(d.end(), {depth, colorType, 0, 0, 0});
    return d;
}
const std::vector<uint8_t> kPngSignature = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

// 3 x 2 palette image: indices 0 1 2 / 2 1 0 over red, green, blue; blue 50% transparent.
std::vector<uint8_t> palettePng() {
    std::vector<uint8_t> png = kPngSignature;
    chunk(png, "IHDR", ihdr(3, 2, 8, 3));
    chunk(png, "PLTE", {255, 0, 0, 0, 255, 0, 0, 0, 255});
    chunk(png, "tRNS", {255, 255, 128});
    chunk(png, "IDAT", zlibStored({0, 0, 1, 2, 0, 2, 1, 0}));
    chunk(png, "IEND", {});
    return png;
}

// Within the pixel cap, but 64 bytes of image data cannot inflate to 4096 x 4096 rows.
std::vector<uint8_t> hollowPng() {
    std::vector<uint8_t> png = kPngSignature;
    chunk(png, "IHDR", ihdr(4096, 4096, 8, 6));
    chunk(png, "IDAT", zlibStored(std::vector<uint8_t>(64, 0)));
    chunk(png, "IEND", {});
    return png;
}

std::vector<uint8_t> hugeHeaderPng() {
    std::vector<uint8_t> png = kPngSignature;
    chunk(png, "IHDR", ihdr(100000, 100000, 8, 6));
    chunk(png, "IDAT", zlibStored(std::vector<uint8_t>(64, 0)));
    chunk(png, "IEND", {});
    return png;
}

// A 64 x 48 test card: a smooth pattern that survives JPEG well.
std::vector<uint8_t> card(int w, int h, int channels) {
    std::vector<uint8_t> v(size_t(w) * h * channels);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < channels; ++c)
                v[(size_t(y) * w + x) * channels + c] = uint8_t(c == 3 ? 255 - x : (x * 3 + y * 2 + c * 40) & 255);
    return v;
}

}  // namespace

struct DecodeCase {
    const char* name;
    // Makes the fixture file; returns false to skip with a reason.
    std::function<bool(const fs::path&, std::string& skipReason)> make;
    bool decodes;
    int width, height;
    // Expected RGBA at (1, 1) and how far each channel may stray (lossy codecs).
    std::array<int, 4> pixel11;
    int tolerance;
};

class ImageDecodeTable : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(ImageDecodeTable, DecodesFileAndMemoryAlike) {
    const auto& c = GetParam();
    const fs::path path = outDir() / (std::string("fixture_") + c.name);
    std::string reason;
    if (!c.make(path, reason)) GTEST_SKIP() << reason;
    auto fromFile = decodeFile(path);
    auto bytes = pk::readFile(path);
    ASSERT_TRUE(bytes);
    // Every fixture also seeds the fuzz corpora of the decoder and the panorama loader.
    for (const char* target : {"image_decode", "panorama_decode"}) kstest::writeFuzzSeed(target, c.name, *bytes);
    auto fromMemory = decodeMemory(*bytes);
    ASSERT_EQ(fromFile.has_value(), c.decodes);
    ASSERT_EQ(fromMemory.has_value(), c.decodes);
    if (!c.decodes) return;
    EXPECT_EQ(*fromFile, *fromMemory);
    EXPECT_EQ(fromFile->width, c.width);
    EXPECT_EQ(fromFile->height, c.height);
    EXPECT_EQ(fromFile->stride, size_t(c.width) * 4);
    const uint8_t* p = fromFile->row(1) + 4;
    for (int k = 0; k < 4; ++k) EXPECT_NEAR(p[k], c.pixel11[k], c.tolerance) << "channel " << k;
}

namespace {
bool writeBytes(const fs::path& p, const std::vector<uint8_t>& b) {
    pk::writeInPlace(p, b);
    return true;
}
bool truncatedCopy(const fs::path& src, const fs::path& dst) {
    auto b = pk::readFile(src);
    if (!b) return false;
    b->resize(b->size() / 2);
    return writeBytes(dst, *b);
}
// (1,1) of card(): x*3 + y*2 + c*40 = 5 + 40c; alpha 254.
const std::array<int, 4> kCard11 = {5, 45, 85, 254};
const std::array<int, 4> kCard11Opaque = {5, 45, 85, 255};
}  // namespace

INSTANTIATE_TEST_SUITE_P(
    Formats, ImageDecodeTable,
    ::testing::Values(
        DecodeCase{"rgba8.png",
                   [](const fs::path& p, std::string&) {
                       auto v = card(64, 48, 4);
                       return writeWithOiio(p, 64, 48, 4, OIIO::TypeDesc::UINT8, v.data());
                   },
                   true, 64, 48, kCard11, 0},
        DecodeCase{"rgba16.png",
                   [](const fs::path& p, std::string&) {
                       std::vector<uint16_t> v(64 * 48 * 4);
                       auto c8 = card(64, 48, 4);
                       for (size_t i = 0; i < v.size(); ++i) v[i] = uint16_t(c8[i] * 257);
                       return writeWithOiio(p, 64, 48, 4, OIIO::TypeDesc::UINT16, v.data());
                   },
                   true, 64, 48, kCard11, 0},
        DecodeCase{"grey.png",
                   [](const fs::path& p, std::string&) {
                       auto v = card(64, 48, 1);
                       return writeWithOiio(p, 64, 48, 1, OIIO::TypeDesc::UINT8, v.data());
                   },
                   true, 64, 48, {5, 5, 5, 255}, 0},
        DecodeCase{"greyalpha.png",
                   [](const fs::path& p, std::string&) {
                       std::vector<uint8_t> v(8 * 8 * 2);
                       for (size_t i = 0; i < v.size(); i += 2) v[i] = 90, v[i + 1] = 30;
                       return writeWithOiio(p, 8, 8, 2, OIIO::TypeDesc::UINT8, v.data());
                   },
                   true, 8, 8, {90, 90, 90, 30}, 0},  // straight alpha: colour not darkened
        DecodeCase{"palette.png", [](const fs::path& p, std::string&) { return writeBytes(p, palettePng()); }, true,
                   3, 2, {0, 255, 0, 255}, 0},
        DecodeCase{"photo.jpg",
                   [](const fs::path& p, std::string&) {
                       auto v = card(64, 48, 3);
                       return writeWithOiio(p, 64, 48, 3, OIIO::TypeDesc::UINT8, v.data());
                   },
                   true, 64, 48, kCard11Opaque, 12},
        DecodeCase{"pages.tif",
                   [](const fs::path& p, std::string&) {
                       auto v = card(64, 48, 3);
                       return writeWithOiio(p, 64, 48, 3, OIIO::TypeDesc::UINT8, v.data(), 2);
                   },
                   true, 64, 48, kCard11Opaque, 0},
        DecodeCase{"photo.heic",
                   [](const fs::path& p, std::string& reason) {
                       auto v = card(64, 48, 3);
                       if (writeWithOiio(p, 64, 48, 3, OIIO::TypeDesc::UINT8, v.data())) return true;
                       reason = "this OpenImageIO/libheif build has no HEIC encoder";
                       return false;
                   },
                   true, 64, 48, kCard11Opaque, 16},
        // The image headers claim more rows than the coded picture has.
        DecodeCase{"lying_size.heic",
                   [](const fs::path& p, std::string& reason) {
                       auto v = card(64, 48, 3);
                       const fs::path real = p.string() + ".real.heic";
                       if (!writeWithOiio(real, 64, 48, 3, OIIO::TypeDesc::UINT8, v.data())) {
                           reason = "this OpenImageIO/libheif build has no HEIC encoder";
                           return false;
                       }
                       auto b = *pk::readFile(real);
                       const std::string_view text(reinterpret_cast<const char*>(b.data()), b.size());
                       // Every image-size box: height 64 -> 4160 rows.
                       for (size_t at = text.find("ispe"); at != std::string_view::npos && at + 16 <= b.size();
                            at = text.find("ispe", at + 4))
                           b[at + 14] = 0x10;
                       return writeBytes(p, b);
                   },
                   false, 0, 0, {}, 0},
        DecodeCase{"truncated.png",
                   [](const fs::path& p, std::string&) {
                       auto v = card(64, 48, 4);
                       return writeWithOiio(p.string() + ".full.png", 64, 48, 4, OIIO::TypeDesc::UINT8, v.data()) &&
                              truncatedCopy(p.string() + ".full.png", p);
                   },
                   false, 0, 0, {}, 0},
        DecodeCase{"truncated.jpg",
                   [](const fs::path& p, std::string&) {
                       auto v = card(64, 48, 3);
                       return writeWithOiio(p.string() + ".full.jpg", 64, 48, 3, OIIO::TypeDesc::UINT8, v.data()) &&
                              truncatedCopy(p.string() + ".full.jpg", p);
                   },
                   false, 0, 0, {}, 0},
        DecodeCase{"hollow.png", [](const fs::path& p, std::string&) { return writeBytes(p, hollowPng()); }, false,
                   0, 0, {}, 0},
        // A 64 x 48 photo whose frame header claims 4096 x 4096: far too little coded data.
        DecodeCase{"hollow.jpg",
                   [](const fs::path& p, std::string&) {
                       auto v = card(64, 48, 3);
                       const fs::path real = p.string() + ".real.jpg";
                       if (!writeWithOiio(real, 64, 48, 3, OIIO::TypeDesc::UINT8, v.data())) return false;
                       auto b = *pk::readFile(real);
                       for (size_t i = 2; i + 9 < b.size(); ++i) {
                           if (b[i] == 0xFF && (b[i + 1] == 0xC0 || b[i + 1] == 0xC2)) {
                               b[i + 5] = b[i + 7] = 0x10;  // height and width 4096
                               b[i + 6] = b[i + 8] = 0x00;
                               break;
                           }
                       }
                       return writeBytes(p, b);
                   },
                   false, 0, 0, {}, 0},
        DecodeCase{"huge_header.png", [](const fs::path& p, std::string&) { return writeBytes(p, hugeHeaderPng()); },
                   false, 0, 0, {}, 0},
        DecodeCase{"garbage.bin",
                   [](const fs::path& p, std::string&) {
                       std::mt19937 rng(7);
                       std::vector<uint8_t> b(4096);
                       for (auto& x : b) x = uint8_t(rng());
                       return writeBytes(p, b);
                   },
                   false, 0, 0, {}, 0},
        DecodeCase{"sky.hdr",
                   [](const fs::path& p, std::string&) {
                       std::vector<float> v(16 * 8 * 3, 0.5f);
                       return writeWithOiio(p, 16, 8, 3, OIIO::TypeDesc::FLOAT, v.data());
                   },
                   true, 16, 8, {128, 128, 128, 255}, 1},
        // Four rows of four million pixels, within the cap, with no pixel data: the reader
        // must not set aside hundreds of such rows before finding that out.
        DecodeCase{"wide.hdr",
                   [](const fs::path& p, std::string&) {
                       const std::string h = "#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y 4 +X 4000000\n";
                       std::vector<uint8_t> b(h.begin(), h.end());
                       b.resize(b.size() + 64, 0x30);
                       return writeBytes(p, b);
                   },
                   false, 0, 0, {}, 0},
        // Formats the studio does not accept are refused unread, whatever the name says.
        DecodeCase{"tiny.exr",
                   [](const fs::path& p, std::string&) {
                       std::vector<float> v(4 * 4 * 4, 0.5f);
                       return writeWithOiio(p, 4, 4, 4, OIIO::TypeDesc::FLOAT, v.data());
                   },
                   false, 0, 0, {}, 0},
        DecodeCase{"exr_named.jpg",
                   [](const fs::path& p, std::string&) {
                       std::vector<float> v(4 * 4 * 4, 0.5f);
                       const fs::path exr = p.string() + ".exr";
                       return writeWithOiio(exr, 4, 4, 4, OIIO::TypeDesc::FLOAT, v.data()) &&
                              writeBytes(p, *pk::readFile(exr));
                   },
                   false, 0, 0, {}, 0},
        DecodeCase{"bitmap.bmp",
                   [](const fs::path& p, std::string&) {
                       auto v = card(8, 8, 3);
                       return writeWithOiio(p, 8, 8, 3, OIIO::TypeDesc::UINT8, v.data());
                   },
                   false, 0, 0, {}, 0},
        // A progressive JPEG repaints per scan: too many of them is refused before decoding.
        DecodeCase{"many_scans.jpg",
                   [](const fs::path& p, std::string&) {
                       std::vector<uint8_t> b = {0xFF, 0xD8};
                       for (int i = 0; i < 65; ++i) b.insert(b.end(), {0xFF, 0xDA, 0x00, 0x02});
                       b.insert(b.end(), {0xFF, 0xD9});
                       return writeBytes(p, b);
                   },
                   false, 0, 0, {}, 0},
        DecodeCase{"signature_only.png",
                   [](const fs::path& p, std::string&) {
                       auto b = kPngSignature;
                       b.resize(200, 0xAB);
                       return writeBytes(p, b);
                   },
                   false, 0, 0, {}, 0}),
    [](const auto& info) {
        std::string n = info.param.name;
        for (auto& ch : n)
            if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
        return n;
    });

TEST(ImageDecode, AssociatedAlphaComesOutStraight) {
    // One picture of partly transparent pixels, stored straight as PNG and premultiplied
    // as TIFF (at 16 and 8 bits): all decode to the PNG's straight pixels.
    constexpr int w = 32, h = 8;
    std::vector<uint8_t> straight(w * h * 4);
    for (int i = 0; i < w * h; ++i) {
        straight[4 * i + 0] = uint8_t(8 + i % 200);
        straight[4 * i + 1] = uint8_t(255 - i % 97);
        straight[4 * i + 2] = uint8_t(i * 7);
        straight[4 * i + 3] = uint8_t(i % 4 == 0 ? 255 : 1 + (i * 13) % 254);
    }
    const fs::path png = outDir() / "alpha_straight.png";
    ASSERT_TRUE(writeWithOiio(png, w, h, 4, OIIO::TypeDesc::UINT8, straight.data()));
    auto writeAssociated = [&](const fs::path& p, OIIO::TypeDesc type) {
        std::vector<uint16_t> v16(straight.size());
        std::vector<uint8_t> v8(straight.size());
        for (int i = 0; i < w * h; ++i) {
            const double a = straight[4 * i + 3] / 255.0;
            for (int c = 0; c < 4; ++c) {
                const double s = straight[4 * i + c] / 255.0 * (c == 3 ? 1.0 : a);
                v16[4 * i + c] = uint16_t(std::lround(s * 65535));
                v8[4 * i + c] = uint8_t(std::lround(s * 255));
            }
        }
        auto out = OIIO::ImageOutput::create(p.string());
        OIIO::ImageSpec spec(w, h, 4, type);  // no UnassociatedAlpha: the file says associated
        return out && out->open(p.string(), spec) &&
               out->write_image(type, type == OIIO::TypeDesc::UINT16 ? (const void*)v16.data() : v8.data()) &&
               out->close();
    };
    const auto fromPng = decodeFile(png);
    ASSERT_TRUE(fromPng);
    ASSERT_EQ(std::vector<uint8_t>(fromPng->bytes), straight);
    struct Case {
        const char* name;
        OIIO::TypeDesc type;
        int tolerance;  // 8-bit premultiplied samples have lost up to half a step times 255 / alpha
    };
    for (const Case& c : {Case{"alpha16.tif", OIIO::TypeDesc::UINT16, 0}, Case{"alpha8.tif", OIIO::TypeDesc::UINT8, -1}}) {
        SCOPED_TRACE(c.name);
        const fs::path tif = outDir() / c.name;
        ASSERT_TRUE(writeAssociated(tif, c.type));
        const auto fromTif = decodeFile(tif);
        ASSERT_TRUE(fromTif);
        ASSERT_EQ(fromTif->bytes.size(), straight.size());
        for (size_t i = 0; i < straight.size(); ++i) {
            const int a = straight[i | 3];
            const int allowed = c.tolerance >= 0 ? c.tolerance : (i % 4 == 3 ? 0 : 128 / a + 1);
            ASSERT_NEAR(fromTif->bytes[i], straight[i], allowed) << "byte " << i;
        }
    }
}

namespace {
// A little-endian TIFF made by hand: `payload` at offset 8, then one IFD of `entries`
// (SHORT or LONG values; arrays longer than the entry holds go after the IFD).
struct TiffEntry {
    uint16_t tag;
    uint16_t type;  // 3 SHORT, 4 LONG
    std::vector<uint32_t> values;
};
std::vector<uint8_t> handMadeTiff(std::vector<TiffEntry> entries, const std::vector<uint8_t>& payload) {
    std::vector<uint8_t> f = {'I', 'I', 42, 0};
    auto le = [](std::vector<uint8_t>& v, uint64_t x, int n) {
        for (int i = 0; i < n; ++i) v.push_back(uint8_t(x >> (8 * i)));
    };
    const uint32_t ifd = uint32_t(8 + payload.size() + (payload.size() & 1));
    le(f, ifd, 4);
    f.insert(f.end(), payload.begin(), payload.end());
    if (payload.size() & 1) f.push_back(0);
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.tag < b.tag; });
    std::vector<uint8_t> extra;
    uint32_t extraAt = ifd + 2 + 12 * uint32_t(entries.size()) + 4;
    le(f, entries.size(), 2);
    for (const auto& e : entries) {
        const int size = e.type == 3 ? 2 : 4;
        le(f, e.tag, 2);
        le(f, e.type, 2);
        le(f, e.values.size(), 4);
        std::vector<uint8_t> data;
        for (uint32_t v : e.values) le(data, v, size);
        if (data.size() <= 4) {
            data.resize(4, 0);
            f.insert(f.end(), data.begin(), data.end());
        } else {
            le(f, extraAt + extra.size(), 4);
            extra.insert(extra.end(), data.begin(), data.end());
        }
    }
    le(f, 0, 4);  // no next IFD
    f.insert(f.end(), extra.begin(), extra.end());
    return f;
}
// An uncompressed strip image of w x h 8-bit samples: the entries every reader needs.
std::vector<TiffEntry> stripEntries(uint32_t w, uint32_t h, uint16_t samples, uint16_t photometric,
                                    uint32_t rowsPerStrip, std::vector<uint32_t> offsets,
                                    std::vector<uint32_t> counts) {
    return {{256, 4, {w}},           {257, 4, {h}},
            {258, 3, std::vector<uint32_t>(samples, 8)},
            {259, 3, {1}},           {262, 3, {photometric}},
            {273, 4, std::move(offsets)}, {277, 3, {samples}},
            {278, 4, {rowsPerStrip}}, {279, 4, std::move(counts)}};
}
}  // namespace

TEST(ImageDecodeTiff, LayoutsDecodeToTheWrittenPixels) {
    // Odd sizes, so tiles and the last strip run past the image's edge.
    constexpr int w = 37, h = 29;
    struct Case {
        const char* name;
        int channels;
        OIIO::TypeDesc type;
        int tile;  // 0: strips
        int rowsPerStrip;
        bool separate;
        const char* compression;
        int tolerance;
    };
    const Case cases[] = {
        {"rgb8_strips", 3, OIIO::TypeDesc::UINT8, 0, 5, false, "none", 0},
        {"rgba8_tiles_lzw", 4, OIIO::TypeDesc::UINT8, 16, 0, false, "lzw", 0},
        {"rgba8_separate_tiles", 4, OIIO::TypeDesc::UINT8, 16, 0, true, "packbits", 0},
        {"rgba16_separate_strips_zip", 4, OIIO::TypeDesc::UINT16, 0, 4, true, "zip", 0},
        {"grey16_tiles_zip", 1, OIIO::TypeDesc::UINT16, 32, 0, false, "zip", 0},
        {"greyalpha8_lzw", 2, OIIO::TypeDesc::UINT8, 0, 3, false, "lzw", 0},
        {"greyalpha16_separate", 2, OIIO::TypeDesc::UINT16, 0, 7, true, "lzw", 0},
        {"rgb_float_strips", 3, OIIO::TypeDesc::FLOAT, 0, 8, false, "zip", 0},
        {"rgb8_jpeg", 3, OIIO::TypeDesc::UINT8, 0, 16, false, "jpeg", 12},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // 16-bit samples chosen so rounding to 8 bits is exercised; 8-bit and float are exact.
        std::vector<uint16_t> v16(size_t(w) * h * c.channels);
        for (size_t i = 0; i < v16.size(); ++i) v16[i] = uint16_t(i * 2654435761u >> 9);
        if (c.compression == std::string("jpeg"))  // a smooth picture, as JPEG needs
            for (size_t i = 0; i < v16.size(); ++i) v16[i] = uint16_t(((i / c.channels) % w * 3 + i % c.channels * 60) * 257);
        std::vector<uint8_t> v8(v16.size());
        std::vector<float> vf(v16.size());
        for (size_t i = 0; i < v16.size(); ++i) v8[i] = uint8_t(v16[i] >> 8), vf[i] = v8[i] / 255.0f;
        const void* data = c.type == OIIO::TypeDesc::UINT16 ? (const void*)v16.data()
                           : c.type == OIIO::TypeDesc::FLOAT ? (const void*)vf.data()
                                                              : (const void*)v8.data();
        const fs::path p = outDir() / (std::string("layout_") + c.name + ".tif");
        {
            OIIO::ImageSpec spec(w, h, c.channels, c.type);
            if (c.channels == 2) spec.channelnames = {"Y", "A"}, spec.alpha_channel = 1;
            spec.attribute("oiio:UnassociatedAlpha", 1);
            spec.attribute("compression", c.compression);
            spec.attribute("planarconfig", c.separate ? "separate" : "contig");
            if (c.tile) spec.tile_width = spec.tile_height = c.tile;
            else spec.attribute("tiff:RowsPerStrip", c.rowsPerStrip);
            auto out = OIIO::ImageOutput::create(p.string());
            ASSERT_TRUE(out && out->open(p.string(), spec) && out->write_image(c.type, data) && out->close());
        }
        {
            // The file holds the layout the case names.
            auto in = OIIO::ImageInput::open(p.string());
            ASSERT_TRUE(in);
            EXPECT_EQ(in->spec().tile_width, c.tile);
            EXPECT_EQ(in->spec().get_string_attribute("planarconfig"), c.separate ? "separate" : "contig");
            in->close();
        }
        for (const char* target : {"image_decode", "panorama_decode"})
            kstest::writeFuzzSeed(target, p.filename().string(), *pk::readFile(p));
        const auto image = decodeFile(p);
        ASSERT_TRUE(image);
        ASSERT_EQ(image->width, w);
        ASSERT_EQ(image->height, h);
        ASSERT_EQ(image->bytes.size(), size_t(w) * h * 4);
        for (int i = 0; i < w * h; ++i) {
            auto sample = [&](int ch) {
                const size_t k = size_t(i) * c.channels + ch;
                return c.type == OIIO::TypeDesc::UINT16 ? int((v16[k] + 128) / 257) : int(v8[k]);
            };
            const bool grey = c.channels <= 2;
            const int expected[4] = {sample(0), sample(grey ? 0 : 1), sample(grey ? 0 : 2),
                                     c.channels % 2 == 0 ? sample(c.channels - 1) : 255};
            for (int ch = 0; ch < 4; ++ch)
                ASSERT_NEAR(image->bytes[size_t(i) * 4 + ch], expected[ch], c.tolerance)
                    << "pixel " << i << " channel " << ch;
        }
    }
}

TEST(ImageDecodeTiff, HandMadeFilesDecodeOrFailCleanly) {
    // Pixels 0..7 of a 4 x 2 image, as palette indices or grey samples.
    const std::vector<uint8_t> ramp = {0, 1, 2, 3, 4, 5, 6, 7};
    std::vector<uint32_t> colourMap(3 * 256, 0);
    for (uint32_t i = 0; i < 256; ++i) colourMap[i] = (i * 30 & 255) * 257, colourMap[512 + i] = (255 - i) * 257;
    auto palette = stripEntries(4, 2, 1, 3, 2, {8}, {8});
    palette.push_back({320, 3, colourMap});
    struct Case {
        const char* name;
        std::vector<uint8_t> file;
        uint64_t maxPixels;
        bool decodes;
        std::array<int, 4> pixel7;  // the last pixel's RGBA when it decodes
    };
    const std::vector<uint8_t> tiny(16, 0x55);
    std::vector<uint8_t> tile(16 * 16);
    for (size_t i = 0; i < tile.size(); ++i) tile[i] = uint8_t(i);
    const Case cases[] = {
        // One 16 x 16 tile over a 4 x 2 image: only its top left corner is the picture.
        {"one_tile_over_the_edges",
         handMadeTiff({{256, 4, {4}}, {257, 4, {2}}, {258, 3, {8}}, {259, 3, {1}}, {262, 3, {1}}, {277, 3, {1}},
                       {322, 4, {16}}, {323, 4, {16}}, {324, 4, {8}}, {325, 4, {256}}},
                      tile),
         kDefaultMaxPixels, true, {19, 19, 19, 255}},
        {"palette", handMadeTiff(palette, ramp), kDefaultMaxPixels, true, {210, 0, 248, 255}},
        {"white_is_zero", handMadeTiff(stripEntries(4, 2, 1, 0, 2, {8}, {8}), ramp), kDefaultMaxPixels, true,
         {248, 248, 248, 255}},
        // A million pixels square: refused by the cap before anything is read.
        {"huge_declared_size", handMadeTiff(stripEntries(1 << 20, 1 << 20, 3, 2, 1 << 20, {8}, {16}), tiny),
         kDefaultMaxPixels, false, {}},
        {"over_the_cap", handMadeTiff(stripEntries(4, 2, 1, 1, 2, {8}, {8}), ramp), 7, false, {}},
        // Within the cap, but the one strip lies far beyond the end of the file.
        {"strip_beyond_file", handMadeTiff(stripEntries(16384, 8192, 3, 2, 8192, {1u << 30}, {16384u * 8192 * 3}), tiny),
         kDefaultMaxPixels, false, {}},
        {"zero_strip_bytes", handMadeTiff(stripEntries(4096, 4096, 1, 1, 1024, {8, 8, 8, 8}, {0, 0, 0, 0}), tiny),
         kDefaultMaxPixels, false, {}},
        {"short_strips", handMadeTiff(stripEntries(64, 64, 1, 1, 32, {8, 12}, {4, 4}), tiny), kDefaultMaxPixels,
         false, {}},
        {"fewer_strips_than_rows_need", handMadeTiff(stripEntries(4, 4, 1, 1, 1, {8}, {4}), tiny), kDefaultMaxPixels,
         false, {}},
        // A 4 x 4 image in one 4096 x 4096 tile.
        {"tile_larger_than_image",
         handMadeTiff({{256, 4, {4}}, {257, 4, {4}}, {258, 3, {8}}, {259, 3, {1}}, {262, 3, {1}}, {277, 3, {1}},
                       {322, 4, {4096}}, {323, 4, {4096}}, {324, 4, {8}}, {325, 4, {16}}},
                      tiny),
         kDefaultMaxPixels, false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path seeds = fs::path(KS_TEST_OUTPUT_DIR) / "fuzz-seeds" / "image_decode";
        fs::create_directories(seeds);
        pk::writeInPlace(seeds / (std::string(c.name) + ".tif"), c.file);
        const auto image = decodeMemory(c.file, c.maxPixels);
        ASSERT_EQ(image.has_value(), c.decodes);
        if (!c.decodes) continue;
        ASSERT_EQ(image->width, 4);
        ASSERT_EQ(image->height, 2);
        const uint8_t* last = image->row(1) + 12;
        for (int ch = 0; ch < 4; ++ch) EXPECT_EQ(last[ch], c.pixel7[ch]) << "channel " << ch;
    }
    // A good LZW file cut short anywhere past its header fails rather than decoding garbage.
    const fs::path good = outDir() / "layout_rgba8_tiles_lzw.tif";
    const auto bytes = pk::readFile(good);
    ASSERT_TRUE(bytes);
    for (size_t keep : {bytes->size() / 4, bytes->size() / 2, bytes->size() - 40}) {
        std::vector<uint8_t> cut(bytes->begin(), bytes->begin() + keep);
        EXPECT_FALSE(decodeMemory(cut)) << keep;
    }
}

TEST(ImageDecode, PixelCapIsCheckedBeforeReading) {
    auto v = card(10, 10, 4);
    const fs::path p = outDir() / "cap.png";
    ASSERT_TRUE(writeWithOiio(p, 10, 10, 4, OIIO::TypeDesc::UINT8, v.data()));
    EXPECT_FALSE(decodeFile(p, 99));
    EXPECT_TRUE(decodeFile(p, 100));
    EXPECT_FALSE(decodeFile(outDir() / "does_not_exist.png"));
    EXPECT_FALSE(decodeMemory({}));
}

// A 64 x 48 image made by a grid whose header, read from bytes past its data box, names a
// 19561 x 27759 canvas (found by fuzzing: the decoder set aside 3.7 GB and 4 s for it):
// refused before the canvas is allocated.
TEST(ImageDecode, HeifTileLargerThanItsImageIsRefused) {
    const auto bytes = pk::readFile(fs::path(KS_SOURCE_DIR) / "Packages/PlatformKit/Tests/Image/Fixtures/oversized-tile.heic");
    ASSERT_TRUE(bytes);
    EXPECT_FALSE(decodeMemory(*bytes));
}

TEST(ImageResize, StretchesToExactSizeWithoutBleeding) {
    // Left half opaque red, right half fully transparent green.
    RgbaImage src = RgbaImage::blank(8, 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x) {
            uint8_t* p = src.row(y) + x * 4;
            if (x < 4) p[0] = 255, p[3] = 255;
            else p[1] = 255, p[3] = 0;
        }
    for (auto q : {ResizeQuality::standard, ResizeQuality::high}) {
        RgbaImage out = resized(src, 2, 9, q);  // narrower and taller: aspect not kept
        ASSERT_EQ(out.width, 2);
        ASSERT_EQ(out.height, 9);
        ASSERT_EQ(out.bytes.size(), size_t(2 * 9 * 4));
        for (int y = 0; y < 9; ++y) {
            const uint8_t* left = out.row(y);
            EXPECT_GE(left[3], 200) << y;
            EXPECT_LE(left[1], 2) << "green bled in at row " << y;  // transparent colour must not show
            EXPECT_GE(left[0], 250);
            EXPECT_LE(out.row(y)[4 + 3], 60);  // right column mostly transparent
        }
    }
}

TEST(ImageResize, SameSizeIsTheSourceUnfiltered) {
    // A sharp card through either filter would change; padded rows keep their stride.
    RgbaImage src;
    src.width = 5;
    src.height = 3;
    src.stride = 24;
    src.bytes.resize(src.stride * 3);
    for (size_t i = 0; i < src.bytes.size(); ++i) src.bytes[i] = uint8_t(i * 37);
    for (auto q : {ResizeQuality::standard, ResizeQuality::high}) EXPECT_EQ(resized(src, 5, 3, q), src);
}

TEST(ImageResize, UniformColourStaysExact) {
    RgbaImage src = RgbaImage::blank(37, 23);
    for (size_t i = 0; i < src.bytes.size(); i += 4) src.bytes[i] = 12, src.bytes[i + 1] = 140, src.bytes[i + 2] = 230, src.bytes[i + 3] = 255;
    for (auto [w, h] : {std::pair{220, 220}, std::pair{5, 90}, std::pair{1, 1}}) {
        RgbaImage out = resized(src, w, h, ResizeQuality::high);
        for (size_t i = 0; i < out.bytes.size(); i += 4) {
            ASSERT_NEAR(out.bytes[i], 12, 1);
            ASSERT_NEAR(out.bytes[i + 1], 140, 1);
            ASSERT_NEAR(out.bytes[i + 2], 230, 1);
            ASSERT_EQ(out.bytes[i + 3], 255);
        }
    }
    EXPECT_TRUE(resized(src, 0, 5).empty());
}

TEST(ImagePng, RoundTripIsByteExactForEveryLevelAndOrder) {
    const int w = 33, h = 17;
    const size_t stride = w * 4 + 12;  // padded rows must not leak into the file
    std::vector<uint8_t> rgba(stride * h);
    std::mt19937 rng(3);
    for (auto& b : rgba) b = uint8_t(rng());
    for (int level : {0, 1, 6, 9}) {
        auto png = encodePng(rgba.data(), w, h, stride, ChannelOrder::rgba, {level});
        auto back = decodeMemory(png);
        ASSERT_TRUE(back) << level;
        ASSERT_EQ(back->width, w);
        for (int y = 0; y < h; ++y) ASSERT_EQ(0, std::memcmp(back->row(y), rgba.data() + y * stride, w * 4)) << y;
    }
    auto fromBgra = decodeMemory(encodePng(rgba.data(), w, h, stride, ChannelOrder::bgra));
    ASSERT_TRUE(fromBgra);
    const uint8_t* p = fromBgra->row(5) + 7 * 4;
    const uint8_t* s = rgba.data() + 5 * stride + 7 * 4;
    EXPECT_EQ(p[0], s[2]);
    EXPECT_EQ(p[1], s[1]);
    EXPECT_EQ(p[2], s[0]);
    EXPECT_EQ(p[3], s[3]);
}

TEST(ImagePng, WritesFilesAndReportsFailures) {
    RgbaImage img = RgbaImage::blank(4, 4);
    img.bytes[0] = 200;
    const fs::path nested = outDir() / "new_folder" / "deeper" / "out.png";
    fs::remove_all(outDir() / "new_folder");
    writePng(nested, img);
    EXPECT_EQ(decodeFile(nested), img);
    writePng(nested, img, {1, true});
    EXPECT_EQ(decodeFile(nested), img);
    // A regular file where a folder must be: the write fails with an error, not silently.
    const fs::path blocker = outDir() / "blocker";
    pk::writeInPlace(blocker, std::vector<uint8_t>{1});
    EXPECT_THROW(writePng(blocker / "x.png", img), pk::StudioError);
    EXPECT_THROW(writePng(blocker / "x.png", img, {6, true}), pk::StudioError);
    EXPECT_THROW(encodePng(img.bytes.data(), 0, 4, 16, ChannelOrder::rgba), pk::StudioError);
    EXPECT_THROW(encodePng(img.bytes.data(), 4, 4, 8, ChannelOrder::rgba), pk::StudioError);
}
