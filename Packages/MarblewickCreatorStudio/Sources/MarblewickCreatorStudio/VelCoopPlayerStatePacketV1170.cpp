#include "MarblewickCreatorStudio/VelCoopPlayerStatePacketV1170.h"

#include <algorithm>
#include <functional>

#include "PlatformKit/Foundation/ByteIO.h"
#include "PlatformKit/Foundation/Text.h"

namespace creator {

VelCoopPlayerStatePacketV1170::VelCoopPlayerStatePacketV1170(uint32_t seq_, pk::float3 pos, float yaw_, float voiceRMS_,
                                                             bool carryingCore_, bool insideMercy_, int64_t warthogSeat_,
                                                             std::string_view callsign)
    : seq(seq_), posX(pos.x), posY(pos.y), posZ(pos.z), yaw(yaw_), voiceRMS(voiceRMS_) {
    // Clamp before adding one so extreme seats cannot overflow.
    const int64_t code = std::clamp<int64_t>(warthogSeat_, -1, 6) + 1;
    flags = (carryingCore_ ? 1u : 0u) | (insideMercy_ ? 2u : 0u) | (static_cast<uint32_t>(code) << 2);
    callsign16 = pk::prefixGraphemes(callsign, 16);
}

std::vector<uint8_t> VelCoopPlayerStatePacketV1170::encodeBinary() const {
    pk::ByteWriter w;
    w.u32(magic);
    w.u32(seq);
    w.f32(posX);
    w.f32(posY);
    w.f32(posZ);
    w.f32(yaw);
    w.f32(voiceRMS);
    w.u32(flags);
    // Cut by bytes: a multi-byte character may be split; the receiver repairs it.
    const size_t n = std::min(callsign16.size(), callsignBytes);
    w.append(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(callsign16.data()), n));
    w.zeros(callsignBytes - n);
    return w.take();
}

std::optional<VelCoopPlayerStatePacketV1170> VelCoopPlayerStatePacketV1170::decodeBinary(std::span<const uint8_t> data) {
    if (data.size() < wireSize) return std::nullopt;
    pk::ByteReader r(data.first(wireSize));
    if (*r.u32() != magic) return std::nullopt;
    VelCoopPlayerStatePacketV1170 p;
    p.seq = *r.u32();
    p.posX = *r.f32();
    p.posY = *r.f32();
    p.posZ = *r.f32();
    p.yaw = *r.f32();
    p.voiceRMS = *r.f32();
    p.flags = *r.u32() & 0x1Fu;
    auto area = *r.bytes(callsignBytes);
    const auto end = std::find(area.begin(), area.end(), uint8_t{0});
    const std::string_view raw(reinterpret_cast<const char*>(area.data()), static_cast<size_t>(end - area.begin()));
    std::string text = pk::repairUtf8(raw);
    if (text.empty()) text = "OPERATOR";
    p.callsign16 = pk::prefixGraphemes(text, 16);
    return p;
}

namespace {
const pk::float3 kAccentPalette[3] = {{0.18f, 0.92f, 1.0f}, {1.0f, 0.72f, 0.16f}, {0.32f, 1.0f, 0.56f}};

pk::json::OrderedJson vectorJson(pk::float3 v) {
    return pk::json::OrderedJson::array(
        {pk::json::floatNumber(v.x), pk::json::floatNumber(v.y), pk::json::floatNumber(v.z)});
}

template <class J>
pk::float3 readVector(const J& obj, std::string_view key) {
    const J& v = pk::json::field(obj, key);
    if (!v.is_array()) pk::json::failDecode(pk::json::typeMismatch, "Expected an array for \"" + std::string(key) + "\".");
    if (v.size() != 3)
        pk::json::failDecode(pk::json::dataCorrupted, "Expected three numbers for \"" + std::string(key) + "\".");
    return {pk::json::asFloat(v[0], key), pk::json::asFloat(v[1], key), pk::json::asFloat(v[2], key)};
}
}  // namespace

size_t VelRemoteCoopAvatarV1170::accentIndexForHash(int64_t hash) {
    // |hash| in unsigned arithmetic: the most negative hash has no signed magnitude.
    const uint64_t magnitude = hash < 0 ? uint64_t{0} - static_cast<uint64_t>(hash) : static_cast<uint64_t>(hash);
    return static_cast<size_t>(magnitude % 3);
}

size_t VelRemoteCoopAvatarV1170::accentIndex(const std::string& displayName) {
    return accentIndexForHash(static_cast<int64_t>(std::hash<std::string>{}(displayName)));
}

VelRemoteCoopAvatarV1170 VelRemoteCoopAvatarV1170::fromPacket(const VelCoopPlayerStatePacketV1170& p,
                                                              const std::string& displayName) {
    VelRemoteCoopAvatarV1170 a;
    a.id = displayName;
    a.callsign = p.callsign16;
    a.worldPos = p.worldPos();
    a.yaw = p.yaw;
    a.carryingWendmoorCore = p.carryingCore();
    a.inWarthogSeat = p.warthogSeat();
    a.isIndoorsMercy = p.insideMercy();
    a.voiceRMS = p.voiceRMS;
    a.accentRGB = kAccentPalette[accentIndex(displayName)];
    return a;
}

pk::json::OrderedJson VelRemoteCoopAvatarV1170::toJson() const {
    pk::json::OrderedJson j = pk::json::OrderedJson::object();
    j["id"] = id;
    j["callsign"] = callsign;
    j["worldPos"] = vectorJson(worldPos);
    j["yaw"] = pk::json::floatNumber(yaw);
    j["carryingWendmoorCore"] = carryingWendmoorCore;
    j["inWarthogSeat"] = inWarthogSeat;
    j["isIndoorsMercy"] = isIndoorsMercy;
    j["voiceRMS"] = pk::json::floatNumber(voiceRMS);
    j["accentRGB"] = vectorJson(accentRGB);
    return j;
}

template <class J>
VelRemoteCoopAvatarV1170 VelRemoteCoopAvatarV1170::fromJson(const J& j) {
    using namespace pk::json;
    VelRemoteCoopAvatarV1170 a;
    a.id = readString(j, "id");
    a.callsign = readString(j, "callsign");
    a.worldPos = readVector(j, "worldPos");
    a.yaw = readFloat(j, "yaw");
    a.carryingWendmoorCore = readBool(j, "carryingWendmoorCore");
    a.inWarthogSeat = readInteger<int64_t>(j, "inWarthogSeat");
    a.isIndoorsMercy = readBool(j, "isIndoorsMercy");
    a.voiceRMS = readFloat(j, "voiceRMS");
    a.accentRGB = readVector(j, "accentRGB");
    return a;
}

template VelRemoteCoopAvatarV1170 VelRemoteCoopAvatarV1170::fromJson(const pk::json::Json&);
template VelRemoteCoopAvatarV1170 VelRemoteCoopAvatarV1170::fromJson(const pk::json::OrderedJson&);

}  // namespace creator
