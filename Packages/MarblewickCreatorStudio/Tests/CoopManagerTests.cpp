#include <gtest/gtest.h>

#include "MarblewickCreatorStudio/VelLiveMultipeerCoopManagerV1170.h"
#include "PlatformKit/Net/InProcessHub.h"
#include "RecordingVoiceEngine.h"

using namespace creator;
using Manager = VelLiveMultipeerCoopManagerV1170;

namespace {
class CoopManagerTest : public ::testing::Test {
protected:
    struct Player {
        std::shared_ptr<RecordingVoiceEngine> voice = std::make_shared<RecordingVoiceEngine>();
        std::unique_ptr<Manager> manager;
    };

    Player& addPlayer(const std::string& host, std::optional<std::string> gameCenterName = std::nullopt) {
        auto p = std::make_unique<Player>();
        Manager::Environment env;
        env.transport = hub;
        env.clock = clock;
        env.queue = &queue;
        env.voiceEngine = p->voice;
        env.gameCenterPlayerName = std::move(gameCenterName);
        env.hostName = host;
        p->manager = std::make_unique<Manager>(std::move(env));
        players.push_back(std::move(p));
        return *players.back();
    }

    // Runs the hub and the main queue until both are quiet.
    void settle() {
        for (int i = 0; i < 100; ++i)
            if (hub->pump() + queue.drain() == 0) return;
        FAIL() << "never settled";
    }

    std::shared_ptr<pk::ManualClock> clock = std::make_shared<pk::ManualClock>(1000.0);
    pk::MainQueue queue{clock};
    std::shared_ptr<pk::net::InProcessHub> hub = pk::net::InProcessHub::make(clock);
    std::vector<std::unique_ptr<Player>> players;
};

std::vector<std::string> ids(const std::vector<VelRemoteCoopAvatarV1170>& avatars) {
    std::vector<std::string> out;
    for (const auto& a : avatars) out.push_back(a.id);
    return out;
}
}  // namespace

TEST_F(CoopManagerTest, RoomCodeAndStatusTexts) {
    auto& a = *addPlayer("").manager;
    EXPECT_EQ(a.peerDisplayName(), "Marblewick-Mac");
    EXPECT_EQ(Manager::displayNameForHost("an-extremely-long-host-name.local"), "an-extremely-long-ho");
    EXPECT_EQ(*a.statusText, "Offline · Ready for LAN / Wi-Fi 4P Convoy");

    // A browser of our own sees what is advertised.
    auto probe = hub->makeSession("probe");
    std::optional<pk::net::DiscoveryInfo> seen;
    pk::net::SessionEvents e;
    e.peerFound = [&](const pk::net::PeerInfo&, const std::optional<pk::net::DiscoveryInfo>& info) { seen = info; };
    probe->setEvents(e);
    probe->startBrowsing(Manager::serviceType);

    a.startCoopLobby("nyc-5ave");
    settle();
    EXPECT_EQ(*a.roomCode, "NYC-5AVE");
    ASSERT_TRUE(seen);
    EXPECT_EQ(seen->at("room"), "NYC-5AVE");
    EXPECT_TRUE(*a.isSessionActive);
    EXPECT_EQ(*a.statusText, "Broadcasting Room NYC-5AVE · Searching Mac & iPad Squadmates…");
    a.startCoopLobby("");
    EXPECT_EQ(*a.roomCode, "NYC-5AVE");
    a.startCoopLobby(std::nullopt);
    EXPECT_EQ(*a.roomCode, "NYC-5AVE");

    a.setVoiceMicEnabled(false);
    EXPECT_EQ(*a.statusText, "Room NYC-5AVE Active · Mic Muted");
    a.stopCoopLobby();
    EXPECT_EQ(*a.statusText, "Offline · Ready for LAN / Wi-Fi 4P Convoy");
    EXPECT_FALSE(*a.isSessionActive);
    a.setVoiceMicEnabled(false);
    EXPECT_EQ(*a.statusText, "Offline");
}

