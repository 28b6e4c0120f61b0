#include "PlatformKit/Net/LanLinks.h"

#include "PlatformKit/Net/LanLinkMessage.h"

namespace pk::net {

using Close = LanLinks::Host::Close;

bool LanLinks::linked(const std::string& peerId) const {
    for (const auto& [id, link] : links_)
        if (link.remote.id == peerId) return true;
    return false;
}

bool LanLinks::hasConnected(const std::string& peerId, LinkId except) const {
    for (const auto& [id, link] : links_)
        if (id != except && link.remote.id == peerId && link.state == Link::State::connected && !link.closing) return true;
    return false;
}

std::vector<LinkId> LanLinks::connectedLinks() const {
    std::vector<LinkId> out;
    for (const auto& [id, link] : links_)
        if (link.state == Link::State::connected && !link.closing) out.push_back(id);
    return out;
}

std::vector<PeerInfo> LanLinks::connectedPeers() const {
    std::vector<PeerInfo> out;
    for (const auto& [id, link] : links_)
        if (link.state == Link::State::connected && !link.closing) out.push_back(link.remote);
    return out;
}

void LanLinks::publish() {
    auto now = connectedPeers();
    if (now == published_) return;
    published_ = std::move(now);
    host_.connectedChanged(published_);
}

void LanLinks::notify(const PeerInfo& peer, PeerState state) {
    publish();
    host_.peerStateChanged(peer, state);
}

void LanLinks::ended(const PeerInfo& remote) {
    if (hasConnected(remote.id, 0)) publish();
    else notify(remote, PeerState::notConnected);
}

void LanLinks::inviting(LinkId id, const PeerInfo& remote, std::vector<uint8_t> context, double deadline) {
    Link link;
    link.outgoing = true;
    link.remote = remote;
    link.context = std::move(context);
    link.deadline = deadline;
    links_[id] = std::move(link);
    notify(remote, PeerState::connecting);
}

void LanLinks::inviteFailed(const PeerInfo& remote) { notify(remote, PeerState::notConnected); }

void LanLinks::connected(LinkId id, double now) {
    auto it = links_.find(id);
    if (it == links_.end()) {  // someone connects to invite us
        Link link;
        link.deadline = now + helloTimeoutSeconds;
        links_[id] = std::move(link);
    } else if (it->second.outgoing && it->second.state == Link::State::opening && !it->second.closing) {
        host_.sendControl(id, LanLinkMessage{LanLinkMessage::Type::invite, self_, it->second.context}.encode());
    }
}

void LanLinks::received(LinkId id, uint8_t channel, std::span<const uint8_t> packet) {
    auto it = links_.find(id);
    if (it == links_.end() || it->second.closing) return;
    Link& link = it->second;
    if (channel == dataChannel) {
        if (link.state != Link::State::connected) return;
        if (auto payload = LanLinkMessage::decodeData(packet))
            host_.dataReceived(std::vector<uint8_t>(payload->begin(), payload->end()), link.remote);
    } else if (channel == controlChannel) {
        if (auto message = LanLinkMessage::decode(packet)) onControl(id, link, *message);
    }
}

void LanLinks::decline(LinkId id, Link& link) {
    host_.sendControl(id, LanLinkMessage{LanLinkMessage::Type::decline, self_, {}}.encode());
    host_.close(id, Close::afterSending);
    link.closing = true;
    publish();
}

void LanLinks::onControl(LinkId id, Link& link, const LanLinkMessage& m) {
    switch (m.type) {
        case LanLinkMessage::Type::invite: {
            if (link.outgoing || link.state != Link::State::opening) return;
            // Already linked, or our own invitation to them stands (the smaller id wins).
            LinkId ours = 0;
            for (const auto& [otherId, other] : links_)
                if (otherId != id && other.remote.id == m.from.id) ours = otherId;
            if (m.from.id == self_.id || hasConnected(m.from.id, id) || (ours && self_.id < m.from.id)) {
                decline(id, link);
                return;
            }
            if (ours) {  // theirs stands: ours ends without an event
                host_.close(ours, Close::now);
                links_.erase(ours);
            }
            link.remote = m.from;
            link.state = Link::State::invited;
            link.answerToken = ++nextToken_;
            host_.invitation(m.from, m.context, id, link.answerToken);
            return;
        }
        case LanLinkMessage::Type::accept:
            if (!link.outgoing || link.state != Link::State::opening) return;
            link.state = Link::State::connected;
            link.remote.displayName = m.from.displayName;
            notify(link.remote, PeerState::connected);
            return;
        case LanLinkMessage::Type::decline: {
            if (!link.outgoing) return;
            const PeerInfo remote = link.remote;
            host_.close(id, Close::now);
            links_.erase(id);
            ended(remote);
            return;
        }
    }
}

void LanLinks::answer(LinkId id, uint64_t token, bool accept) {
    auto it = links_.find(id);
    if (it == links_.end() || it->second.answerToken != token || it->second.state != Link::State::invited ||
        it->second.closing)
        return;
    Link& link = it->second;
    if (!accept || hasConnected(link.remote.id, id)) {
        decline(id, link);
        return;
    }
    host_.sendControl(id, LanLinkMessage{LanLinkMessage::Type::accept, self_, {}}.encode());
    link.state = Link::State::connected;
    notify(link.remote, PeerState::connected);
}

void LanLinks::disconnected(LinkId id) {
    auto it = links_.find(id);
    if (it == links_.end()) return;
    const Link link = std::move(it->second);
    links_.erase(it);
    if (link.closing) publish();
    else if (link.state == Link::State::connected || link.outgoing) ended(link.remote);
}

void LanLinks::expire(double now) {
    std::vector<PeerInfo> report;
    for (auto it = links_.begin(); it != links_.end();) {
        const Link& l = it->second;
        if (l.state == Link::State::opening && !l.closing && now >= l.deadline) {
            if (l.outgoing) report.push_back(l.remote);
            host_.close(it->first, Close::now);
            it = links_.erase(it);
        } else {
            ++it;
        }
    }
    for (const auto& remote : report) ended(remote);
}

void LanLinks::leaveAll() {
    for (auto& [id, link] : links_) {
        if (link.closing) continue;
        host_.close(id, Close::gracefully);
        link.closing = true;
    }
    publish();
}

}  // namespace pk::net
