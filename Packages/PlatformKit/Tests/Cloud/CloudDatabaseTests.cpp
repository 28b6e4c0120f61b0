#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <new>

#include "PlatformKit/Cloud/CloudDatabase.h"
#include "PlatformKit/Foundation/Files.h"
#include "FuzzSeeds.h"

using namespace pk::cloud;
namespace fs = std::filesystem;

namespace {
fs::path freshFile(const char* name) {
    fs::path p = fs::path(KS_TEST_OUTPUT_DIR) / "cloud" / name;
    fs::create_directories(p.parent_path());
    fs::remove(p);
    return p;
}

struct SaveResult {
    std::optional<CloudRecord> saved;
    std::optional<pk::StudioError> error;
};

SaveResult saveAndWait(CloudDatabase& db, pk::MainQueue& q, CloudRecord r) {
    std::optional<SaveResult> out;
    db.save(std::move(r), [&](auto saved, auto error) { out = SaveResult{std::move(saved), std::move(error)}; });
    EXPECT_TRUE(q.runUntil([&] { return out.has_value(); }, 10));
    return out.value_or(SaveResult{});
}

std::vector<CloudRecord> fetchAndWait(CloudDatabase& db, pk::MainQueue& q, const std::string& type) {
    std::optional<std::vector<CloudRecord>> out;
    db.fetchRecords(type, [&](auto recs, auto error) {
        EXPECT_FALSE(error.has_value());
        out = std::move(recs);
    });
    EXPECT_TRUE(q.runUntil([&] { return out.has_value(); }, 10));
    return out.value_or(std::vector<CloudRecord>{});
}
}  // namespace

TEST(CloudDatabase, SaveAndFetchKeepFieldKinds) {
    pk::MainQueue q;
    const auto path = freshFile("kinds.sqlite");
    auto db = openDatabase(path.string(), q);
    CloudRecord r;
    r.recordType = "VelUGCStageBlueprint";
    r.fields = {{"title", std::string("Harbor \xE2\x80\x94 Night")},
                {"count", int64_t{-9007199254740993}},
                {"scale", 0.1},
                {"payload", std::vector<uint8_t>{0, 1, 2, 255}},
                {"empty", std::vector<uint8_t>{}},
                {"blank", std::string()}};

    bool ranEarly = false;
    db->save(r, [&](auto, auto) { ranEarly = true; });
    EXPECT_FALSE(ranEarly);  // completions wait for the queue
    const auto result = saveAndWait(*db, q, r);
    ASSERT_FALSE(result.error) << result.error->description;
    ASSERT_TRUE(result.saved);
    EXPECT_EQ(result.saved->recordName.size(), 32u);

    const auto found = fetchAndWait(*db, q, "VelUGCStageBlueprint");
    ASSERT_EQ(found.size(), 2u);
    EXPECT_NE(found[0].recordName, found[1].recordName);
    CloudRecord expected = r;
    expected.recordName = result.saved->recordName;
    EXPECT_EQ(found[1], expected);
    EXPECT_TRUE(fetchAndWait(*db, q, "Other").empty());

    // Another connection (a later run) sees the same records.
    db.reset();
    // The whole file seeds the row reader's fuzz target (an even first byte: a file).
    std::vector<uint8_t> seed{0};
    const auto file = pk::readFile(path);
    ASSERT_TRUE(file);
    seed.insert(seed.end(), file->begin(), file->end());
    kstest::writeFuzzSeed("pk_cloud_rows", "kinds.sqlite", seed);
    auto again = openDatabase("sqlite:" + path.string(), q);
    EXPECT_EQ(fetchAndWait(*again, q, "VelUGCStageBlueprint").size(), 2u);
}

