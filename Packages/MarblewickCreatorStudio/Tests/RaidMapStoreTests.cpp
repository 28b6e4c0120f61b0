#include <gtest/gtest.h>

#include <mutex>

#include "MarblewickCreatorStudio/VelCloudKitUGCBrowserStoreV1175.h"
#include "PlatformKit/Foundation/Files.h"
#include "PostgresTestCluster.h"

using namespace creator;
namespace fs = std::filesystem;
using Store = VelCloudKitUGCBrowserStoreV1175;
using Vault = VelUGCVaultStorageV1175;
using Map = VelUGCRaidMapRecordV1175;
using pk::cloud::CloudRecord;

namespace {

// A cloud database that keeps what it is given, or refuses it.
class FakeBackend : public pk::cloud::CloudBackend {
public:
    struct State {
        std::mutex mutex;
        std::vector<CloudRecord> saved;
        bool fail = false;
    };
    explicit FakeBackend(std::shared_ptr<State> s) : state_(std::move(s)) {}
    void save(const CloudRecord& r) override {
        std::lock_guard lock(state_->mutex);
        if (state_->fail) throw pk::StudioError(pk::cloud::kErrorDomain, pk::cloud::storeFailure, "offline");
        state_->saved.push_back(r);
    }
    std::vector<CloudRecord> records(const std::string&) override { return {}; }

private:
    std::shared_ptr<State> state_;
};

std::vector<std::string> ids(const std::vector<Map>& maps) {
    std::vector<std::string> out;
    for (const auto& m : maps) out.push_back(m.id);
    return out;
}

class RaidMapStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        vault = fs::path(KS_TEST_OUTPUT_DIR) / "raid-store" / info->name();
        fs::remove_all(vault);
    }

    // A store whose account is the fake database (or none).
    std::unique_ptr<Store> makeStore(bool signedIn = true) {
        Store::Environment env;
        env.vaultDirectory = vault;
        env.clock = clock;
        env.queue = &queue;
        if (signedIn) {
            auto db = std::make_shared<pk::cloud::CloudDatabase>(std::make_unique<FakeBackend>(cloud), queue);
            env.cloudDatabase = [db] { return db; };
        } else {
            env.cloudDatabase = [] { return std::shared_ptr<pk::cloud::CloudDatabase>(); };
        }
        return std::make_unique<Store>(std::move(env));
    }

    // Runs the main queue until the cloud completion has shown its message.
    void waitForStatus(const Store& store, const std::string& prefix) {
        ASSERT_TRUE(queue.runUntil([&] { return store.statusMessage->rfind(prefix, 0) == 0; }, 10))
            << *store.statusMessage;
    }

    void setCloudFailing(bool fail) {
        std::lock_guard lock(cloud->mutex);
        cloud->fail = fail;
    }

    static Map userMap(const std::string& title = "Harbor Night") {
        Map m = Vault::flagshipRaidPacks().front();
        m.id = "user_harbor";
        m.title = title;
        m.syncedToCloudKit = false;
        m.createdISO = "2026-05-01T08:00:00Z";
        return m;
    }

    fs::path vault;
    std::shared_ptr<pk::ManualClock> clock = std::make_shared<pk::ManualClock>(0, 1772366400.0);
    pk::MainQueue queue{clock};
    std::shared_ptr<FakeBackend::State> cloud = std::make_shared<FakeBackend::State>();
};

}  // namespace

TEST_F(RaidMapStoreTest, MapsAreTheVaultFollowedByTheBuiltInPacksItDoesNotReplace) {
    auto store = makeStore();
    EXPECT_EQ(*store->statusMessage, "Flagship + Local Vault Ready");
    EXPECT_EQ(ids(store->maps), (std::vector<std::string>{"flagship_6th_ave_mercy_siege",
                                                         "flagship_wendmoor_blackout_gauntlet", "flagship_squall_killbox"}));

    Map killbox = Vault::flagshipRaidPacks(*clock)[2];
    killbox.title = "My Killbox";
    killbox.createdISO = "2020-01-01T00:00:00Z";
    Vault::saveLocally(killbox, vault);
    Vault::saveLocally(userMap(), vault);
    int notifications = 0;
    store->maps.observe([&](const auto&) { ++notifications; });
    store->reloadAll();
    EXPECT_EQ(notifications, 1);
    EXPECT_EQ(ids(store->maps), (std::vector<std::string>{"user_harbor", "flagship_squall_killbox",
                                                         "flagship_6th_ave_mercy_siege", "flagship_wendmoor_blackout_gauntlet"}));
    EXPECT_EQ(store->maps->at(1).title, "My Killbox");
}

