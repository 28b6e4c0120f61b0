// Two processes on 127.0.0.1 find each other by beacons, link up over ENet, exchange a
// state packet and a voice packet, and part, within a bounded time.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "LoopbackLan.h"
#include "PlatformKit/Foundation/StudioError.h"
#include "RefusedThreadStarts.h"

using namespace pk::net;
using namespace std::chrono;

namespace {
const std::vector<uint8_t> kState = [] {
    std::vector<uint8_t> v(48, 0);
    v[0] = 'P', v[1] = 'C', v[2] = 'W', v[3] = 'M';
    return v;
}();
const std::vector<uint8_t> kVoice = {'C', 'V', 'W', 'M', 1, 0, 0x80, 0x3E, 0, 0, 0, 0};

// The second process: accepts, answers each state packet with a voice packet, and exits
// 0 once the other side has left.
[[noreturn]] void runChild(uint16_t listen, uint16_t target) {
    std::mutex m;
    std::condition_variable cv;
    bool connected = false, parted = false;
    LanTransport transport(loopbackLan(listen, target));
    auto session = transport.makeSession("Squadmate");
    SessionEvents e;
    e.peerFound = [&](const PeerInfo& p, const std::optional<DiscoveryInfo>&) { session->invite(p.id, {}, 5); };
    e.invitation = [](const PeerInfo&, const std::vector<uint8_t>&, std::function<void(bool)> respond) { respond(true); };
    e.peerStateChanged = [&](const PeerInfo&, PeerState s) {
        std::lock_guard lock(m);
        if (s == PeerState::connected) connected = true;
        if (s == PeerState::notConnected && connected) parted = true;
        cv.notify_all();
    };
    e.dataReceived = [&](const std::vector<uint8_t>& d, const PeerInfo&) {
        if (d == kState) session->sendToAllUnreliable(kVoice);
    };
    session->setEvents(e);
    session->startAdvertising("mw-grimtide-v9", DiscoveryInfo{{"room", "NYC-6AVE"}});
    session->startBrowsing("mw-grimtide-v9");
    std::unique_lock lock(m);
    const bool ok = cv.wait_for(lock, seconds(20), [&] { return parted; });
    lock.unlock();
    session.reset();
    _exit(ok ? 0 : 3);
}
}  // namespace

TEST(LanSession, TwoProcessesOnLoopback) {
    const uint16_t parentPort = freeUdpPort(), childPort = freeUdpPort();
    ASSERT_NE(parentPort, childPort);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) runChild(childPort, parentPort);

    std::mutex m;
    std::condition_variable cv;
    std::optional<PeerInfo> found, connectedPeer;
    std::optional<std::string> foundRoom;
    bool gotVoice = false, voiceFromPeer = false;
    LanTransport transport(loopbackLan(parentPort, childPort));
    auto session = transport.makeSession("Squadmate");  // the same display name on purpose
    SessionEvents e;
    e.peerFound = [&](const PeerInfo& p, const std::optional<DiscoveryInfo>& info) {
        std::lock_guard lock(m);
        found = p;
        if (info && info->count("room")) foundRoom = info->at("room");
        cv.notify_all();
        session->invite(p.id, {}, 5);
    };
    e.invitation = [](const PeerInfo&, const std::vector<uint8_t>&, std::function<void(bool)> respond) { respond(true); };
    e.peerStateChanged = [&](const PeerInfo& p, PeerState s) {
        std::lock_guard lock(m);
        if (s == PeerState::connected) connectedPeer = p;
        cv.notify_all();
    };
    e.dataReceived = [&](const std::vector<uint8_t>& d, const PeerInfo& from) {
        std::lock_guard lock(m);
        if (d == kVoice) {
            gotVoice = true;
            voiceFromPeer = connectedPeer && from.id == connectedPeer->id;
        }
        cv.notify_all();
    };
    session->setEvents(e);
    session->startAdvertising("mw-grimtide-v9", DiscoveryInfo{{"room", "NYC-6AVE"}});
    session->startBrowsing("mw-grimtide-v9");

    {
        std::unique_lock lock(m);
        // Either side may invite first: the link can come up before this side has heard the
        // other's beacon, so wait for both.
        ASSERT_TRUE(cv.wait_for(lock, seconds(10), [&] { return connectedPeer.has_value(); })) << "no link";
        ASSERT_TRUE(cv.wait_for(lock, seconds(10), [&] { return found.has_value(); })) << "no beacon";
        EXPECT_EQ(found->displayName, "Squadmate");
        EXPECT_NE(found->id, session->localPeer().id);
        EXPECT_EQ(foundRoom, "NYC-6AVE");
    }
    EXPECT_EQ(session->connectedPeers().size(), 1u);
    for (int i = 0; i < 100; ++i) {
        session->sendToAllUnreliable(kState);
        std::unique_lock lock(m);
        if (cv.wait_for(lock, milliseconds(50), [&] { return gotVoice; })) break;
    }
    {
        std::lock_guard lock(m);
        EXPECT_TRUE(gotVoice);
        EXPECT_TRUE(voiceFromPeer);
    }
    session->disconnect();

    int status = -1;
    const auto deadline = steady_clock::now() + seconds(15);
    while (steady_clock::now() < deadline) {
        if (waitpid(child, &status, WNOHANG) == child) break;
        std::this_thread::sleep_for(milliseconds(20));
    }
    if (!WIFEXITED(status)) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
        FAIL() << "the other process did not see the disconnect in time";
    }
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_TRUE(session->connectedPeers().empty());
}

