#pragma once
// Sessions on the local network: ENet links (a reliable channel for invitations, an
// unreliable one for state and voice) and discovery by UDP beacons sent to configured
// targets. Events arrive on the session's own network thread.
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "PlatformKit/Net/NetSession.h"

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

}  // namespace pk::net
