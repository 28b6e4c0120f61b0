#pragma once
// The frame of the facecam bubble: three cases with string raw values, in the order the
// overlay's toolbar cycles through them; the first is the default wherever one is stored.
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

#include "PlatformKit/Foundation/Json.h"

namespace creator {

struct VelFacecamShapeV1045 {
    enum Case : uint8_t { freeCutout, circle, rounded };

    constexpr VelFacecamShapeV1045(Case c = freeCutout) : value(c) {}
    constexpr operator Case() const { return value; }

    const char* rawValue() const;
    // Exactly one of the raw values; anything else gives none.
    static std::optional<VelFacecamShapeV1045> fromRaw(std::string_view raw);
    static const std::array<VelFacecamShapeV1045, 3> allCases;
    // The next case in declaration order, the last wrapping to the first.
    VelFacecamShapeV1045 next() const;

    // JSON: the raw string; any other string is a data-corrupted error.
    pk::json::Json toJson() const;
    static VelFacecamShapeV1045 fromJson(const pk::json::Json& j);

    Case value;
};

}  // namespace creator

// Hashed by the raw string.
template <>
struct std::hash<creator::VelFacecamShapeV1045> {
    size_t operator()(creator::VelFacecamShapeV1045 v) const noexcept { return std::hash<std::string_view>()(v.rawValue()); }
};