TEST(LanSession, ANetworkThreadThatCannotStartFailsTheSessionAndLeavesNoSocketOpen) {
    const auto openFiles = [] {
        namespace fs = std::filesystem;
        return std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator());
    };
    LanTransport t(loopbackLan(freeUdpPort(), freeUdpPort()));
    const auto before = openFiles();
    {
        pk::test::RefusedThreadStarts refused;
        try {
            t.makeSession("Nobody");
            ADD_FAILURE() << "a session without its network thread";
        } catch (const pk::StudioError& e) {
            EXPECT_EQ(e.code, EAGAIN) << e.description;
        }
    }
    EXPECT_EQ(openFiles(), before);
    EXPECT_NE(t.makeSession("Somebody"), nullptr);
}

TEST(LanSession, AnAnswerKeptPastItsSessionDoesNothing) {
    const uint16_t portA = freeUdpPort(), portB = freeUdpPort();
    std::mutex m;
    std::condition_variable cv;
    std::function<void(bool)> kept;
    std::optional<PeerState> inviterState;

    LanTransport ta(loopbackLan(portA, portB)), tb(loopbackLan(portB, portA));
    auto a = ta.makeSession("Invitee");
    auto b = tb.makeSession("Inviter");
    SessionEvents ea;
    ea.invitation = [&](const PeerInfo&, const std::vector<uint8_t>&, std::function<void(bool)> respond) {
        std::lock_guard lock(m);
        kept = respond;
        cv.notify_all();
    };
    a->setEvents(ea);
    SessionEvents eb;
    eb.peerFound = [&](const PeerInfo& p, const std::optional<DiscoveryInfo>&) { b->invite(p.id, {}, 30); };
    eb.peerStateChanged = [&](const PeerInfo&, PeerState s) {
        std::lock_guard lock(m);
        inviterState = s;
        cv.notify_all();
    };
    b->setEvents(eb);
    a->startAdvertising("mw-grimtide-v9", std::nullopt);
    b->startBrowsing("mw-grimtide-v9");
    {
        std::unique_lock lock(m);
        ASSERT_TRUE(cv.wait_for(lock, seconds(20), [&] { return kept != nullptr; }));
    }
    a.reset();
    kept(true);  // the session it would answer for is gone
    // The inviter hears the goodbye long before its 30 s invitation would run out.
    std::unique_lock lock(m);
    EXPECT_TRUE(cv.wait_for(lock, seconds(10), [&] { return inviterState == PeerState::notConnected; }));
    EXPECT_TRUE(b->connectedPeers().empty());
}