TEST_F(RaidMapStoreTest, DeployAndClear) {
    auto store = makeStore();
    const Map first = store->maps->at(0), second = store->maps->at(1);
    store->deployMapLive(first);
    EXPECT_EQ(*store->activeDeployedMapID, first.id);
    EXPECT_EQ(*store->activePlacements, first.placements);
    EXPECT_EQ(*store->statusMessage, "Deployed '6th Ave Mercy Hospital Siege' (4 live props on 6th Ave)");
    store->deployMapLive(second);
    EXPECT_EQ(*store->activeDeployedMapID, second.id);
    EXPECT_EQ(store->activePlacements->size(), 3u);
    store->reloadAll();
    EXPECT_EQ(*store->activeDeployedMapID, second.id) << "reloading leaves the deployed map alone";
    store->clearDeployedMap();
    EXPECT_FALSE(store->activeDeployedMapID->has_value());
    EXPECT_TRUE(store->activePlacements->empty());
    store->clearDeployedMap();
    EXPECT_EQ(*store->statusMessage, "Cleared custom UGC props");
}

TEST_F(RaidMapStoreTest, PublishFlows) {
    {
        SCOPED_TRACE("no account: the map stays local");
        auto store = makeStore(false);
        store->publishRaidMap(userMap());
        EXPECT_EQ(*store->statusMessage, "Published 'Harbor Night' to Local Vel Vault (Ready for Grim Tide)");
        EXPECT_EQ(ids(store->maps).front(), "user_harbor");
        EXPECT_FALSE(Vault::readMapFile(vault / "user_harbor.json")->syncedToCloudKit);
    }
    {
        SCOPED_TRACE("the cloud save succeeds");
        auto store = makeStore();
        const Map sent = userMap();
        store->publishRaidMap(sent);
        EXPECT_EQ(*store->statusMessage, "Saved 'Harbor Night' to Vault \u00B7 Syncing Cloud\u2026");
        waitForStatus(*store, "Synced");
        EXPECT_EQ(*store->statusMessage, "Synced 'Harbor Night' live to Cloud Public Vault!");
        EXPECT_TRUE(Vault::readMapFile(vault / "user_harbor.json")->syncedToCloudKit);
        EXPECT_TRUE(store->maps->front().syncedToCloudKit) << "the list was reloaded";

        const CloudRecord& record = cloud->saved.at(0);
        EXPECT_EQ(record.recordType, "VelUGCStageBlueprint");
        EXPECT_EQ(record.recordName.size(), 36u);
        EXPECT_EQ(record.recordName[14], '4');
        EXPECT_EQ(*record.get<std::string>("mapID"), "user_harbor");
        EXPECT_EQ(*record.get<std::string>("title"), "Harbor Night");
        EXPECT_EQ(*record.get<std::string>("author"), "MARBLEWICK-HQ");
        EXPECT_EQ(*record.get<std::string>("district"), "Midtown 6th Ave");
        const std::string payload = *record.get<std::string>("payloadJSON");
        EXPECT_EQ(payload.rfind("{\"id\":\"user_harbor\",\"title\":", 0), 0u) << "compact, in field order";
        EXPECT_EQ(Map::fromJson(pk::json::parse(payload)), sent);
    }
    {
        SCOPED_TRACE("the cloud save fails");
        fs::remove_all(vault);
        setCloudFailing(true);
        auto store = makeStore();
        store->publishRaidMap(userMap("Dock Ambush"));
        waitForStatus(*store, "Saved 'Dock Ambush' locally");
        EXPECT_EQ(*store->statusMessage, "Saved 'Dock Ambush' locally (Cloud container pending)");
        EXPECT_FALSE(Vault::readMapFile(vault / "user_harbor.json")->syncedToCloudKit);
        setCloudFailing(false);
    }
    for (const auto& [id, message] : {std::pair{std::string("../escape"), "Save error: A raid map id must be a plain file name"},
                                      std::pair{std::string(300, 'x'), "Save error: A raid map id must fit in a file name"}}) {
        SCOPED_TRACE("the local save fails: nothing goes to the cloud");
        auto store = makeStore();
        const size_t before = cloud->saved.size();
        Map bad = userMap();
        bad.id = id;
        store->publishRaidMap(bad);
        EXPECT_EQ(store->statusMessage->rfind(message, 0), 0u) << *store->statusMessage;
        queue.waitAndDrain(0.05);
        EXPECT_EQ(cloud->saved.size(), before);
    }
}

