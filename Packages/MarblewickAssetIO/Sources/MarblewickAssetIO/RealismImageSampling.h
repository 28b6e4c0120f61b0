#pragma once
// Inside the realism audits only: the decoding cap for the screenshots they read, and
// reading a straight-alpha frame as the premultiplied bytes a bitmap context would hold,
// without converting the whole frame first.
#include <cstddef>
#include <cstdint>

#include "PlatformKit/Image/Image.h"

namespace assetio {

// Decoding cap for screenshots handed to the audits (checked from the file header).
inline constexpr uint64_t kRealismAuditMaxPixels = uint64_t(8192) * 8192;

}  // namespace assetio

namespace assetio::realism {

// Width and height as the audits see them (negative sizes read as 0).
inline int imageWidth(const pk::image::RgbaImage& img) { return img.width > 0 ? img.width : 0; }
inline int imageHeight(const pk::image::RgbaImage& img) { return img.height > 0 ? img.height : 0; }

// R, G, B of pixel (x, y), rows from the top, premultiplied. The caller checked
// RgbaImage::holdsPixels() and the bounds (the audits read a frame that fails it as
// zeros, as if it could not be drawn).
inline void premultipliedRGB(const pk::image::RgbaImage& img, int x, int y, uint8_t out[3]) {
    const uint8_t* p = img.row(y) + static_cast<size_t>(x) * 4;
    out[0] = pk::image::premultipliedComponent(p[0], p[3]);
    out[1] = pk::image::premultipliedComponent(p[1], p[3]);
    out[2] = pk::image::premultipliedComponent(p[2], p[3]);
}

// Rec. 709 weights on gamma-encoded bytes / 255, as the audits define luma.
inline double luma(double r, double g, double b) { return 0.2126 * r + 0.7152 * g + 0.0722 * b; }

}  // namespace assetio::realism
