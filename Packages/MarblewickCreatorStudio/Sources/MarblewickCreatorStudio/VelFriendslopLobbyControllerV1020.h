#pragma once
// A drop-in four-player lobby for any game screen: a room code, the voice switches and
// the speakers (the local player and three simulated teammates) whose voice activity it
// animates. It simulates chatter and talks to no network. Main thread only.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "MarblewickCreatorStudio/VelSpatialProximityVoiceDSPV1020.h"
#include "PlatformKit/Foundation/Published.h"

namespace creator {

class VelFriendslopLobbyControllerV1020 {
public:
    // A uniform whole number in [0, bound).
    using RandomSource = std::function<uint32_t(uint32_t bound)>;
    static RandomSource systemRandom();

    VelFriendslopLobbyControllerV1020(const std::string& prefix, const std::string& localName,
                                      RandomSource random = systemRandom());

    pk::Published<std::string> roomCode;
    pk::Published<bool> isProximityVoiceEnabled{true};
    pk::Published<bool> isMicLive{true};
    pk::Published<bool> pushToTalkEnabled{false};  // for the host screen; nothing here reads it
    pk::Published<std::vector<VelProximityVoiceSpeakerV1020>> speakers;
    pk::Published<std::string> connectionBanner{std::string("4P Drop-In Ready \u00B7 Spatial Voice ON")};

    void regenerateRoomCode(const std::string& prefix);
    // Flips the mute of the first speaker with that id; an unknown id changes nothing.
    void toggleMute(const std::string& speakerID);
    // Rewrites every speaker's activity level for time t (seconds); call once per frame.
    void pulseSimulatedChatter(float t);

private:
    std::string makeRoomCode(const std::string& prefix);

    RandomSource random_;
};

}  // namespace creator
