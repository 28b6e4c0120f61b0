#include "MarblewickAssetIO/VelSteamDeckCrossCompilerV1095.h"

#include <cerrno>
#include <span>

#include "MarblewickAssetIO/VelSteamSlangCrossPlatformExporterV1010.h"
#include "PlatformKit/Foundation/Files.h"
#include "PlatformKit/Foundation/StudioError.h"

namespace assetio {

namespace {

std::string buildDescriptionText(int64_t appID, const std::string& title) {
    const std::string a = std::to_string(appID);
    auto depot = [&](int64_t offset, const char* localPath) {
        return "        \"" + std::to_string(appID + offset) + "\" { \"FileMapping\" { \"LocalPath\" \"" + localPath +
               "\" \"DepotPath\" \".\" \"recursive\" \"1\" } }\n";
    };
    return "\"AppBuild\"\n"
           "{\n"
           "    \"AppID\" \"" + a + "\"\n"
           "    \"Desc\" \"Marblewick " + title +
           " v1100 Multi-Platform Release (Windows DX12 + Steam Deck Vulkan + macOS Metal 4)\"\n"
           "    \"ContentRoot\" \"./\"\n"
           "    \"BuildOutput\" \"./steam_output/\"\n"
           "    \"Depots\"\n"
           "    {\n" +
           depot(1, "win64/*") + depot(2, "steamos_vulkan/*") + depot(3, "macos_arm64/*") +
           "    }\n"
           "}";
}

// The title goes in unescaped, as the profile has always been written.
std::string deviceProfileText(const std::string& title) {
    return "{\n"
           "  \"title\": \"" + title + "\",\n"
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
           "}";
}

// The simulation-core package of the source tree this library was built from. The build
// names it: __FILE__ may be relative to the build folder (compiler caches rewrite paths).
std::filesystem::path simCorePackageFolder() {
    return pk::absolutePath(std::filesystem::path(MARBLEWICK_SIMCORE_PACKAGE_DIR));
}

std::string driverScriptText() {
    return "#!/usr/bin/env bash\n"
           "set -euo pipefail\n"
           "# MarblewickVel v1100.0 Cross-Platform Build Driver (Apple Silicon + SteamOS/Linux + Windows DX12)\n"
           "echo \"1. Testing portable MarblewickSimCore (zero Apple dependencies)...\"\n"
           "swift test --package-path " + simCorePackageFolder().string() + "\n"
           "echo \"2. Compiling Slang shaders -> SPIR-V (Vulkan 1.3) & DXIL (DX12) when slangc is installed...\"\n"
           "if command -v slangc >/dev/null 2>&1; then\n"
           "  for s in */marblewick_pbr_rhi.slang; do\n"
           "    slangc \"$s\" -target spirv -profile glsl_460 -o \"${s%.slang}.spv\"\n"
           "    slangc \"$s\" -target dxil  -profile sm_6_6   -o \"${s%.slang}.dxil\"\n"
           "  done\n"
           "fi\n"
           "echo \"3. Ready for Valve steamcmd +run_app_build on all 4 Marblewick flagship titles!\"";
}

}  // namespace

const std::array<VelSteamDeckCrossCompilerV1095::TitleRow, 4> VelSteamDeckCrossCompilerV1095::titles = {{
    {"Teacup Convoy", 48001, 9.99},
    {"Quartz Fall", 48002, 9.99},
    {"Meadow Links", 48003, 14.99},
    {"SirThimble Grim Tide", 48004, 24.99},
}};

std::vector<uint8_t> VelSteamDeckCrossCompilerV1095::spirvStubModule() {
    constexpr uint32_t generator = (uint32_t{'M'} << 16) | (uint32_t{'W'} << 8) | uint32_t{'V'};
    const uint32_t words[12] = {0x07230203, 0x00010300, generator,  8, 0, 0x00020011,
                                1,          0x0003000E, 0,          1, 0x00020013, 1};
    std::vector<uint8_t> bytes;
    bytes.reserve(48);
    for (uint32_t w : words)
        for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<uint8_t>(w >> shift));
    return bytes;
}

std::string VelSteamDeckCrossCompilerV1095::titleFolderName(const std::string& title) {
    std::string name = title;
    for (char& c : name)
        if (c == ' ') c = '_';
    return name;
}

