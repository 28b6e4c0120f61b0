#pragma once
// Per-pixel compositing of bitmaps of the same size.
#include <cstdint>

#include "PlatformKit/Draw2D/Bitmap.h"

namespace pk::draw2d {

// out = image × m + background × (1 − m) per premultiplied component, m being the mask's
// luminance (white keeps the image, black the background). All four views must have the
// same width and height (rows may differ in padding); returns false and leaves `out`
// alone otherwise. `out` may be one of the inputs.
// One row of `width` BGRA pixels: out = (image × w + background × (255 − w) + 127) / 255 per
// component, w being the pixel's weight (0‥255); no background blends towards transparent.
// `out` may be `image` or `background`.
void blendRow(const uint8_t* image, const uint8_t* background, const uint8_t* weight, uint8_t* out, int width);

bool blendWithMask(const BitmapView& image, const BitmapView& background, const BitmapView& mask,
                   const BitmapView& out);

}  // namespace pk::draw2d
