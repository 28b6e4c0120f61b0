#pragma once
// The links of one LAN session, apart from its sockets: which peer each link reaches, how
// far its invitation has got, and what each packet that arrives on it means. The session
// feeds it the transport's events and carries out what it asks, all on one thread; the
// table itself does no I/O, so any sequence of events can be played into it.
#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "PlatformKit/Net/NetSession.h"

namespace pk::net {

struct LanLinkMessage;

// One transport connection (an ENet peer); ids are the transport's, never 0, and may be
// reused once a link is gone.
using LinkId = uint64_t;

class LanLinks {
public:
    static constexpr uint8_t controlChannel = 0, dataChannel = 1;
    // An incoming link must say who it is by then.
    static constexpr double helloTimeoutSeconds = 5.0;

    // What the table needs from the transport below and tells the session above.
    class Host {
    public:
        enum class Close {
            afterSending,  // once what is queued has gone (a decline)
            now,           // at once, with a notice that need not arrive
            gracefully,    // a goodbye the other side acknowledges
        };
        virtual ~Host() = default;
        virtual void sendControl(LinkId link, const std::vector<uint8_t>& packet) = 0;
        virtual void close(LinkId link, Close how) = 0;
        // The connected peers changed; comes before the state event that goes with it.
        virtual void connectedChanged(const std::vector<PeerInfo>& connected) = 0;
        virtual void peerStateChanged(const PeerInfo& peer, PeerState state) = 0;
        virtual void dataReceived(const std::vector<uint8_t>& payload, const PeerInfo& from) = 0;
        // Answered later through answer(link, token, ...), never from inside this call.
        virtual void invitation(const PeerInfo& from, const std::vector<uint8_t>& context, LinkId link,
                                uint64_t token) = 0;
    };

    LanLinks(PeerInfo self, Host& host) : self_(std::move(self)), host_(host) {}

    // A link to this peer exists in any state (at most one per pair of peers).
    bool linked(const std::string& peerId) const;
    // We started a connection to a found peer; the invitation goes once it is up.
    void inviting(LinkId link, const PeerInfo& remote, std::vector<uint8_t> context, double deadline);
    // The connection for an invitation could not even be started.
    void inviteFailed(const PeerInfo& remote);

    // The transport's events.
    void connected(LinkId link, double now);
    void received(LinkId link, uint8_t channel, std::span<const uint8_t> packet);
    void disconnected(LinkId link);

    // The answer to invitation(); stale answers (link gone, answered, left) do nothing.
    void answer(LinkId link, uint64_t token, bool accept);
    // Ends invitations that were not answered in time.
    void expire(double now);
    // Leaves every link; no further events for them.
    void leaveAll();

    std::vector<LinkId> connectedLinks() const;
    std::vector<PeerInfo> connectedPeers() const;

private:
    struct Link {
        enum class State { opening, invited, connected };
        bool outgoing = false;
        bool closing = false;  // we asked to leave: no further events
        State state = State::opening;
        PeerInfo remote;  // known for outgoing links; from the invitation otherwise
        std::vector<uint8_t> context;
        double deadline = 0;
        uint64_t answerToken = 0;
    };

    void onControl(LinkId id, Link& link, const LanLinkMessage& message);
    void decline(LinkId id, Link& link);
    bool hasConnected(const std::string& peerId, LinkId except) const;
    // Tells the host the connected peers when they changed, then the state event.
    void publish();
    void notify(const PeerInfo& peer, PeerState state);
    // A link to this peer ended: notConnected unless another link to it is still up.
    void ended(const PeerInfo& remote);

    PeerInfo self_;
    Host& host_;
    std::map<LinkId, Link> links_;
    std::vector<PeerInfo> published_;
    uint64_t nextToken_ = 0;
};

}  // namespace pk::net