TEST(LanSession, AnEventHandlerThatThrowsClosesTheSessionAndBothSidesHearIt) {
    const uint16_t portA = freeUdpPort(), portB = freeUdpPort();
    std::mutex m;
    std::condition_variable cv;
    std::optional<PeerState> aHears, bHears;

    LanTransport ta(loopbackLan(portA, portB)), tb(loopbackLan(portB, portA));
    auto a = ta.makeSession("Sender");
    auto b = tb.makeSession("Thrower");
    SessionEvents ea;
    ea.peerFound = [&](const PeerInfo& p, const std::optional<DiscoveryInfo>&) { a->invite(p.id, {}, 10); };
    ea.peerStateChanged = [&](const PeerInfo&, PeerState s) {
        std::lock_guard lock(m);
        aHears = s;
        cv.notify_all();
    };
    a->setEvents(ea);
    SessionEvents eb;
    eb.invitation = [](const PeerInfo&, const std::vector<uint8_t>&, std::function<void(bool)> respond) { respond(true); };
    eb.peerStateChanged = [&](const PeerInfo&, PeerState s) {
        std::lock_guard lock(m);
        bHears = s;
        cv.notify_all();
    };
    eb.dataReceived = [](const std::vector<uint8_t>&, const PeerInfo&) { throw std::runtime_error("the lobby is gone"); };
    b->setEvents(eb);
    b->startAdvertising("mw-grimtide-v9", std::nullopt);
    a->startBrowsing("mw-grimtide-v9");
    {
        std::unique_lock lock(m);
        ASSERT_TRUE(cv.wait_for(lock, seconds(20), [&] { return aHears == PeerState::connected && bHears == PeerState::connected; }));
    }
    for (int i = 0; i < 200 && !b->connectedPeers().empty(); ++i) {
        a->sendToAllUnreliable(kState);
        std::this_thread::sleep_for(milliseconds(10));
    }
    std::unique_lock lock(m);
    EXPECT_TRUE(cv.wait_for(lock, seconds(10), [&] { return bHears == PeerState::notConnected; }))
        << "the thrower's owner hears its peer go";
    EXPECT_TRUE(cv.wait_for(lock, seconds(10), [&] { return aHears == PeerState::notConnected; }))
        << "the other side hears the goodbye";
    EXPECT_TRUE(b->connectedPeers().empty());
    EXPECT_FALSE(b->sendToAllUnreliable(kState));
}

TEST(LanSession, EverySystemCallThatFailsReachesTheErrorPathWithErrnosText) {
    using detail::LanCall;
    struct Reset {
        ~Reset() { detail::failLanCall(std::nullopt); }
    } reset;
    const std::string eio = std::strerror(EIO);
    // While the sockets are set up: the session is not made, and says why.
    for (LanCall call : {LanCall::socket, LanCall::setsockopt, LanCall::fcntl, LanCall::bind, LanCall::getsockname}) {
        SCOPED_TRACE(int(call));
        detail::failLanCall(std::pair{call, EIO});
        LanTransport t(loopbackLan(freeUdpPort(), freeUdpPort()));
        try {
            t.makeSession("Nobody");
            ADD_FAILURE() << "a session despite the failed call";
        } catch (const pk::StudioError& e) {
            EXPECT_EQ(e.domain, "POSIX");
            EXPECT_EQ(e.code, EIO);
            EXPECT_NE(e.description.find(eio), std::string::npos) << e.description;
        }
    }
    // On the network thread: the session closes and keeps the failure.
    for (LanCall call : {LanCall::sendto, LanCall::recvfrom}) {
        SCOPED_TRACE(int(call));
        detail::failLanCall(std::nullopt);
        LanTransport t(loopbackLan(freeUdpPort(), freeUdpPort()));
        auto session = t.makeSession("Beacon");
        auto* lan = dynamic_cast<LanSession*>(session.get());
        ASSERT_NE(lan, nullptr);
        EXPECT_FALSE(lan->failure().has_value());
        detail::failLanCall(std::pair{call, EIO});
        session->startAdvertising("mw-grimtide-v9", std::nullopt);
        const auto deadline = steady_clock::now() + seconds(30);
        while (!lan->failure() && steady_clock::now() < deadline) std::this_thread::sleep_for(milliseconds(5));
        const auto failure = lan->failure();
        ASSERT_TRUE(failure.has_value());
        EXPECT_EQ(failure->code, EIO);
        EXPECT_NE(failure->description.find(eio), std::string::npos) << failure->description;
        EXPECT_FALSE(session->sendToAllUnreliable(kState));
    }
}
