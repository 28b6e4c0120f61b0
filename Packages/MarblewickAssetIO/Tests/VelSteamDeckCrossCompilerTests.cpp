#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <unistd.h>

#include "MarblewickAssetIO/VelSteamDeckCrossCompilerV1095.h"
#include "MarblewickAssetIO/VelSteamSlangCrossPlatformExporterV1010.h"
#include "PlatformKit/Foundation/Files.h"

using namespace assetio;
namespace fs = std::filesystem;
using Packager = VelSteamDeckCrossCompilerV1095;

namespace {

fs::path freshDir(const std::string& name) {
    fs::path dir = fs::path(KS_TEST_OUTPUT_DIR) / ("dist-" + std::to_string(::getpid())) / name;
    fs::remove_all(dir);
    return dir;
}

std::string read(const fs::path& p) { return pk::readTextFile(p).value_or("<unreadable>"); }

std::set<std::string> names(const fs::path& dir) {
    std::set<std::string> out;
    for (const auto& e : fs::directory_iterator(dir)) out.insert(e.path().filename().string());
    return out;
}

}  // namespace

TEST(VelSteamDeckCrossCompiler, StubModuleWords) {
    const auto stub = Packager::spirvStubModule();
    ASSERT_EQ(stub.size(), 48u);
    std::string hex;
    for (uint8_t b : stub) {
        char buf[3];
        snprintf(buf, sizeof buf, "%02x", b);
        hex += buf;
    }
    EXPECT_EQ(hex,
              "03022307" "00030100" "56574d00" "08000000" "00000000" "11000200"
              "01000000" "0e000300" "00000000" "01000000" "13000200" "01000000");
}

TEST(VelSteamDeckCrossCompiler, PackagesAllFourTitles) {
    const fs::path root = freshDir("fresh");
    const auto receipt = Packager::packageAllFourTitlesForSteamAndSteamDeck(root);
    const fs::path abs = pk::absolutePath(root);

    EXPECT_EQ(names(root), (std::set<std::string>{"Meadow_Links", "Quartz_Fall", "SirThimble_Grim_Tide",
                                                  "Teacup_Convoy", "build_steam_all_4_titles.sh"}));
    ASSERT_EQ(receipt.packagedTitles.size(), 4u);
    EXPECT_TRUE(receipt.allFourTitlesReady);
    EXPECT_TRUE(receipt.allSPIRVMagicValid);
    EXPECT_EQ(receipt.distRootPath, abs.string());
    EXPECT_EQ(receipt.buildDriverScriptPath, (abs / "build_steam_all_4_titles.sh").string());

    const char* folders[] = {"Teacup_Convoy", "Quartz_Fall", "Meadow_Links", "SirThimble_Grim_Tide"};
    for (size_t i = 0; i < 4; ++i) {
        const auto& e = receipt.packagedTitles[i];
        const fs::path folder = root / folders[i];
        const std::string vdf = "app_build_" + std::to_string(e.steamAppID) + ".vdf";
        EXPECT_EQ(names(folder), (std::set<std::string>{"CMakeLists.txt", "marblewick_pbr_rhi.slang", "steam_appid.txt",
                                                        "steam_launch_manifest.json", "marblewick_pbr_vulkan13.spv",
                                                        vdf, "steam_deck_profile.json"}));
        EXPECT_EQ(e.steamAppID, 48001 + static_cast<int64_t>(i));
        EXPECT_EQ(e.spirvModuleBytes, 48);
        EXPECT_TRUE(e.spirvMagicValid);
        EXPECT_EQ(e.vdfScriptPath, (abs / folders[i] / vdf).string());
        EXPECT_EQ(e.steamDeckProfilePath, (abs / folders[i] / "steam_deck_profile.json").string());
        const auto stub = pk::readFile(folder / "marblewick_pbr_vulkan13.spv");
        EXPECT_EQ(stub, Packager::spirvStubModule());
        const auto manifest = VelSteamExportBundleV1010::fromJson(pk::json::parse(read(folder / "steam_launch_manifest.json")));
        EXPECT_EQ(manifest.title, e.title);  // spaces kept
        EXPECT_TRUE(manifest.portableSimCoreVerified);
    }
    EXPECT_EQ(receipt.packagedTitles[3].title, "SirThimble Grim Tide");
    EXPECT_EQ(receipt.packagedTitles[2].priceUSD, 14.99);
    EXPECT_EQ(receipt.packagedTitles[3].priceUSD, 24.99);

    EXPECT_EQ(read(root / "Teacup_Convoy" / "app_build_48001.vdf"),
              "\"AppBuild\"\n"
              "{\n"
              "    \"AppID\" \"48001\"\n"
              "    \"Desc\" \"Marblewick Teacup Convoy v1100 Multi-Platform Release (Windows DX12 + Steam Deck Vulkan + macOS Metal 4)\"\n"
              "    \"ContentRoot\" \"./\"\n"
              "    \"BuildOutput\" \"./steam_output/\"\n"
              "    \"Depots\"\n"
              "    {\n"
              "        \"48002\" { \"FileMapping\" { \"LocalPath\" \"win64/*\" \"DepotPath\" \".\" \"recursive\" \"1\" } }\n"
              "        \"48003\" { \"FileMapping\" { \"LocalPath\" \"steamos_vulkan/*\" \"DepotPath\" \".\" \"recursive\" \"1\" } }\n"
              "        \"48004\" { \"FileMapping\" { \"LocalPath\" \"macos_arm64/*\" \"DepotPath\" \".\" \"recursive\" \"1\" } }\n"
              "    }\n"
              "}");
    const std::string profile = read(root / "Teacup_Convoy" / "steam_deck_profile.json");
    EXPECT_EQ(profile,
              "{\n"
              "  \"title\": \"Teacup Convoy\",\n"
              "  \"steam_deck_verified_target\": \"1280x800@60Hz\",\n"
              "  \"render_api\": \"Vulkan 1.3 (SPIR-V via Slang) / DX12 (Windows)\",\n"
              "  \"sim_core\": \"MarblewickSimCore (Swift 6 Portable Static Lib)\",\n"
              "  \"controller_layout\": {\n"
              "    \"left_stick\": \"Move / Aim\",\n"
              "    \"right_stick\": \"Camera / Orbit\",\n"
              "    \"south_button\": \"Interact / Swing / Place Chip\",\n"
              "    \"right_trigger\": \"Fire / Carry Grip / Run Benchmark\",\n"
              "    \"back_grip_l4\": \"Push-to-Talk 3D Proximity Voice\",\n"
              "    \"back_grip_r4\": \"Save 9:16 Viral Highlight Clip\"\n"
              "  }\n"
              "}");
    EXPECT_NO_THROW(pk::json::parse(profile));

    const std::string script = read(root / "build_steam_all_4_titles.sh");
    EXPECT_EQ(std::count(script.begin(), script.end(), '\n'), 12);
    EXPECT_EQ(script.rfind("#!/usr/bin/env bash\nset -euo pipefail\n", 0), 0u);
    const fs::path simCore = pk::absolutePath(fs::path(KS_SOURCE_DIR) / "Packages" / "MarblewickSimCore");
    EXPECT_NE(script.find("\nswift test --package-path " + simCore.string() + "\n"), std::string::npos);
    EXPECT_TRUE(fs::is_directory(simCore));
    EXPECT_EQ(script.substr(script.rfind('\n') + 1),
              "echo \"3. Ready for Valve steamcmd +run_app_build on all 4 Marblewick flagship titles!\"");
    EXPECT_EQ(fs::status(root / "build_steam_all_4_titles.sh").permissions() & fs::perms::owner_exec, fs::perms::none);

    EXPECT_EQ(VelSteamMultiTitleDistReceiptV1095::fromJson(pk::json::parse(pk::json::dump(receipt.toJson()))), receipt);
}

