// The LAN link messages and the link table, driven directly with the events a transport
// would deliver (no sockets).
#include <gtest/gtest.h>

#include "PlatformKit/Foundation/ByteIO.h"
#include "PlatformKit/Net/LanLinkMessage.h"
#include "PlatformKit/Net/LanLinks.h"
#include "FuzzSeeds.h"

using namespace pk::net;

namespace {

using Msg = LanLinkMessage;
const PeerInfo kSelf{"b0", "Self"}, kAlpha{"a0", "Alpha"}, kCharlie{"c0", "Charlie"};

std::vector<uint8_t> control(Msg::Type type, const PeerInfo& from, std::vector<uint8_t> context = {}) {
    return Msg{type, from, std::move(context)}.encode();
}

// Records what the table asks for and tells, one line each.
struct Recorder : LanLinks::Host {
    std::vector<std::string> log;
    std::vector<PeerInfo> connected;
    struct Invitation {
        LinkId link;
        uint64_t token;
    };
    std::vector<Invitation> invitations;

    void sendControl(LinkId link, const std::vector<uint8_t>& packet) override {
        auto m = Msg::decode(packet);
        static const char* names[] = {"", "invite", "accept", "decline"};
        log.push_back("send " + std::string(m ? names[static_cast<int>(m->type)] : "?") + " " + std::to_string(link));
    }
    void close(LinkId link, Close how) override {
        static const char* names[] = {"later", "now", "gracefully"};
        log.push_back("close " + std::to_string(link) + " " + names[static_cast<int>(how)]);
    }
    void connectedChanged(const std::vector<PeerInfo>& now) override { connected = now; }
    void peerStateChanged(const PeerInfo& peer, PeerState state) override {
        static const char* names[] = {"notConnected", "connecting", "connected"};
        log.push_back(peer.displayName + " " + names[static_cast<int>(state)]);
    }
    void dataReceived(const std::vector<uint8_t>& payload, const PeerInfo& from) override {
        log.push_back("data " + std::to_string(payload.size()) + " from " + from.displayName);
    }
    void invitation(const PeerInfo& from, const std::vector<uint8_t>& context, LinkId link, uint64_t token) override {
        log.push_back("invited by " + from.displayName + " ctx " + std::to_string(context.size()));
        invitations.push_back({link, token});
    }
    std::vector<std::string> take() { return std::exchange(log, {}); }
};

using Log = std::vector<std::string>;

}  // namespace

TEST(LanLinkMessage, ReadsOnlyWholeWellFormedMessages) {
    const Msg invite{Msg::Type::invite, kAlpha, {1, 2, 3}};
    const auto good = invite.encode();
    EXPECT_EQ(Msg::decode(good), invite);
    kstest::writeFuzzSeed("pk_net_LanLinkMessage", "invite", good);
    kstest::writeFuzzSeed("pk_net_LanLinkMessage", "accept", control(Msg::Type::accept, kCharlie));
    // Every cut of a good message is refused, and so is anything after its end.
    for (size_t n = 0; n < good.size(); ++n) EXPECT_FALSE(Msg::decode(std::span(good).first(n))) << n;
    auto trailing = good;
    trailing.push_back(0);
    EXPECT_FALSE(Msg::decode(trailing));

    struct Case {
        const char* name;
        size_t offset;
        uint8_t value;
    };
    for (const Case c : {Case{"magic", 0, 'X'}, Case{"type 0", 4, 0}, Case{"data type", 4, Msg::dataType},
                         Case{"type 9", 4, 9}}) {
        auto bad = good;
        bad[c.offset] = c.value;
        EXPECT_FALSE(Msg::decode(bad)) << c.name;
    }
    EXPECT_FALSE(Msg::decode(control(Msg::Type::accept, PeerInfo{"", "No id"}))) << "empty id";
    // A context longer than any writer sends.
    pk::ByteWriter w;
    w.u32(Msg::magic);
    w.u8(1);
    w.u8(1);
    w.u8('a');
    w.u8(0);
    w.u16(Msg::maxContextBytes + 1);
    w.zeros(Msg::maxContextBytes + 1);
    EXPECT_FALSE(Msg::decode(w.bytes()));

    // The writer cuts what the reader would refuse.
    const Msg longOne{Msg::Type::decline, PeerInfo{std::string(300, 'i'), std::string(400, 'n')},
                      std::vector<uint8_t>(5000, 7)};
    const auto back = Msg::decode(longOne.encode());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->from.id.size(), 255u);
    EXPECT_EQ(back->from.displayName.size(), 255u);
    EXPECT_EQ(back->context.size(), Msg::maxContextBytes);

    const std::vector<uint8_t> payload = {9, 8, 7};
    const auto data = Msg::encodeData(payload);
    ASSERT_TRUE(Msg::decodeData(data));
    kstest::writeFuzzSeed("pk_net_LanLinkMessage", "data", data);
    EXPECT_EQ(std::vector<uint8_t>(Msg::decodeData(data)->begin(), Msg::decodeData(data)->end()), payload);
    EXPECT_TRUE(Msg::decodeData(Msg::encodeData({})));
    EXPECT_FALSE(Msg::decodeData(good));
    EXPECT_FALSE(Msg::decodeData(std::span(data).first(4)));
}

