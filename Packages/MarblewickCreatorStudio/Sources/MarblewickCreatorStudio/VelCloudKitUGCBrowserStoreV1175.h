#pragma once
// The one store behind the community raid maps: the vault's maps followed by the
// built-in packs, the map deployed live with its props, a one-line status, and
// publishing (save to the vault, then to the public cloud database when there is an
// account). Lives on the main queue; cloud completions hop there before they touch it.
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "MarblewickCreatorStudio/VelUGCVaultStorageV1175.h"
#include "PlatformKit/Cloud/CloudDatabase.h"
#include "PlatformKit/Foundation/Clock.h"
#include "PlatformKit/Foundation/MainQueue.h"
#include "PlatformKit/Foundation/Published.h"

namespace creator {

class VelCloudKitUGCBrowserStoreV1175 {
public:
    struct Environment {
        std::optional<std::filesystem::path> vaultDirectory;  // none: the user's vault folder
        // Asked at every publish: the public database, or nullptr when there is no account.
        // Empty: the database named by KESTRELUNE_CLOUD_DB (one per locator, kept open).
        std::function<std::shared_ptr<pk::cloud::CloudDatabase>()> cloudDatabase;
        std::shared_ptr<pk::Clock> clock = pk::Clock::system();
        pk::MainQueue* queue = &pk::MainQueue::main();
    };

    static VelCloudKitUGCBrowserStoreV1175& shared();

    explicit VelCloudKitUGCBrowserStoreV1175(Environment env);
    ~VelCloudKitUGCBrowserStoreV1175();
    VelCloudKitUGCBrowserStoreV1175(const VelCloudKitUGCBrowserStoreV1175&) = delete;
    VelCloudKitUGCBrowserStoreV1175& operator=(const VelCloudKitUGCBrowserStoreV1175&) = delete;

    pk::Published<std::vector<VelUGCRaidMapRecordV1175>> maps;
    pk::Published<std::optional<std::string>> activeDeployedMapID;
    pk::Published<std::vector<VelUGCPropPlacementV1175>> activePlacements;
    pk::Published<std::string> statusMessage{std::string("Flagship + Local Vault Ready")};

    void reloadAll();
    void deployMapLive(const VelUGCRaidMapRecordV1175& map);
    void clearDeployedMap();
    void publishRaidMap(const VelUGCRaidMapRecordV1175& map);

    // The cloud record of a map: a fresh UUID as its name, five string fields.
    static pk::cloud::CloudRecord cloudRecordFor(const VelUGCRaidMapRecordV1175& map);
    // A random (version 4) UUID in its 36-character upper-case text form.
    static std::string makeUUIDString();

private:
    std::optional<std::filesystem::path> vaultDirectory_;
    std::function<std::shared_ptr<pk::cloud::CloudDatabase>()> cloudDatabase_;
    std::shared_ptr<pk::Clock> clock_;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);  // completions hold it weakly
};

}  // namespace creator
