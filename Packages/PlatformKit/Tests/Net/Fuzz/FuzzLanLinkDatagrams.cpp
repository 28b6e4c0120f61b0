// libFuzzer entry: the link table of a LAN session, fed what ENet would deliver. The input
// is a script of transport events; datagrams arrive whole, as raw bytes or as messages
// built from a few fields so that the fuzzer reaches deep states quickly. Whatever the
// order, the table never acts on a link it was not given, never reports one peer twice
// as connected, and tells its host exactly the peers it counts as connected.
#include <cstdint>
#include <cstdlib>
#include <map>
#include <set>

#include "PlatformKit/Foundation/ByteIO.h"
#include "PlatformKit/Net/LanLinkMessage.h"
#include "PlatformKit/Net/LanLinks.h"

using namespace pk::net;

namespace {

const PeerInfo kSelf{"m", "Self"};
const PeerInfo kPeers[] = {{"a", "Alpha"}, {"m", "Mirror"}, {"z", "Zulu"}, {"z", "Zulu again"}};

void check(bool ok) {
    if (!ok) abort();
}

struct Host : LanLinks::Host {
    enum class Link { outgoing, up };
    std::map<LinkId, Link> live;  // what the transport holds
    std::vector<PeerInfo> told;
    std::vector<std::pair<LinkId, uint64_t>> invitations;

    void sendControl(LinkId link, const std::vector<uint8_t>& packet) override {
        check(live.count(link) && LanLinkMessage::decode(packet).has_value());
    }
    void close(LinkId link, Close how) override {
        check(live.count(link));
        if (how == Close::now) live.erase(link);  // ENet reports no disconnect for these
    }
    void connectedChanged(const std::vector<PeerInfo>& connected) override { told = connected; }
    void peerStateChanged(const PeerInfo&, PeerState) override {}
    void dataReceived(const std::vector<uint8_t>&, const PeerInfo&) override {}
    void invitation(const PeerInfo&, const std::vector<uint8_t>& context, LinkId link, uint64_t token) override {
        check(live.count(link) && context.size() <= LanLinkMessage::maxContextBytes);
        invitations.emplace_back(link, token);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    pk::ByteReader in(data, size);
    Host host;
    LanLinks links(kSelf, host);
    double now = 0;
    for (int step = 0; step < 256; ++step) {
        auto op = in.u8(), arg = in.u8();
        if (!op || !arg) break;
        const LinkId link = 1 + (*arg & 3);
        switch (*op % 8) {
            case 0: {  // a connection comes up
                auto it = host.live.find(link);
                if (it == host.live.end()) host.live[link] = Host::Link::up;
                else if (it->second == Host::Link::outgoing) it->second = Host::Link::up;
                else break;
                links.connected(link, now);
                break;
            }
            case 1: {  // a raw datagram on a channel
                auto len = in.u16();
                if (!len) break;
                auto bytes = in.bytes(std::min<uint64_t>(*len, in.remaining()));
                if (host.live.count(link)) links.received(link, static_cast<uint8_t>(*arg >> 2) & 3, *bytes);
                break;
            }
            case 2:  // a message built from fields
                if (host.live.count(link)) {
                    const auto type = static_cast<LanLinkMessage::Type>(1 + (*arg >> 2) % 3);
                    const LanLinkMessage m{type, kPeers[(*arg >> 4) & 3], std::vector<uint8_t>((*arg >> 6) * 3, 7)};
                    links.received(link, LanLinks::controlChannel, m.encode());
                }
                break;
            case 3:  // the other side went away
                if (host.live.erase(link)) links.disconnected(link);
                break;
            case 4:  // an answer, current or stale
                if (!host.invitations.empty()) {
                    const auto& [l, token] = host.invitations[(*arg >> 1) % host.invitations.size()];
                    links.answer(l, token, *arg & 1);
                }
                break;
            case 5:  // we invite a peer we found (the transport may not even start the connection)
                if (const PeerInfo& peer = kPeers[(*arg >> 2) & 3];
                    peer.id != kSelf.id && !host.live.count(link) && !links.linked(peer.id)) {
                    if (*arg & 0x80) {
                        links.inviteFailed(peer);
                        break;
                    }
                    host.live[link] = Host::Link::outgoing;
                    links.inviting(link, peer, {}, now + ((*arg >> 4) & 7));
                }
                break;
            case 6: now += *arg * 0.05; links.expire(now); break;
            case 7: links.leaveAll(); break;
        }
        const auto connected = links.connectedPeers();
        check(host.told == connected);
        std::set<std::string> ids;
        for (const auto& p : connected) check(ids.insert(p.id).second && p.id != kSelf.id);
        for (LinkId l : links.connectedLinks()) check(host.live.count(l));
    }
    return 0;
}
