#include "PlatformKit/Net/InProcessHub.h"

namespace pk::net {

class HubSession : public Session {
public:
    HubSession(std::shared_ptr<InProcessHub> hub, PeerInfo info) : hub_(std::move(hub)), info_(std::move(info)) {
        hub_->addNode(info_);
    }
    ~HubSession() override { hub_->removeNode(info_.id); }

    const PeerInfo& localPeer() const override { return info_; }
    void setEvents(SessionEvents events) override { hub_->setEvents(info_.id, std::move(events)); }
    void startAdvertising(const std::string& serviceType, const std::optional<DiscoveryInfo>& info) override {
        hub_->advertise(info_.id, serviceType, info);
    }
    void stopAdvertising() override { hub_->advertise(info_.id, std::nullopt, std::nullopt); }
    void startBrowsing(const std::string& serviceType) override { hub_->browse(info_.id, serviceType); }
    void stopBrowsing() override { hub_->browse(info_.id, std::nullopt); }
    void invite(const std::string& peerId, const std::vector<uint8_t>& context, double timeoutSeconds) override {
        hub_->invite(info_.id, peerId, context, timeoutSeconds);
    }
    std::vector<PeerInfo> connectedPeers() const override { return hub_->links(info_.id); }
    bool sendToAllUnreliable(std::span<const uint8_t> data) override { return hub_->send(info_.id, data); }
    void disconnect() override { hub_->disconnect(info_.id); }

private:
    std::shared_ptr<InProcessHub> hub_;
    PeerInfo info_;
};

std::shared_ptr<InProcessHub> InProcessHub::make(std::shared_ptr<Clock> clock) {
    return std::shared_ptr<InProcessHub>(new InProcessHub(std::move(clock)));
}

std::unique_ptr<Session> InProcessHub::makeSession(const std::string& displayName) {
    return std::make_unique<HubSession>(shared_from_this(), PeerInfo{makePeerId(), displayName});
}

void InProcessHub::queueLocked(const std::string& nodeId, std::function<void(Node&)> fn) {
    events_.emplace_back(nodeId, std::move(fn));
}

size_t InProcessHub::pump() {
    size_t ran = 0;
    for (;;) {
        std::pair<std::string, std::function<void(Node&)>> next;
        SessionEvents events;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            const double now = clock_->now();
            for (auto it = invites_.begin(); it != invites_.end();) {
                if (it->second.deadline <= now) {
                    const PeerInfo invitee = nodes_.count(it->second.to) ? nodes_[it->second.to].info : PeerInfo{it->second.to, ""};
                    queueLocked(it->second.from, [invitee](Node& n) {
                        if (n.events.peerStateChanged) n.events.peerStateChanged(invitee, PeerState::notConnected);
                    });
                    it = invites_.erase(it);
                } else {
                    ++it;
                }
            }
            if (events_.empty()) return ran;
            next = std::move(events_.front());
            events_.pop_front();
            auto node = nodes_.find(next.first);
            if (node == nodes_.end()) continue;  // the session is gone
            events = node->second.events;
        }
        // Run on a copy of the node's callbacks, outside the lock: a callback may call back in.
        Node view;
        view.events = std::move(events);
        next.second(view);
        ++ran;
    }
}

void InProcessHub::setLoss(double probability, uint64_t seed) {
    std::lock_guard<std::mutex> lock(mutex_);
    loss_ = probability;
    lossState_ = seed ? seed : 1;
}

uint64_t InProcessHub::datagramsSent() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return sent_;
}
uint64_t InProcessHub::datagramsDropped() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return dropped_;
}

void InProcessHub::addNode(const PeerInfo& info) {
    std::lock_guard<std::mutex> lock(mutex_);
    nodes_[info.id].info = info;
}

void InProcessHub::removeNode(const std::string& id) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = nodes_.find(id);
    if (it == nodes_.end()) return;
    it->second.advertisedService.reset();
    it->second.browsedService.reset();
    refreshDiscoveryLocked();
    cancelInvitesLocked(id);
    const PeerInfo gone = it->second.info;
    nodes_.erase(it);
    for (auto& [otherId, other] : nodes_) {
        if (other.links.erase(id)) {
            queueLocked(otherId, [gone](Node& n) {
                if (n.events.peerStateChanged) n.events.peerStateChanged(gone, PeerState::notConnected);
            });
        }
    }
}

void InProcessHub::setEvents(const std::string& id, SessionEvents events) {
    std::lock_guard<std::mutex> lock(mutex_);
    nodes_[id].events = std::move(events);
}

void InProcessHub::advertise(const std::string& id, std::optional<std::string> service, std::optional<DiscoveryInfo> info) {
    std::lock_guard<std::mutex> lock(mutex_);
    nodes_[id].advertisedService = std::move(service);
    nodes_[id].advertisedInfo = std::move(info);
    refreshDiscoveryLocked();
}

void InProcessHub::browse(const std::string& id, std::optional<std::string> service) {
    std::lock_guard<std::mutex> lock(mutex_);
    nodes_[id].browsedService = std::move(service);
    refreshDiscoveryLocked();
}