TEST(LanLinks, InvitationsBothWays) {
    Recorder host;
    LanLinks links(kSelf, host);

    // Incoming: the link comes up, then says who it is and asks.
    links.connected(1, 0);
    links.received(1, LanLinks::controlChannel, control(Msg::Type::invite, kAlpha, {5, 5}));
    EXPECT_EQ(host.take(), (Log{"invited by Alpha ctx 2"}));
    ASSERT_EQ(host.invitations.size(), 1u);
    const auto inv = host.invitations[0];
    links.answer(inv.link, inv.token + 1, true);  // not this invitation's answer
    links.answer(2, inv.token, true);              // nor this link's
    EXPECT_TRUE(host.take().empty());
    links.answer(inv.link, inv.token, true);
    EXPECT_EQ(host.take(), (Log{"send accept 1", "Alpha connected"}));
    EXPECT_EQ(host.connected, std::vector<PeerInfo>{kAlpha});
    links.answer(inv.link, inv.token, true);  // answered already
    links.received(1, LanLinks::dataChannel, Msg::encodeData(std::vector<uint8_t>(12, 1)));
    EXPECT_EQ(host.take(), (Log{"data 12 from Alpha"}));

    // Outgoing: connecting at once, the invitation once the link is up, connected on accept.
    links.inviting(2, PeerInfo{kCharlie.id, ""}, {}, 10);
    EXPECT_TRUE(links.linked(kCharlie.id));
    links.connected(2, 1);
    links.received(2, LanLinks::controlChannel, control(Msg::Type::accept, kCharlie));
    EXPECT_EQ(host.take(), (Log{" connecting", "send invite 2", "Charlie connected"}));
    EXPECT_EQ(links.connectedLinks(), (std::vector<LinkId>{1, 2}));

    links.disconnected(1);
    links.disconnected(1);  // reported once
    EXPECT_EQ(host.take(), (Log{"Alpha notConnected"}));
    EXPECT_EQ(host.connected, std::vector<PeerInfo>{kCharlie});

    // A declined invitation ends the link; a refused one declines it.
    links.inviting(3, kAlpha, {}, 10);
    links.connected(3, 2);
    links.received(3, LanLinks::controlChannel, control(Msg::Type::decline, kAlpha));
    EXPECT_EQ(host.take(), (Log{"Alpha connecting", "send invite 3", "close 3 now", "Alpha notConnected"}));
    EXPECT_FALSE(links.linked(kAlpha.id));
    links.connected(4, 3);
    links.received(4, LanLinks::controlChannel, control(Msg::Type::invite, kAlpha));
    links.answer(4, host.invitations.back().token, false);
    EXPECT_EQ(host.take(), (Log{"invited by Alpha ctx 0", "send decline 4", "close 4 later"}));
}

