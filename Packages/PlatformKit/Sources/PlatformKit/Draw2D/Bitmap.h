#pragma once
// 8-bit bitmaps in the one layout everything draws into: 32-bit pixels with premultiplied
// alpha, bytes blue, green, red, alpha in memory (little-endian ARGB32), rows top first.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace pk::draw2d {

// Largest side and pixel count a bitmap may have; checked before anything is allocated.
inline constexpr int64_t kMaxBitmapSide = 32768;
inline constexpr int64_t kMaxBitmapPixels = int64_t(1) << 28;

// Pixels somebody else owns (an encoder's frame buffer, a bitmap).
struct BitmapView {
    uint8_t* data = nullptr;
    int width = 0;
    int height = 0;
    size_t bytesPerRow = 0;

    uint8_t* row(int y) const { return data + static_cast<size_t>(y) * bytesPerRow; }
    // Sizes within the caps, a row holds the width and is 4-byte aligned, data present.
    bool isValid() const;
};

struct Pixel {
    uint8_t b = 0, g = 0, r = 0, a = 0;
    bool operator==(const Pixel&) const = default;
};

class Bitmap {
public:
    // Fully transparent. Empty when a side is not positive, beyond the caps, bytesPerRow
    // (0 = tightly packed) is too small, not a multiple of 4 or pads a row by more than
    // 4096 bytes, or memory runs out.
    static std::optional<Bitmap> create(int width, int height, size_t bytesPerRow = 0);
    // From straight (not premultiplied) RGBA8 rows, top first.
    static std::optional<Bitmap> fromStraightRGBA(std::span<const uint8_t> rgba, int width, int height,
                                                  size_t bytesPerRow = 0);

    int width() const { return width_; }
    int height() const { return height_; }
    size_t bytesPerRow() const { return bytesPerRow_; }
    uint8_t* data() { return bytes_.data(); }
    const uint8_t* data() const { return bytes_.data(); }
    size_t byteCount() const { return bytes_.size(); }

    BitmapView view() { return {bytes_.data(), width_, height_, bytesPerRow_}; }
    // Drawing only reads through this one.
    BitmapView view() const { return {const_cast<uint8_t*>(bytes_.data()), width_, height_, bytesPerRow_}; }

    // Row 0 is the top row in memory.
    Pixel pixel(int x, int y) const;

    // Straight RGBA8, tightly packed, top row first: what image files store.
    std::vector<uint8_t> straightRGBA() const;

private:
    Bitmap(int w, int h, size_t bpr, std::vector<uint8_t> bytes)
        : width_(w), height_(h), bytesPerRow_(bpr), bytes_(std::move(bytes)) {}
    int width_ = 0;
    int height_ = 0;
    size_t bytesPerRow_ = 0;
    std::vector<uint8_t> bytes_;
};

// Straight RGBA8 of any view (tightly packed, top row first).
std::vector<uint8_t> straightRGBA(const BitmapView& view);

}  // namespace pk::draw2d
