#pragma once
// The local player and leaderboards. The player is signed in when the user configures a
// name (KESTRELUNE_PLAYER_NAME); scores are records in the cloud public database.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "PlatformKit/Cloud/CloudDatabase.h"

namespace pk::games {

inline constexpr const char* kErrorDomain = "PlatformKit.GameServices";
enum ErrorCode : int { notAuthenticated = 6, noCloudAccount = 7 };

inline constexpr const char* kPlayerEnvironmentVariable = "KESTRELUNE_PLAYER_NAME";
// One record per submitted score, with the fields "leaderboardID" (text), "playerName"
// (text), "score" (integer), "context" (integer, the 64-bit context's bits) and
// "submittedAt" (seconds since 1970, UTC).
inline constexpr const char* kLeaderboardScoreRecordType = "LeaderboardScore";

struct LocalPlayer {
    std::string displayName;
    bool operator==(const LocalPlayer&) const = default;
};

class GameServices {
public:
    using Completion = std::function<void(std::optional<StudioError> error)>;

    // No player name (or an empty one) = not signed in; no database = no cloud account.
    GameServices(std::optional<std::string> playerName, std::shared_ptr<cloud::CloudDatabase> database,
                 MainQueue& queue = MainQueue::main());
    virtual ~GameServices() = default;

    // From the environment, made once for the process.
    static std::shared_ptr<GameServices> shared();
    static std::shared_ptr<GameServices> fromEnvironment(MainQueue& queue = MainQueue::main());

    bool isAuthenticated() const { return player_.has_value(); }
    const std::optional<LocalPlayer>& localPlayer() const { return player_; }

    // Saves the score to each leaderboard for the local player. The completion is posted
    // to the queue once, with the first error (not signed in, no account, store failure).
    virtual void submitScore(int64_t score, uint64_t context, const std::vector<std::string>& leaderboardIDs,
                             Completion completion);

private:
    std::optional<LocalPlayer> player_;
    std::shared_ptr<cloud::CloudDatabase> database_;
    MainQueue& queue_;
};

}  // namespace pk::games
