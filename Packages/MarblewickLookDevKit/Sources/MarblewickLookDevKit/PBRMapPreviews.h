#pragma once
// Small images of a pack's four maps, for the interface's map strip.
#include <optional>

#include "PlatformKit/Image/Image.h"

namespace lookdev {

struct PBRMapPreviews {
    std::optional<pk::image::RgbaImage> albedo;
    std::optional<pk::image::RgbaImage> normal;
    std::optional<pk::image::RgbaImage> orm;
    std::optional<pk::image::RgbaImage> emissive;

    bool operator==(const PBRMapPreviews&) const = default;
};

}  // namespace lookdev