TEST(VelSteamDeckCrossCompiler, RerunReplacesEveryFile) {
    const fs::path root = freshDir("rerun");
    Packager::packageAllFourTitlesForSteamAndSteamDeck(root);
    pk::atomicWrite(root / "Quartz_Fall" / "marblewick_pbr_vulkan13.spv", std::string_view("junk"));
    pk::atomicWrite(root / "Quartz_Fall" / "steam_deck_profile.json", std::string_view("junk"));
    pk::atomicWrite(root / "build_steam_all_4_titles.sh", std::string_view("junk"));
    const auto receipt = Packager::packageAllFourTitlesForSteamAndSteamDeck(root);
    EXPECT_EQ(receipt.packagedTitles[1].spirvModuleBytes, 48);
    EXPECT_NE(read(root / "Quartz_Fall" / "steam_deck_profile.json").find("\"title\": \"Quartz Fall\""), std::string::npos);
    EXPECT_NE(read(root / "build_steam_all_4_titles.sh"), "junk");
    EXPECT_EQ(names(root / "Quartz_Fall").size(), 7u);
}

TEST(VelSteamDeckCrossCompiler, FailuresStopAtTheFirstError) {
    // Root under a regular file: thrown before any title is touched.
    const fs::path base = freshDir("blocked");
    pk::atomicWrite(base / "file", std::string_view("x"));
    EXPECT_THROW(Packager::packageAllFourTitlesForSteamAndSteamDeck(base / "file"), pk::StudioError);
    EXPECT_THROW(Packager::packageAllFourTitlesForSteamAndSteamDeck(base / "file" / "dist"), pk::StudioError);
    EXPECT_EQ(names(base), (std::set<std::string>{"file"}));

    // A regular file where the third title's folder goes: the first two titles stay
    // complete and no root script marks the interrupted run.
    const fs::path root = freshDir("interrupted");
    pk::atomicWrite(root / "Meadow_Links", std::string_view("in the way"));
    EXPECT_THROW(Packager::packageAllFourTitlesForSteamAndSteamDeck(root), pk::StudioError);
    EXPECT_EQ(names(root / "Teacup_Convoy").size(), 7u);
    EXPECT_EQ(names(root / "Quartz_Fall").size(), 7u);
    EXPECT_FALSE(fs::exists(root / "SirThimble_Grim_Tide"));
    EXPECT_FALSE(fs::exists(root / "build_steam_all_4_titles.sh"));
}
