#include "MarblewickCreatorStudio/VelCloudKitUGCBrowserStoreV1175.h"

#include <algorithm>
#include <cstdlib>

#include "MarblewickCreatorStudio/RandomUUID.h"
#include "PlatformKit/Foundation/StudioError.h"

namespace creator {

namespace fs = std::filesystem;
using Store = VelCloudKitUGCBrowserStoreV1175;
using Map = VelUGCRaidMapRecordV1175;
using Vault = VelUGCVaultStorageV1175;

namespace {

// The database KESTRELUNE_CLOUD_DB names, opened once per locator. A locator no backend
// serves counts as no account, like an unset one.
std::function<std::shared_ptr<pk::cloud::CloudDatabase>()> environmentDatabase(pk::MainQueue& queue) {
    struct Cache {
        std::string locator;
        std::shared_ptr<pk::cloud::CloudDatabase> database;
    };
    auto cache = std::make_shared<Cache>();
    return [cache, &queue]() -> std::shared_ptr<pk::cloud::CloudDatabase> {
        const char* env = std::getenv(pk::cloud::kDatabaseEnvironmentVariable);
        if (!env || !*env) return nullptr;
        if (cache->database && cache->locator == env) return cache->database;
        try {
            cache->database = pk::cloud::openDatabase(env, queue);
            cache->locator = env;
        } catch (const pk::StudioError&) {
            cache->database.reset();
            cache->locator.clear();
        }
        return cache->database;
    };
}

}  // namespace

Store& Store::shared() {
    static Store* instance = new Store(Environment{});
    return *instance;
}

Store::VelCloudKitUGCBrowserStoreV1175(Environment env)
    : vaultDirectory_(std::move(env.vaultDirectory)),
      cloudDatabase_(env.cloudDatabase ? std::move(env.cloudDatabase)
                                       : environmentDatabase(env.queue ? *env.queue : pk::MainQueue::main())),
      clock_(env.clock ? std::move(env.clock) : pk::Clock::system()) {
    reloadAll();
}

Store::~VelCloudKitUGCBrowserStoreV1175() = default;

void Store::reloadAll() {
    auto list = Vault::loadLocalVault(vaultDirectory_);
    for (auto& pack : Vault::flagshipRaidPacks(*clock_)) {
        const bool inVault = std::any_of(list.begin(), list.end(), [&](const Map& m) { return m.id == pack.id; });
        if (!inVault) list.push_back(std::move(pack));
    }
    maps = std::move(list);
}

void Store::deployMapLive(const Map& map) {
    activeDeployedMapID = map.id;
    activePlacements = map.placements;
    statusMessage = "Deployed '" + map.title + "' (" + std::to_string(map.placements.size()) + " live props on 6th Ave)";
}

void Store::clearDeployedMap() {
    activeDeployedMapID = std::nullopt;
    activePlacements = std::vector<VelUGCPropPlacementV1175>{};
    statusMessage = std::string("Cleared custom UGC props");
}

std::string Store::makeUUIDString() {
    const auto b = randomUUIDBytes();
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string s;
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) s.push_back('-');
        s.push_back(hex[b[i] >> 4]);
        s.push_back(hex[b[i] & 15]);
    }
    return s;
}

pk::cloud::CloudRecord Store::cloudRecordFor(const Map& map) {
    pk::cloud::CloudRecord record;
    record.recordType = Vault::recordType;
    record.recordName = makeUUIDString();
    record.fields["mapID"] = map.id;
    record.fields["title"] = map.title;
    record.fields["author"] = map.authorCallsign;
    record.fields["district"] = map.district;
    try {
        record.fields["payloadJSON"] = pk::json::dump(map.toJson<pk::json::OrderedJson>());
    } catch (const pk::StudioError&) {
        // A map that cannot be written as JSON still goes up with its four plain fields.
    }
    return record;
}

void Store::publishRaidMap(const Map& map) {
    const std::string title = map.title;
    try {
        Vault::saveLocally(map, vaultDirectory_);
    } catch (const pk::StudioError& e) {
        statusMessage = "Save error: " + e.description;
        return;
    } catch (const std::exception& e) {
        statusMessage = "Save error: " + std::string(e.what());
        return;
    }
    reloadAll();
    // The cloud product is named plainly here: the platform's own name would mislead.
    statusMessage = "Saved '" + title + "' to Vault \u00B7 Syncing Cloud\u2026";
    auto database = cloudDatabase_ ? cloudDatabase_() : nullptr;
    if (!database) {
        statusMessage = "Published '" + title + "' to Local Vel Vault (Ready for Grim Tide)";
        return;
    }
    std::weak_ptr<int> alive = alive_;
    const fs::path folder = vaultDirectory_.value_or(Vault::localVaultDirectory());
    database->save(cloudRecordFor(map), [this, alive, sent = map, title, folder](auto, auto error) {
        // Runs on the main queue.
        if (error) {
            if (alive.lock()) statusMessage = "Saved '" + title + "' locally (Cloud container pending)";
            return;
        }
        // Only the copy that went up is marked synced: a newer local save of the same id
        // since then stays as it is (and unsynced).
        if (Vault::readMapFile(Vault::fileFor(sent.id, folder)) == sent) {
            Map synced = sent;
            synced.syncedToCloudKit = true;
            try {
                Vault::saveLocally(synced, folder);
            } catch (const std::exception&) {
                // The cloud holds the map; the flag is only a local note.
            }
        }
        if (!alive.lock()) return;
        reloadAll();
        statusMessage = "Synced '" + title + "' live to Cloud Public Vault!";
    });
}

}  // namespace creator
