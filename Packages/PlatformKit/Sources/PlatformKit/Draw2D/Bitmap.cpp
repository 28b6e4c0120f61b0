#include "PlatformKit/Draw2D/Bitmap.h"

#include <new>

namespace pk::draw2d {

namespace {

bool sizesFit(int64_t width, int64_t height) {
    return width > 0 && height > 0 && width <= kMaxBitmapSide && height <= kMaxBitmapSide &&
           width * height <= kMaxBitmapPixels;
}

uint8_t unpremultiply(uint8_t c, uint8_t a) {
    if (a == 0) return 0;
    if (a == 255) return c;
    unsigned v = (static_cast<unsigned>(c) * 255u + a / 2u) / a;
    return static_cast<uint8_t>(v > 255u ? 255u : v);
}

uint8_t premultiply(uint8_t c, uint8_t a) {
    unsigned t = static_cast<unsigned>(c) * a + 128u;
    return static_cast<uint8_t>((t + (t >> 8)) >> 8);
}

}  // namespace

bool BitmapView::isValid() const {
    if (!data || !sizesFit(width, height)) return false;
    uint64_t minRow = static_cast<uint64_t>(width) * 4u;
    return bytesPerRow >= minRow && bytesPerRow % 4 == 0 &&
           static_cast<uint64_t>(bytesPerRow) <= (UINT64_C(1) << 40) / static_cast<uint64_t>(height);
}

std::optional<Bitmap> Bitmap::create(int width, int height, size_t bytesPerRow) {
    if (!sizesFit(width, height)) return std::nullopt;
    uint64_t minRow = static_cast<uint64_t>(width) * 4u;
    uint64_t bpr = bytesPerRow == 0 ? minRow : static_cast<uint64_t>(bytesPerRow);
    if (bpr < minRow || bpr % 4 != 0 || bpr > minRow + 4096) return std::nullopt;
    uint64_t total = bpr * static_cast<uint64_t>(height);
    try {
        std::vector<uint8_t> bytes(static_cast<size_t>(total), 0);
        return Bitmap(width, height, static_cast<size_t>(bpr), std::move(bytes));
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

std::optional<Bitmap> Bitmap::fromStraightRGBA(std::span<const uint8_t> rgba, int width, int height,
                                               size_t bytesPerRow) {
    if (!sizesFit(width, height)) return std::nullopt;
    uint64_t minRow = static_cast<uint64_t>(width) * 4u;
    uint64_t srcRow = bytesPerRow == 0 ? minRow : static_cast<uint64_t>(bytesPerRow);
    if (srcRow < minRow) return std::nullopt;
    if (rgba.size() < srcRow * static_cast<uint64_t>(height - 1) + minRow) return std::nullopt;
    auto bitmap = create(width, height);
    if (!bitmap) return std::nullopt;
    for (int y = 0; y < height; ++y) {
        const uint8_t* s = rgba.data() + srcRow * static_cast<uint64_t>(y);
        uint8_t* d = bitmap->view().row(y);
        for (int x = 0; x < width; ++x, s += 4, d += 4) {
            uint8_t a = s[3];
            d[0] = premultiply(s[2], a);
            d[1] = premultiply(s[1], a);
            d[2] = premultiply(s[0], a);
            d[3] = a;
        }
    }
    return bitmap;
}

Pixel Bitmap::pixel(int x, int y) const {
    const uint8_t* p = bytes_.data() + static_cast<size_t>(y) * bytesPerRow_ + static_cast<size_t>(x) * 4;
    return {p[0], p[1], p[2], p[3]};
}

std::vector<uint8_t> straightRGBA(const BitmapView& view) {
    if (!view.isValid()) return {};
    std::vector<uint8_t> out(static_cast<size_t>(view.width) * static_cast<size_t>(view.height) * 4u);
    uint8_t* d = out.data();
    for (int y = 0; y < view.height; ++y) {
        const uint8_t* s = view.row(y);
        for (int x = 0; x < view.width; ++x, s += 4, d += 4) {
            uint8_t a = s[3];
            d[0] = unpremultiply(s[2], a);
            d[1] = unpremultiply(s[1], a);
            d[2] = unpremultiply(s[0], a);
            d[3] = a;
        }
    }
    return out;
}

std::vector<uint8_t> Bitmap::straightRGBA() const { return draw2d::straightRGBA(view()); }

}  // namespace pk::draw2d