TEST_F(CoopManagerTest, MicrophoneWhileOfflineOpensTheLobby) {
    auto& p = addPlayer("Host-A");
    p.manager->setVoiceMicEnabled(true);
    EXPECT_TRUE(*p.manager->isSessionActive);
    EXPECT_TRUE(*p.manager->isVoiceMicEnabled);
    EXPECT_TRUE(p.voice->running);
    EXPECT_EQ(*p.manager->statusText, "3D Proximity Voice LIVE · Room NYC-6AVE (0 peers)");
    p.manager->stopCoopLobby();
    EXPECT_FALSE(*p.manager->isVoiceMicEnabled);
    EXPECT_FALSE(p.voice->running);
}

TEST_F(CoopManagerTest, InvitationsUpToFourPlayers) {
    auto& a = *addPlayer("Host-A").manager;
    a.startCoopLobby(std::nullopt);
    settle();
    EXPECT_TRUE(a.connectedPeerNames->empty());

    auto& b = *addPlayer("Host-B").manager;
    b.startCoopLobby(std::nullopt);
    settle();
    EXPECT_EQ(*a.connectedPeerNames, std::vector<std::string>{"Host-B"});
    EXPECT_EQ(*a.statusText, "CONNECTED: Host-B · 3D Proximity Active!");

    auto& elsewhere = *addPlayer("Host-X").manager;
    elsewhere.startCoopLobby("OTHER-RM");
    settle();
    EXPECT_TRUE(elsewhere.connectedPeerNames->empty());

    // A peer without discovery info counts as our own room.
    auto bare = hub->makeSession("Bare");
    pk::net::SessionEvents e;
    e.invitation = [](const pk::net::PeerInfo&, const std::vector<uint8_t>&, std::function<void(bool)> respond) { respond(true); };
    bare->setEvents(e);
    bare->startAdvertising(Manager::serviceType, std::nullopt);
    settle();
    EXPECT_EQ(a.connectedPeerNames->size(), 2u);

    auto& c = *addPlayer("Host-C").manager;
    c.startCoopLobby(std::nullopt);
    settle();
    EXPECT_EQ(a.connectedPeerNames->size(), 3u);

    // A fifth player is neither invited nor let in.
    auto& d = *addPlayer("Host-D").manager;
    d.startCoopLobby(std::nullopt);
    settle();
    EXPECT_EQ(a.connectedPeerNames->size(), 3u);
    for (const auto& n : *a.connectedPeerNames) EXPECT_NE(n, "Host-D");
    EXPECT_LE(d.connectedPeerNames->size(), 2u);
    (void)b;
}

TEST_F(CoopManagerTest, SameDisplayNameDoesNotMergePeers) {
    auto& a = *addPlayer("Twin").manager;
    auto& b = *addPlayer("Twin").manager;
    auto& c = *addPlayer("Host-C").manager;
    a.startCoopLobby(std::nullopt);
    b.startCoopLobby(std::nullopt);
    c.startCoopLobby(std::nullopt);
    settle();
    EXPECT_EQ(c.connectedPeerNames->size(), 2u);
    EXPECT_EQ(a.connectedPeerNames->size(), 2u);
}

