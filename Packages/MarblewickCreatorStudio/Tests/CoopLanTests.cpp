// Two co-op managers over real LAN sessions on 127.0.0.1: state and voice both ways, a
// lobby stopped while an invitation waits on its main queue, a clean leave and a killed
// peer. Every wait is on a condition with a generous deadline.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>

#include "MarblewickCreatorStudio/VelLiveMultipeerCoopManagerV1170.h"
#include "LoopbackLan.h"
#include "RecordingVoiceEngine.h"

using namespace creator;
using Manager = VelLiveMultipeerCoopManagerV1170;
using Clock = std::chrono::steady_clock;

namespace {

// One player with its own main queue, so a test can leave one side's queue undrained.
struct LanPlayer {
    LanPlayer(const std::string& host, uint16_t listen, uint16_t target) {
        Manager::Environment env;
        env.transport = std::make_shared<pk::net::LanTransport>(loopbackLan(listen, target));
        env.queue = &queue;
        env.voiceEngine = voice;
        env.hostName = host;
        manager = std::make_unique<Manager>(std::move(env));
    }
    const VelRemoteCoopAvatarV1170* avatar(const std::string& id) const {
        for (const auto& a : *manager->remoteAvatars)
            if (a.id == id) return &a;
        return nullptr;
    }

    pk::MainQueue queue;
    std::shared_ptr<RecordingVoiceEngine> voice = std::make_shared<RecordingVoiceEngine>();
    std::unique_ptr<Manager> manager;
    pk::float3 position{0.0f};
    bool drained = true;   // its main loop runs
    bool playing = false;  // its game broadcasts state every frame
};

// Runs the players' main loops until pred holds; false when the deadline passes first.
bool runUntil(std::vector<LanPlayer*> players, const std::function<bool()>& pred, double seconds = 20) {
    const auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
    while (!pred()) {
        if (Clock::now() >= deadline) return false;
        for (auto* p : players) {
            if (p->playing) p->manager->broadcastLocalState(p->position, 0, false, false, -1);
            if (p->drained) p->queue.waitAndDrain(0.002);
        }
    }
    return true;
}

std::vector<uint8_t> voicePacket(uint8_t fill) { return std::vector<uint8_t>(16, fill); }

bool heard(const LanPlayer& p, const std::vector<uint8_t>& packet) {
    for (const auto& i : p.voice->ingested)
        if (i.packet == packet) return true;
    return false;
}

class CoopLanTest : public ::testing::Test {
protected:
    const uint16_t portA = freeUdpPort(), portB = freeUdpPort();
};

}  // namespace

TEST_F(CoopLanTest, StateAndVoiceBothWays) {
    ASSERT_NE(portA, portB);
    LanPlayer a("Host-A", portA, portB), b("Host-B", portB, portA);
    a.position = {1, 0, -3};
    b.position = {-4, 0, -7};
    a.manager->startCoopLobby(std::nullopt);
    b.manager->startCoopLobby(std::nullopt);
    ASSERT_TRUE(runUntil({&a, &b}, [&] { return a.manager->connectedPeerNames->size() == 1 && b.manager->connectedPeerNames->size() == 1; }));
    EXPECT_EQ(*a.manager->connectedPeerNames, std::vector<std::string>{"Host-B"});
    EXPECT_EQ(*b.manager->statusText, "CONNECTED: Host-A · 3D Proximity Active!");

    a.playing = b.playing = true;
    ASSERT_TRUE(runUntil({&a, &b}, [&] { return a.avatar("Host-B") && b.avatar("Host-A"); }));
    EXPECT_EQ(a.avatar("Host-B")->worldPos, b.position);
    EXPECT_EQ(b.avatar("Host-A")->worldPos, a.position);

    // Voice is unreliable: the capture side keeps talking until the other hears it.
    for (auto [from, to] : {std::pair{&a, &b}, std::pair{&b, &a}}) {
        const auto packet = voicePacket(from == &a ? 0xA1 : 0xB2);
        ASSERT_TRUE(runUntil({&a, &b}, [&] {
            from->voice->deliverEncodedPacket(packet, 0.5f);
            return heard(*to, packet);
        }));
        for (const auto& i : to->voice->ingested) {
            if (i.packet == packet) {
                EXPECT_EQ(i.speakerPos, from->position);
            }
        }
    }
}

