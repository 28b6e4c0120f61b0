#pragma once
// A small image feature print: the picture area-averaged into a 32 x 32 RGB thumbnail,
// mean-centred and scaled to unit length (its structure), plus the three channel means
// (its tone). The distance is the Euclidean distance of those parts times
// kFeaturePrintDistanceScale. Identical images give exactly 0; a small move of a shape
// gives a few hundredths to a few tenths; an unrelated picture around 1.5 and more.
#include <optional>
#include <vector>

#include "PlatformKit/Image/Image.h"

namespace pk::vision {

inline constexpr int kFeaturePrintSide = 32;
inline constexpr float kFeaturePrintDistanceScale = 1.1f;

struct FeaturePrint {
    std::vector<float> structure;  // kFeaturePrintSide^2 * 3 values, unit length or all 0 (flat image)
    float meanRed = 0, meanGreen = 0, meanBlue = 0;
    bool operator==(const FeaturePrint&) const = default;
};

// Empty for an image without pixels (0 x 0 or inconsistent rows). Colour is taken
// premultiplied by alpha (transparent reads as black).
std::optional<FeaturePrint> featurePrint(const pk::image::RgbaImage& image);

// Non-negative; 0 for equal prints.
float featurePrintDistance(const FeaturePrint& a, const FeaturePrint& b);

}  // namespace pk::vision
