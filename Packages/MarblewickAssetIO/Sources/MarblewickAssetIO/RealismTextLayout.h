#pragma once
// Inside the text-recognition audits only: what the critics share about recognized text
// boxes (normalised 0..1 coordinates) and about the trap frames they draw.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "PlatformKit/Draw2D/Bitmap.h"
#include "PlatformKit/Image/Image.h"

namespace assetio::realism {

// Pairs of boxes whose intersection over union exceeds `threshold`. The union is floored
// at 1e-6, so two empty boxes never divide by zero.
template <class Box>
int64_t overlappingPairs(const std::vector<Box>& boxes, double threshold) {
    constexpr double kMinUnion = 1e-6;
    int64_t pairs = 0;
    for (size_t i = 0; i < boxes.size(); ++i) {
        const auto& a = boxes[i];
        for (size_t j = i + 1; j < boxes.size(); ++j) {
            const auto& b = boxes[j];
            const double inter = std::max(0.0, std::min(a.x + a.width, b.x + b.width) - std::max(a.x, b.x)) *
                                 std::max(0.0, std::min(a.y + a.height, b.y + b.height) - std::max(a.y, b.y));
            const double uni = a.width * a.height + b.width * b.height - inter;
            if (inter / std::max(uni, kMinUnion) > threshold) ++pairs;
        }
    }
    return pairs;
}

// True when the box reaches into the band of width `margin` along any edge of the frame.
template <class Box>
bool outsideMargin(const Box& b, double margin) {
    return b.x < margin || b.x + b.width > 1.0 - margin || b.y < margin || b.y + b.height > 1.0 - margin;
}

// A drawn trap frame as the audits receive frames: straight-alpha RGBA, rows from the top.
inline pk::image::RgbaImage frameFromBitmap(const pk::draw2d::Bitmap& bitmap) {
    pk::image::RgbaImage frame;
    frame.width = bitmap.width();
    frame.height = bitmap.height();
    frame.stride = static_cast<size_t>(frame.width) * 4;
    frame.bytes = bitmap.straightRGBA();
    return frame;
}

}  // namespace assetio::realism
