// PNG encoding in strips and the deflate join under it, checked by zlib's own inflate
// (which also checks the Adler-32) and by decoding the files back.
#include <gtest/gtest.h>

#include <libdeflate.h>
#include <zlib.h>

#include <cstring>
#include <random>
#include <string>

#include "PlatformKit/Foundation/StudioError.h"
#include "PlatformKit/Image/DeflateJoin.h"
#include "PlatformKit/Image/Image.h"
#include "FuzzSeeds.h"

using namespace pk::image;

namespace {

uint32_t bigEndian(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

// The IDAT payload of a PNG inflated by zlib (header, data and Adler-32 checked);
// empty when zlib refuses it.
std::optional<std::vector<uint8_t>> inflatedIdat(const std::vector<uint8_t>& png, size_t expected) {
    std::vector<uint8_t> z;
    for (size_t pos = 8; pos + 12 <= png.size();) {
        const uint32_t n = bigEndian(&png[pos]);
        if (std::memcmp(&png[pos + 4], "IDAT", 4) == 0) z.insert(z.end(), &png[pos + 8], &png[pos + 8] + n);
        pos += 12 + n;
    }
    std::vector<uint8_t> out(expected + 1);
    uLongf outLen = out.size();
    if (uncompress(out.data(), &outLen, z.data(), uLong(z.size())) != Z_OK || outLen != expected) return std::nullopt;
    out.resize(outLen);
    return out;
}

// Raw deflate of `data` by zlib with the given level and strategy (level 0: stored
// blocks, Z_FIXED: fixed Huffman blocks, otherwise dynamic ones).
std::vector<uint8_t> zlibRawDeflate(const std::vector<uint8_t>& data, int level, int strategy) {
    z_stream s{};
    EXPECT_EQ(deflateInit2(&s, level, Z_DEFLATED, -15, 8, strategy), Z_OK);
    std::vector<uint8_t> out(deflateBound(&s, uLong(data.size())) + 16);
    s.next_in = const_cast<uint8_t*>(data.data());
    s.avail_in = uInt(data.size());
    s.next_out = out.data();
    s.avail_out = uInt(out.size());
    EXPECT_EQ(::deflate(&s, Z_FINISH), Z_STREAM_END);
    out.resize(s.total_out);
    deflateEnd(&s);
    return out;
}

std::vector<uint8_t> libdeflateRaw(const std::vector<uint8_t>& data, int level) {
    libdeflate_compressor* c = libdeflate_alloc_compressor(level);
    std::vector<uint8_t> out(libdeflate_deflate_compress_bound(c, data.size()));
    out.resize(libdeflate_deflate_compress(c, data.data(), data.size(), out.data(), out.size()));
    libdeflate_free_compressor(c);
    return out;
}

std::optional<std::vector<uint8_t>> rawInflate(const std::vector<uint8_t>& stream, size_t expected) {
    z_stream s{};
    if (inflateInit2(&s, -15) != Z_OK) return std::nullopt;
    std::vector<uint8_t> out(expected + 1);
    s.next_in = const_cast<uint8_t*>(stream.data());
    s.avail_in = uInt(stream.size());
    s.next_out = out.data();
    s.avail_out = uInt(out.size());
    const int r = inflate(&s, Z_FINISH);
    const bool whole = r == Z_STREAM_END && s.avail_in == 0;
    out.resize(s.total_out);
    inflateEnd(&s);
    if (!whole) return std::nullopt;
    return out;
}

// Text-like bytes (matches), noise (stored or poorly compressible) and zeros (long runs).
std::vector<uint8_t> mixedBytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    const std::string words = "albedo normal roughness metallic emissive tangent ";
    for (size_t i = 0; i < n; ++i) {
        const size_t region = (i * 3 / n);
        v[i] = region == 0 ? uint8_t(words[(i * 7 + i / 13) % words.size()]) : region == 1 ? uint8_t(rng()) : 0;
    }
    return v;
}

// An image whose bands want different filters: noise, a smooth gradient, flat colour
// and a repeating tile, so strips choose differently and the joins are exercised.
RgbaImage bandedImage(int w, int h, size_t stride) {
    RgbaImage img;
    img.width = w;
    img.height = h;
    img.stride = stride;
    img.bytes.assign(stride * size_t(h), 0xEE);  // padding that must not reach the file
    std::mt19937 rng(7);
    for (int y = 0; y < h; ++y) {
        uint8_t* row = img.row(y);
        const int band = y * 4 / h;
        for (int x = 0; x < w; ++x) {
            uint8_t* p = row + size_t(x) * 4;
            for (int c = 0; c < 4; ++c) {
                switch (band) {
                    case 0: p[c] = uint8_t(rng()); break;
                    case 1: p[c] = uint8_t((x * (c + 1) + y * 2) / 3); break;
                    case 2: p[c] = uint8_t(40 * c + 10); break;
                    default: p[c] = uint8_t(((x / 8) ^ (y / 8)) & 1 ? 200 + c : 30 * c); break;
                }
            }
        }
    }
    return img;
}

}  // namespace

