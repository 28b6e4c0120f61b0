#include <gtest/gtest.h>

#include "MarblewickCreatorStudio/VelGrimtideCoopAndUGCSheetV1175.h"
#include "PlatformKit/Foundation/Files.h"
#include "PlatformKit/Net/InProcessHub.h"
#include "PlatformKit/Ui/UiDriver.h"
#include "PlatformKit/Ui/UiPalette.h"
#include "PlatformKit/Ui/UiTintedControls.h"

using namespace creator;
using namespace pk::ui;
namespace fs = std::filesystem;
using Map = VelUGCRaidMapRecordV1175;

namespace {

// Voice without a sound device.
class SilentVoiceEngine : public VelLive3DProximityVoiceEngineV1170 {
public:
    void startLiveCaptureAndPlayback() override { running = true; }
    void stop() override { running = false; }
    bool isRunning() const override { return running; }
    bool running = false;
};

VelRemoteCoopAvatarV1170 avatar(std::string id, std::string callsign, int64_t seat, bool indoors, bool core = false) {
    VelRemoteCoopAvatarV1170 a;
    a.id = std::move(id);
    a.callsign = std::move(callsign);
    a.inWarthogSeat = seat;
    a.isIndoorsMercy = indoors;
    a.carryingWendmoorCore = core;
    return a;
}

class CoopSheetTest : public ::testing::Test {
protected:
    void SetUp() override {
        vault = fs::path(KS_TEST_OUTPUT_DIR) / "coop-sheet" / ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(vault);
    }

    void build(std::optional<std::string> playerName = std::nullopt) {
        VelLiveMultipeerCoopManagerV1170::Environment env;
        env.transport = hub;
        env.clock = clock;
        env.queue = &queue;
        env.voiceEngine = std::make_shared<SilentVoiceEngine>();
        env.gameCenterPlayerName = std::move(playerName);
        env.hostName = "Host-A";
        coop = std::make_unique<VelLiveMultipeerCoopManagerV1170>(std::move(env));
        VelCloudKitUGCBrowserStoreV1175::Environment storeEnv;
        storeEnv.vaultDirectory = vault;
        storeEnv.clock = clock;
        storeEnv.queue = &queue;
        storeEnv.cloudDatabase = [] { return std::shared_ptr<pk::cloud::CloudDatabase>(); };
        ugc = std::make_unique<VelCloudKitUGCBrowserStoreV1175>(std::move(storeEnv));
        sheet = std::make_unique<VelGrimtideCoopAndUGCSheetV1175>(
            *coop, *ugc, [this](const Map& m) { deployed.push_back(m.id); }, [this] { ++dismissed; });
        driver.frame(2);
    }

    const ProbeRecord& at(const std::string& id) { return driver.require("coopSheet/" + id); }
    bool shown(const std::string& id) { return driver.probe().find("coopSheet/" + id) != nullptr; }

    fs::path vault;
    std::shared_ptr<pk::ManualClock> clock = std::make_shared<pk::ManualClock>(1000.0, 1772366400.0);
    pk::MainQueue queue{clock};
    std::shared_ptr<pk::net::InProcessHub> hub = pk::net::InProcessHub::make(clock);
    std::unique_ptr<VelLiveMultipeerCoopManagerV1170> coop;
    std::unique_ptr<VelCloudKitUGCBrowserStoreV1175> ugc;
    std::unique_ptr<VelGrimtideCoopAndUGCSheetV1175> sheet;
    std::vector<std::string> deployed;
    int dismissed = 0;
    UiContext ctx;
    UiDriver driver{ctx, [this] {
        ImGui::SetNextWindowPos(ImVec2(0, 0));
        ImGui::SetNextWindowSize(ImGui::GetIO().DisplaySize);
        ImGui::Begin("root", nullptr, ImGuiWindowFlags_NoDecoration);
        if (sheet) sheet->body();
        ImGui::End();
    }};
};

}  // namespace

