#include "PlatformKit/Net/DiscoveryBeacon.h"

#include <algorithm>

#include "PlatformKit/Foundation/ByteIO.h"
#include "PlatformKit/Net/WireText.h"

namespace pk::net {

std::vector<uint8_t> DiscoveryBeacon::encode() const {
    pk::ByteWriter w;
    w.u32(magic);
    w.u8(version);
    w.u8(static_cast<uint8_t>(kind));
    putWireText(w, serviceType);
    putWireText(w, peer.id);
    putWireText(w, peer.displayName);
    w.u16(sessionPort);
    w.u8(info ? 1 : 0);
    if (info) {
        const size_t count = std::min(info->size(), maxEntries);
        w.u8(static_cast<uint8_t>(count));
        size_t i = 0;
        for (auto it = info->begin(); i < count; ++it, ++i) {
            putWireText(w, it->first);
            putWireText(w, it->second);
        }
    }
    return w.take();
}

std::optional<DiscoveryBeacon> DiscoveryBeacon::decode(std::span<const uint8_t> data) {
    pk::ByteReader r(data);
    auto m = r.u32();
    auto v = r.u8();
    auto k = r.u8();
    if (!m || *m != magic || !v || *v != version || !k || (*k != 1 && *k != 2)) return std::nullopt;
    DiscoveryBeacon b;
    b.kind = static_cast<Kind>(*k);
    auto service = getWireText(r), id = getWireText(r), name = getWireText(r);
    auto port = r.u16();
    auto hasInfo = r.u8();
    if (!service || !id || !name || !port || !hasInfo || id->empty() || *hasInfo > 1) return std::nullopt;
    b.serviceType = *service;
    b.peer = PeerInfo{*id, *name};
    b.sessionPort = *port;
    if (*hasInfo) {
        auto count = r.u8();
        if (!count || *count > maxEntries) return std::nullopt;
        DiscoveryInfo info;
        for (int i = 0; i < *count; ++i) {
            auto key = getWireText(r), value = getWireText(r);
            if (!key || !value) return std::nullopt;
            info[*key] = *value;
        }
        b.info = std::move(info);
    }
    return b;
}

}  // namespace pk::net
