#include "PlatformKit/Net/LanLinkMessage.h"

#include <algorithm>

#include "PlatformKit/Foundation/ByteIO.h"
#include "PlatformKit/Net/WireText.h"

namespace pk::net {

std::vector<uint8_t> LanLinkMessage::encode() const {
    pk::ByteWriter w;
    w.u32(magic);
    w.u8(static_cast<uint8_t>(type));
    putWireText(w, from.id);
    putWireText(w, from.displayName);
    const size_t n = std::min(context.size(), maxContextBytes);
    w.u16(static_cast<uint16_t>(n));
    w.append(std::span(context).first(n));
    return w.take();
}

std::optional<LanLinkMessage> LanLinkMessage::decode(std::span<const uint8_t> packet) {
    pk::ByteReader r(packet);
    auto m = r.u32();
    auto t = r.u8();
    if (!m || *m != magic || !t || *t < 1 || *t > 3) return std::nullopt;
    auto id = getWireText(r);
    auto name = getWireText(r);
    auto n = r.u16();
    if (!id || !name || !n || id->empty() || *n > maxContextBytes) return std::nullopt;
    auto context = r.bytes(*n);
    if (!context || !r.atEnd()) return std::nullopt;
    return LanLinkMessage{static_cast<Type>(*t), PeerInfo{std::move(*id), std::move(*name)},
                          std::vector<uint8_t>(context->begin(), context->end())};
}

std::vector<uint8_t> LanLinkMessage::encodeData(std::span<const uint8_t> payload) {
    pk::ByteWriter w;
    w.u32(magic);
    w.u8(dataType);
    w.append(payload);
    return w.take();
}

std::optional<std::span<const uint8_t>> LanLinkMessage::decodeData(std::span<const uint8_t> packet) {
    pk::ByteReader r(packet);
    auto m = r.u32();
    auto t = r.u8();
    if (!m || *m != magic || !t || *t != dataType) return std::nullopt;
    return packet.subspan(dataHeaderBytes);
}

}  // namespace pk::net