TEST(DeflateJoin, FindsTheEndOfEveryBlockKindAndJoinsPartsIntoOneStream) {
    struct Part {
        const char* kind;
        std::vector<uint8_t> data;
        std::vector<uint8_t> stream;
    };
    std::vector<Part> parts;
    const auto text = mixedBytes(150000, 1);
    parts.push_back({"stored", text, zlibRawDeflate(text, 0, Z_DEFAULT_STRATEGY)});
    parts.push_back({"fixed", text, zlibRawDeflate(text, 6, Z_FIXED)});
    parts.push_back({"dynamic", text, zlibRawDeflate(text, 9, Z_DEFAULT_STRATEGY)});
    parts.push_back({"empty", {}, zlibRawDeflate({}, 6, Z_DEFAULT_STRATEGY)});
    parts.push_back({"one byte", {42}, zlibRawDeflate({42}, 6, Z_DEFAULT_STRATEGY)});
    for (int level : {0, 1, 6, 12}) {
        auto data = mixedBytes(70001 + size_t(level), uint32_t(level));
        parts.push_back({"libdeflate", data, libdeflateRaw(data, level)});
    }

    std::vector<uint8_t> joined, expected;
    for (const Part& p : parts) {
        const auto end = deflate::findStreamEnd(p.stream);
        ASSERT_TRUE(end.has_value()) << p.kind;
        // Small streams seed the walker's fuzz target.
        if (p.stream.size() < 8192) kstest::writeFuzzSeed("image_deflate_join", p.kind, p.stream);
        EXPECT_EQ((end->endBit + 7) / 8, p.stream.size()) << p.kind << ": the end is in the last byte";
        EXPECT_LT(end->finalBlockBit, end->endBit) << p.kind;
        EXPECT_NE(p.stream[end->finalBlockBit / 8] & (1u << (end->finalBlockBit % 8)), 0u) << p.kind;
        deflate::appendOpenPart(joined, p.stream, *end);
        expected.insert(expected.end(), p.data.begin(), p.data.end());
    }
    // The last part closes the stream as it is.
    const auto tail = mixedBytes(5000, 9);
    const auto tailStream = zlibRawDeflate(tail, 6, Z_DEFAULT_STRATEGY);
    joined.insert(joined.end(), tailStream.begin(), tailStream.end());
    expected.insert(expected.end(), tail.begin(), tail.end());
    const auto back = rawInflate(joined, expected.size());
    ASSERT_TRUE(back.has_value()) << "zlib refused the joined stream";
    EXPECT_TRUE(*back == expected);

    // Cut-off and damaged streams are refused, never read past.
    const auto& dynamic = parts[2].stream;
    for (size_t cut = 0; cut < dynamic.size(); cut += 1 + cut / 3)
        EXPECT_FALSE(deflate::findStreamEnd({dynamic.data(), cut}).has_value()) << "cut at " << cut;
    std::vector<uint8_t> reservedType = {0x07};  // final block of type 3
    EXPECT_FALSE(deflate::findStreamEnd(reservedType).has_value());
    std::vector<uint8_t> badStoredLength = {0x01, 0x05, 0x00, 0x00, 0x00};  // NLEN is not ~LEN
    EXPECT_FALSE(deflate::findStreamEnd(badStoredLength).has_value());
}

TEST(PngEncode, StripedImagesRoundTripExactlyThroughZlibAndTheDecoder) {
    struct Case {
        int width, height;
        size_t padding;
        ChannelOrder order;
        int level;
    };
    // Rows of 4 KiB and 1.3 KiB: two to three strips of about 4 MiB each; a small image
    // is one strip.
    for (const Case& c : {Case{1024, 2600, 0, ChannelOrder::rgba, 6}, Case{333, 9001, 12, ChannelOrder::bgra, 6},
                          Case{1024, 2600, 4, ChannelOrder::bgra, 0}, Case{1024, 2600, 0, ChannelOrder::rgba, 1},
                          Case{1024, 2600, 0, ChannelOrder::rgba, 9}, Case{3, 5, 4, ChannelOrder::rgba, 6},
                          Case{1, 1, 0, ChannelOrder::bgra, 6}}) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + " level " + std::to_string(c.level));
        const RgbaImage img = bandedImage(c.width, c.height, size_t(c.width) * 4 + c.padding);
        const auto png = encodePng(img.bytes.data(), c.width, c.height, img.stride, c.order, {c.level});
        ASSERT_TRUE(inflatedIdat(png, size_t(c.height) * (size_t(c.width) * 4 + 1)).has_value())
            << "zlib refused the image data (stream or checksum)";
        const auto back = decodeMemory(png);
        ASSERT_TRUE(back.has_value());
        ASSERT_EQ(back->width, c.width);
        ASSERT_EQ(back->height, c.height);
        for (int y = 0; y < c.height; ++y) {
            const uint8_t* src = img.row(y);
            const uint8_t* got = back->row(y);
            for (int x = 0; x < c.width * 4; x += 4) {
                const bool bgra = c.order == ChannelOrder::bgra;
                ASSERT_EQ(got[x], src[x + (bgra ? 2 : 0)]) << x / 4 << "," << y;
                ASSERT_EQ(got[x + 1], src[x + 1]) << x / 4 << "," << y;
                ASSERT_EQ(got[x + 2], src[x + (bgra ? 0 : 2)]) << x / 4 << "," << y;
                ASSERT_EQ(got[x + 3], src[x + 3]) << x / 4 << "," << y;
            }
        }
        // The same pixels give the same bytes, however the strips were scheduled.
        EXPECT_EQ(png, encodePng(img.bytes.data(), c.width, c.height, img.stride, c.order, {c.level}));
    }
    const RgbaImage one = RgbaImage::blank(2, 2);
    for (int level : {-1, 13}) EXPECT_THROW(encodePng(one, {level}), pk::StudioError) << level;
}
