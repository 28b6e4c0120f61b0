#include "MarblewickCreatorStudio/VelDailySeededManhattanRaidV1250.h"

#include "PlatformKit/Foundation/Numbers.h"
#include "PlatformKit/GameServices/GameServices.h"

namespace creator {

using Raid = VelDailySeededManhattanRaidV1250;

const std::array<const char*, 5> Raid::bossTable = {"IRON JAW", "MERCY SCALPEL", "WENDMOOR REAPER", "SUBWAY BUTCHER",
                                                    "TIMES SQUARE HOWLER"};

uint64_t Raid::fnv1a64(std::string_view bytes) {
    uint64_t h = 0xcbf29ce484222325ull;
    for (unsigned char c : bytes) {
        h ^= c;
        h *= 0x100000001b3ull;
    }
    return h;
}

std::string Raid::utcDateISO(std::chrono::system_clock::time_point date) {
    // Civil-date arithmetic on the UTC day count: no time zone database, no local time.
    const auto day = std::chrono::floor<std::chrono::days>(date);
    const std::chrono::year_month_day ymd{day};
    return pk::formatC("%04d-%02u-%02u", static_cast<int>(ymd.year()), static_cast<unsigned>(ymd.month()),
                       static_cast<unsigned>(ymd.day()));
}

Raid Raid::forDateISO(const std::string& dateISO) {
    Raid r;
    r.dateISO = dateISO;
    r.globalSeed = fnv1a64(dateISO);
    r.squallCycleSec = static_cast<int64_t>(r.globalSeed % 45) + 95;
    r.featuredBossCallsign = bossTable[r.globalSeed % 5];
    r.bonusScrapMultiplier = static_cast<double>(r.globalSeed & 3) * 0.25 + 1.5;
    r.leaderboardID = dailyLeaderboardID;
    return r;
}

Raid Raid::today(std::chrono::system_clock::time_point date) { return forDateISO(utcDateISO(date)); }

void Raid::submitDailyScore(int64_t score, pk::games::GameServices& services) const {
    if (!services.isAuthenticated()) return;
    services.submitScore(score, submissionContext(), {leaderboardID}, [](std::optional<pk::StudioError>) {});
}

void Raid::submitDailyScoreToGameCenter(int64_t score) const {
    submitDailyScore(score, *pk::games::GameServices::shared());
}

pk::json::OrderedJson Raid::toJson() const {
    pk::json::OrderedJson j = pk::json::OrderedJson::object();
    j["dateISO"] = dateISO;
    j["globalSeed"] = globalSeed;
    j["squallCycleSec"] = squallCycleSec;
    j["featuredBossCallsign"] = featuredBossCallsign;
    j["bonusScrapMultiplier"] = pk::json::doubleNumber(bonusScrapMultiplier);
    j["leaderboardID"] = leaderboardID;
    return j;
}

template <class J>
Raid Raid::fromJson(const J& j) {
    using namespace pk::json;
    Raid r;
    r.dateISO = readString(j, "dateISO");
    r.globalSeed = readInteger<uint64_t>(j, "globalSeed");
    r.squallCycleSec = readInteger<int64_t>(j, "squallCycleSec");
    r.featuredBossCallsign = readString(j, "featuredBossCallsign");
    r.bonusScrapMultiplier = readDouble(j, "bonusScrapMultiplier");
    r.leaderboardID = readString(j, "leaderboardID");
    return r;
}

template Raid Raid::fromJson(const pk::json::Json&);
template Raid Raid::fromJson(const pk::json::OrderedJson&);

}  // namespace creator
