#pragma once
// What one ENet packet of a LAN link carries: the magic "MWNL" and a type byte, then for
// the control messages (invite, accept, decline, on the reliable channel) the sender's
// id and display name and the invitation context, and for data (on the unreliable
// channel) the payload as it is. Unauthenticated traffic: the reader checks every length.
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "PlatformKit/Net/NetSession.h"

namespace pk::net {

struct LanLinkMessage {
    static constexpr uint32_t magic = 0x4D574E4C;  // "MWNL"
    static constexpr size_t maxContextBytes = 4096;
    static constexpr uint8_t dataType = 4;
    static constexpr size_t dataHeaderBytes = 5;

    enum class Type : uint8_t { invite = 1, accept = 2, decline = 3 };
    Type type = Type::invite;
    PeerInfo from;
    std::vector<uint8_t> context;

    bool operator==(const LanLinkMessage&) const = default;

    // Texts are cut to 255 bytes, the context to 4096.
    std::vector<uint8_t> encode() const;
    // A control message, whole and nothing after it (the id must not be empty).
    static std::optional<LanLinkMessage> decode(std::span<const uint8_t> packet);

    static std::vector<uint8_t> encodeData(std::span<const uint8_t> payload);
    // The payload of a data packet; nothing when the packet is not one.
    static std::optional<std::span<const uint8_t>> decodeData(std::span<const uint8_t> packet);
};

}  // namespace pk::net