TEST_F(CoopSheetTest, CoOpTabDrivesTheLobby) {
    build();
    EXPECT_EQ(at("title").text, "Grim Tide Squad & Raids");
    EXPECT_EQ(at("mode/0").text, "4P Co-Op & 3D Voice");
    EXPECT_EQ(at("mode/1").text, "Community Raid Maps");
    EXPECT_TRUE(at("mode/0").selected);
    EXPECT_EQ(at("coop/header").text, "4-PLAYER WARTHOG CONVOY \u00B7 ZERO-CONFIG LAN & WI-FI");
    EXPECT_EQ(at("coop/header").value, colorValue(UiPalette::cyan));
    EXPECT_EQ(at("coop/status").text, "Offline \u00B7 Ready for LAN / Wi-Fi 4P Convoy");
    EXPECT_EQ(at("coop/roomCode").value, "NYC-6AVE");
    EXPECT_EQ(at("coop/roomCode").text, "Room Code");
    EXPECT_EQ(at("coop/lobby").text, "Host / Join Room");
    EXPECT_EQ(at("coop/lobby").value, colorValue(UiPalette::cyan));

    // A typed room code is handed over as typed; the manager upper-cases it.
    driver.click("coopSheet/coop/roomCode");
    driver.pressKey(ImGuiKey_A, true);
    driver.typeText("soho-1");
    EXPECT_EQ(sheet->roomInput, "soho-1");
    driver.click("coopSheet/coop/lobby");
    EXPECT_TRUE(*coop->isSessionActive);
    EXPECT_EQ(*coop->roomCode, "SOHO-1");
    EXPECT_EQ(at("coop/lobby").text, "Stop Lobby");
    EXPECT_EQ(at("coop/lobby").value, colorValue(UiPalette::red));
    EXPECT_EQ(at("coop/status").text, "Broadcasting Room SOHO-1 \u00B7 Searching Mac & iPad Squadmates\u2026");
    driver.click("coopSheet/coop/lobby");
    EXPECT_FALSE(*coop->isSessionActive);

    // An empty field still opens a lobby under the current code.
    sheet->roomInput.clear();
    driver.click("coopSheet/coop/lobby");
    EXPECT_TRUE(*coop->isSessionActive);
    EXPECT_EQ(*coop->roomCode, "SOHO-1");

    EXPECT_EQ(at("coop/voiceLabel").symbol, "mic.slash.fill");
    EXPECT_EQ(at("coop/voiceLabel").value, colorValue(UiPalette::label));
    driver.click("coopSheet/coop/mic");
    EXPECT_TRUE(*coop->isVoiceMicEnabled);
    EXPECT_EQ(at("coop/voiceLabel").text, "3D Spatial Proximity Voice (4:1 ADPCM)");
    EXPECT_EQ(at("coop/voiceLabel").symbol, "mic.fill");
    EXPECT_EQ(at("coop/voiceLabel").value, colorValue(UiPalette::green));
    EXPECT_EQ(at("coop/mic").value, "on");
    driver.click("coopSheet/coop/mic");
    EXPECT_FALSE(*coop->isVoiceMicEnabled);
    EXPECT_EQ(at("coop/status").text, "Room SOHO-1 Active \u00B7 Mic Muted");
}

TEST_F(CoopSheetTest, SquadListsTheLocalPlayerAndEveryAvatar) {
    build();
    EXPECT_EQ(at("coop/squadHeader").text, "ACTIVE SQUADMATES (1/4)");
    EXPECT_EQ(at("coop/squadHeader").value, colorValue(UiPalette::orange));
    EXPECT_EQ(at("coop/local/name").text, "You (Squad Leader)");
    EXPECT_EQ(at("coop/local/icon").symbol, "person.fill.checkmark");
    EXPECT_EQ(at("coop/local/badge").text, "LOCAL");
    EXPECT_TRUE(driver.probe().withPrefix("coopSheet/coop/avatar:").empty());

    driver.click("coopSheet/coop/bots");
    EXPECT_EQ(at("coop/squadHeader").text, "ACTIVE SQUADMATES (3/4)");
    EXPECT_EQ(at("coop/avatar:convoy_sim_gunner/callsign").text, "ELENA-M134");
    EXPECT_EQ(at("coop/avatar:convoy_sim_gunner/location").text, "WARTHOG SEAT 1");
    EXPECT_EQ(at("coop/avatar:convoy_sim_gunner/icon").symbol, "person.fill");
    EXPECT_EQ(at("coop/avatar:convoy_sim_gunner/icon").value, colorValue(UiPalette::orange));
    EXPECT_EQ(at("coop/avatar:convoy_sim_hauler/icon").symbol, "bolt.circle.fill");
    EXPECT_EQ(at("coop/avatar:convoy_sim_hauler/icon").value, colorValue(UiPalette::cyan));
    EXPECT_EQ(at("coop/avatar:convoy_sim_hauler/location").text, "6TH AVE");

    coop->remoteAvatars = std::vector<VelRemoteCoopAvatarV1170>{avatar("Host-B", "WREN-7", 0, false),
                                                                avatar("Host-C", "ODA", 2, true)};
    driver.frame();
    EXPECT_EQ(at("coop/avatar:Host-B/location").text, "WARTHOG SEAT 0");
    EXPECT_EQ(at("coop/avatar:Host-C/location").text, "MERCY LOBBY");
    const auto rows = driver.probe().withPrefix("coopSheet/coop/avatar:");
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows.front()->id, "coopSheet/coop/avatar:Host-B/icon") << "list order";

    build(std::string("WREN-7"));
    EXPECT_EQ(at("coop/local/name").text, "WREN-7");
}

