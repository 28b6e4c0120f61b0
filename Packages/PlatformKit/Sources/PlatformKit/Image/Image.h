#pragma once
// Images on the CPU: decoding (PNG, JPEG, HEIC/HEIF, TIFF and Radiance HDR, told by the
// file's content; every other format is refused unread) into one 8-bit RGBA type,
// stretched resizing, and PNG encoding.
//
// Alpha rule, everywhere in this module: RgbaImage holds STRAIGHT (unassociated) alpha,
// as PNG stores it, so decode -> encode is lossless. premultiplyAlpha() gives the
// premultiplied form for callers that upload what a premultiplied bitmap would hold.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <vector>

namespace pk::image {

struct RgbaImage {
    int width = 0;
    int height = 0;
    size_t stride = 0;           // bytes per row, at least 4 * width
    std::vector<uint8_t> bytes;  // height rows, row 0 at the top, R,G,B,A per pixel
    bool operator==(const RgbaImage&) const = default;

    // width x height, zero-filled, tightly packed.
    static RgbaImage blank(int width, int height);
    bool empty() const { return width <= 0 || height <= 0; }
    // True when the size is positive and `bytes` holds every row `stride` apart (the
    // check divides, so no huge stride or height can wrap it).
    bool holdsPixels() const {
        return !empty() && stride >= static_cast<size_t>(width) * 4 && bytes.size() / stride >= static_cast<size_t>(height);
    }
    uint8_t* row(int y) { return bytes.data() + static_cast<size_t>(y) * stride; }
    const uint8_t* row(int y) const { return bytes.data() + static_cast<size_t>(y) * stride; }
};

// Decoding refuses images with more pixels than this (checked from the header, before
// any pixel memory is allocated): 16384 x 8192.
inline constexpr uint64_t kDefaultMaxPixels = uint64_t(16384) * 8192;

// Encoded files larger than this are refused before they are read.
inline constexpr uint64_t kMaxEncodedBytes = UINT64_C(1) << 30;

// The first image (TIFF: first page, level 0) as RGBA8: grey becomes R=G=B, a missing
// alpha becomes 255, 16-bit samples are rounded to 8 bits, palettes are expanded, and
// associated (premultiplied) alpha is divided out. Empty for unreadable, truncated,
// hostile, oversized or refused-format input; never throws.
std::optional<RgbaImage> decodeFile(const std::filesystem::path& path, uint64_t maxPixels = kDefaultMaxPixels);
std::optional<RgbaImage> decodeMemory(std::span<const uint8_t> data, uint64_t maxPixels = kDefaultMaxPixels);

enum class ResizeQuality {
    standard,  // OpenImageIO's default filter for the direction (good, cheaper)
    high,      // Lanczos-3, for previews and downscales meant to be looked at
};

// Stretched to exactly width x height (aspect not kept). Filtering runs on premultiplied
// values, so transparent pixels bleed no colour. The source's own size gives the source
// back unfiltered. An empty source or size gives an image of the asked size filled with
// zeros (or empty for a size below 1).
RgbaImage resized(const RgbaImage& source, int width, int height, ResizeQuality quality = ResizeQuality::standard);

// One colour byte multiplied by alpha, rounded: (c * a + 127) / 255.
inline uint8_t premultipliedComponent(uint8_t c, uint8_t a) {
    return a == 255 ? c : static_cast<uint8_t>((static_cast<unsigned>(c) * a + 127) / 255);
}

// Multiplies R, G, B by alpha (rounded), in place.
void premultiplyAlpha(RgbaImage& image);

enum class ChannelOrder { rgba, bgra };

struct PngOptions {
    // Deflate level 0..12 (libdeflate's scale: 0 stores, 12 is smallest and slowest).
    int compressionLevel = 6;
    bool atomic = false;  // writePng: temporary file + rename (pk::atomicWrite)
};

// PNG bytes of width x height pixels given as 8-bit RGBA or BGRA rows `stride` apart
// (straight alpha). Large images are compressed in strips on all cores, so one call
// uses the whole machine. Throws StudioError("PlatformKit.Image", ...) on a bad size or
// an encoder failure.
std::vector<uint8_t> encodePng(const uint8_t* pixels, int width, int height, size_t stride, ChannelOrder order,
                               const PngOptions& options = {});
std::vector<uint8_t> encodePng(const RgbaImage& image, const PngOptions& options = {});
// Encodes and writes the file (parent folders created): in place by default, atomically
// when options.atomic. Throws StudioError on any failure.
void writePng(const std::filesystem::path& path, const uint8_t* pixels, int width, int height, size_t stride,
              ChannelOrder order, const PngOptions& options = {});
void writePng(const std::filesystem::path& path, const RgbaImage& image, const PngOptions& options = {});

}  // namespace pk::image
