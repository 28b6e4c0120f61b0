#include "PlatformKit/Net/LanSession.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <memory>
#include <system_error>

#include <enet/enet.h>

#include "PlatformKit/Foundation/DebugLog.h"
#include "PlatformKit/Foundation/JobGuard.h"
#include "PlatformKit/Foundation/StudioError.h"
#include "PlatformKit/Net/LanLinkMessage.h"

namespace pk::net {

namespace {

double monotonic() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void ensureEnet() {
    static const bool ok = enet_initialize() == 0;
    if (!ok) throw StudioError(kErrorDomain, 1, "ENet could not be initialised.");
}

// The failing call a test asked for: (call + 1) << 32 | errno, 0 for none.
std::atomic<uint64_t> gFailing{0};

// True (with errno set) when a test makes `call` fail.
bool failsForTest(detail::LanCall call) {
    const uint64_t f = gFailing.load(std::memory_order_relaxed);
    if (f == 0 || (f >> 32) != uint64_t(call) + 1) return false;
    errno = int(f & 0xFFFFFFFF);
    return true;
}

// Runs a system call that reports failure as a negative result; throws with errno's text.
template <class Call>
auto checked(detail::LanCall which, const std::string& what, Call&& call) {
    if (failsForTest(which)) throwErrno(errno, what);
    const auto r = call();
    if (r < 0) throwErrno(errno, what);
    return r;
}

// A beacon that the network has no room for just now goes with the next one.
bool transientSendError(int err) { return err == EAGAIN || err == EWOULDBLOCK || err == EINTR || err == ENOBUFS; }

LinkId linkOf(ENetPeer* peer) { return reinterpret_cast<uintptr_t>(peer); }
ENetPeer* peerOf(LinkId link) { return reinterpret_cast<ENetPeer*>(static_cast<uintptr_t>(link)); }

void sendPacket(ENetPeer* peer, uint8_t channel, std::span<const uint8_t> bytes, uint32_t flags) {
    ENetPacket* p = enet_packet_create(bytes.data(), bytes.size(), flags);
    if (p && enet_peer_send(peer, channel, p) != 0) enet_packet_destroy(p);
}

}  // namespace

LanSession::LanSession(const LanConfig& config, const std::string& displayName)
    : config_(config), self_{makePeerId(), displayName}, links_(self_, *this) {
    ensureEnet();
    ENetAddress addr{};
    if (enet_address_set_host_ip(&addr, config.bindAddress.c_str()) != 0)
        throw StudioError(kErrorDomain, 2, "Bad bind address " + config.bindAddress + ".");
    bindHost_ = addr.host;
    addr.port = config.sessionPort;
    host_.reset(enet_host_create(&addr, config.maxLinks, 2, 0, 0));
    if (!host_) throw StudioError(kErrorDomain, 3, "Could not open the session port.");
    ENetAddress bound{};
    checked(detail::LanCall::getsockname, "Session port address",
            [&] { return enet_socket_get_address(host_->socket, &bound); });
    ports_.session = bound.port;

    beaconSocket_.fd = checked(detail::LanCall::socket, "Discovery socket", [] { return ::socket(AF_INET, SOCK_DGRAM, 0); });
    const int one = 1;
    checked(detail::LanCall::setsockopt, "Discovery socket: SO_REUSEADDR",
            [&] { return ::setsockopt(beaconSocket_.fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one); });
    checked(detail::LanCall::setsockopt, "Discovery socket: SO_BROADCAST",
            [&] { return ::setsockopt(beaconSocket_.fd, SOL_SOCKET, SO_BROADCAST, &one, sizeof one); });
    const int flags = checked(detail::LanCall::fcntl, "Discovery socket: reading its flags",
                              [&] { return ::fcntl(beaconSocket_.fd, F_GETFL); });
    checked(detail::LanCall::fcntl, "Discovery socket: making it non-blocking",
            [&] { return ::fcntl(beaconSocket_.fd, F_SETFL, flags | O_NONBLOCK); });
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(config.discoveryPort);
    sa.sin_addr.s_addr = bindHost_;
    checked(detail::LanCall::bind, "Discovery port " + std::to_string(config.discoveryPort),
            [&] { return ::bind(beaconSocket_.fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa); });
    socklen_t len = sizeof sa;
    checked(detail::LanCall::getsockname, "Discovery port address",
            [&] { return ::getsockname(beaconSocket_.fd, reinterpret_cast<sockaddr*>(&sa), &len); });
    ports_.discovery = ntohs(sa.sin_port);
    try {
        thread_ = std::thread([this] { run(); });
    } catch (const std::system_error& e) {
        throwErrno(e.code().value(), "Network thread");
    }
}

LanSession::~LanSession() {
    setEvents({});  // nothing more is reported, also from the work still queued
    stop_.store(true);
    thread_.join();
    host_.reset();
}

void LanSession::HostCloser::operator()(ENetHost* host) const noexcept { enet_host_destroy(host); }

LanSession::OwnedSocket::~OwnedSocket() {
    if (fd >= 0) ::close(fd);
}

void LanSession::post(std::function<void()> command) {
    std::lock_guard<std::mutex> lock(inbox_->mutex);
    inbox_->commands.push_back(std::move(command));
}

SessionEvents LanSession::events() {
    std::lock_guard<std::mutex> lock(eventsMutex_);
    return events_;
}

void LanSession::setEvents(SessionEvents events) {
    std::lock_guard<std::mutex> lock(eventsMutex_);
    events_ = std::move(events);
}

void LanSession::startAdvertising(const std::string& serviceType, const std::optional<DiscoveryInfo>& info) {
    post([this, serviceType, info] {
        advertised_ = DiscoveryBeacon{DiscoveryBeacon::Kind::here, serviceType, self_, ports_.session, info};
        nextBeacon_ = 0;
    });
}

void LanSession::stopAdvertising() {
    post([this] {
        sendBye();
        advertised_.reset();
    });
}

void LanSession::startBrowsing(const std::string& serviceType) {
    post([this, serviceType] {
        browsed_ = serviceType;
        found_.clear();
    });
}

void LanSession::stopBrowsing() {
    post([this] {
        browsed_.reset();
        found_.clear();
    });
}

void LanSession::invite(const std::string& peerId, const std::vector<uint8_t>& context, double timeoutSeconds) {
    post([this, peerId, context, timeoutSeconds] {
        auto f = found_.find(peerId);
        if (f == found_.end() || peerId == self_.id || links_.linked(peerId)) return;
        ENetAddress addr{};
        addr.host = f->second.host;
        addr.port = f->second.port;
        if (ENetPeer* peer = enet_host_connect(host_.get(), &addr, 2, 0))
            links_.inviting(linkOf(peer), f->second.info, context, monotonic() + timeoutSeconds);
        else
            links_.inviteFailed(f->second.info);
    });
}

std::optional<StudioError> LanSession::failure() const {
    std::lock_guard<std::mutex> lock(connectedMutex_);
    return failure_;
}

std::vector<PeerInfo> LanSession::connectedPeers() const {
    std::lock_guard<std::mutex> lock(connectedMutex_);
    return connected_;
}

bool LanSession::sendToAllUnreliable(std::span<const uint8_t> data) {
    if (connectedPeers().empty()) return false;
    post([this, bytes = LanLinkMessage::encodeData(data)] {
        for (LinkId link : links_.connectedLinks())
            sendPacket(peerOf(link), LanLinks::dataChannel, bytes, ENET_PACKET_FLAG_UNSEQUENCED);
        enet_host_flush(host_.get());
    });
    return true;
}

void LanSession::disconnect() {
    post([this] { links_.leaveAll(); });
}

// LanLinks::Host

void LanSession::sendControl(LinkId link, const std::vector<uint8_t>& packet) {
    sendPacket(peerOf(link), LanLinks::controlChannel, packet, ENET_PACKET_FLAG_RELIABLE);
    enet_host_flush(host_.get());
}

void LanSession::close(LinkId link, Close how) {
    switch (how) {
        case Close::afterSending: enet_peer_disconnect_later(peerOf(link), 0); break;
        case Close::now: enet_peer_disconnect_now(peerOf(link), 0); break;
        case Close::gracefully: enet_peer_disconnect(peerOf(link), 0); break;
    }
}

void LanSession::connectedChanged(const std::vector<PeerInfo>& connected) {
    std::lock_guard<std::mutex> lock(connectedMutex_);
    connected_ = connected;
}

void LanSession::peerStateChanged(const PeerInfo& peer, PeerState state) {
    if (auto e = events(); e.peerStateChanged) e.peerStateChanged(peer, state);
}

void LanSession::dataReceived(const std::vector<uint8_t>& payload, const PeerInfo& from) {
    if (auto e = events(); e.dataReceived) e.dataReceived(payload, from);
}

void LanSession::invitation(const PeerInfo& from, const std::vector<uint8_t>& context, LinkId link, uint64_t token) {
    // The answer may come from any thread at any time, also after this session is gone.
    auto respond = [inbox = std::weak_ptr<Inbox>(inbox_), link, token](bool accept) {
        auto alive = inbox.lock();
        if (!alive) return;
        std::lock_guard<std::mutex> lock(alive->mutex);
        alive->answers.push_back({link, token, accept});
    };
    if (auto e = events(); e.invitation) e.invitation(from, context, respond);
    else respond(false);
}

// Network thread

void LanSession::runInbox() {
    std::deque<std::function<void()>> commands;
    std::deque<Answer> answers;
    {
        std::lock_guard<std::mutex> lock(inbox_->mutex);
        commands.swap(inbox_->commands);
        answers.swap(inbox_->answers);
    }
    for (auto& c : commands) c();
    for (const auto& a : answers) links_.answer(a.link, a.token, a.accept);
}

void LanSession::onEvent(const ENetEvent& ev) {
    switch (ev.type) {
        case ENET_EVENT_TYPE_CONNECT: links_.connected(linkOf(ev.peer), monotonic()); break;
        case ENET_EVENT_TYPE_RECEIVE: {
            // Freed however received() ends: an event handler may throw through it.
            const std::unique_ptr<ENetPacket, void (*)(ENetPacket*)> packet(ev.packet, enet_packet_destroy);
            links_.received(linkOf(ev.peer), ev.channelID, {packet->data, packet->dataLength});
            break;
        }
        case ENET_EVENT_TYPE_DISCONNECT: links_.disconnected(linkOf(ev.peer)); break;
        default: break;
    }
}

void LanSession::sendBeacon(const DiscoveryBeacon& b) {
    const auto bytes = b.encode();
    for (const auto& [hostText, port] : config_.beaconTargets) {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        if (inet_pton(AF_INET, hostText.c_str(), &to.sin_addr) != 1) continue;
        const std::string what = "Sending a discovery beacon to " + hostText + ":" + std::to_string(port);
        ssize_t n = -1;
        if (!failsForTest(detail::LanCall::sendto))
            n = ::sendto(beaconSocket_.fd, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
        if (n < 0 && transientSendError(errno)) continue;
        if (n < 0) throwErrno(errno, what);
        if (size_t(n) != bytes.size()) throwErrno(EMSGSIZE, what);
    }
}

void LanSession::sendBye() {
    if (!advertised_) return;
    DiscoveryBeacon bye = *advertised_;
    bye.kind = DiscoveryBeacon::Kind::bye;
    sendBeacon(bye);
}

void LanSession::readBeacons(double now) {
    uint8_t buf[2048];
    for (;;) {
        sockaddr_in from{};
        socklen_t len = sizeof from;
        ssize_t n = -1;
        if (!failsForTest(detail::LanCall::recvfrom))
            n = ::recvfrom(beaconSocket_.fd, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &len);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throwErrno(errno, "Reading discovery beacons");
        if (!browsed_) continue;  // drained unread
        auto b = DiscoveryBeacon::decode({buf, static_cast<size_t>(n)});
        if (!b || b->serviceType != *browsed_ || b->peer.id == self_.id) continue;
        auto it = found_.find(b->peer.id);
        if (b->kind == DiscoveryBeacon::Kind::bye) {
            if (it != found_.end()) {
                const PeerInfo gone = it->second.info;
                found_.erase(it);
                if (auto e = events(); e.peerLost) e.peerLost(gone);
            }
            continue;
        }
        if (it != found_.end()) {
            it->second.lastSeen = now;
            continue;
        }
        found_[b->peer.id] = Found{b->peer, from.sin_addr.s_addr, b->sessionPort, now};
        if (auto e = events(); e.peerFound) e.peerFound(b->peer, b->info);
    }
    for (auto it = found_.begin(); it != found_.end();) {
        if (now - it->second.lastSeen > config_.peerLostAfterSeconds) {
            const PeerInfo gone = it->second.info;
            it = found_.erase(it);
            if (auto e = events(); e.peerLost) e.peerLost(gone);
        } else {
            ++it;
        }
    }
}

void LanSession::run() {
    std::vector<PeerInfo> lost;
    pk::runGuarded("LAN session", [this] { serve(); }, [&](const pk::JobFailure& f) {
        lost = connectedPeers();
        const StudioError error = f.asError(kErrorDomain, 4);
        {
            std::lock_guard<std::mutex> lock(connectedMutex_);
            failure_ = error;
        }
        pk::warningLog("LAN session", "closed: " + error.description);
    });
    pk::runGuarded("LAN session", [this] { sayGoodbye(); });
    // Closed by a failure: the owner hears that each of its peers is gone.
    for (const PeerInfo& peer : lost) {
        pk::runGuarded("LAN session", [&] {
            if (auto e = events(); e.peerStateChanged) e.peerStateChanged(peer, PeerState::notConnected);
        });
    }
}

void LanSession::serve() {
    while (!stop_.load()) {
        runInbox();
        ENetEvent ev;
        int got = enet_host_service(host_.get(), &ev, 5);
        while (got > 0) {
            onEvent(ev);
            got = enet_host_service(host_.get(), &ev, 0);
        }
        const double now = monotonic();
        if (advertised_ && now >= nextBeacon_) {
            sendBeacon(*advertised_);
            nextBeacon_ = now + config_.beaconIntervalSeconds;
        }
        readBeacons(now);
        links_.expire(now);
    }
    runInbox();
}

void LanSession::sayGoodbye() {
    // A bye beacon that cannot be sent must not keep the links from their goodbye.
    pk::runGuarded("LAN session", [this] { sendBye(); });
    connectedChanged({});
    // A goodbye that is only queued would never leave: ENet sends it while the host is
    // serviced. Nothing is reported from here on; arrivals are dropped.
    auto forEachPeer = [this](auto fn) {
        for (ENetPeer* p = host_->peers; p < host_->peers + host_->peerCount; ++p)
            if (p->state != ENET_PEER_STATE_DISCONNECTED) fn(p);
    };
    forEachPeer([](ENetPeer* p) { enet_peer_disconnect(p, 0); });
    const double deadline = monotonic() + goodbyeSeconds;
    for (;;) {
        bool waiting = false;
        forEachPeer([&](ENetPeer*) { waiting = true; });
        if (!waiting || monotonic() >= deadline) break;
        ENetEvent ev;
        if (enet_host_service(host_.get(), &ev, 5) > 0) {
            if (ev.type == ENET_EVENT_TYPE_RECEIVE) enet_packet_destroy(ev.packet);
            else if (ev.type == ENET_EVENT_TYPE_CONNECT) enet_peer_disconnect_now(ev.peer, 0);  // too late to join
        }
    }
    forEachPeer([](ENetPeer* p) { enet_peer_reset(p); });
}

std::unique_ptr<Session> LanTransport::makeSession(const std::string& displayName) {
    return std::make_unique<LanSession>(config_, displayName);
}

void detail::failLanCall(std::optional<std::pair<LanCall, int>> failure) {
    gFailing.store(failure ? (uint64_t(failure->first) + 1) << 32 | uint32_t(failure->second) : 0);
}

LanPorts lanPorts(const Session& session) {
    if (auto* lan = dynamic_cast<const LanSession*>(&session)) return lan->ports();
    return {};
}

}  // namespace pk::net
