#pragma once
// Synthetic frames for the realism audit tests.
#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "PlatformKit/Image/Image.h"

namespace realism_test {

using pk::image::RgbaImage;

inline RgbaImage solid(int w, int h, uint8_t r, uint8_t g, uint8_t b, uint8_t a = 255) {
    RgbaImage img = RgbaImage::blank(w, h);
    for (size_t i = 0; i < img.bytes.size(); i += 4) {
        img.bytes[i] = r;
        img.bytes[i + 1] = g;
        img.bytes[i + 2] = b;
        img.bytes[i + 3] = a;
    }
    return img;
}

inline void fillRect(RgbaImage& img, int x0, int y0, int w, int h, uint8_t r, uint8_t g, uint8_t b) {
    for (int y = std::max(y0, 0); y < y0 + h && y < img.height; ++y)
        for (int x = std::max(x0, 0); x < x0 + w && x < img.width; ++x) {
            uint8_t* p = img.row(y) + x * 4;
            p[0] = r;
            p[1] = g;
            p[2] = b;
            p[3] = 255;
        }
}

// Mid-grey colour noise in 2 x 2 blocks: fine detail, full range, nothing blown or
// crushed: a frame every photorealism rule passes.
inline RgbaImage texturedFrame(int w, int h, unsigned seed) {
    RgbaImage img = solid(w, h, 0, 0, 0);
    std::mt19937 rng(seed);
    const int bw = (w + 1) / 2, bh = (h + 1) / 2;
    std::vector<uint8_t> values(static_cast<size_t>(bw) * bh * 3);
    for (auto& v : values) v = static_cast<uint8_t>(40 + rng() % 160);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c)
                img.row(y)[x * 4 + c] = values[(static_cast<size_t>(y / 2) * bw + x / 2) * 3 + c];
    return img;
}

}  // namespace realism_test
