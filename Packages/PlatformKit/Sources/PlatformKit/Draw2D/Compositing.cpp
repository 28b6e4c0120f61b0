#include "PlatformKit/Draw2D/Compositing.h"

namespace pk::draw2d {

namespace {
bool sameSize(const BitmapView& a, const BitmapView& b) { return a.width == b.width && a.height == b.height; }
}  // namespace

bool blendWithMask(const BitmapView& image, const BitmapView& background, const BitmapView& mask,
                   const BitmapView& out) {
    if (!image.isValid() || !background.isValid() || !mask.isValid() || !out.isValid()) return false;
    if (!sameSize(image, background) || !sameSize(image, mask) || !sameSize(image, out)) return false;
    for (int y = 0; y < out.height; ++y) {
        const uint8_t* im = image.row(y);
        const uint8_t* bg = background.row(y);
        const uint8_t* mk = mask.row(y);
        uint8_t* o = out.row(y);
        for (int x = 0; x < out.width; ++x, im += 4, bg += 4, mk += 4, o += 4) {
            // Rec. 709 luminance of the (premultiplied) mask, weights summing to 256.
            unsigned m = (54u * mk[2] + 183u * mk[1] + 19u * mk[0] + 128u) >> 8;
            unsigned inv = 255u - m;
            for (int c = 0; c < 4; ++c) {
                unsigned v = im[c] * m + bg[c] * inv + 127u;
                o[c] = static_cast<uint8_t>(v / 255u);
            }
        }
    }
    return true;
}

}  // namespace pk::draw2d
