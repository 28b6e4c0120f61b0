#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "PlatformKit/GameServices/GameServices.h"

using namespace pk::games;
namespace fs = std::filesystem;

namespace {
fs::path freshFile(const char* name) {
    fs::path p = fs::path(KS_TEST_OUTPUT_DIR) / "gameservices" / name;
    fs::create_directories(p.parent_path());
    fs::remove(p);
    return p;
}

std::optional<pk::StudioError> submitAndWait(GameServices& gs, pk::MainQueue& q, int64_t score, uint64_t context,
                                             const std::vector<std::string>& ids) {
    bool done = false;
    int calls = 0;
    std::optional<pk::StudioError> err;
    gs.submitScore(score, context, ids, [&](auto e) {
        ++calls;
        err = std::move(e);
        done = true;
    });
    EXPECT_TRUE(q.runUntil([&] { return done; }, 10));
    q.waitAndDrain(0.05);
    EXPECT_EQ(calls, 1);
    return err;
}
}  // namespace

TEST(GameServices, LocalPlayerFromTheEnvironment) {
    pk::MainQueue q;
    unsetenv(kPlayerEnvironmentVariable);
    EXPECT_FALSE(GameServices::fromEnvironment(q)->isAuthenticated());
    setenv(kPlayerEnvironmentVariable, "", 1);
    EXPECT_FALSE(GameServices::fromEnvironment(q)->isAuthenticated());
    setenv(kPlayerEnvironmentVariable, "Wren Alder", 1);
    auto gs = GameServices::fromEnvironment(q);
    ASSERT_TRUE(gs->isAuthenticated());
    EXPECT_EQ(gs->localPlayer()->displayName, "Wren Alder");
    unsetenv(kPlayerEnvironmentVariable);
}

TEST(GameServices, SubmissionNeedsPlayerAndAccount) {
    pk::MainQueue q;
    const auto path = freshFile("refused.sqlite");
    GameServices signedOut(std::nullopt, pk::cloud::openDatabase(path.string(), q), q);
    auto e = submitAndWait(signedOut, q, 10, 0, {"board"});
    ASSERT_TRUE(e);
    EXPECT_EQ(e->code, notAuthenticated);
    EXPECT_FALSE(fs::exists(path));  // nothing was sent

    GameServices noAccount(std::string("Wren"), nullptr, q);
    e = submitAndWait(noAccount, q, 10, 0, {"board"});
    ASSERT_TRUE(e);
    EXPECT_EQ(e->code, noCloudAccount);
}

TEST(GameServices, ScoresBecomeRecordsPerLeaderboard) {
    pk::MainQueue q;
    auto db = pk::cloud::openDatabase(freshFile("scores.sqlite").string(), q);
    GameServices gs(std::string("Wren"), db, q);
    EXPECT_FALSE(submitAndWait(gs, q, 123456, 0xFFFFFFFFFFFFFFFFull, {"com.example.a", "com.example.b"}));

    std::optional<std::vector<pk::cloud::CloudRecord>> recs;
    db->fetchRecords(kLeaderboardScoreRecordType, [&](auto r, auto) { recs = std::move(r); });
    ASSERT_TRUE(q.runUntil([&] { return recs.has_value(); }, 10));
    ASSERT_EQ(recs->size(), 2u);
    EXPECT_EQ(*(*recs)[0].get<std::string>("leaderboardID"), "com.example.a");
    EXPECT_EQ(*(*recs)[1].get<std::string>("leaderboardID"), "com.example.b");
    for (const auto& r : *recs) {
        EXPECT_EQ(*r.get<std::string>("playerName"), "Wren");
        EXPECT_EQ(*r.get<int64_t>("score"), 123456);
        EXPECT_EQ(static_cast<uint64_t>(*r.get<int64_t>("context")), 0xFFFFFFFFFFFFFFFFull);
        EXPECT_GT(*r.get<double>("submittedAt"), 1.6e9);
    }

    // A store failure is reported once.
    GameServices broken(std::string("Wren"),
                        pk::cloud::openDatabase((fs::path(KS_TEST_OUTPUT_DIR) / "missing-dir" / "x.sqlite").string(), q), q);
    auto e = submitAndWait(broken, q, 1, 0, {"a", "b", "c"});
    ASSERT_TRUE(e);
    EXPECT_EQ(e->domain, pk::cloud::kErrorDomain);
}