TEST_F(CoopLanTest, StoppingWithAnInvitationOnTheMainQueue) {
    LanPlayer a("Host-A", portA, portB), b("Host-B", portB, portA);
    a.drained = false;  // A's main loop is busy: B's invitation waits on A's queue
    a.manager->startCoopLobby(std::nullopt);
    b.manager->startCoopLobby(std::nullopt);
    // A's queue holds "found B" and "invited by B".
    ASSERT_TRUE(runUntil({&a, &b}, [&] { return a.queue.pendingCount() >= 2; }));
    a.manager->stopCoopLobby();
    a.queue.drain();  // the invitation runs after its session is gone
    EXPECT_FALSE(*a.manager->isSessionActive);
    EXPECT_TRUE(a.manager->connectedPeerNames->empty());

    // The lobby opens again and the two meet as usual.
    a.drained = true;
    a.manager->startCoopLobby(std::nullopt);
    EXPECT_TRUE(runUntil({&a, &b}, [&] { return a.manager->connectedPeerNames->size() == 1 && b.manager->connectedPeerNames->size() == 1; }));
}

TEST_F(CoopLanTest, ALeaveIsSeenAtOnce) {
    LanPlayer a("Host-A", portA, portB), b("Host-B", portB, portA);
    a.playing = b.playing = true;
    a.manager->startCoopLobby(std::nullopt);
    b.manager->startCoopLobby(std::nullopt);
    b.manager->toggleSoloConvoyBotPreview();
    ASSERT_TRUE(runUntil({&a, &b}, [&] { return b.avatar("Host-A") != nullptr; }));

    a.playing = false;
    const auto left = Clock::now();
    a.manager->stopCoopLobby();
    // Far below ENet's own timeout (5 s and more): only a goodbye that arrived is this quick.
    ASSERT_TRUE(runUntil({&b}, [&] { return b.avatar("Host-A") == nullptr; }, 1.0));
    const double seconds = std::chrono::duration<double>(Clock::now() - left).count();
    RecordProperty("leave_seen_ms", std::to_string(static_cast<int>(seconds * 1000)));
    EXPECT_TRUE(b.manager->connectedPeerNames->empty());
    EXPECT_EQ(b.manager->remoteAvatars->size(), 2u) << "the bots stay";
    EXPECT_EQ(*b.manager->statusText, "Broadcasting Room NYC-6AVE · Waiting for Squadmates…");
}

TEST_F(CoopLanTest, AKilledPeerGoesAfterTheTimeout) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The other player: plays until it is killed (or gives up after a while).
        LanPlayer other("Host-K", portB, portA);
        other.playing = true;
        other.position = {2, 0, -2};
        other.manager->startCoopLobby(std::nullopt);
        runUntil({&other}, [] { return false; }, 60);
        _exit(0);
    }
    LanPlayer a("Host-A", portA, portB);
    a.manager->startCoopLobby(std::nullopt);
    const bool joined = runUntil({&a}, [&] { return a.avatar("Host-K") != nullptr; });
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    ASSERT_TRUE(joined);

    const auto killed = Clock::now();
    ASSERT_TRUE(runUntil({&a}, [&] { return a.avatar("Host-K") == nullptr; }, 40));
    const double seconds = std::chrono::duration<double>(Clock::now() - killed).count();
    RecordProperty("killed_peer_gone_ms", std::to_string(static_cast<int>(seconds * 1000)));
    EXPECT_TRUE(a.manager->connectedPeerNames->empty());
}
