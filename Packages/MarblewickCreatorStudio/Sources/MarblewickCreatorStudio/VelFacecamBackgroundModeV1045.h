#pragma once
// What the camera feed does with the room behind the person: three cases with string raw
// values, in the order the overlay's toolbar cycles through them; the first is the
// default wherever one is stored.
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

#include "PlatformKit/Foundation/Json.h"

namespace creator {

struct VelFacecamBackgroundModeV1045 {
    enum Case : uint8_t { cutoutNoBackground, studioBlur, fullCamera };

    constexpr VelFacecamBackgroundModeV1045(Case c = cutoutNoBackground) : value(c) {}
    constexpr operator Case() const { return value; }

    const char* rawValue() const;
    // Exactly one of the raw values; anything else gives none.
    static std::optional<VelFacecamBackgroundModeV1045> fromRaw(std::string_view raw);
    static const std::array<VelFacecamBackgroundModeV1045, 3> allCases;
    // The next case in declaration order, the last wrapping to the first.
    VelFacecamBackgroundModeV1045 next() const;

    // JSON: the raw string; any other string is a data-corrupted error.
    pk::json::Json toJson() const;
    static VelFacecamBackgroundModeV1045 fromJson(const pk::json::Json& j);

    Case value;
};

}  // namespace creator

// Hashed by the raw string.
template <>
struct std::hash<creator::VelFacecamBackgroundModeV1045> {
    size_t operator()(creator::VelFacecamBackgroundModeV1045 v) const noexcept { return std::hash<std::string_view>()(v.rawValue()); }
};
