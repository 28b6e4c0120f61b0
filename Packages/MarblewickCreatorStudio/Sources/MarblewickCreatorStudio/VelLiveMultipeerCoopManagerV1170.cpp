#include "MarblewickCreatorStudio/VelLiveMultipeerCoopManagerV1170.h"

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cmath>

#include "PlatformKit/Foundation/Text.h"
#include "PlatformKit/GameServices/GameServices.h"
#include "PlatformKit/Net/LanSession.h"

namespace creator {

using Manager = VelLiveMultipeerCoopManagerV1170;

namespace {
bool isBot(const VelRemoteCoopAvatarV1170& a) { return a.id.rfind("convoy_s", 0) == 0; }
}  // namespace

std::string Manager::displayNameForHost(const std::string& hostName) {
    const std::string name = hostName.empty() ? std::string("Marblewick-Mac") : hostName;
    return pk::prefixGraphemes(name, 20);
}

std::string Manager::systemHostName() {
    char buf[HOST_NAME_MAX + 1] = {};
    if (gethostname(buf, sizeof buf - 1) != 0) return "";
    return buf;
}

Manager& Manager::shared() {
    static Manager* instance = [] {
        Environment env;
        env.transport = std::make_shared<pk::net::LanTransport>();
        auto games = pk::games::GameServices::shared();
        if (games->isAuthenticated()) env.gameCenterPlayerName = games->localPlayer()->displayName;
        env.hostName = systemHostName();
        return new Manager(std::move(env));
    }();
    return *instance;
}

Manager::VelLiveMultipeerCoopManagerV1170(Environment env)
    : transport_(std::move(env.transport)),
      clock_(env.clock ? std::move(env.clock) : pk::Clock::system()),
      queue_(env.queue ? env.queue : &pk::MainQueue::main()),
      peerDisplayName_(displayNameForHost(env.hostName)),
      voiceEngine_(env.voiceEngine ? std::move(env.voiceEngine) : std::make_shared<VelLive3DProximityVoiceEngineV1170>()) {
    gameCenterPlayerName = env.gameCenterPlayerName;
}

Manager::~VelLiveMultipeerCoopManagerV1170() {
    voiceEngine_->setOnEncodedVoicePacket(nullptr);
    voiceEngine_->stop();
    session_.reset();
}

std::function<void(std::function<void()>)> Manager::mainQueueHop(uint64_t generation) {
    // Called from transport and capture threads: reads nothing of the manager there.
    return [this, queue = queue_, alive = std::weak_ptr<const void>(alive_), generation](std::function<void()> fn) {
        queue->postIfAlive(alive, [this, generation, fn = std::move(fn)] {
            if (generation == generation_ && session_) fn();
        });
    };
}

void Manager::startCoopLobby(std::optional<std::string> code) {
    if (code && !code->empty()) roomCode = pk::toUpper(*code);
    stopCoopLobby();
    std::unique_ptr<pk::net::Session> session;
    try {
        session = transport_->makeSession(peerDisplayName_);
    } catch (const std::exception&) {
        return;  // no network: stay offline, nothing shown
    }
    const uint64_t gen = ++generation_;
    const auto hop = mainQueueHop(gen);
    pk::net::Session* raw = session.get();  // events come only while it exists
    pk::net::SessionEvents events;
    // The connected names are read on the transport's thread, before the hop.
    events.peerStateChanged = [this, hop, raw](const pk::net::PeerInfo&, pk::net::PeerState) {
        hop([this, connected = raw->connectedPeers()] { onPeerStateChanged(connected); });
    };
    events.dataReceived = [this, hop](const std::vector<uint8_t>& data, const pk::net::PeerInfo& from) {
        hop([this, data, from] { onData(data, from); });
    };
    // A stale invitation is not answered: its session, and with it the link, is gone.
    events.invitation = [this, hop](const pk::net::PeerInfo&, const std::vector<uint8_t>&, std::function<void(bool)> respond) {
        hop([this, respond] { onInvitation(respond); });
    };
    events.peerFound = [this, hop](const pk::net::PeerInfo& peer, const std::optional<pk::net::DiscoveryInfo>& info) {
        hop([this, peer, info] { onPeerFound(peer, info); });
    };
    events.peerLost = [](const pk::net::PeerInfo&) {};
    session->setEvents(std::move(events));
    session_ = std::move(session);
    session_->startAdvertising(serviceType, pk::net::DiscoveryInfo{{discoveryRoomKey, *roomCode}});
    session_->startBrowsing(serviceType);
    isSessionActive = true;
    statusText = "Broadcasting Room " + *roomCode + " · Searching Mac & iPad Squadmates…";

    voiceEngine_->setOnEncodedVoicePacket([this, hop](const std::vector<uint8_t>& packet, float) {
        hop([this, packet] {
            if (!session_->connectedPeers().empty()) session_->sendToAllUnreliable(packet);
        });
    });
}

void Manager::stopCoopLobby() {
    if (session_) {
        session_->stopAdvertising();
        session_->stopBrowsing();
        session_->disconnect();
        session_.reset();
    }
    ++generation_;
    if (voiceEngine_->isRunning()) voiceEngine_->stop();
    isVoiceMicEnabled = false;
    isSessionActive = false;
    connectedPeerNames = std::vector<std::string>{};
    remoteAvatars = std::vector<VelRemoteCoopAvatarV1170>{};
    statusText = "Offline · Ready for LAN / Wi-Fi 4P Convoy";
}

void Manager::setVoiceMicEnabled(bool on) {
    if (on) {
        if (!*isSessionActive) startCoopLobby(std::nullopt);
        isVoiceMicEnabled = true;
        voiceEngine_->startLiveCaptureAndPlayback();
        statusText = "3D Proximity Voice LIVE · Room " + *roomCode + " (" + std::to_string(connectedPeerNames->size()) +
                     " peers)";
    } else {
        isVoiceMicEnabled = false;
        if (voiceEngine_->isRunning()) voiceEngine_->stop();
        statusText = *isSessionActive ? "Room " + *roomCode + " Active · Mic Muted" : std::string("Offline");
    }
}

void Manager::toggleSoloConvoyBotPreview() {
    auto avatars = *remoteAvatars;
    if (std::any_of(avatars.begin(), avatars.end(), isBot)) {
        avatars.erase(std::remove_if(avatars.begin(), avatars.end(), isBot), avatars.end());
    } else {
        avatars.push_back({"convoy_sim_gunner", "ELENA-M134", {3.4f, 0, -28}, 0.25f, false, 1, false, 0, {0.18f, 0.92f, 1.0f}});
        avatars.push_back({"convoy_sim_hauler", "MAYA-CORE", {-3.8f, 0, -32}, -0.18f, true, -1, false, 0, {1.0f, 0.72f, 0.16f}});
    }
    remoteAvatars = std::move(avatars);
}

void Manager::broadcastLocalState(pk::float3 pos, float yaw, bool carryingCore, bool insideMercy, int64_t warthogSeat) {
    localPos_ = pos;
    localRight_ = pk::float3(std::cos(yaw), 0.0f, -std::sin(yaw));
    localInsideMercy_ = insideMercy;
    if (!*isSessionActive || !session_ || session_->connectedPeers().empty()) return;
    const double now = clock_->now();
    if (now - lastStateBroadcastTime_ < stateBroadcastInterval) return;
    lastStateBroadcastTime_ = now;
    ++sendSeq_;  // wraps from 4294967295 to 0
    const std::string callsign = gameCenterPlayerName->value_or(peerDisplayName_);
    const VelCoopPlayerStatePacketV1170 packet(sendSeq_, pos, yaw, *isVoiceMicEnabled ? 0.35f : 0.0f, carryingCore,
                                               insideMercy, warthogSeat, callsign);
    session_->sendToAllUnreliable(packet.encodeBinary());
}

void Manager::onData(const std::vector<uint8_t>& data, const pk::net::PeerInfo& from) {
    if (auto packet = VelCoopPlayerStatePacketV1170::decodeBinary(data)) {
        auto avatar = VelRemoteCoopAvatarV1170::fromPacket(*packet, from.displayName);
        auto avatars = *remoteAvatars;
        auto it = std::find_if(avatars.begin(), avatars.end(), [&](const auto& a) { return a.id == from.displayName; });
        if (it != avatars.end()) *it = std::move(avatar);
        else avatars.push_back(std::move(avatar));
        remoteAvatars = std::move(avatars);
        return;
    }
    if (data.size() < 12) return;
    pk::float3 speakerPos = localPos_ + pk::float3(2.5f, 0.0f, -2.5f);
    bool speakerIndoors = false;
    for (const auto& a : *remoteAvatars)
        if (a.id == from.displayName) {
            speakerPos = a.worldPos;
            speakerIndoors = a.isIndoorsMercy;
            break;
        }
    const int64_t walls = speakerIndoors != localInsideMercy_ ? 2 : 0;
    voiceEngine_->ingestRemoteVoicePacket(data, localPos_, localRight_, speakerPos, walls);
}

void Manager::onPeerStateChanged(const std::vector<pk::net::PeerInfo>& connected) {
    std::vector<std::string> names;
    for (const auto& p : connected) names.push_back(p.displayName);
    connectedPeerNames = names;
    auto avatars = *remoteAvatars;
    avatars.erase(std::remove_if(avatars.begin(), avatars.end(),
                                 [&](const auto& a) {
                                     return !isBot(a) && std::find(names.begin(), names.end(), a.id) == names.end();
                                 }),
                  avatars.end());
    remoteAvatars = std::move(avatars);
    if (names.empty()) {
        statusText = "Broadcasting Room " + *roomCode + " · Waiting for Squadmates…";
    } else {
        std::string joined;
        for (size_t i = 0; i < names.size(); ++i) joined += (i ? ", " : "") + names[i];
        statusText = "CONNECTED: " + joined + " · 3D Proximity Active!";
    }
}

void Manager::onInvitation(const std::function<void(bool)>& respond) {
    // Joining must not grow the session past four players.
    respond(session_->connectedPeers().size() < maxOtherPeers);
}

void Manager::onPeerFound(const pk::net::PeerInfo& peer, const std::optional<pk::net::DiscoveryInfo>& info) {
    std::string room = *roomCode;
    if (info) {
        auto it = info->find(discoveryRoomKey);
        if (it != info->end()) room = it->second;
    }
    if (room == *roomCode && session_->connectedPeers().size() <= 2)
        session_->invite(peer.id, {}, inviteTimeoutSeconds);
}

}  // namespace creator
