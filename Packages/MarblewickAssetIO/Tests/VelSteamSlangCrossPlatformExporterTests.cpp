#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <unistd.h>

#include "MarblewickAssetIO/VelSteamSlangCrossPlatformExporterV1010.h"
#include "PlatformKit/Foundation/Files.h"

using namespace assetio;
namespace fs = std::filesystem;
using Exporter = VelSteamSlangCrossPlatformExporterV1010;

namespace {

fs::path freshDir(const std::string& name) {
    fs::path dir = fs::path(KS_TEST_OUTPUT_DIR) / ("export-" + std::to_string(::getpid())) / name;
    fs::remove_all(dir);
    return dir;
}

std::string read(const fs::path& p) { return pk::readTextFile(p).value_or("<unreadable>"); }

uint64_t fnv1a(std::string_view s) {
    uint64_t h = 0xcbf29ce484222325ull;
    for (unsigned char c : s) h = (h ^ c) * 0x100000001b3ull;
    return h;
}

std::set<std::string> names(const fs::path& dir) {
    std::set<std::string> out;
    for (const auto& e : fs::directory_iterator(dir)) out.insert(e.path().filename().string());
    return out;
}

}  // namespace

TEST(VelSteamSlangCrossPlatformExporter, WritesTheFourFilesWithExactText) {
    const fs::path dir = freshDir("two words") / "nested";
    const auto receipt = Exporter::exportSteamPortableBundle("Quartz Fall", 48001, dir);

    EXPECT_EQ(names(dir), (std::set<std::string>{"CMakeLists.txt", "marblewick_pbr_rhi.slang", "steam_appid.txt",
                                                 "steam_launch_manifest.json"}));
    const std::string shader = read(dir / "marblewick_pbr_rhi.slang");
    EXPECT_EQ(shader.size(), 1899u);
    EXPECT_EQ(std::count(shader.begin(), shader.end(), '\n'), 56);
    EXPECT_EQ(fnv1a(shader), 0x237440372bb05ba0ull);
    EXPECT_EQ(shader.substr(0, shader.find('\n')), "// MarblewickVel v1010.0 \xE2\x80\x94 Unified Slang PBR RHI Shader");

    EXPECT_EQ(read(dir / "CMakeLists.txt"),
              "cmake_minimum_required(VERSION 3.24)\n"
              "project(QuartzFall_SteamRHI LANGUAGES CXX)\n"
              "set(CMAKE_CXX_STANDARD 20)\n"
              "# Links platform-agnostic Swift 6 `MarblewickSimCore` static lib alongside SDL3 + Vulkan/DX12 + "
              "Steamworks SDK\n"
              "message(STATUS \"MarblewickVel v1010 Portable Target: Quartz Fall (Vulkan SPIR-V + DX12 DXIL + "
              "MarblewickSimCore)\")");
    EXPECT_EQ(read(dir / "steam_appid.txt"), "48001\n");

    const fs::path abs = pk::absolutePath(dir);
    EXPECT_EQ(receipt.title, "Quartz Fall");
    EXPECT_EQ(receipt.steamAppIDPlaceholder, 48001);
    EXPECT_EQ(receipt.outputDirectory, abs.string());
    EXPECT_EQ(receipt.slangShaderPath, (abs / "marblewick_pbr_rhi.slang").string());
    EXPECT_EQ(receipt.cmakeProjectPath, (abs / "CMakeLists.txt").string());
    EXPECT_EQ(receipt.manifestPath, (abs / "steam_launch_manifest.json").string());
    EXPECT_TRUE(receipt.portableSimCoreVerified);
    EXPECT_DOUBLE_EQ(receipt.lunarCarryYards, 1688.7331899234478);
    EXPECT_EQ(receipt.quartzfallGFLOPS, 853262.0);
    EXPECT_TRUE(receipt.snapshotExactRoundTrip);
    EXPECT_GT(receipt.snapshotBytes, 500);
}

