#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <set>

#include "MarblewickCreatorStudio/VelDailySeededManhattanRaidV1250.h"
#include "PlatformKit/GameServices/GameServices.h"

using namespace creator;
using Raid = VelDailySeededManhattanRaidV1250;
using namespace std::chrono;

namespace {
system_clock::time_point utc(int y, unsigned m, unsigned d, int h, int min) {
    return sys_days{year{y} / month{m} / day{d}} + hours{h} + minutes{min};
}

// Restores TZ when a test moved it far from UTC.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* tz) {
        if (const char* old = std::getenv("TZ")) old_ = old;
        setenv("TZ", tz, 1);
        tzset();
    }
    ~ScopedTimeZone() {
        if (old_) setenv("TZ", old_->c_str(), 1);
        else unsetenv("TZ");
        tzset();
    }

private:
    std::optional<std::string> old_;
};

class CountingGameServices : public pk::games::GameServices {
public:
    using GameServices::GameServices;
    void submitScore(int64_t score, uint64_t context, const std::vector<std::string>& ids, Completion done) override {
        ++calls;
        lastScore = score;
        lastContext = context;
        lastIDs = ids;
        GameServices::submitScore(score, context, ids, std::move(done));
    }
    int calls = 0;
    int64_t lastScore = 0;
    uint64_t lastContext = 0;
    std::vector<std::string> lastIDs;
};
}  // namespace

TEST(DailyRaid, WorkedExampleInAnyTimeZone) {
    for (const char* tz : {"UTC", "Pacific/Kiritimati", "Pacific/Pago_Pago", "Asia/Kathmandu"}) {
        SCOPED_TRACE(tz);
        ScopedTimeZone zone(tz);
        const Raid r = Raid::today(utc(2026, 12, 9, 23, 30));
        EXPECT_EQ(r.dateISO, "2026-12-09");
        EXPECT_EQ(r.globalSeed, 0x185b1e4c1340c6e7ull);
        EXPECT_EQ(r.squallCycleSec, 108);
        EXPECT_EQ(r.featuredBossCallsign, "SUBWAY BUTCHER");
        EXPECT_EQ(r.bonusScrapMultiplier, 2.25);
        EXPECT_EQ(r.submissionContext(), 50919u);
        EXPECT_EQ(Raid::today(utc(2026, 12, 10, 0, 30)).dateISO, "2026-12-10");
        EXPECT_EQ(Raid::today(utc(2026, 12, 9, 0, 0)).dateISO, "2026-12-09");
    }
    const std::string id = Raid::today(utc(2026, 12, 9, 1, 0)).leaderboardID;
    EXPECT_EQ(id.substr(id.rfind('.') + 1), "daily_raid_score");
}

TEST(DailyRaid, DerivedValuesStayInRange) {
    std::set<double> multipliers;
    std::set<std::string> bosses;
    auto t = utc(2024, 1, 1, 12, 0);
    for (int i = 0; i < 800; ++i, t += days{1}) {
        const Raid r = Raid::today(t);
        ASSERT_GE(r.squallCycleSec, 95);
        ASSERT_LE(r.squallCycleSec, 139);
        ASSERT_EQ(r, Raid::forDateISO(r.dateISO));
        multipliers.insert(r.bonusScrapMultiplier);
        bosses.insert(r.featuredBossCallsign);
    }
    EXPECT_EQ(multipliers, (std::set<double>{1.5, 1.75, 2.0, 2.25}));
    EXPECT_EQ(bosses.size(), 5u);
    EXPECT_EQ(Raid::utcDateISO(utc(2024, 2, 29, 23, 59)), "2024-02-29");
    EXPECT_EQ(Raid::utcDateISO(system_clock::time_point{}), "1970-01-01");
}

TEST(DailyRaid, Json) {
    const Raid r = Raid::forDateISO("2026-12-09");
    const std::string text = pk::json::dump(r.toJson());
    EXPECT_EQ(text, R"({"dateISO":"2026-12-09","globalSeed":1755029791880300263,"squallCycleSec":108,)"
                    R"("featuredBossCallsign":"SUBWAY BUTCHER","bonusScrapMultiplier":2.25,)"
                    R"("leaderboardID":")" + r.leaderboardID + R"("})");
    EXPECT_EQ(Raid::fromJson(pk::json::parse(text)), r);

    auto extra = r.toJson();
    extra["weather"] = "rain";
    EXPECT_EQ(Raid::fromJson(extra), r);

    auto missing = r.toJson();
    missing.erase("leaderboardID");
    try {
        Raid::fromJson(missing);
        FAIL() << "decoded without leaderboardID";
    } catch (const pk::StudioError& e) {
        EXPECT_EQ(e.domain, pk::json::kDecodingDomain);
        EXPECT_EQ(e.code, pk::json::keyNotFound);
    }
    auto seedTooBig = pk::json::parse(text);
    seedTooBig["globalSeed"] = -1;
    EXPECT_THROW(Raid::fromJson(seedTooBig), pk::StudioError);
}

TEST(DailyRaid, ScoreSubmission) {
    pk::MainQueue queue;
    const Raid r = Raid::forDateISO("2026-12-09");

    CountingGameServices signedOut(std::nullopt, nullptr, queue);
    r.submitDailyScore(5000, signedOut);
    EXPECT_EQ(signedOut.calls, 0);

    const auto dbPath = std::filesystem::path(KS_TEST_OUTPUT_DIR) / "daily-raid-scores.sqlite";
    std::filesystem::create_directories(dbPath.parent_path());
    std::filesystem::remove(dbPath);
    auto db = pk::cloud::openDatabase(dbPath.string(), queue);
    CountingGameServices signedIn(std::string("Wren"), db, queue);
    r.submitDailyScore(5000, signedIn);
    EXPECT_EQ(signedIn.calls, 1);
    EXPECT_EQ(signedIn.lastContext, 50919u);
    EXPECT_EQ(signedIn.lastIDs, std::vector<std::string>{r.leaderboardID});

    // The database runs its work in order, so this fetch sees the score.
    std::optional<std::vector<pk::cloud::CloudRecord>> stored;
    db->fetchRecords(pk::games::kLeaderboardScoreRecordType, [&](auto recs, auto) { stored = std::move(recs); });
    ASSERT_TRUE(queue.runUntil([&] { return stored.has_value(); }, 5));
    ASSERT_EQ(stored->size(), 1u);
    EXPECT_EQ(*(*stored)[0].get<int64_t>("score"), 5000);
    EXPECT_EQ(*(*stored)[0].get<int64_t>("context"), 50919);
    EXPECT_EQ(*(*stored)[0].get<std::string>("playerName"), "Wren");
}
