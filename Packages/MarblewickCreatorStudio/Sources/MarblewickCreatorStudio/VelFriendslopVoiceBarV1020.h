#pragma once
// The lobby's compact voice bar: the room code chip, a voice on/off button and one
// activity dot per speaker (a green halo around whoever is talking), on a capsule.
#include "MarblewickCreatorStudio/VelFriendslopLobbyControllerV1020.h"
#include "PlatformKit/Ui/ImGui.h"

namespace creator {

class VelFriendslopVoiceBarV1020 {
public:
    explicit VelFriendslopVoiceBarV1020(VelFriendslopLobbyControllerV1020& lobby) : lobby(lobby) {}

    VelFriendslopLobbyControllerV1020& lobby;

    // Draws the bar at the cursor (probe scope "voiceBar").
    void body();
    ImVec2 size() const;

    // A speaker counts as speaking above 0.2 when neither muted nor silenced.
    static bool isSpeaking(const VelProximityVoiceSpeakerV1020& speaker, bool voiceEnabled);
};

}  // namespace creator
