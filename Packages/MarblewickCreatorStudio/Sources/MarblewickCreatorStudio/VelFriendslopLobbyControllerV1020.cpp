#include "MarblewickCreatorStudio/VelFriendslopLobbyControllerV1020.h"

#include <cmath>
#include <random>

namespace creator {

using Lobby = VelFriendslopLobbyControllerV1020;

Lobby::RandomSource Lobby::systemRandom() {
    return [](uint32_t bound) -> uint32_t {
        static thread_local std::mt19937 rng{std::random_device{}()};
        if (bound == 0) return 0;
        return std::uniform_int_distribution<uint32_t>(0, bound - 1)(rng);
    };
}

Lobby::VelFriendslopLobbyControllerV1020(const std::string& prefix, const std::string& localName, RandomSource random)
    : random_(random ? std::move(random) : systemRandom()) {
    roomCode = makeRoomCode(prefix);
    const pk::float3 still(0.0f);
    speakers = std::vector<VelProximityVoiceSpeakerV1020>{
        {"p1", localName, {0.0f, 1.4f, 0.0f}, still, 0, false, true, 0.18f},
        {"p2", "Kai (Co-Op)", {-2.4f, 1.4f, -1.2f}, still, 0, false, false, 0.42f},
        {"p3", "Mina (Co-Op)", {3.1f, 1.4f, -2.5f}, still, 0, false, false, 0.12f},
        {"p4", "Dex (Winch)", {0.5f, 4.2f, -5.0f}, still, 1, false, false, 0.30f},
    };
}

std::string Lobby::makeRoomCode(const std::string& prefix) {
    // 1000 through 9999; a source that strays past its bound is folded back into it.
    const uint32_t n = random_(9000) % 9000 + 1000;
    return prefix + "-" + std::to_string(n);
}

void Lobby::regenerateRoomCode(const std::string& prefix) {
    roomCode = makeRoomCode(prefix);
    connectionBanner = "New 4P Room " + *roomCode + " Open!";
}

void Lobby::toggleMute(const std::string& speakerID) {
    for (size_t i = 0; i < speakers->size(); ++i) {
        if ((*speakers)[i].id != speakerID) continue;
        speakers.modify([i](auto& list) { list[i].isMuted = !list[i].isMuted; });
        return;
    }
}

void Lobby::pulseSimulatedChatter(float t) {
    if (speakers->empty()) return;
    const bool voiceOn = *isProximityVoiceEnabled, micLive = *isMicLive;
    speakers.modify([&](auto& list) {
        for (size_t i = 0; i < list.size(); ++i) {
            auto& s = list[i];
            if (s.isMuted || !voiceOn) {
                s.voiceActivityLevel = 0.0f;
            } else if (s.isLocalPlayer) {
                s.voiceActivityLevel = micLive ? std::fabs(std::sin(3.1f * t)) * 0.25f + 0.18f : 0.0f;
            } else {
                // Each teammate talks in bursts at its own rhythm and idles at 0.04.
                const float fi = static_cast<float>(i);
                const float h = std::sin(2.1f * fi + t * (0.7f * fi + 1.8f));
                s.voiceActivityLevel = h > 0.55f ? (h - 0.55f) * 2.1f : 0.04f;
            }
        }
    });
}

}  // namespace creator
