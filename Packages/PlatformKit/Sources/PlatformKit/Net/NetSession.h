#pragma once
// Local peer-to-peer sessions: advertise with a few key-values, browse for others of the
// same service, invite with a timeout and accept, peer-state events, and unreliable sends
// to every connected peer. Peers are keyed by a unique id; the display name is only shown.
//
// Events arrive on the transport's own thread (or, for the in-process hub, inside
// pump()), and only while the session exists; a caller that keeps state hops to its main
// queue first.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace pk::net {

inline constexpr const char* kErrorDomain = "PlatformKit.Net";

struct PeerInfo {
    std::string id;           // unique per session object, also across equal display names
    std::string displayName;  // what people see
    bool operator==(const PeerInfo&) const = default;
};

enum class PeerState { notConnected, connecting, connected };

using DiscoveryInfo = std::map<std::string, std::string>;

struct SessionEvents {
    // A peer advertising the browsed service appeared (once, until it is lost).
    std::function<void(const PeerInfo& peer, const std::optional<DiscoveryInfo>& info)> peerFound;
    std::function<void(const PeerInfo& peer)> peerLost;
    // Answer with respond(true) to join, respond(false) to decline; any thread, once.
    // respond may be kept: once the session is gone it does nothing.
    std::function<void(const PeerInfo& from, const std::vector<uint8_t>& context, std::function<void(bool)> respond)>
        invitation;
    std::function<void(const PeerInfo& peer, PeerState state)> peerStateChanged;
    std::function<void(const std::vector<uint8_t>& data, const PeerInfo& from)> dataReceived;
};

// One local peer's session with its advertiser and browser. At most one link per pair
// of peers: when two peers invite each other at once, the invitation of the smaller id
// stands and the other is dropped without an event.
class Session {
public:
    virtual ~Session() = default;

    virtual const PeerInfo& localPeer() const = 0;
    // Set before advertising or browsing; not changed afterwards.
    virtual void setEvents(SessionEvents events) = 0;

    virtual void startAdvertising(const std::string& serviceType, const std::optional<DiscoveryInfo>& info) = 0;
    virtual void stopAdvertising() = 0;
    virtual void startBrowsing(const std::string& serviceType) = 0;
    virtual void stopBrowsing() = 0;

    // Invites a found peer; without an answer within timeoutSeconds the peer goes back to
    // notConnected.
    virtual void invite(const std::string& peerId, const std::vector<uint8_t>& context, double timeoutSeconds) = 0;
    virtual std::vector<PeerInfo> connectedPeers() const = 0;
    // Unreliable datagram to every connected peer; false when there is none to send to.
    virtual bool sendToAllUnreliable(std::span<const uint8_t> data) = 0;
    // Leaves every link; the others see this peer as notConnected.
    virtual void disconnect() = 0;
};

// Makes sessions for a local display name.
class Transport {
public:
    virtual ~Transport() = default;
    virtual std::unique_ptr<Session> makeSession(const std::string& displayName) = 0;
};

// A fresh unique peer id (16 hex digits).
std::string makePeerId();

}  // namespace pk::net
