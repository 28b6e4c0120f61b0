#include "PlatformKit/Net/LanSession.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

#include <enet/enet.h>

#include "PlatformKit/Foundation/ByteIO.h"
#include "PlatformKit/Foundation/StudioError.h"
#include "PlatformKit/Net/DiscoveryBeacon.h"

namespace pk::net {

namespace {
constexpr uint32_t kLinkMagic = 0x4D574E4C;  // "MWNL"
constexpr uint8_t kChannelControl = 0, kChannelData = 1;
enum class Msg : uint8_t { invite = 1, accept = 2, decline = 3, data = 4 };
constexpr size_t kMaxContext = 4096;
constexpr double kHelloTimeout = 5.0;  // an incoming link must say who it is by then

double monotonic() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void ensureEnet() {
    static const bool ok = enet_initialize() == 0;
    if (!ok) throw StudioError(kErrorDomain, 1, "ENet could not be initialised.");
}

void putText(pk::ByteWriter& w, const std::string& s) {
    const size_t n = std::min<size_t>(s.size(), 255);
    w.u8(static_cast<uint8_t>(n));
    w.append(std::span(reinterpret_cast<const uint8_t*>(s.data()), n));
}
std::optional<std::string> getText(pk::ByteReader& r) {
    auto n = r.u8();
    if (!n) return std::nullopt;
    return r.string(*n);
}

std::vector<uint8_t> controlMessage(Msg type, const PeerInfo& self, std::span<const uint8_t> context = {}) {
    pk::ByteWriter w;
    w.u32(kLinkMagic);
    w.u8(static_cast<uint8_t>(type));
    putText(w, self.id);
    putText(w, self.displayName);
    const size_t n = std::min(context.size(), kMaxContext);
    w.u16(static_cast<uint16_t>(n));
    w.append(context.first(n));
    return w.take();
}

struct Control {
    Msg type;
    PeerInfo from;
    std::vector<uint8_t> context;
};
std::optional<Control> parseControl(std::span<const uint8_t> data) {
    pk::ByteReader r(data);
    auto m = r.u32();
    auto t = r.u8();
    if (!m || *m != kLinkMagic || !t || *t < 1 || *t > 3) return std::nullopt;
    auto id = getText(r), name = getText(r);
    auto n = r.u16();
    if (!id || !name || !n || id->empty()) return std::nullopt;
    auto ctx = r.bytes(*n);
    if (!ctx) return std::nullopt;
    return Control{static_cast<Msg>(*t), PeerInfo{*id, *name}, std::vector<uint8_t>(ctx->begin(), ctx->end())};
}

class LanSession final : public Session {
public:
    LanSession(const LanConfig& config, const std::string& displayName) : config_(config) {
        self_ = PeerInfo{makePeerId(), displayName};
        ensureEnet();
        ENetAddress addr{};
        if (enet_address_set_host_ip(&addr, config.bindAddress.c_str()) != 0)
            throw StudioError(kErrorDomain, 2, "Bad bind address " + config.bindAddress + ".");
        bindHost_ = addr.host;
        addr.port = config.sessionPort;
        host_ = enet_host_create(&addr, config.maxLinks, 2, 0, 0);
        if (!host_) throw StudioError(kErrorDomain, 3, "Could not open the session port.");
        ENetAddress bound{};
        enet_socket_get_address(host_->socket, &bound);
        ports_.session = bound.port;

        beaconSocket_ = ::socket(AF_INET, SOCK_DGRAM, 0);
        if (beaconSocket_ < 0) {
            enet_host_destroy(host_);
            throwErrno(errno, "Discovery socket");
        }
        const int one = 1;
        setsockopt(beaconSocket_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        setsockopt(beaconSocket_, SOL_SOCKET, SO_BROADCAST, &one, sizeof one);
        fcntl(beaconSocket_, F_SETFL, fcntl(beaconSocket_, F_GETFL) | O_NONBLOCK);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(config.discoveryPort);
        sa.sin_addr.s_addr = bindHost_;
        if (::bind(beaconSocket_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
            const int err = errno;
            ::close(beaconSocket_);
            enet_host_destroy(host_);
            throwErrno(err, "Discovery port " + std::to_string(config.discoveryPort));
        }
        socklen_t len = sizeof sa;
        getsockname(beaconSocket_, reinterpret_cast<sockaddr*>(&sa), &len);
        ports_.discovery = ntohs(sa.sin_port);
        thread_ = std::thread([this] { run(); });
    }

    ~LanSession() override {
        post([this] {
            sendBye();
            for (auto& [peer, link] : links_) enet_peer_disconnect_now(peer, 0);
            links_.clear();
        });
        stop_.store(true);
        thread_.join();
        enet_host_destroy(host_);
        ::close(beaconSocket_);
    }

    const PeerInfo& localPeer() const override { return self_; }
    LanPorts ports() const { return ports_; }

    void setEvents(SessionEvents events) override {
        std::lock_guard<std::mutex> lock(eventsMutex_);
        events_ = std::move(events);
    }

    void startAdvertising(const std::string& serviceType, const std::optional<DiscoveryInfo>& info) override {
        post([this, serviceType, info] {
            advertised_ = DiscoveryBeacon{DiscoveryBeacon::Kind::here, serviceType, self_, ports_.session, info};
            nextBeacon_ = 0;
        });
    }
    void stopAdvertising() override {
        post([this] {
            sendBye();
            advertised_.reset();
        });
    }
    void startBrowsing(const std::string& serviceType) override {
        post([this, serviceType] {
            browsed_ = serviceType;
            found_.clear();
        });
    }
    void stopBrowsing() override {
        post([this] {
            browsed_.reset();
            found_.clear();
        });
    }

    void invite(const std::string& peerId, const std::vector<uint8_t>& context, double timeoutSeconds) override {
        post([this, peerId, context, timeoutSeconds] {
            auto f = found_.find(peerId);
            if (f == found_.end() || peerId == self_.id) return;
            for (auto& [peer, link] : links_)
                if (link.remote.id == peerId) return;  // one link per pair
            ENetAddress addr{};
            addr.host = f->second.host;
            addr.port = f->second.port;
            ENetPeer* peer = enet_host_connect(host_, &addr, 2, 0);
            if (!peer) {
                emitState(f->second.info, PeerState::notConnected);
                return;
            }
            Link link;
            link.outgoing = true;
            link.remote = f->second.info;
            link.context = context;
            link.deadline = monotonic() + timeoutSeconds;
            links_[peer] = std::move(link);
            emitState(f->second.info, PeerState::connecting);
        });
    }

    std::vector<PeerInfo> connectedPeers() const override {
        std::lock_guard<std::mutex> lock(connectedMutex_);
        return connected_;
    }

    bool sendToAllUnreliable(std::span<const uint8_t> data) override {
        if (connectedPeers().empty()) return false;
        std::vector<uint8_t> bytes;
        bytes.reserve(data.size() + 5);
        pk::ByteWriter w;
        w.u32(kLinkMagic);
        w.u8(static_cast<uint8_t>(Msg::data));
        bytes = w.take();
        bytes.insert(bytes.end(), data.begin(), data.end());
        post([this, bytes = std::move(bytes)] {
            for (auto& [peer, link] : links_) {
                if (link.state != Link::State::connected) continue;
                ENetPacket* p = enet_packet_create(bytes.data(), bytes.size(), ENET_PACKET_FLAG_UNSEQUENCED);
                if (enet_peer_send(peer, kChannelData, p) != 0) enet_packet_destroy(p);
            }
            enet_host_flush(host_);
        });
        return true;
    }

    void disconnect() override {
        post([this] {
            for (auto& [peer, link] : links_) {
                enet_peer_disconnect(peer, 0);
                link.closing = true;
            }
            publishConnected();
        });
    }

private:
    struct Found {
        PeerInfo info;
        uint32_t host = 0;
        uint16_t port = 0;
        double lastSeen = 0;
    };
    struct Link {
        enum class State { opening, invited, connected };
        bool outgoing = false;
        bool closing = false;  // we asked to leave: no further events
        State state = State::opening;
        PeerInfo remote;        // known for outgoing links; from the invitation otherwise
        std::vector<uint8_t> context;
        double deadline = 0;
        uint64_t answerToken = 0;
    };

    void post(std::function<void()> fn) {
        std::lock_guard<std::mutex> lock(commandsMutex_);
        commands_.push_back(std::move(fn));
    }

    SessionEvents events() {
        std::lock_guard<std::mutex> lock(eventsMutex_);
        return events_;
    }
    void emitState(const PeerInfo& peer, PeerState state) {
        publishConnected();
        if (auto e = events(); e.peerStateChanged) e.peerStateChanged(peer, state);
    }
    void publishConnected() {
        std::vector<PeerInfo> now;
        for (auto& [peer, link] : links_)
            if (link.state == Link::State::connected && !link.closing) now.push_back(link.remote);
        std::lock_guard<std::mutex> lock(connectedMutex_);
        connected_ = std::move(now);
    }
    bool hasConnected(const std::string& id, ENetPeer* except) const {
        for (auto& [peer, link] : links_)
            if (peer != except && link.remote.id == id && link.state == Link::State::connected && !link.closing) return true;
        return false;
    }

    void sendControl(ENetPeer* peer, const std::vector<uint8_t>& bytes) {
        ENetPacket* p = enet_packet_create(bytes.data(), bytes.size(), ENET_PACKET_FLAG_RELIABLE);
        if (enet_peer_send(peer, kChannelControl, p) != 0) enet_packet_destroy(p);
        enet_host_flush(host_);
    }

    void sendBeacon(const DiscoveryBeacon& b) {
        const auto bytes = b.encode();
        for (const auto& [hostText, port] : config_.beaconTargets) {
            sockaddr_in to{};
            to.sin_family = AF_INET;
            to.sin_port = htons(port);
            if (inet_pton(AF_INET, hostText.c_str(), &to.sin_addr) != 1) continue;
            ::sendto(beaconSocket_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
        }
    }
    void sendBye() {
        if (!advertised_) return;
        DiscoveryBeacon bye = *advertised_;
        bye.kind = DiscoveryBeacon::Kind::bye;
        sendBeacon(bye);
    }

    void readBeacons(double now) {
        uint8_t buf[2048];
        for (;;) {
            sockaddr_in from{};
            socklen_t len = sizeof from;
            const ssize_t n = ::recvfrom(beaconSocket_, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &len);
            if (n < 0) break;
            auto b = DiscoveryBeacon::decode({buf, static_cast<size_t>(n)});
            if (!b || !browsed_ || b->serviceType != *browsed_ || b->peer.id == self_.id) continue;
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

    void onControl(ENetPeer* peer, Link& link, const Control& c) {
        if (c.type == Msg::invite) {
            if (link.outgoing || link.state != Link::State::opening) return;
            // Already linked, or our own invitation to them stands (the smaller id wins).
            ENetPeer* ours = nullptr;
            for (auto& [p, l] : links_)
                if (p != peer && l.remote.id == c.from.id) ours = p;
            if (hasConnected(c.from.id, peer) || (ours && self_.id < c.from.id)) {
                sendControl(peer, controlMessage(Msg::decline, self_));
                enet_peer_disconnect_later(peer, 0);
                link.closing = true;
                return;
            }
            if (ours) {  // theirs stands: ours ends without an event
                enet_peer_disconnect_now(ours, 0);
                links_.erase(ours);
            }
            link.remote = c.from;
            link.state = Link::State::invited;
            link.answerToken = ++nextToken_;
            const uint64_t token = link.answerToken;
            auto respond = [this, peer, token](bool accept) {
                post([this, peer, token, accept] { answer(peer, token, accept); });
            };
            if (auto e = events(); e.invitation) e.invitation(c.from, c.context, respond);
            else respond(false);
        } else if (c.type == Msg::accept) {
            if (!link.outgoing || link.state != Link::State::opening || link.closing) return;
            link.state = Link::State::connected;
            link.remote.displayName = c.from.displayName;
            emitState(link.remote, PeerState::connected);
        } else if (c.type == Msg::decline) {
            if (!link.outgoing || link.closing) return;
            const PeerInfo remote = link.remote;
            enet_peer_disconnect_now(peer, 0);
            links_.erase(peer);
            if (!hasConnected(remote.id, nullptr)) emitState(remote, PeerState::notConnected);
        }
    }

    void answer(ENetPeer* peer, uint64_t token, bool accept) {
        auto it = links_.find(peer);
        if (it == links_.end() || it->second.answerToken != token || it->second.state != Link::State::invited) return;
        if (!accept || hasConnected(it->second.remote.id, peer)) {
            sendControl(peer, controlMessage(Msg::decline, self_));
            enet_peer_disconnect_later(peer, 0);
            it->second.closing = true;
            return;
        }
        sendControl(peer, controlMessage(Msg::accept, self_));
        it->second.state = Link::State::connected;
        emitState(it->second.remote, PeerState::connected);
    }

    void onEvent(const ENetEvent& ev) {
        switch (ev.type) {
            case ENET_EVENT_TYPE_CONNECT: {
                auto it = links_.find(ev.peer);
                if (it == links_.end()) {  // someone connects to invite us
                    Link link;
                    link.deadline = monotonic() + kHelloTimeout;
                    links_[ev.peer] = std::move(link);
                } else if (it->second.outgoing) {
                    sendControl(ev.peer, controlMessage(Msg::invite, self_, it->second.context));
                }
                break;
            }
            case ENET_EVENT_TYPE_RECEIVE: {
                auto it = links_.find(ev.peer);
                const std::span<const uint8_t> data(ev.packet->data, ev.packet->dataLength);
                if (it != links_.end() && !it->second.closing) {
                    if (ev.channelID == kChannelData && it->second.state == Link::State::connected) {
                        pk::ByteReader r(data);
                        auto m = r.u32();
                        auto t = r.u8();
                        if (m && *m == kLinkMagic && t && *t == static_cast<uint8_t>(Msg::data)) {
                            std::vector<uint8_t> payload(data.begin() + 5, data.end());
                            if (auto e = events(); e.dataReceived) e.dataReceived(payload, it->second.remote);
                        }
                    } else if (ev.channelID == kChannelControl) {
                        if (auto c = parseControl(data)) onControl(ev.peer, it->second, *c);
                    }
                }
                enet_packet_destroy(ev.packet);
                break;
            }
            case ENET_EVENT_TYPE_DISCONNECT: {
                auto it = links_.find(ev.peer);
                if (it == links_.end()) break;
                const Link link = it->second;
                links_.erase(it);
                if (link.closing) {
                    publishConnected();
                    break;
                }
                if (link.state == Link::State::connected || link.outgoing) {
                    if (!hasConnected(link.remote.id, nullptr)) emitState(link.remote, PeerState::notConnected);
                    else publishConnected();
                }
                break;
            }
            default: break;
        }
    }

    void expire(double now) {
        for (auto it = links_.begin(); it != links_.end();) {
            Link& l = it->second;
            const bool waiting = l.state == Link::State::opening && !l.closing;
            if (waiting && now >= l.deadline) {
                const PeerInfo remote = l.remote;
                const bool report = l.outgoing;
                enet_peer_reset(it->first);
                it = links_.erase(it);
                if (report && !hasConnected(remote.id, nullptr)) emitState(remote, PeerState::notConnected);
            } else {
                ++it;
            }
        }
    }

    void run() {
        while (!stop_.load()) {
            std::deque<std::function<void()>> cmds;
            {
                std::lock_guard<std::mutex> lock(commandsMutex_);
                cmds.swap(commands_);
            }
            for (auto& c : cmds) c();
            ENetEvent ev;
            int got = enet_host_service(host_, &ev, 5);
            while (got > 0) {
                onEvent(ev);
                got = enet_host_service(host_, &ev, 0);
            }
            const double now = monotonic();
            if (advertised_ && now >= nextBeacon_) {
                sendBeacon(*advertised_);
                nextBeacon_ = now + config_.beaconIntervalSeconds;
            }
            if (browsed_) readBeacons(now);
            else {
                uint8_t sink[2048];
                while (::recv(beaconSocket_, sink, sizeof sink, 0) >= 0) {
                }
            }
            expire(now);
        }
        std::deque<std::function<void()>> cmds;
        {
            std::lock_guard<std::mutex> lock(commandsMutex_);
            cmds.swap(commands_);
        }
        for (auto& c : cmds) c();
        enet_host_flush(host_);
    }

    LanConfig config_;
    PeerInfo self_;
    uint32_t bindHost_ = 0;
    ENetHost* host_ = nullptr;
    int beaconSocket_ = -1;
    LanPorts ports_;

    // Network thread only.
    std::optional<DiscoveryBeacon> advertised_;
    double nextBeacon_ = 0;
    std::optional<std::string> browsed_;
    std::map<std::string, Found> found_;
    std::map<ENetPeer*, Link> links_;
    uint64_t nextToken_ = 0;

    std::mutex eventsMutex_;
    SessionEvents events_;
    mutable std::mutex connectedMutex_;
    std::vector<PeerInfo> connected_;
    std::mutex commandsMutex_;
    std::deque<std::function<void()>> commands_;
    std::atomic<bool> stop_{false};
    std::thread thread_;

};
}  // namespace

std::unique_ptr<Session> LanTransport::makeSession(const std::string& displayName) {
    return std::make_unique<LanSession>(config_, displayName);
}

LanPorts lanPorts(const Session& session) {
    if (auto* lan = dynamic_cast<const LanSession*>(&session)) return lan->ports();
    return {};
}

}  // namespace pk::net
