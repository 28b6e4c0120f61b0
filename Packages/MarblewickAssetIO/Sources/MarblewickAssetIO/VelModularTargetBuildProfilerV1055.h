#pragma once
// Audit of the package split: the simulation core imports no user-interface or media
// framework, the creator tools do not import the old monolithic module, a game project
// links only the new packages; plus the measured build speed-up. Reads files only and
// never throws.
#include <cstdint>
#include <string>

#include "PlatformKit/Foundation/Json.h"

namespace assetio {

struct VelModularPackageAuditV1055 {
    bool simCoreZeroAppleImports = false;
    bool creatorStudioZeroMonolithImports = false;
    int64_t creatorStudioFileCount = 0;
    int64_t simCoreFileCount = 0;
    bool quartzfallUsesModularOnly = false;
    double monolithicReleaseBuildSec = 0.0;
    double modularReleaseBuildSec = 0.0;
    double verifiedSpeedupMultiplier = 0.0;

    bool operator==(const VelModularPackageAuditV1055&) const = default;

    pk::json::Json toJson() const;
    static VelModularPackageAuditV1055 fromJson(const pk::json::Json& j);
};

struct VelModularTargetBuildProfilerV1055 {
    VelModularTargetBuildProfilerV1055() = delete;

    // Folders are velRootPath + "/Packages/<Name>/Sources/<Name>", joined as plain strings.
    // Only entries whose names end in ".swift" (case-sensitive) count; unreadable files and
    // files that are not valid UTF-8 are counted but not searched.
    static VelModularPackageAuditV1055 auditModularPackageGraph(const std::string& velRootPath,
                                                                const std::string& quartzfallProjectPath,
                                                                double measuredModularBuildSec,
                                                                double measuredMonolithicBuildSec);
};

}  // namespace assetio
