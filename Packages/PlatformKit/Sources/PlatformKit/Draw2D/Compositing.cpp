#include "PlatformKit/Draw2D/Compositing.h"

#include <vector>

namespace pk::draw2d {

namespace {
bool sameSize(const BitmapView& a, const BitmapView& b) { return a.width == b.width && a.height == b.height; }
}  // namespace

void blendRow(const uint8_t* image, const uint8_t* background, const uint8_t* weight, uint8_t* out, int width) {
    if (!background) {
        for (int x = 0; x < width; ++x, image += 4, out += 4)
            for (int c = 0; c < 4; ++c) out[c] = static_cast<uint8_t>((image[c] * unsigned(weight[x]) + 127u) / 255u);
        return;
    }
    for (int x = 0; x < width; ++x, image += 4, background += 4, out += 4) {
        const unsigned m = weight[x], inv = 255u - m;
        for (int c = 0; c < 4; ++c) out[c] = static_cast<uint8_t>((image[c] * m + background[c] * inv + 127u) / 255u);
    }
}

bool blendWithMask(const BitmapView& image, const BitmapView& background, const BitmapView& mask,
                   const BitmapView& out) {
    if (!image.isValid() || !background.isValid() || !mask.isValid() || !out.isValid()) return false;
    if (!sameSize(image, background) || !sameSize(image, mask) || !sameSize(image, out)) return false;
    std::vector<uint8_t> weight(size_t(out.width));
    for (int y = 0; y < out.height; ++y) {
        const uint8_t* mk = mask.row(y);
        // Rec. 709 luminance of the (premultiplied) mask, weights summing to 256.
        for (int x = 0; x < out.width; ++x, mk += 4)
            weight[size_t(x)] = static_cast<uint8_t>((54u * mk[2] + 183u * mk[1] + 19u * mk[0] + 128u) >> 8);
        blendRow(image.row(y), background.row(y), weight.data(), out.row(y), out.width);
    }
    return true;
}

}  // namespace pk::draw2d
