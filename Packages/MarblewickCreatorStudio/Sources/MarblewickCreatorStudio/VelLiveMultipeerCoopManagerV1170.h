#pragma once
// The local co-op session for up to four players: advertise and browse under one
// service type, group players by room code, invite and accept, broadcast the local
// player's state at most twenty times a second, relay microphone voice, and turn what
// arrives into remote avatars and spatialised voice. Lives on the main queue; every
// transport event hops there before it touches state.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "MarblewickCreatorStudio/VelCoopPlayerStatePacketV1170.h"
#include "MarblewickCreatorStudio/VelLive3DProximityVoiceEngineV1170.h"
#include "PlatformKit/Foundation/Clock.h"
#include "PlatformKit/Foundation/MainQueue.h"
#include "PlatformKit/Foundation/Published.h"
#include "PlatformKit/Math/Math.h"
#include "PlatformKit/Net/NetSession.h"

namespace creator {

class VelLiveMultipeerCoopManagerV1170 {
public:
    static constexpr const char* serviceType = "mw-grimtide-v9";
    static constexpr const char* discoveryRoomKey = "room";
    static constexpr size_t maxOtherPeers = 3;  // four players in one session
    static constexpr double inviteTimeoutSeconds = 10;
    static constexpr double stateBroadcastInterval = 0.05;

    struct Environment {
        std::shared_ptr<pk::net::Transport> transport;
        std::shared_ptr<pk::Clock> clock = pk::Clock::system();
        pk::MainQueue* queue = &pk::MainQueue::main();
        std::shared_ptr<VelLive3DProximityVoiceEngineV1170> voiceEngine;  // a new engine when empty
        std::optional<std::string> gameCenterPlayerName;
        std::string hostName;  // "" = none
    };

    // The process's manager: LAN sessions, the system clock and host name, the signed-in
    // player of GameServices.
    static VelLiveMultipeerCoopManagerV1170& shared();

    explicit VelLiveMultipeerCoopManagerV1170(Environment env);
    ~VelLiveMultipeerCoopManagerV1170();
    VelLiveMultipeerCoopManagerV1170(const VelLiveMultipeerCoopManagerV1170&) = delete;
    VelLiveMultipeerCoopManagerV1170& operator=(const VelLiveMultipeerCoopManagerV1170&) = delete;

    pk::Published<bool> isSessionActive{false};
    pk::Published<bool> isVoiceMicEnabled{false};
    pk::Published<std::string> roomCode{std::string("NYC-6AVE")};
    pk::Published<std::vector<std::string>> connectedPeerNames;
    pk::Published<std::vector<VelRemoteCoopAvatarV1170>> remoteAvatars;
    pk::Published<std::optional<std::string>> gameCenterPlayerName;
    pk::Published<std::string> statusText{std::string("Offline · Ready for LAN / Wi-Fi 4P Convoy")};

    void startCoopLobby(std::optional<std::string> roomCode);
    void stopCoopLobby();
    void setVoiceMicEnabled(bool on);
    void toggleSoloConvoyBotPreview();
    void broadcastLocalState(pk::float3 pos, float yaw, bool carryingCore, bool insideMercy, int64_t warthogSeat);

    // The display name this peer shows (host name, at most 20 characters).
    const std::string& peerDisplayName() const { return peerDisplayName_; }
    // The host name cut as the display name is.
    static std::string displayNameForHost(const std::string& hostName);
    static std::string systemHostName();
    pk::float3 listenerPosition() const { return localPos_; }
    pk::float3 listenerRight() const { return localRight_; }

private:
    void onPeerStateChanged(const std::vector<pk::net::PeerInfo>& connected);
    void onData(const std::vector<uint8_t>& data, const pk::net::PeerInfo& from);
    void onInvitation(const std::function<void(bool)>& respond);
    void onPeerFound(const pk::net::PeerInfo& peer, const std::optional<pk::net::DiscoveryInfo>& info);
    // The one way work from another thread reaches this manager: fn runs on the main
    // queue only while the manager and the session of `generation` still exist.
    std::function<void(std::function<void()>)> mainQueueHop(uint64_t generation);

    std::shared_ptr<pk::net::Transport> transport_;
    std::shared_ptr<pk::Clock> clock_;
    pk::MainQueue* queue_;
    std::string peerDisplayName_;
    std::unique_ptr<pk::net::Session> session_;
    std::shared_ptr<VelLive3DProximityVoiceEngineV1170> voiceEngine_;
    uint32_t sendSeq_ = 0;
    double lastStateBroadcastTime_ = 0;
    pk::float3 localPos_{0.0f, 1.7f, -14.0f};
    pk::float3 localRight_{1.0f, 0.0f, 0.0f};
    bool localInsideMercy_ = false;
    uint64_t generation_ = 0;  // bumps with every new session: stale events are dropped
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);  // hops hold it weakly
};

}  // namespace creator
