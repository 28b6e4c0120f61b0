#pragma once
// Distribution folder for the four flagship titles: per title the portable export plus a
// SPIR-V stub module, a build description and a handheld profile; a build script at the root.
#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "PlatformKit/Foundation/Json.h"

namespace assetio {

struct VelSteamTitleDistEntryV1095 {
    std::string title;
    int64_t steamAppID = 0;
    double priceUSD = 0.0;
    std::string steamDeckProfilePath;
    std::string vdfScriptPath;
    int64_t spirvModuleBytes = 0;
    bool spirvMagicValid = false;

    bool operator==(const VelSteamTitleDistEntryV1095&) const = default;

    pk::json::Json toJson() const;
    static VelSteamTitleDistEntryV1095 fromJson(const pk::json::Json& j);
};

struct VelSteamMultiTitleDistReceiptV1095 {
    std::string distRootPath;
    std::vector<VelSteamTitleDistEntryV1095> packagedTitles;
    bool allFourTitlesReady = false;
    bool allSPIRVMagicValid = false;
    std::string buildDriverScriptPath;

    bool operator==(const VelSteamMultiTitleDistReceiptV1095&) const = default;

    pk::json::Json toJson() const;
    static VelSteamMultiTitleDistReceiptV1095 fromJson(const pk::json::Json& j);
};

struct VelSteamDeckCrossCompilerV1095 {
    VelSteamDeckCrossCompilerV1095() = delete;

    struct TitleRow {
        const char* title;
        int64_t steamAppID;
        double priceUSD;
    };
    static const std::array<TitleRow, 4> titles;

    static constexpr const char* kSpirvFileName = "marblewick_pbr_vulkan13.spv";
    static constexpr const char* kProfileFileName = "steam_deck_profile.json";
    static constexpr const char* kDriverScriptFileName = "build_steam_all_4_titles.sh";

    // The 48-byte stub module: twelve little-endian words.
    static std::vector<uint8_t> spirvStubModule();
    // "Teacup Convoy" -> "Teacup_Convoy".
    static std::string titleFolderName(const std::string& title);

    // Throws the first error met (folder creation, export, write, read-back); whatever was
    // written before stays. The root script is written last, so its absence marks an
    // interrupted run.
    static VelSteamMultiTitleDistReceiptV1095 packageAllFourTitlesForSteamAndSteamDeck(const std::filesystem::path& to);
};

}  // namespace assetio
