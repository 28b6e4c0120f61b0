#pragma once
// LAN sessions on 127.0.0.1 for tests of every package: a free port to receive beacons on,
// and a configuration that beacons quickly to one other port.
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>

#include "PlatformKit/Net/LanSession.h"

inline uint16_t freeUdpPort() {
    const int s = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(s, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    socklen_t len = sizeof sa;
    getsockname(s, reinterpret_cast<sockaddr*>(&sa), &len);
    ::close(s);
    return ntohs(sa.sin_port);
}

inline pk::net::LanConfig loopbackLan(uint16_t listen, uint16_t target) {
    pk::net::LanConfig c;
    c.bindAddress = "127.0.0.1";
    c.discoveryPort = listen;
    c.beaconTargets = {{"127.0.0.1", target}};
    c.beaconIntervalSeconds = 0.05;
    return c;
}
