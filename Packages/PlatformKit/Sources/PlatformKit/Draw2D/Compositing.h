#pragma once
// Per-pixel compositing of bitmaps of the same size.
#include "PlatformKit/Draw2D/Bitmap.h"

namespace pk::draw2d {

// out = image × m + background × (1 − m) per premultiplied component, m being the mask's
// luminance (white keeps the image, black the background). All four views must have the
// same width and height (rows may differ in padding); returns false and leaves `out`
// alone otherwise. `out` may be one of the inputs.
bool blendWithMask(const BitmapView& image, const BitmapView& background, const BitmapView& mask,
                   const BitmapView& out);

}  // namespace pk::draw2d