VelSteamMultiTitleDistReceiptV1095 VelSteamDeckCrossCompilerV1095::packageAllFourTitlesForSteamAndSteamDeck(
    const std::filesystem::path& to) {
    const std::filesystem::path root = pk::absolutePath(to);
    pk::createDirectories(root);
    const std::vector<uint8_t> stub = spirvStubModule();

    VelSteamMultiTitleDistReceiptV1095 receipt;
    receipt.distRootPath = root.string();
    for (const TitleRow& row : titles) {
        const std::string title = row.title;
        const std::filesystem::path folder = root / titleFolderName(title);
        pk::createDirectories(folder);
        VelSteamSlangCrossPlatformExporterV1010::exportSteamPortableBundle(title, row.steamAppID, folder);

        const std::filesystem::path spirvPath = folder / kSpirvFileName;
        pk::atomicWrite(spirvPath, std::span<const uint8_t>(stub));
        const auto readBack = pk::readFile(spirvPath);
        if (!readBack) throw pk::StudioError::fromErrno(EIO, "Could not read " + spirvPath.string());
        bool magicValid = false;
        if (readBack->size() >= 4) {
            const auto& b = *readBack;
            const uint32_t word = uint32_t{b[0]} | (uint32_t{b[1]} << 8) | (uint32_t{b[2]} << 16) | (uint32_t{b[3]} << 24);
            magicValid = word == 0x07230203u;
        }

        const std::filesystem::path vdfPath = folder / ("app_build_" + std::to_string(row.steamAppID) + ".vdf");
        pk::atomicWrite(vdfPath, buildDescriptionText(row.steamAppID, title));
        const std::filesystem::path profilePath = folder / kProfileFileName;
        pk::atomicWrite(profilePath, deviceProfileText(title));

        VelSteamTitleDistEntryV1095 entry;
        entry.title = title;
        entry.steamAppID = row.steamAppID;
        entry.priceUSD = row.priceUSD;
        entry.steamDeckProfilePath = profilePath.string();
        entry.vdfScriptPath = vdfPath.string();
        entry.spirvModuleBytes = static_cast<int64_t>(readBack->size());
        entry.spirvMagicValid = magicValid;
        receipt.packagedTitles.push_back(std::move(entry));
    }

    const std::filesystem::path scriptPath = root / kDriverScriptFileName;
    pk::atomicWrite(scriptPath, driverScriptText());

    receipt.allFourTitlesReady = receipt.packagedTitles.size() == 4;
    receipt.allSPIRVMagicValid = true;
    for (const auto& e : receipt.packagedTitles) receipt.allSPIRVMagicValid = receipt.allSPIRVMagicValid && e.spirvMagicValid;
    receipt.buildDriverScriptPath = scriptPath.string();
    return receipt;
}

pk::json::Json VelSteamTitleDistEntryV1095::toJson() const {
    pk::json::Json j = pk::json::Json::object();
    j["title"] = title;
    j["steamAppID"] = steamAppID;
    j["priceUSD"] = priceUSD;
    j["steamDeckProfilePath"] = steamDeckProfilePath;
    j["vdfScriptPath"] = vdfScriptPath;
    j["spirvModuleBytes"] = spirvModuleBytes;
    j["spirvMagicValid"] = spirvMagicValid;
    return j;
}

VelSteamTitleDistEntryV1095 VelSteamTitleDistEntryV1095::fromJson(const pk::json::Json& j) {
    using namespace pk::json;
    requireObject(j, "VelSteamTitleDistEntryV1095");
    VelSteamTitleDistEntryV1095 e;
    e.title = readString(j, "title");
    e.steamAppID = readInteger<int64_t>(j, "steamAppID");
    e.priceUSD = readDouble(j, "priceUSD");
    e.steamDeckProfilePath = readString(j, "steamDeckProfilePath");
    e.vdfScriptPath = readString(j, "vdfScriptPath");
    e.spirvModuleBytes = readInteger<int64_t>(j, "spirvModuleBytes");
    e.spirvMagicValid = readBool(j, "spirvMagicValid");
    return e;
}

pk::json::Json VelSteamMultiTitleDistReceiptV1095::toJson() const {
    pk::json::Json j = pk::json::Json::object();
    j["distRootPath"] = distRootPath;
    pk::json::Json list = pk::json::Json::array();
    for (const auto& e : packagedTitles) list.push_back(e.toJson());
    j["packagedTitles"] = std::move(list);
    j["allFourTitlesReady"] = allFourTitlesReady;
    j["allSPIRVMagicValid"] = allSPIRVMagicValid;
    j["buildDriverScriptPath"] = buildDriverScriptPath;
    return j;
}

VelSteamMultiTitleDistReceiptV1095 VelSteamMultiTitleDistReceiptV1095::fromJson(const pk::json::Json& j) {
    using namespace pk::json;
    requireObject(j, "VelSteamMultiTitleDistReceiptV1095");
    VelSteamMultiTitleDistReceiptV1095 r;
    r.distRootPath = readString(j, "distRootPath");
    r.packagedTitles = readRecordList<VelSteamTitleDistEntryV1095>(j, "packagedTitles");
    r.allFourTitlesReady = readBool(j, "allFourTitlesReady");
    r.allSPIRVMagicValid = readBool(j, "allSPIRVMagicValid");
    r.buildDriverScriptPath = readString(j, "buildDriverScriptPath");
    return r;
}

}  // namespace assetio
