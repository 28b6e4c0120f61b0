#pragma once
// Starting files for porting one title to other desktop and handheld platforms: a Slang
// shader, a CMake build file, the app-id file and a launch manifest. Between the writes it
// self-checks the portable simulation core on fixed inputs.
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "PlatformKit/Foundation/Json.h"

namespace assetio {

// The receipt; also the content of the launch manifest. JSON keys are the field names.
struct VelSteamExportBundleV1010 {
    std::string title;
    int64_t steamAppIDPlaceholder = 0;
    std::string outputDirectory;
    std::string slangShaderPath;
    std::string cmakeProjectPath;
    std::string manifestPath;
    bool portableSimCoreVerified = false;
    double lunarCarryYards = 0.0;
    double quartzfallGFLOPS = 0.0;
    int64_t snapshotBytes = 0;
    bool snapshotExactRoundTrip = false;

    bool operator==(const VelSteamExportBundleV1010&) const = default;

    pk::json::Json toJson() const;
    static VelSteamExportBundleV1010 fromJson(const pk::json::Json& j);
};

struct VelSteamSlangCrossPlatformExporterV1010 {
    VelSteamSlangCrossPlatformExporterV1010() = delete;

    static constexpr const char* kShaderFileName = "marblewick_pbr_rhi.slang";
    static constexpr const char* kBuildFileName = "CMakeLists.txt";
    static constexpr const char* kAppIDFileName = "steam_appid.txt";
    static constexpr const char* kManifestFileName = "steam_launch_manifest.json";

    // Creates the folder (and its parents) and writes the four files atomically. Throws the
    // first file-system or snapshot-coder error; files written before it stay. A folder
    // that cannot be created throws before any file is written.
    static VelSteamExportBundleV1010 exportSteamPortableBundle(const std::string& title, int64_t steamAppID,
                                                               const std::filesystem::path& to);
};

}  // namespace assetio
