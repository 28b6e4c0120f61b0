#pragma once
// The 48-byte co-op player-state packet ("MWCP") every player sends many times a second,
// and the remote avatar a receiver makes of it.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "PlatformKit/Foundation/Json.h"
#include "PlatformKit/Math/Math.h"

namespace creator {

struct VelCoopPlayerStatePacketV1170 {
    static constexpr uint32_t magic = 0x4D574350;  // "MWCP"
    static constexpr size_t wireSize = 48;
    static constexpr size_t callsignBytes = 16;

    uint32_t seq = 0;
    float posX = 0, posY = 0, posZ = 0;
    float yaw = 0;
    float voiceRMS = 0;
    uint32_t flags = 0;
    std::string callsign16;

    VelCoopPlayerStatePacketV1170() = default;
    // Seat −1 means not seated; any seat is clamped into the 3-bit code 0..7. The callsign
    // keeps its first 16 user-perceived characters.
    VelCoopPlayerStatePacketV1170(uint32_t seq, pk::float3 pos, float yaw, float voiceRMS, bool carryingCore,
                                  bool insideMercy, int64_t warthogSeat, std::string_view callsign);

    bool carryingCore() const { return (flags & 1u) != 0; }
    bool insideMercy() const { return (flags & 2u) != 0; }
    int64_t warthogSeat() const { return static_cast<int64_t>((flags >> 2) & 7u) - 1; }
    pk::float3 worldPos() const { return {posX, posY, posZ}; }

    // Floats compare as IEEE values: NaN never equals, 0 equals −0.
    bool operator==(const VelCoopPlayerStatePacketV1170&) const = default;

    std::vector<uint8_t> encodeBinary() const;
    // Nothing when shorter than 48 bytes or the magic differs; bytes past 48 are ignored.
    static std::optional<VelCoopPlayerStatePacketV1170> decodeBinary(std::span<const uint8_t> data);
};

struct VelRemoteCoopAvatarV1170 {
    std::string id;
    std::string callsign;
    pk::float3 worldPos{0.0f};
    float yaw = 0;
    bool carryingWendmoorCore = false;
    int64_t inWarthogSeat = -1;
    bool isIndoorsMercy = false;
    float voiceRMS = 0;
    pk::float3 accentRGB{0.0f};

    bool operator==(const VelRemoteCoopAvatarV1170&) const = default;

    // The avatar of a received packet; the accent colour is picked by the display name's
    // string hash, so a peer keeps its colour for the life of the process.
    static VelRemoteCoopAvatarV1170 fromPacket(const VelCoopPlayerStatePacketV1170& packet, const std::string& displayName);
    static size_t accentIndex(const std::string& displayName);
    static size_t accentIndexForHash(int64_t hash);

    pk::json::OrderedJson toJson() const;
    template <class J>
    static VelRemoteCoopAvatarV1170 fromJson(const J& j);
};

extern template VelRemoteCoopAvatarV1170 VelRemoteCoopAvatarV1170::fromJson(const pk::json::Json&);
extern template VelRemoteCoopAvatarV1170 VelRemoteCoopAvatarV1170::fromJson(const pk::json::OrderedJson&);

}  // namespace creator
