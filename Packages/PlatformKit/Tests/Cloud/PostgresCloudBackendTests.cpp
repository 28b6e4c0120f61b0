#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "PlatformKit/Cloud/CloudDatabase.h"
#include "PostgresTestCluster.h"

using namespace pk::cloud;
using pk::cloud::testing::PostgresTestCluster;

namespace {

struct SaveResult {
    std::optional<CloudRecord> saved;
    std::optional<pk::StudioError> error;
};

class PostgresCloudTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why;
        cluster = PostgresTestCluster::shared(&why);
        if (!cluster) GTEST_SKIP() << "No PostgreSQL server could be started here, so this test is skipped: " << why;
        database = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        url = cluster->freshDatabase(database);
    }

    SaveResult save(CloudDatabase& db, CloudRecord r) {
        std::optional<SaveResult> out;
        db.save(std::move(r), [&](auto saved, auto error) { out = SaveResult{std::move(saved), std::move(error)}; });
        EXPECT_TRUE(queue.runUntil([&] { return out.has_value(); }, 20));
        return out.value_or(SaveResult{});
    }

    std::vector<CloudRecord> fetch(CloudDatabase& db, const std::string& type) {
        std::optional<std::vector<CloudRecord>> out;
        db.fetchRecords(type, [&](auto recs, auto error) {
            EXPECT_FALSE(error) << error->description;
            out = std::move(recs);
        });
        EXPECT_TRUE(queue.runUntil([&] { return out.has_value(); }, 20));
        return out.value_or(std::vector<CloudRecord>{});
    }

    PostgresTestCluster* cluster = nullptr;
    std::string database, url;
    pk::MainQueue queue;
};

}  // namespace

TEST_F(PostgresCloudTest, SaveAndFetchKeepEveryFieldBitForBit) {
    auto db = openDatabase(url, queue);
    CloudRecord r;
    r.recordType = "VelUGCStageBlueprint";
    r.fields = {{"title", std::string("Harbor \xE2\x80\x94 Night")},
                {"low", std::numeric_limits<int64_t>::min()},
                {"high", std::numeric_limits<int64_t>::max()},
                {"tenth", 0.1},
                {"negativeZero", -0.0},
                {"infinite", std::numeric_limits<double>::infinity()},
                {"tiny", std::numeric_limits<double>::denorm_min()},
                {"payload", std::vector<uint8_t>{0, 1, 2, 255}},
                {"empty", std::vector<uint8_t>{}},
                {"blank", std::string()}};
    const auto first = save(*db, r);
    ASSERT_FALSE(first.error) << first.error->description;
    ASSERT_TRUE(first.saved);
    ASSERT_FALSE(save(*db, CloudRecord{"VelUGCStageBlueprint", "", {}}).error);

    // Another connection sees both, oldest first, the first with every value as it went in.
    auto again = openDatabase(url, queue);
    const auto found = fetch(*again, "VelUGCStageBlueprint");
    ASSERT_EQ(found.size(), 2u);
    CloudRecord expected = r;
    expected.recordName = first.saved->recordName;
    EXPECT_EQ(found[0], expected);
    EXPECT_TRUE(std::signbit(*found[0].get<double>("negativeZero")));
    EXPECT_TRUE(found[1].fields.empty());
    EXPECT_TRUE(fetch(*again, "Other").empty());

    // The values sit in plain typed columns for anyone who queries the database.
    EXPECT_EQ(cluster->query(database, "SELECT text_value FROM cloud_fields WHERE field_name = 'title'"),
              std::vector<std::string>{"Harbor \xE2\x80\x94 Night"});
    EXPECT_EQ(cluster->query(database, "SELECT int_value::text FROM cloud_fields WHERE field_name = 'high'"),
              std::vector<std::string>{"9223372036854775807"});
}

TEST_F(PostgresCloudTest, SavingUnderANameReplacesTheRecordAndMakesItNewest) {
    auto db = openDatabase(url, queue);
    CloudRecord fixed{"Score", "fixed-name", {{"a", int64_t{1}}, {"b", int64_t{2}}}};
    ASSERT_FALSE(save(*db, fixed).error);
    ASSERT_FALSE(save(*db, CloudRecord{"Score", "other", {}}).error);
    fixed.fields = {{"a", std::string("one")}};
    ASSERT_FALSE(save(*db, fixed).error);
    const auto found = fetch(*db, "Score");
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].recordName, "other");
    EXPECT_EQ(found[1], fixed);  // the old field "b" is gone
}

TEST_F(PostgresCloudTest, FailuresArriveInTheCompletionAndTheConnectionRecovers) {
    auto db = openDatabase(url, queue);
    // PostgreSQL text cannot hold a NUL: the save fails whole and leaves nothing behind.
    auto bad = save(*db, CloudRecord{"Score", "", {{"n", int64_t{1}}, {"t", std::string("a\0b", 3)}}});
    ASSERT_TRUE(bad.error);
    EXPECT_EQ(bad.error->code, storeFailure);
    EXPECT_FALSE(save(*db, CloudRecord{"Score", "", {{"n", int64_t{2}}}}).error);
    const auto found = fetch(*db, "Score");
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(*found[0].get<int64_t>("n"), 2);

    // The server ends every session of this database: the next save connects again.
    cluster->query("postgres", "SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE datname = '" +
                                   database + "'");
    const auto afterKill = save(*db, CloudRecord{"Score", "", {{"n", int64_t{3}}}});
    EXPECT_FALSE(afterKill.error) << afterKill.error->description;
    EXPECT_EQ(fetch(*db, "Score").size(), 2u);

    // Nobody listens on the port: a failure in the completion, not a hang or a throw.
    auto nowhere = openDatabase("postgresql://postgres@127.0.0.1:1/none", queue);
    auto refused = save(*nowhere, CloudRecord{"Score", "", {}});
    ASSERT_TRUE(refused.error);
    EXPECT_EQ(refused.error->code, storeFailure);
    EXPECT_NE(refused.error->description.find("PostgreSQL connection failed"), std::string::npos);
}

TEST(PostgresLocator, PostgresUrlsOpenWithoutConnecting) {
    pk::MainQueue q;
    EXPECT_NE(openDatabase("postgresql://nobody@127.0.0.1:1/none", q), nullptr);
    EXPECT_NE(openDatabase("postgres://nobody@127.0.0.1:1/none", q), nullptr);
}