void InProcessHub::refreshDiscoveryLocked() {
    for (auto& [id, browser] : nodes_) {
        std::set<std::string> visible;
        if (browser.browsedService)
            for (const auto& [otherId, other] : nodes_)
                if (otherId != id && other.advertisedService == browser.browsedService) visible.insert(otherId);
        for (const auto& otherId : visible)
            if (!browser.found.count(otherId)) {
                const PeerInfo peer = nodes_[otherId].info;
                const auto info = nodes_[otherId].advertisedInfo;
                queueLocked(id, [peer, info](Node& n) {
                    if (n.events.peerFound) n.events.peerFound(peer, info);
                });
            }
        for (const auto& otherId : browser.found)
            if (!visible.count(otherId)) {
                const PeerInfo peer = nodes_.count(otherId) ? nodes_[otherId].info : PeerInfo{otherId, ""};
                queueLocked(id, [peer](Node& n) {
                    if (n.events.peerLost) n.events.peerLost(peer);
                });
            }
        browser.found = std::move(visible);
    }
}

void InProcessHub::cancelInvitesLocked(const std::string& nodeId) {
    for (auto it = invites_.begin(); it != invites_.end();) {
        if (it->second.from == nodeId || it->second.to == nodeId) {
            if (it->second.to == nodeId && nodes_.count(it->second.from)) {
                const PeerInfo invitee{nodeId, nodes_.count(nodeId) ? nodes_[nodeId].info.displayName : ""};
                queueLocked(it->second.from, [invitee](Node& n) {
                    if (n.events.peerStateChanged) n.events.peerStateChanged(invitee, PeerState::notConnected);
                });
            }
            it = invites_.erase(it);
        } else {
            ++it;
        }
    }
}

void InProcessHub::invite(const std::string& from, const std::string& to, const std::vector<uint8_t>& context,
                          double timeout) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (from == to || !nodes_.count(from) || !nodes_.count(to)) return;
    if (nodes_[from].links.count(to)) return;
    for (auto it = invites_.begin(); it != invites_.end(); ++it) {
        if (it->second.from == from && it->second.to == to) return;
        if (it->second.from == to && it->second.to == from) {
            if (to < from) return;  // theirs stands
            invites_.erase(it);     // ours stands; theirs ends silently
            break;
        }
    }
    const uint64_t inviteId = nextInvite_++;
    invites_[inviteId] = Invite{from, to, clock_->now() + timeout};
    const PeerInfo inviter = nodes_[from].info, invitee = nodes_[to].info;
    queueLocked(from, [invitee](Node& n) {
        if (n.events.peerStateChanged) n.events.peerStateChanged(invitee, PeerState::connecting);
    });
    std::weak_ptr<InProcessHub> weak = weak_from_this();
    queueLocked(to, [inviter, context, weak, inviteId](Node& n) {
        auto respond = [weak, inviteId](bool accept) {
            if (auto hub = weak.lock()) hub->answer(inviteId, accept);
        };
        if (n.events.invitation) n.events.invitation(inviter, context, respond);
        else respond(false);
    });
}

void InProcessHub::answer(uint64_t inviteId, bool accept) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = invites_.find(inviteId);
    if (it == invites_.end()) return;  // expired, cancelled or answered
    const Invite inv = it->second;
    invites_.erase(it);
    if (!nodes_.count(inv.from) || !nodes_.count(inv.to)) return;
    const PeerInfo inviter = nodes_[inv.from].info, invitee = nodes_[inv.to].info;
    if (!accept) {
        queueLocked(inv.from, [invitee](Node& n) {
            if (n.events.peerStateChanged) n.events.peerStateChanged(invitee, PeerState::notConnected);
        });
        return;
    }
    nodes_[inv.from].links.insert(inv.to);
    nodes_[inv.to].links.insert(inv.from);
    queueLocked(inv.to, [inviter](Node& n) {
        if (n.events.peerStateChanged) n.events.peerStateChanged(inviter, PeerState::connected);
    });
    queueLocked(inv.from, [invitee](Node& n) {
        if (n.events.peerStateChanged) n.events.peerStateChanged(invitee, PeerState::connected);
    });
}

std::vector<PeerInfo> InProcessHub::links(const std::string& id) const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<PeerInfo> out;
    auto it = nodes_.find(id);
    if (it == nodes_.end()) return out;
    for (const auto& other : it->second.links) {
        auto o = nodes_.find(other);
        if (o != nodes_.end()) out.push_back(o->second.info);
    }
    return out;
}

bool InProcessHub::send(const std::string& from, std::span<const uint8_t> data) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = nodes_.find(from);
    if (it == nodes_.end() || it->second.links.empty()) return false;
    const PeerInfo sender = it->second.info;
    const std::vector<uint8_t> bytes(data.begin(), data.end());
    for (const auto& to : it->second.links) {
        ++sent_;
        if (loss_ > 0) {
            // xorshift64: the same seed drops the same datagrams.
            lossState_ ^= lossState_ << 13;
            lossState_ ^= lossState_ >> 7;
            lossState_ ^= lossState_ << 17;
            if (static_cast<double>(lossState_ >> 11) / 9007199254740992.0 < loss_) {
                ++dropped_;
                continue;
            }
        }
        queueLocked(to, [bytes, sender](Node& n) {
            if (n.events.dataReceived) n.events.dataReceived(bytes, sender);
        });
    }
    return true;
}

void InProcessHub::disconnect(const std::string& id) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = nodes_.find(id);
    if (it == nodes_.end()) return;
    const PeerInfo self = it->second.info;
    for (const auto& other : it->second.links) {
        auto o = nodes_.find(other);
        if (o == nodes_.end()) continue;
        o->second.links.erase(id);
        queueLocked(other, [self](Node& n) {
            if (n.events.peerStateChanged) n.events.peerStateChanged(self, PeerState::notConnected);
        });
    }
    it->second.links.clear();
    cancelInvitesLocked(id);
}

}  // namespace pk::net