TEST_F(RaidMapStoreTest, ALateCloudSuccessLeavesANewerLocalSaveAlone) {
    auto store = makeStore();
    store->publishRaidMap(userMap("First Draft"));
    // Before the completion runs, the user saves a newer version of the same map.
    const Map newer = userMap("Second Draft");
    Vault::saveLocally(newer, vault);
    waitForStatus(*store, "Synced");
    EXPECT_EQ(*store->statusMessage, "Synced 'First Draft' live to Cloud Public Vault!");
    EXPECT_EQ(Vault::readMapFile(vault / "user_harbor.json"), newer) << "still the newer save, not marked synced";
    EXPECT_EQ(store->maps->front(), newer);

    // A completion that outlives the store still marks the vault file, and touches nothing else.
    store->publishRaidMap(newer);
    store.reset();
    EXPECT_TRUE(queue.runUntil([&] { return Vault::readMapFile(vault / "user_harbor.json")->syncedToCloudKit; }, 10));
}

// One real round trip per backend: the store publishes through KESTRELUNE_CLOUD_DB, and
// the record's five fields are read back with a query of the database itself.
class RaidMapStoreDatabaseTest : public RaidMapStoreTest {
protected:
    void publishThrough(const std::string& locator) {
        setenv(pk::cloud::kDatabaseEnvironmentVariable, locator.c_str(), 1);
        Store::Environment env;
        env.vaultDirectory = vault;
        env.clock = clock;
        env.queue = &queue;
        Store store(std::move(env));
        store.publishRaidMap(userMap());
        EXPECT_TRUE(queue.runUntil([&] { return store.statusMessage->rfind("Synced", 0) == 0; }, 20))
            << *store.statusMessage;
        unsetenv(pk::cloud::kDatabaseEnvironmentVariable);
        EXPECT_TRUE(Vault::readMapFile(vault / "user_harbor.json")->syncedToCloudKit);
    }
    static std::vector<std::string> expectedFields() {
        return {"author=MARBLEWICK-HQ", "district=Midtown 6th Ave", "mapID=user_harbor", "payloadJSON=" +
                pk::json::dump(userMap().toJson<pk::json::OrderedJson>()), "title=Harbor Night"};
    }
};

TEST_F(RaidMapStoreDatabaseTest, RoundTripThroughSqlite) {
    const fs::path file = vault.parent_path() / "RoundTripThroughSqlite.sqlite";
    fs::remove(file);
    publishThrough(file.string());
    auto db = pk::cloud::openDatabase(file.string(), queue);
    std::optional<std::vector<CloudRecord>> found;
    db->fetchRecords("VelUGCStageBlueprint", [&](auto records, auto) { found = std::move(records); });
    ASSERT_TRUE(queue.runUntil([&] { return found.has_value(); }, 10));
    ASSERT_EQ(found->size(), 1u);
    std::vector<std::string> fields;
    for (const auto& [name, value] : found->at(0).fields) fields.push_back(name + "=" + std::get<std::string>(value));
    EXPECT_EQ(fields, expectedFields());
}

TEST_F(RaidMapStoreDatabaseTest, RoundTripThroughPostgres) {
    std::string why;
    auto* cluster = pk::cloud::testing::PostgresTestCluster::shared(&why);
    if (!cluster) GTEST_SKIP() << "No PostgreSQL server could be started here, so this test is skipped: " << why;
    publishThrough(cluster->freshDatabase("raid_maps"));
    EXPECT_EQ(cluster->query("raid_maps",
                             "SELECT f.field_name || '=' || f.text_value FROM cloud_fields f "
                             "JOIN cloud_records r ON r.record_name = f.record_name "
                             "WHERE r.record_type = 'VelUGCStageBlueprint' ORDER BY f.field_name"),
              expectedFields());
}
