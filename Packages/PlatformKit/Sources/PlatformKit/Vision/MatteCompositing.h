#pragma once
// What a camera frame goes through after segmentation: mirroring, scaling the matte to the
// frame, a Gaussian blur whose edges are clamped (repeated outward, so the border never
// darkens) and the blend of the frame over a background through the matte. Bitmaps are
// the studio's BGRA premultiplied layout.
#include <optional>

#include "PlatformKit/Draw2D/Bitmap.h"
#include "PlatformKit/Vision/PersonSegmenter.h"

namespace pk::vision {

// Left and right swapped. Empty for an invalid view.
std::optional<draw2d::Bitmap> mirroredHorizontally(const draw2d::BitmapView& image);
GrayMask mirroredHorizontally(const GrayMask& mask);

// The matte stretched to width × height with bilinear filtering (soft edges stay soft).
GrayMask resizedMask(const GrayMask& mask, int width, int height);

// A coarse matte of `frame` (at the frame's size or smaller) brought to the frame's size by
// a guided filter against the frame's colours: near the coarse edge the matte becomes a
// local linear function of the colour, so the edge follows the frame's own edges, as sharp
// as they are, instead of the coarse grid. Only a band a few coarse pixels wide around the
// coarse edge is refined; elsewhere the coarse value stands. `coarseGuide` is the frame at
// the coarse size, when the caller has it already. Empty for invalid input, a guide of
// another size or a coarse matte larger than the frame.
GrayMask guidedUpsampledMatte(const GrayMask& coarse, const draw2d::BitmapView& frame,
                              const draw2d::BitmapView* coarseGuide = nullptr);

// A Gaussian blur of `sigma` pixels with clamped edges. Wide blurs run on a reduced copy
// and are scaled back, which a blur this soft cannot tell apart.
std::optional<draw2d::Bitmap> gaussianBlurClamped(const draw2d::BitmapView& image, double sigma);

// out = image × m + background × (1 − m) per premultiplied component, m = matte / 255.
// Without a background, the background is fully transparent. All must have the same size;
// empty otherwise.
std::optional<draw2d::Bitmap> blendWithMatte(const draw2d::BitmapView& image, const draw2d::BitmapView* background,
                                             const GrayMask& matte);

}  // namespace pk::vision
