#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <filesystem>
#include <unistd.h>

#include "MarblewickAssetIO/VelModularTargetBuildProfilerV1055.h"
#include "PlatformKit/Foundation/Files.h"
#include "FuzzSeeds.h"

using namespace assetio;
namespace fs = std::filesystem;
using Profiler = VelModularTargetBuildProfilerV1055;

namespace {

struct Tree {
    fs::path root;
    fs::path simCore() const { return root / "Packages/MarblewickSimCore/Sources/MarblewickSimCore"; }
    fs::path creator() const { return root / "Packages/MarblewickCreatorStudio/Sources/MarblewickCreatorStudio"; }
    fs::path project() const { return root / "Quartzfall.xcodeproj"; }
    void write(const fs::path& p, std::string_view text) const { pk::atomicWrite(p, text); }
};

Tree freshTree(const std::string& name) {
    Tree t{fs::path(KS_TEST_OUTPUT_DIR) / ("audit-" + std::to_string(::getpid())) / name};
    fs::remove_all(t.root);
    pk::createDirectories(t.simCore());
    pk::createDirectories(t.creator());
    t.write(t.simCore() / "SimVec3.swift", "import Foundation\nstruct SimVec3 {}\n");
    t.write(t.simCore() / "Arena.swift", "import Foundation\n");
    for (int i = 0; i < 4; ++i) t.write(t.creator() / ("File" + std::to_string(i) + ".swift"), "import SwiftUI\n");
    t.write(t.project(), "packages: MarblewickSimCore, MarblewickCreatorStudio\n");
    return t;
}

VelModularPackageAuditV1055 audit(const Tree& t, double modular = 100, double monolithic = 300) {
    return Profiler::auditModularPackageGraph(t.root.string(), t.project().string(), modular, monolithic);
}

}  // namespace

TEST(VelModularTargetBuildProfiler, CleanTreePasses) {
    const Tree t = freshTree("clean");
    const auto a = audit(t);
    EXPECT_TRUE(a.simCoreZeroAppleImports);
    EXPECT_TRUE(a.creatorStudioZeroMonolithImports);
    EXPECT_EQ(a.creatorStudioFileCount, 4);
    EXPECT_EQ(a.simCoreFileCount, 2);
    EXPECT_TRUE(a.quartzfallUsesModularOnly);
    EXPECT_EQ(a.monolithicReleaseBuildSec, 300.0);
    EXPECT_EQ(a.modularReleaseBuildSec, 100.0);
    EXPECT_EQ(a.verifiedSpeedupMultiplier, 3.0);
    EXPECT_EQ(VelModularPackageAuditV1055::fromJson(pk::json::parse(pk::json::dump(a.toJson()))), a);
    // The audit's fuzz target reads a core source, a creator source, the project file and a
    // saved audit, cut apart by this line.
    const std::string cut = "\n--8<--\n";
    kstest::writeFuzzSeed("assetio_package_audit", "clean",
                          "import Foundation\nstruct SimVec3 {}\n" + cut + "import SwiftUI\n" + cut +
                              "packages: MarblewickSimCore, MarblewickCreatorStudio\n" + cut + pk::json::dump(a.toJson()));
}

TEST(VelModularTargetBuildProfiler, ForbiddenImportsAndIgnoredNames) {
    struct Case {
        const char* name;
        std::function<void(const Tree&)> edit;
        bool simClean, creatorClean;
        int64_t simCount, creatorCount;
    };
    const Case cases[] = {
        {"MetalKit contains import Metal", [](const Tree& t) { t.write(t.simCore() / "R.swift", "import MetalKit\n"); },
         false, true, 3, 4},
        {"forbidden import in a comment", [](const Tree& t) { t.write(t.simCore() / "C.swift", "// import Vision later\n"); },
         false, true, 3, 4},
        {"hidden file is read", [](const Tree& t) { t.write(t.simCore() / ".hidden.swift", "import ReplayKit"); }, false,
         true, 3, 4},
        {".swift.bak and upper case are ignored",
         [](const Tree& t) {
             t.write(t.simCore() / "Old.swift.bak", "import UIKit\n");
             t.write(t.simCore() / "Loud.SWIFT", "import AppKit\n");
             t.write(t.creator() / "Old.swift.bak", "import MarblewickEngineKit\n");
         },
         true, true, 2, 4},
        {"invalid UTF-8 is unreadable but counted",
         [](const Tree& t) { t.write(t.simCore() / "Bin.swift", "import AVFoundation\n\xFF\xFE"); }, true, true, 3, 4},
        {"folder named .swift counts but is unreadable",
         [](const Tree& t) { pk::createDirectories(t.simCore() / "Dir.swift"); }, true, true, 3, 4},
        {"monolith import in creator tools",
         [](const Tree& t) { t.write(t.creator() / "Legacy.swift", "import MarblewickEngineKit\n"); }, true, false, 2, 5},
        {"three creator files are too few", [](const Tree& t) { fs::remove(t.creator() / "File0.swift"); }, true, false,
         2, 3},
        {"empty sim core folder",
         [](const Tree& t) {
             fs::remove_all(t.simCore());
             pk::createDirectories(t.simCore());
         },
         false, true, 0, 4},
        {"missing folders", [](const Tree& t) { fs::remove_all(t.root / "Packages"); }, false, false, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Tree t = freshTree("case");
        c.edit(t);
        const auto a = audit(t);
        EXPECT_EQ(a.simCoreZeroAppleImports, c.simClean);
        EXPECT_EQ(a.creatorStudioZeroMonolithImports, c.creatorClean);
        EXPECT_EQ(a.simCoreFileCount, c.simCount);
        EXPECT_EQ(a.creatorStudioFileCount, c.creatorCount);
    }
}

TEST(VelModularTargetBuildProfiler, ProjectFileRule) {
    struct Case {
        const char* text;  // nullptr: no project file
        bool modularOnly;
    };
    for (Case c : {Case{"MarblewickSimCore MarblewickCreatorStudio", true}, Case{"MarblewickSimCore only", false},
                   Case{"MarblewickSimCore MarblewickCreatorStudio MarblewickEngineKit", false},
                   Case{"MarblewickSimCore MarblewickCreatorStudio \xC3", false}, Case{nullptr, false}}) {
        const Tree t = freshTree("project");
        if (c.text) t.write(t.project(), c.text);
        else fs::remove(t.project());
        EXPECT_EQ(audit(t).quartzfallUsesModularOnly, c.modularOnly) << (c.text ? c.text : "(missing)");
    }
}

TEST(VelModularTargetBuildProfiler, SpeedupTable) {
    const Tree t = freshTree("speedup");
    struct Case {
        double monolithic, modular, speedup;
    };
    const double nan = std::nan("");
    for (Case c : {Case{300, 100, 3.0}, Case{100, 30, 3.3}, Case{3, 0.5, 3.0}, Case{0.25, 1, 0.3}, Case{2.5, nan, 2.5},
                   Case{-0.25, 1, -0.3}, Case{0, 0, 0.0}}) {
        const auto a = audit(t, c.modular, c.monolithic);
        EXPECT_EQ(a.verifiedSpeedupMultiplier, c.speedup) << c.monolithic << " / " << c.modular;
        EXPECT_TRUE(std::isnan(c.modular) ? std::isnan(a.modularReleaseBuildSec) : a.modularReleaseBuildSec == c.modular);
    }
    EXPECT_TRUE(std::isnan(audit(t, 10, nan).verifiedSpeedupMultiplier));
}
