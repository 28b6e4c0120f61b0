#pragma once
// Sessions on the local network: ENet links (a reliable channel for invitations, an
// unreliable one for state and voice) and discovery by UDP beacons sent to configured
// targets. Events arrive on the session's own network thread, and only while the
// session exists: its destructor stops them (one already running ends first) before it
// frees anything. Whatever throws on that thread (an event handler, memory) closes the
// session: it says goodbye on every link, has no peers and sends nothing any more, and
// tells its owner that each peer it had is notConnected. Every system call is checked: a
// failure while the sockets are set up is thrown with errno's text, one on the network
// thread (a beacon that cannot be sent, a socket that cannot be read) closes the session
// the same way and is kept as its failure().
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "PlatformKit/Foundation/StudioError.h"
#include "PlatformKit/Net/DiscoveryBeacon.h"
#include "PlatformKit/Net/LanLinks.h"
#include "PlatformKit/Net/NetSession.h"

typedef struct _ENetHost ENetHost;
typedef struct _ENetPeer ENetPeer;
typedef struct _ENetEvent ENetEvent;

namespace pk::net {

struct LanConfig {
    // Address the session's sockets bind to; "127.0.0.1" keeps everything on loopback.
    std::string bindAddress = "0.0.0.0";
    uint16_t sessionPort = 0;       // ENet port; 0 = any free port
    uint16_t discoveryPort = 47923;  // where beacons are received; 0 = any free port
    // Where beacons go (host, port); the default reaches the local network.
    std::vector<std::pair<std::string, uint16_t>> beaconTargets = {{"255.255.255.255", 47923}};
    double beaconIntervalSeconds = 0.25;
    double peerLostAfterSeconds = 2.0;
    size_t maxLinks = 8;
};

class LanTransport : public Transport {
public:
    explicit LanTransport(LanConfig config = {}) : config_(std::move(config)) {}
    // Throws StudioError when the sockets cannot be opened.
    std::unique_ptr<Session> makeSession(const std::string& displayName) override;
    const LanConfig& config() const { return config_; }

private:
    LanConfig config_;
};

// The ports a LAN session actually bound (useful when asked for 0).
struct LanPorts {
    uint16_t session = 0;
    uint16_t discovery = 0;
};
LanPorts lanPorts(const Session& session);

namespace detail {
// Tests: the system calls of the LAN sessions, each of which can be made to fail.
enum class LanCall { socket, setsockopt, fcntl, bind, getsockname, sendto, recvfrom };
// From now on every session's `call` fails with `error` (errno), until cleared with nullopt.
void failLanCall(std::optional<std::pair<LanCall, int>> failure);
}  // namespace detail

// One LAN peer: the sockets, the network thread that services them, discovery, and the
// link table it feeds. Destroying it says goodbye on every link and waits (at most
// goodbyeSeconds) for the peers to acknowledge, so that they see the leave at once.
class LanSession final : public Session, private LanLinks::Host {
public:
    static constexpr double goodbyeSeconds = 0.1;

    // Throws StudioError when the sockets cannot be opened or the network thread cannot be
    // started.
    LanSession(const LanConfig& config, const std::string& displayName);
    ~LanSession() override;

    const PeerInfo& localPeer() const override { return self_; }
    LanPorts ports() const { return ports_; }
    void setEvents(SessionEvents events) override;
    void startAdvertising(const std::string& serviceType, const std::optional<DiscoveryInfo>& info) override;
    void stopAdvertising() override;
    void startBrowsing(const std::string& serviceType) override;
    void stopBrowsing() override;
    void invite(const std::string& peerId, const std::vector<uint8_t>& context, double timeoutSeconds) override;
    std::vector<PeerInfo> connectedPeers() const override;
    bool sendToAllUnreliable(std::span<const uint8_t> data) override;
    void disconnect() override;
    // What closed the session on its network thread (a failed system call with errno's
    // text, a throwing handler), or nothing while it runs.
    std::optional<StudioError> failure() const;

private:
    struct Found {
        PeerInfo info;
        uint32_t host = 0;
        uint16_t port = 0;
        double lastSeen = 0;
    };
    struct Answer {
        LinkId link;
        uint64_t token;
        bool accept;
    };
    // Work for the network thread. Answers come from invitation responders that may
    // outlive the session; they hold the inbox weakly and carry only plain values.
    struct Inbox {
        std::mutex mutex;
        std::deque<std::function<void()>> commands;
        std::deque<Answer> answers;
    };

    void post(std::function<void()> command);
    SessionEvents events();
    void run();
    void serve();
    void runInbox();
    void onEvent(const ENetEvent& event);
    void sayGoodbye();
    void sendBeacon(const DiscoveryBeacon& beacon);
    void sendBye();
    void readBeacons(double now);

    // LanLinks::Host, on the network thread.
    void sendControl(LinkId link, const std::vector<uint8_t>& packet) override;
    void close(LinkId link, Close how) override;
    void connectedChanged(const std::vector<PeerInfo>& connected) override;
    void peerStateChanged(const PeerInfo& peer, PeerState state) override;
    void dataReceived(const std::vector<uint8_t>& payload, const PeerInfo& from) override;
    void invitation(const PeerInfo& from, const std::vector<uint8_t>& context, LinkId link, uint64_t token) override;

    // The sockets are released by their owners, so a constructor that throws after opening
    // them leaves nothing open.
    struct HostCloser {
        void operator()(ENetHost* host) const noexcept;
    };
    struct OwnedSocket {
        int fd = -1;
        OwnedSocket() = default;
        OwnedSocket(const OwnedSocket&) = delete;
        OwnedSocket& operator=(const OwnedSocket&) = delete;
        ~OwnedSocket();
    };

    LanConfig config_;
    PeerInfo self_;
    uint32_t bindHost_ = 0;
    std::unique_ptr<ENetHost, HostCloser> host_;
    OwnedSocket beaconSocket_;
    LanPorts ports_;

    // Network thread only.
    std::optional<DiscoveryBeacon> advertised_;
    double nextBeacon_ = 0;
    std::optional<std::string> browsed_;
    std::map<std::string, Found> found_;
    LanLinks links_;

    std::mutex eventsMutex_;
    SessionEvents events_;
    mutable std::mutex connectedMutex_;
    std::vector<PeerInfo> connected_;
    std::optional<StudioError> failure_;
    std::shared_ptr<Inbox> inbox_ = std::make_shared<Inbox>();
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace pk::net
