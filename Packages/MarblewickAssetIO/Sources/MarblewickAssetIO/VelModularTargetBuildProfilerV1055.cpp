#include "MarblewickAssetIO/VelModularTargetBuildProfilerV1055.h"

#include <cmath>
#include <filesystem>
#include <optional>
#include <string_view>
#include <system_error>
#include <vector>

#include "PlatformKit/Foundation/Files.h"
#include "PlatformKit/Foundation/Text.h"

namespace assetio {

namespace {

constexpr std::string_view kForbiddenSimCoreImports[] = {
    "import Metal", "import UIKit", "import AppKit", "import SwiftUI", "import AVFoundation", "import Vision",
    "import ReplayKit",
};

bool endsWith(std::string_view s, std::string_view suffix) {
    return s.size() >= suffix.size() && s.substr(s.size() - suffix.size()) == suffix;
}

// Names of the folder's entries that end in ".swift"; an unlistable folder lists nothing.
std::vector<std::string> swiftEntries(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    std::filesystem::directory_iterator it(folder, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (endsWith(name, ".swift")) names.push_back(std::move(name));
    }
    return names;
}

std::optional<std::string> readUtf8(const std::string& path) {
    auto text = pk::readTextFile(path);
    if (!text || !pk::isValidUtf8(*text)) return std::nullopt;
    return text;
}

}  // namespace

VelModularPackageAuditV1055 VelModularTargetBuildProfilerV1055::auditModularPackageGraph(
    const std::string& velRootPath, const std::string& quartzfallProjectPath, double measuredModularBuildSec,
    double measuredMonolithicBuildSec) {
    const std::string simCoreFolder = velRootPath + "/Packages/MarblewickSimCore/Sources/MarblewickSimCore";
    const std::string creatorFolder = velRootPath + "/Packages/MarblewickCreatorStudio/Sources/MarblewickCreatorStudio";
    const std::vector<std::string> simCoreFiles = swiftEntries(simCoreFolder);
    const std::vector<std::string> creatorFiles = swiftEntries(creatorFolder);

    bool simCoreClean = !simCoreFiles.empty();
    for (const auto& name : simCoreFiles) {
        const auto text = readUtf8(simCoreFolder + "/" + name);
        if (!text) continue;
        for (std::string_view forbidden : kForbiddenSimCoreImports)
            if (text->find(forbidden) != std::string::npos) simCoreClean = false;
    }

    bool creatorClean = creatorFiles.size() > 3;
    for (const auto& name : creatorFiles) {
        const auto text = readUtf8(creatorFolder + "/" + name);
        if (text && text->find("import MarblewickEngineKit") != std::string::npos) creatorClean = false;
    }

    const std::string project = readUtf8(quartzfallProjectPath).value_or(std::string());
    const bool modularOnly = project.find("MarblewickSimCore") != std::string::npos &&
                             project.find("MarblewickCreatorStudio") != std::string::npos &&
                             project.find("MarblewickEngineKit") == std::string::npos;

    VelModularPackageAuditV1055 audit;
    audit.simCoreZeroAppleImports = simCoreClean;
    audit.creatorStudioZeroMonolithImports = creatorClean;
    audit.creatorStudioFileCount = static_cast<int64_t>(creatorFiles.size());
    audit.simCoreFileCount = static_cast<int64_t>(simCoreFiles.size());
    audit.quartzfallUsesModularOnly = modularOnly;
    audit.monolithicReleaseBuildSec = measuredMonolithicBuildSec;
    audit.modularReleaseBuildSec = measuredModularBuildSec;
    // A NaN modular time gives way to the 1 s floor.
    audit.verifiedSpeedupMultiplier =
        std::round(measuredMonolithicBuildSec / std::fmax(measuredModularBuildSec, 1.0) * 10.0) / 10.0;
    return audit;
}

pk::json::Json VelModularPackageAuditV1055::toJson() const {
    pk::json::Json j = pk::json::Json::object();
    j["simCoreZeroAppleImports"] = simCoreZeroAppleImports;
    j["creatorStudioZeroMonolithImports"] = creatorStudioZeroMonolithImports;
    j["creatorStudioFileCount"] = creatorStudioFileCount;
    j["simCoreFileCount"] = simCoreFileCount;
    j["quartzfallUsesModularOnly"] = quartzfallUsesModularOnly;
    j["monolithicReleaseBuildSec"] = monolithicReleaseBuildSec;
    j["modularReleaseBuildSec"] = modularReleaseBuildSec;
    j["verifiedSpeedupMultiplier"] = verifiedSpeedupMultiplier;
    return j;
}

VelModularPackageAuditV1055 VelModularPackageAuditV1055::fromJson(const pk::json::Json& j) {
    using namespace pk::json;
    requireObject(j, "VelModularPackageAuditV1055");
    VelModularPackageAuditV1055 a;
    a.simCoreZeroAppleImports = readBool(j, "simCoreZeroAppleImports");
    a.creatorStudioZeroMonolithImports = readBool(j, "creatorStudioZeroMonolithImports");
    a.creatorStudioFileCount = readInteger<int64_t>(j, "creatorStudioFileCount");
    a.simCoreFileCount = readInteger<int64_t>(j, "simCoreFileCount");
    a.quartzfallUsesModularOnly = readBool(j, "quartzfallUsesModularOnly");
    a.monolithicReleaseBuildSec = readDouble(j, "monolithicReleaseBuildSec");
    a.modularReleaseBuildSec = readDouble(j, "modularReleaseBuildSec");
    a.verifiedSpeedupMultiplier = readDouble(j, "verifiedSpeedupMultiplier");
    return a;
}

}  // namespace assetio
