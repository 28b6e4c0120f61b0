#pragma once
// Short texts of the LAN wire (beacons and link messages): a u8 byte count, then the
// bytes as they are.
#include <algorithm>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "PlatformKit/Foundation/ByteIO.h"

namespace pk::net {

inline constexpr size_t kMaxWireTextBytes = 255;

// Longer texts are cut to their first 255 bytes.
inline void putWireText(pk::ByteWriter& w, std::string_view s) {
    const size_t n = std::min(s.size(), kMaxWireTextBytes);
    w.u8(static_cast<uint8_t>(n));
    w.append(std::span(reinterpret_cast<const uint8_t*>(s.data()), n));
}

inline std::optional<std::string> getWireText(pk::ByteReader& r) {
    auto n = r.u8();
    if (!n) return std::nullopt;
    return r.string(*n);
}

}  // namespace pk::net
