#pragma once
// Sessions inside one process for tests: deterministic, with optional datagram loss.
// Nothing happens behind the caller's back: every event waits for pump(), which also
// expires invitations on the hub's clock.
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>

#include "PlatformKit/Foundation/Clock.h"
#include "PlatformKit/Net/NetSession.h"

namespace pk::net {

class InProcessHub : public Transport, public std::enable_shared_from_this<InProcessHub> {
public:
    static std::shared_ptr<InProcessHub> make(std::shared_ptr<Clock> clock = Clock::system());

    std::unique_ptr<Session> makeSession(const std::string& displayName) override;

    // Delivers pending events, and those they cause, in order; returns how many ran.
    size_t pump();
    // Each unreliable datagram is dropped with this probability (a fixed sequence per seed).
    void setLoss(double probability, uint64_t seed = 1);
    uint64_t datagramsSent() const;
    uint64_t datagramsDropped() const;

private:
    friend class HubSession;
    explicit InProcessHub(std::shared_ptr<Clock> clock) : clock_(std::move(clock)) {}

    struct Node {
        PeerInfo info;
        SessionEvents events;
        std::optional<std::string> advertisedService;
        std::optional<DiscoveryInfo> advertisedInfo;
        std::optional<std::string> browsedService;
        std::set<std::string> found;
        std::set<std::string> links;
    };
    struct Invite {
        std::string from, to;
        double deadline;
    };

    // All called with mutex_ held.
    void refreshDiscoveryLocked();
    void queueLocked(const std::string& nodeId, std::function<void(Node&)> fn);
    void cancelInvitesLocked(const std::string& nodeId);

    void addNode(const PeerInfo& info);
    void removeNode(const std::string& id);
    void setEvents(const std::string& id, SessionEvents events);
    void advertise(const std::string& id, std::optional<std::string> service, std::optional<DiscoveryInfo> info);
    void browse(const std::string& id, std::optional<std::string> service);
    void invite(const std::string& from, const std::string& to, const std::vector<uint8_t>& context, double timeout);
    void answer(uint64_t inviteId, bool accept);
    std::vector<PeerInfo> links(const std::string& id) const;
    bool send(const std::string& from, std::span<const uint8_t> data);
    void disconnect(const std::string& id);

    std::shared_ptr<Clock> clock_;
    mutable std::mutex mutex_;
    std::map<std::string, Node> nodes_;
    std::map<uint64_t, Invite> invites_;
    uint64_t nextInvite_ = 1;
    std::deque<std::pair<std::string, std::function<void(Node&)>>> events_;
    double loss_ = 0;
    uint64_t lossState_ = 1;
    uint64_t sent_ = 0, dropped_ = 0;
};

}  // namespace pk::net