TEST_F(CoopSheetTest, RaidMapsTabDeploysAndClears) {
    Map local = VelUGCVaultStorageV1175::flagshipRaidPacks().front();
    local.id = "user_dock";
    local.title = "Dock Ambush";
    local.syncedToCloudKit = false;
    local.placements.resize(1);
    VelUGCVaultStorageV1175::saveLocally(local, vault);
    build();
    driver.click("coopSheet/mode/1");
    EXPECT_EQ(sheet->selectedTab, 1);
    EXPECT_FALSE(shown("coop/header"));
    EXPECT_EQ(at("maps/status").text, "Flagship + Local Vault Ready");
    EXPECT_FALSE(shown("maps/clear"));

    const std::string siege = "maps/map:flagship_6th_ave_mercy_siege/";
    EXPECT_EQ(at(siege + "title").text, "6th Ave Mercy Hospital Siege");
    EXPECT_EQ(at(siege + "likes").text, "412");
    EXPECT_EQ(at(siege + "likes").symbol, "flame.fill");
    EXPECT_EQ(at(siege + "byline").text, "Midtown 6th Ave \u00B7 by MARBLEWICK-HQ \u00B7 4 tactical props");
    EXPECT_EQ(at(siege + "cloud").text, "Cloud");
    EXPECT_EQ(at(siege + "cloud").symbol, "icloud.fill");
    EXPECT_EQ(at("maps/map:user_dock/byline").text, "Midtown 6th Ave \u00B7 by MARBLEWICK-HQ \u00B7 1 tactical props");
    EXPECT_FALSE(shown("maps/map:user_dock/cloud")) << "a fresh local map has no cloud badge";
    const auto deployButtons = [&] {
        std::vector<std::pair<std::string, std::string>> out;
        for (const ProbeRecord* r : driver.probe().withPrefix("coopSheet/maps/map:"))
            if (r->id.ends_with("/deploy")) out.emplace_back(r->text, r->value);
        return out;
    };
    const std::pair<std::string, std::string> idle{"Deploy Live on 6th Ave", colorValue(UiPalette::orange)};
    const std::pair<std::string, std::string> live{"Active on 6th Ave \u2713", colorValue(UiPalette::green)};
    EXPECT_EQ(deployButtons(), (std::vector{idle, idle, idle, idle}));

    driver.click("coopSheet/" + siege + "deploy");
    EXPECT_EQ(deployed, std::vector<std::string>{"flagship_6th_ave_mercy_siege"});
    EXPECT_EQ(ugc->activePlacements->size(), 4u);
    EXPECT_EQ(at("maps/status").text, "Deployed '6th Ave Mercy Hospital Siege' (4 live props on 6th Ave)");
    EXPECT_EQ(deployButtons(), (std::vector{idle, live, idle, idle}));  // the vault map comes first
    driver.click("coopSheet/" + siege + "deploy");
    EXPECT_EQ(deployed.size(), 2u) << "deploying the live map again deploys it again";

    driver.click("coopSheet/maps/clear");
    EXPECT_FALSE(ugc->activeDeployedMapID->has_value());
    EXPECT_EQ(at("maps/status").text, "Cleared custom UGC props");
    EXPECT_FALSE(shown("maps/clear"));
    EXPECT_EQ(deployButtons(), (std::vector{idle, idle, idle, idle}));

    driver.click("coopSheet/done");
    EXPECT_EQ(dismissed, 1);
}

TEST_F(CoopSheetTest, KeepsItsMinimumSizeInASmallWindow) {
    driver.setWindowSize(400, 300);
    build();
    EXPECT_NEAR(at("done").rect.maxX(), VelGrimtideCoopAndUGCSheetV1175::minWidth - 16, 0.5f);
    EXPECT_NEAR(at("mode/1").rect.maxX(), VelGrimtideCoopAndUGCSheetV1175::minWidth - 16, 0.5f);
}