TEST_F(CoopManagerTest, StateBroadcastThrottleAndAvatars) {
    auto& a = addPlayer("Host-A", std::string("WREN-7"));
    auto& b = addPlayer("Host-B");
    b.manager->startCoopLobby(std::nullopt);
    b.manager->toggleSoloConvoyBotPreview();
    a.manager->startCoopLobby(std::nullopt);
    settle();
    ASSERT_EQ(a.manager->connectedPeerNames->size(), 1u);

    a.manager->broadcastLocalState({1, 0, -3}, 0.0f, true, false, 2);
    clock->advance(0.03);
    a.manager->broadcastLocalState({9, 0, -9}, 1.5f, false, true, -1);  // too soon: not sent
    EXPECT_NEAR(a.manager->listenerPosition().x, 9.0f, 0);
    EXPECT_NEAR(a.manager->listenerRight().x, std::cos(1.5f), 1e-6f);
    EXPECT_NEAR(a.manager->listenerRight().z, -std::sin(1.5f), 1e-6f);
    settle();
    EXPECT_EQ(hub->datagramsSent(), 1u);
    ASSERT_EQ(ids(*b.manager->remoteAvatars), (std::vector<std::string>{"convoy_sim_gunner", "convoy_sim_hauler", "Host-A"}));
    const auto& first = b.manager->remoteAvatars->back();
    EXPECT_EQ(first.callsign, "WREN-7");
    EXPECT_EQ(first.worldPos, pk::float3(1, 0, -3));
    EXPECT_EQ(first.voiceRMS, 0.0f);  // microphone off
    EXPECT_TRUE(first.carryingWendmoorCore);
    EXPECT_EQ(first.inWarthogSeat, 2);

    clock->advance(0.03);
    a.manager->setVoiceMicEnabled(true);
    a.manager->broadcastLocalState({4, 0, -4}, 0.5f, false, true, -1);
    settle();
    ASSERT_EQ(b.manager->remoteAvatars->size(), 3u);
    const auto& updated = (*b.manager->remoteAvatars)[2];  // in place
    EXPECT_EQ(updated.worldPos, pk::float3(4, 0, -4));
    EXPECT_EQ(updated.voiceRMS, 0.35f);
    EXPECT_TRUE(updated.isIndoorsMercy);

    // Bots go without disturbing the others; toggling twice leaves the list as it was.
    b.manager->toggleSoloConvoyBotPreview();
    EXPECT_EQ(ids(*b.manager->remoteAvatars), std::vector<std::string>{"Host-A"});
    const auto before = *b.manager->remoteAvatars;
    b.manager->toggleSoloConvoyBotPreview();
    b.manager->toggleSoloConvoyBotPreview();
    EXPECT_EQ(*b.manager->remoteAvatars, before);
    b.manager->toggleSoloConvoyBotPreview();
    EXPECT_EQ(ids(*b.manager->remoteAvatars), (std::vector<std::string>{"Host-A", "convoy_sim_gunner", "convoy_sim_hauler"}));

    // The peer leaves: its avatar goes, the bots stay.
    a.manager->stopCoopLobby();
    settle();
    EXPECT_EQ(ids(*b.manager->remoteAvatars), (std::vector<std::string>{"convoy_sim_gunner", "convoy_sim_hauler"}));
    EXPECT_TRUE(b.manager->connectedPeerNames->empty());
    EXPECT_EQ(*b.manager->statusText, "Broadcasting Room NYC-6AVE · Waiting for Squadmates…");
}

TEST_F(CoopManagerTest, ReceiveDispatchAndVoiceRelay) {
    auto& a = addPlayer("Host-A");
    auto& b = addPlayer("Host-B");
    a.manager->startCoopLobby(std::nullopt);
    b.manager->startCoopLobby(std::nullopt);
    settle();
    b.manager->broadcastLocalState({0, 1.7f, -14}, 0, false, true, -1);  // b is indoors

    // Voice from A before any avatar of A exists: default speaker position, outdoors.
    a.voice->deliverEncodedPacket(std::vector<uint8_t>(12, 0x42), 0.5f);  // what the capture thread hands over
    settle();
    ASSERT_EQ(b.voice->ingested.size(), 1u);
    EXPECT_EQ(b.voice->ingested[0].speakerPos, pk::float3(2.5f, 1.7f, -16.5f));
    EXPECT_EQ(b.voice->ingested[0].walls, 2);

    // Raw messages from a plain session: 10 bytes are ignored, 12 go to the voice engine.
    auto raw = hub->makeSession("Host-A");
    pk::net::SessionEvents e;
    e.invitation = [](const pk::net::PeerInfo&, const std::vector<uint8_t>&, std::function<void(bool)> respond) { respond(true); };
    raw->setEvents(e);
    raw->startAdvertising(Manager::serviceType, pk::net::DiscoveryInfo{{"room", "NYC-6AVE"}});
    settle();
    ASSERT_EQ(raw->connectedPeers().size(), 2u);
    raw->sendToAllUnreliable(std::vector<uint8_t>(10, 1));
    settle();
    EXPECT_EQ(b.voice->ingested.size(), 1u);

    // Once A's state says where it is, its voice comes from there.
    clock->advance(1);
    a.manager->broadcastLocalState({6, 0, -20}, 0, false, true, -1);
    settle();
    a.voice->deliverEncodedPacket(std::vector<uint8_t>(12, 0x43), 0.5f);
    settle();
    ASSERT_EQ(b.voice->ingested.size(), 2u);
    EXPECT_EQ(b.voice->ingested[1].speakerPos, pk::float3(6, 0, -20));
    EXPECT_EQ(b.voice->ingested[1].walls, 0);
    EXPECT_EQ(b.voice->ingested[1].packet, std::vector<uint8_t>(12, 0x43));
}