TEST(CloudDatabase, SavingUnderANameReplacesTheRecord) {
    pk::MainQueue q;
    auto db = openDatabase(freshFile("replace.sqlite").string(), q);
    CloudRecord r{"Score", "fixed-name", {{"a", int64_t{1}}, {"b", int64_t{2}}}};
    ASSERT_FALSE(saveAndWait(*db, q, r).error);
    r.fields = {{"a", std::string("one")}};
    ASSERT_FALSE(saveAndWait(*db, q, r).error);
    const auto found = fetchAndWait(*db, q, "Score");
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0], r);  // the old field "b" is gone
}

TEST(CloudDatabase, FailuresArriveInTheCompletion) {
    pk::MainQueue q;
    auto db = openDatabase((fs::path(KS_TEST_OUTPUT_DIR) / "cloud" / "no-such-folder" / "x.sqlite").string(), q);
    auto r = saveAndWait(*db, q, CloudRecord{"Score", "", {}});
    ASSERT_TRUE(r.error);
    EXPECT_EQ(r.error->domain, kErrorDomain);
    EXPECT_EQ(r.error->code, storeFailure);
    EXPECT_FALSE(r.saved);

    auto ok = openDatabase(freshFile("typeless.sqlite").string(), q);
    auto typeless = saveAndWait(*ok, q, CloudRecord{"", "", {{"a", int64_t{1}}}});
    ASSERT_TRUE(typeless.error);
    EXPECT_EQ(typeless.error->code, invalidRecord);

    try {
        openDatabase("mysql://localhost/maps", q);
        FAIL() << "a server locator needs its backend";
    } catch (const pk::StudioError& e) {
        EXPECT_EQ(e.code, unsupportedLocator);
    }
    EXPECT_THROW(openDatabase("", q), pk::StudioError);

    // A backend that throws what is no StudioError fails that call alone.
    struct Throwing : CloudBackend {
        void save(const CloudRecord&) override { throw std::bad_alloc(); }
        std::vector<CloudRecord> records(const std::string&) override { throw 42; }
    };
    CloudDatabase throwing(std::make_unique<Throwing>(), q);
    auto unsaved = saveAndWait(throwing, q, CloudRecord{"Score", "", {}});
    ASSERT_TRUE(unsaved.error);
    EXPECT_EQ(unsaved.error->code, storeFailure);
    EXPECT_EQ(unsaved.error->description, std::bad_alloc().what());
    std::optional<pk::StudioError> fetchError;
    bool fetched = false;
    throwing.fetchRecords("Score", [&](auto, auto error) {
        fetchError = error;
        fetched = true;
    });
    ASSERT_TRUE(q.runUntil([&] { return fetched; }, 10));
    ASSERT_TRUE(fetchError);
    EXPECT_EQ(fetchError->code, storeFailure);
    EXPECT_EQ(fetchError->description, "Unknown error.");
}

TEST(CloudDatabase, PublicDatabaseComesFromTheEnvironment) {
    pk::MainQueue q;
    unsetenv(kDatabaseEnvironmentVariable);
    EXPECT_EQ(publicDatabase(q), nullptr);
    setenv(kDatabaseEnvironmentVariable, "", 1);
    EXPECT_EQ(publicDatabase(q), nullptr);
    const auto path = freshFile("public.sqlite");
    setenv(kDatabaseEnvironmentVariable, path.c_str(), 1);
    auto db = publicDatabase(q);
    ASSERT_NE(db, nullptr);
    EXPECT_FALSE(saveAndWait(*db, q, CloudRecord{"Score", "", {{"v", 1.5}}}).error);
    EXPECT_TRUE(fs::exists(path));
    unsetenv(kDatabaseEnvironmentVariable);
}

TEST(CloudDatabase, DestructionFinishesQueuedWork) {
    pk::MainQueue q;
    int done = 0;
    {
        auto db = openDatabase(freshFile("drain.sqlite").string(), q);
        for (int i = 0; i < 20; ++i)
            db->save(CloudRecord{"Score", "", {{"i", int64_t{i}}}}, [&](auto saved, auto error) {
                EXPECT_TRUE(saved && !error);
                ++done;
            });
    }
    q.drain();
    EXPECT_EQ(done, 20);
}
