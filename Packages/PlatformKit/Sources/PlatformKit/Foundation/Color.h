#pragma once
// An interface colour: sRGB components in 0..1 with opacity.
namespace pk {
struct Color {
    double red = 0, green = 0, blue = 0, opacity = 1;
    bool operator==(const Color&) const = default;
};
}  // namespace pk