TEST(LanLinks, HostilePacketsChangeNothing) {
    struct Case {
        const char* name;
        bool outgoing;  // the link under test: ours to Alpha (opening), or theirs (said nothing yet)
        LinkId link;
        uint8_t channel;
        std::vector<uint8_t> packet;
    };
    const std::vector<Case> cases = {
        {"data before the link is up", false, 1, LanLinks::dataChannel, Msg::encodeData(std::vector<uint8_t>(12, 1))},
        {"data on an opening invitation", true, 1, LanLinks::dataChannel, Msg::encodeData(std::vector<uint8_t>(12, 1))},
        {"accept on their link", false, 1, LanLinks::controlChannel, control(Msg::Type::accept, kAlpha)},
        {"decline on their link", false, 1, LanLinks::controlChannel, control(Msg::Type::decline, kAlpha)},
        {"invite on our link", true, 1, LanLinks::controlChannel, control(Msg::Type::invite, kAlpha)},
        {"control on the data channel", false, 1, LanLinks::dataChannel, control(Msg::Type::invite, kAlpha)},
        {"data on the control channel", false, 1, LanLinks::controlChannel, Msg::encodeData(std::vector<uint8_t>(12, 1))},
        {"unknown channel", false, 1, 7, control(Msg::Type::invite, kAlpha)},
        {"unknown link", false, 99, LanLinks::controlChannel, control(Msg::Type::invite, kAlpha)},
        {"garbage", false, 1, LanLinks::controlChannel, {0x4C, 0x4E, 0x57, 0x4D, 1, 200}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Recorder host;
        LanLinks links(kSelf, host);
        if (c.outgoing) links.inviting(1, kAlpha, {}, 10);
        links.connected(1, 0);
        host.take();
        links.received(c.link, c.channel, c.packet);
        EXPECT_TRUE(host.take().empty());
        EXPECT_TRUE(host.connected.empty());
    }

    // A peer claiming our own id is declined.
    Recorder host;
    LanLinks links(kSelf, host);
    links.connected(1, 0);
    links.received(1, LanLinks::controlChannel, control(Msg::Type::invite, kSelf));
    EXPECT_EQ(host.take(), (Log{"send decline 1", "close 1 later"}));
}

TEST(LanLinks, CrossedInvitationsKeepOneLink) {
    // Each side invited the other at once: the invitation of the smaller id stands.
    for (const bool theirsStands : {true, false}) {
        SCOPED_TRACE(theirsStands);
        Recorder host;
        const PeerInfo other = theirsStands ? kAlpha : kCharlie;  // "a0" < "b0" < "c0"
        LanLinks links(kSelf, host);
        links.inviting(1, other, {}, 10);
        links.connected(1, 0);
        links.connected(2, 0);
        host.take();
        links.received(2, LanLinks::controlChannel, control(Msg::Type::invite, other));
        if (theirsStands) {
            EXPECT_EQ(host.take(), (Log{"close 1 now", "invited by Alpha ctx 0"}));
        } else {
            EXPECT_EQ(host.take(), (Log{"send decline 2", "close 2 later"}));
        }
        // Whichever stands, accepting it gives exactly one connected link.
        if (theirsStands) links.answer(2, host.invitations.at(0).token, true);
        else links.received(1, LanLinks::controlChannel, control(Msg::Type::accept, other));
        EXPECT_EQ(links.connectedPeers().size(), 1u);
        // A further invitation from a peer already linked is declined.
        links.connected(3, 1);
        links.received(3, LanLinks::controlChannel, control(Msg::Type::invite, other));
        EXPECT_EQ(host.take().back(), "close 3 later");
        EXPECT_EQ(links.connectedPeers().size(), 1u);
    }
}

TEST(LanLinks, LeavingAndExpiry) {
    Recorder host;
    LanLinks links(kSelf, host);
    links.connected(1, 0);
    links.received(1, LanLinks::controlChannel, control(Msg::Type::invite, kAlpha));
    links.connected(2, 0);
    links.received(2, LanLinks::controlChannel, control(Msg::Type::invite, kCharlie));
    links.answer(2, host.invitations.at(1).token, true);
    ASSERT_EQ(host.connected, std::vector<PeerInfo>{kCharlie});
    host.take();

    // After leaving, nothing more is reported: not a late answer, data, nor the links' end.
    links.leaveAll();
    EXPECT_EQ(host.take(), (Log{"close 1 gracefully", "close 2 gracefully"}));
    EXPECT_TRUE(host.connected.empty());
    links.answer(1, host.invitations.at(0).token, true);
    links.received(2, LanLinks::dataChannel, Msg::encodeData(std::vector<uint8_t>(12, 1)));
    links.disconnected(1);
    links.disconnected(2);
    EXPECT_TRUE(host.take().empty());

    // An invitation of ours that never connects is reported; a silent caller is dropped.
    links.inviting(3, kAlpha, {}, 10);
    links.connected(4, 1);
    host.take();
    links.expire(5.9);
    EXPECT_TRUE(host.take().empty());
    links.expire(6.0);
    EXPECT_EQ(host.take(), (Log{"close 4 now"}));
    links.expire(10.0);
    EXPECT_EQ(host.take(), (Log{"close 3 now", "Alpha notConnected"}));
    EXPECT_FALSE(links.linked(kAlpha.id));
}