TEST(VelSteamSlangCrossPlatformExporter, ManifestIsThePrettySortedReceipt) {
    const fs::path dir = freshDir("manifest");
    const auto receipt = Exporter::exportSteamPortableBundle("Teacup Convoy", 48001, dir);
    const std::string manifest = read(dir / "steam_launch_manifest.json");
    EXPECT_EQ(VelSteamExportBundleV1010::fromJson(pk::json::parse(manifest)), receipt);

    // One member per line, keys in ascending order.
    std::vector<std::string> keys;
    size_t pos = 0;
    while ((pos = manifest.find("\n  \"", pos)) != std::string::npos) {
        pos += 4;
        keys.push_back(manifest.substr(pos, manifest.find('"', pos) - pos));
    }
    EXPECT_EQ(keys.size(), 11u);
    EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end()));
    EXPECT_NE(static_cast<int64_t>(manifest.size()), receipt.snapshotBytes);
}

TEST(VelSteamSlangCrossPlatformExporter, TitleSpacesInTheBuildFile) {
    struct Case {
        const char* title;
        const char* projectLine;
    };
    for (Case c : {Case{"Meadow", "project(Meadow_SteamRHI LANGUAGES CXX)"},
                   Case{"   ", "project(_SteamRHI LANGUAGES CXX)"},
                   Case{"Sir Thimble  Grim", "project(SirThimbleGrim_SteamRHI LANGUAGES CXX)"}}) {
        const fs::path dir = freshDir("spaces");
        const auto receipt = Exporter::exportSteamPortableBundle(c.title, 7, dir);
        const std::string text = read(dir / "CMakeLists.txt");
        EXPECT_NE(text.find(std::string("\n") + c.projectLine + "\n"), std::string::npos) << text;
        EXPECT_NE(text.find(std::string("Portable Target: ") + c.title + " (Vulkan"), std::string::npos) << text;
        EXPECT_EQ(receipt.title, c.title);
    }
}

TEST(VelSteamSlangCrossPlatformExporter, RerunReplacesEveryFile) {
    const fs::path dir = freshDir("rerun");
    Exporter::exportSteamPortableBundle("First Title", 1, dir);
    for (const char* name : {"marblewick_pbr_rhi.slang", "CMakeLists.txt", "steam_appid.txt", "steam_launch_manifest.json"})
        pk::atomicWrite(dir / name, std::string_view("stale"));
    const auto receipt = Exporter::exportSteamPortableBundle("Second Title", 22, dir);
    EXPECT_EQ(read(dir / "marblewick_pbr_rhi.slang").size(), 1899u);
    EXPECT_NE(read(dir / "CMakeLists.txt").find("SecondTitle_SteamRHI"), std::string::npos);
    EXPECT_EQ(read(dir / "steam_appid.txt"), "22\n");
    EXPECT_EQ(VelSteamExportBundleV1010::fromJson(pk::json::parse(read(dir / "steam_launch_manifest.json"))), receipt);
    EXPECT_EQ(names(dir).size(), 4u);  // no temporary files left behind
}

TEST(VelSteamSlangCrossPlatformExporter, Failures) {
    // A folder under a regular file cannot be created: nothing is written.
    const fs::path base = freshDir("blocked");
    pk::atomicWrite(base / "file", std::string_view("x"));
    EXPECT_THROW(Exporter::exportSteamPortableBundle("T", 1, base / "file" / "out"), pk::StudioError);
    EXPECT_EQ(names(base), (std::set<std::string>{"file"}));

    // A title that is not valid UTF-8 cannot go into the snapshot: the three text files
    // stay, the manifest is not written.
    const fs::path dir = freshDir("bad-title");
    EXPECT_THROW(Exporter::exportSteamPortableBundle("Bad \xFF Title", 1, dir), pk::StudioError);
    EXPECT_EQ(names(dir), (std::set<std::string>{"CMakeLists.txt", "marblewick_pbr_rhi.slang", "steam_appid.txt"}));
}
