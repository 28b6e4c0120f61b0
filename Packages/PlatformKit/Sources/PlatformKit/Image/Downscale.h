#pragma once
// Area (box) downscaling of 8-bit RGBA images: every output pixel is the coverage-weighted
// mean of the source pixels under it, in one pass over the source. For previews and map
// strips, where a cheap filter that never rings is worth more than a sharper one.
#include "PlatformKit/Image/Image.h"

namespace pk::image {

// `source` reduced to width x height (each at most the source's, at least 1; a larger
// size is taken as the source's own). Colour is averaged weighted by alpha, so
// transparent pixels bleed no colour; alpha is the plain mean. Rounds to nearest. The
// source's own size gives the source back unfiltered; an empty source or a size below
// 1 gives an empty image.
RgbaImage downscaledBox(const RgbaImage& source, int width, int height);

}  // namespace pk::image
