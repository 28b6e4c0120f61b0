// Any bytes as the sources and the project file the package audit reads (cut at
// "\n--8<--\n": a core source, a creator source, the project file, then a saved audit as
// JSON): the audit never throws, counts what is there, and a saved audit that reads
// writes back the same.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include "MarblewickAssetIO/VelModularTargetBuildProfilerV1055.h"
#include "PlatformKit/Foundation/Files.h"
#include "PlatformKit/Foundation/StudioError.h"

namespace fs = std::filesystem;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using assetio::VelModularPackageAuditV1055;
    using assetio::VelModularTargetBuildProfilerV1055;
    static const fs::path root = fs::temp_directory_path() / ("ks-fuzz-audit-" + std::to_string(::getpid()));
    static const fs::path core = root / "Packages/MarblewickSimCore/Sources/MarblewickSimCore";
    static const fs::path creator = root / "Packages/MarblewickCreatorStudio/Sources/MarblewickCreatorStudio";
    fs::create_directories(core);
    fs::create_directories(creator);

    const std::string_view input(reinterpret_cast<const char*>(data), size);
    constexpr std::string_view cut = "\n--8<--\n";
    std::string_view parts[4];
    size_t at = 0;
    for (auto& part : parts) {
        if (at > input.size()) break;
        size_t end = input.find(cut, at);
        if (end == std::string_view::npos) end = input.size();
        part = input.substr(at, end - at);
        at = end + cut.size();
    }
    auto bytesOf = [](std::string_view s) { return std::span(reinterpret_cast<const uint8_t*>(s.data()), s.size()); };
    pk::writeInPlace(core / "World.swift", bytesOf(parts[0]));
    for (const char* name : {"A.swift", "B.swift", "C.swift", "D.swift"})
        pk::writeInPlace(creator / name, bytesOf(parts[1]));
    pk::writeInPlace(root / "project.pbxproj", bytesOf(parts[2]));

    const auto audit =
        VelModularTargetBuildProfilerV1055::auditModularPackageGraph(root.string(), (root / "project.pbxproj").string(), 1.0, 2.0);
    if (audit.simCoreFileCount != 1 || audit.creatorStudioFileCount != 4) __builtin_trap();

    try {
        const auto saved = VelModularPackageAuditV1055::fromJson(pk::json::parse(std::string(parts[3])));
        if (!(VelModularPackageAuditV1055::fromJson(saved.toJson()) == saved)) __builtin_trap();
    } catch (const pk::StudioError&) {
    }
    return 0;
}
