#include <gtest/gtest.h>

#include "PlatformKit/Net/DiscoveryBeacon.h"
#include "PlatformKit/Net/InProcessHub.h"
#include "FuzzSeeds.h"

using namespace pk::net;

namespace {
struct Recorder {
    std::vector<std::string> log;
    std::vector<std::pair<std::string, std::vector<uint8_t>>> data;
    std::vector<std::function<void(bool)>> pendingAnswers;
    std::optional<DiscoveryInfo> lastInfo;
    bool autoAccept = true;

    SessionEvents events() {
        SessionEvents e;
        e.peerFound = [this](const PeerInfo& p, const std::optional<DiscoveryInfo>& info) {
            log.push_back("found " + p.displayName);
            lastInfo = info;
        };
        e.peerLost = [this](const PeerInfo& p) { log.push_back("lost " + p.displayName); };
        e.invitation = [this](const PeerInfo& p, const std::vector<uint8_t>&, std::function<void(bool)> respond) {
            log.push_back("invited by " + p.displayName);
            if (autoAccept) respond(true);
            else pendingAnswers.push_back(respond);
        };
        e.peerStateChanged = [this](const PeerInfo& p, PeerState s) {
            static const char* names[] = {"notConnected", "connecting", "connected"};
            log.push_back(p.displayName + " " + names[static_cast<int>(s)]);
        };
        e.dataReceived = [this](const std::vector<uint8_t>& d, const PeerInfo& from) { data.emplace_back(from.id, d); };
        return e;
    }
};
}  // namespace

TEST(InProcessHub, DiscoverInviteSendAndLeave) {
    auto clock = std::make_shared<pk::ManualClock>();
    auto hub = InProcessHub::make(clock);
    Recorder ra, rb;
    auto a = hub->makeSession("Alpha");
    auto b = hub->makeSession("Beta");
    a->setEvents(ra.events());
    b->setEvents(rb.events());
    a->startAdvertising("svc", DiscoveryInfo{{"room", "NYC-6AVE"}});
    b->startBrowsing("svc");
    b->startAdvertising("svc", std::nullopt);
    a->startBrowsing("other");
    hub->pump();
    EXPECT_EQ(rb.log, std::vector<std::string>{"found Alpha"});
    EXPECT_EQ(rb.lastInfo, (DiscoveryInfo{{"room", "NYC-6AVE"}}));
    EXPECT_TRUE(ra.log.empty());  // another service

    EXPECT_FALSE(b->sendToAllUnreliable(std::vector<uint8_t>{1}));
    b->invite(a->localPeer().id, {}, 10);
    hub->pump();
    EXPECT_EQ(ra.log, (std::vector<std::string>{"invited by Beta", "Beta connected"}));
    EXPECT_EQ(rb.log, (std::vector<std::string>{"found Alpha", "Alpha connecting", "Alpha connected"}));
    ASSERT_EQ(a->connectedPeers().size(), 1u);
    EXPECT_EQ(a->connectedPeers()[0], b->localPeer());

    EXPECT_TRUE(a->sendToAllUnreliable(std::vector<uint8_t>{7, 8}));
    hub->pump();
    ASSERT_EQ(rb.data.size(), 1u);
    EXPECT_EQ(rb.data[0].first, a->localPeer().id);
    EXPECT_EQ(rb.data[0].second, (std::vector<uint8_t>{7, 8}));

    a->disconnect();
    hub->pump();
    EXPECT_EQ(rb.log.back(), "Alpha notConnected");
    EXPECT_TRUE(b->connectedPeers().empty());
    a.reset();  // gone entirely: the browser loses it
    hub->pump();
    EXPECT_EQ(rb.log.back(), "lost Alpha");
}

TEST(InProcessHub, InvitationsDeclineTimeoutAndCrossing) {
    auto clock = std::make_shared<pk::ManualClock>();
    auto hub = InProcessHub::make(clock);
    Recorder ra, rb;
    ra.autoAccept = false;
    auto a = hub->makeSession("Same");
    auto b = hub->makeSession("Same");  // equal display names, distinct ids
    ASSERT_NE(a->localPeer().id, b->localPeer().id);
    a->setEvents(ra.events());
    b->setEvents(rb.events());

    b->invite(a->localPeer().id, {}, 10);
    hub->pump();
    ASSERT_EQ(ra.pendingAnswers.size(), 1u);
    ra.pendingAnswers[0](false);
    hub->pump();
    EXPECT_EQ(rb.log.back(), "Same notConnected");

    b->invite(a->localPeer().id, {}, 10);
    hub->pump();
    clock->advance(10.5);
    hub->pump();
    EXPECT_EQ(rb.log.back(), "Same notConnected");
    ra.pendingAnswers.back()(true);  // too late
    hub->pump();
    EXPECT_TRUE(a->connectedPeers().empty());

    // Both invite at once: one link.
    rb.autoAccept = ra.autoAccept = true;
    a->invite(b->localPeer().id, {}, 10);
    b->invite(a->localPeer().id, {}, 10);
    hub->pump();
    EXPECT_EQ(a->connectedPeers().size(), 1u);
    EXPECT_EQ(b->connectedPeers().size(), 1u);
}

TEST(InProcessHub, LossIsDeterministic) {
    auto run = [](uint64_t seed) {
        auto hub = InProcessHub::make(std::make_shared<pk::ManualClock>());
        Recorder ra, rb;
        auto a = hub->makeSession("A");
        auto b = hub->makeSession("B");
        a->setEvents(ra.events());
        b->setEvents(rb.events());
        a->invite(b->localPeer().id, {}, 5);
        hub->pump();
        hub->setLoss(0.3, seed);
        for (uint8_t i = 0; i < 200; ++i) a->sendToAllUnreliable(std::vector<uint8_t>{i});
        hub->pump();
        std::vector<uint8_t> got;
        for (auto& d : rb.data) got.push_back(d.second[0]);
        EXPECT_EQ(hub->datagramsSent(), 200u);
        EXPECT_EQ(hub->datagramsDropped() + got.size(), 200u);
        return got;
    };
    const auto first = run(7);
    EXPECT_EQ(first, run(7));
    EXPECT_GT(first.size(), 100u);
    EXPECT_LT(first.size(), 180u);
}

TEST(DiscoveryBeacon, RoundTripAndBadInput) {
    DiscoveryBeacon b{DiscoveryBeacon::Kind::here, "mw-grimtide-v9", {"0123456789abcdef", "Marblewick-Mac"}, 40123,
                      DiscoveryInfo{{"room", "NYC-6AVE"}}};
    const auto bytes = b.encode();
    EXPECT_EQ(DiscoveryBeacon::decode(bytes), b);
    kstest::writeFuzzSeed("pk_net_DiscoveryBeacon", "here", bytes);
    for (size_t n = 0; n < bytes.size(); ++n) EXPECT_FALSE(DiscoveryBeacon::decode(std::span(bytes).first(n))) << n;
    auto bad = bytes;
    bad[0] ^= 1;
    EXPECT_FALSE(DiscoveryBeacon::decode(bad));
    b.info.reset();
    b.kind = DiscoveryBeacon::Kind::bye;
    EXPECT_EQ(DiscoveryBeacon::decode(b.encode()), b);
    kstest::writeFuzzSeed("pk_net_DiscoveryBeacon", "bye", b.encode());
}
