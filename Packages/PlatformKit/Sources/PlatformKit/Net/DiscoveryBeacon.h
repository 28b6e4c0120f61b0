#pragma once
// The UDP datagram a LAN peer sends while it advertises ("here") and once when it stops
// ("bye"). Unauthenticated traffic: the reader checks every length.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "PlatformKit/Net/NetSession.h"
#include "PlatformKit/Net/WireText.h"

namespace pk::net {

struct DiscoveryBeacon {
    static constexpr uint32_t magic = 0x4D574E42;  // "MWNB"
    static constexpr uint8_t version = 1;
    static constexpr size_t maxTextBytes = kMaxWireTextBytes;
    static constexpr size_t maxEntries = 16;

    enum class Kind : uint8_t { here = 1, bye = 2 };
    Kind kind = Kind::here;
    std::string serviceType;
    PeerInfo peer;
    uint16_t sessionPort = 0;
    std::optional<DiscoveryInfo> info;

    bool operator==(const DiscoveryBeacon&) const = default;

    // Texts longer than 255 bytes are cut; at most 16 key-values are sent.
    std::vector<uint8_t> encode() const;
    static std::optional<DiscoveryBeacon> decode(std::span<const uint8_t> data);
};

}  // namespace pk::net
