#pragma once
// The daily raid: parameters derived only from the UTC calendar date, so every player
// gets the same raid without a server, and the day's leaderboard submission.
#include <array>
#include <chrono>
#include <cstdint>
#include <string>

#include "PlatformKit/Foundation/Json.h"

namespace pk::games {
class GameServices;
}

namespace creator {

struct VelDailySeededManhattanRaidV1250 {
    static constexpr const char* dailyLeaderboardID = "com.marblewick.grimtide.daily_raid_score";
    static const std::array<const char*, 5> bossTable;

    std::string dateISO;
    uint64_t globalSeed = 0;
    int64_t squallCycleSec = 0;
    std::string featuredBossCallsign;
    double bonusScrapMultiplier = 0;
    std::string leaderboardID;

    bool operator==(const VelDailySeededManhattanRaidV1250&) const = default;

    // The raid of the UTC calendar day that holds `date`; the local time zone plays no part.
    static VelDailySeededManhattanRaidV1250 today(std::chrono::system_clock::time_point date);
    // The raid of a "yyyy-MM-dd" date text.
    static VelDailySeededManhattanRaidV1250 forDateISO(const std::string& dateISO);
    // "yyyy-MM-dd" of the UTC day.
    static std::string utcDateISO(std::chrono::system_clock::time_point date);
    static uint64_t fnv1a64(std::string_view bytes);

    // The leaderboard context: the seed's low 16 bits.
    uint64_t submissionContext() const { return globalSeed & 0xFFFFu; }
    // Sends the score when the local player is signed in, else does nothing; failures are
    // dropped.
    void submitDailyScoreToGameCenter(int64_t score) const;
    void submitDailyScore(int64_t score, pk::games::GameServices& services) const;

    pk::json::OrderedJson toJson() const;
    // All six keys are required; others are ignored.
    template <class J>
    static VelDailySeededManhattanRaidV1250 fromJson(const J& j);
};

extern template VelDailySeededManhattanRaidV1250 VelDailySeededManhattanRaidV1250::fromJson(const pk::json::Json&);
extern template VelDailySeededManhattanRaidV1250 VelDailySeededManhattanRaidV1250::fromJson(const pk::json::OrderedJson&);

}  // namespace creator
