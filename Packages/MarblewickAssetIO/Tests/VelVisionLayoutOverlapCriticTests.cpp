#include <gtest/gtest.h>

#include <filesystem>

#include "MarblewickAssetIO/VelVisionLayoutOverlapCriticV1075.h"
#include "RealismTestFrames.h"

using namespace assetio;
using namespace realism_test;
using pk::vision::FakeTextRecognizer;
using pk::vision::RecognizedTextLine;
using Critic = VelVisionLayoutOverlapCriticV1075;
namespace fs = std::filesystem;

namespace {
RecognizedTextLine line(std::string text, double x = 0.1, double y = 0.1, double w = 0.2, double h = 0.1) {
    return {std::move(text), x, y, w, h};
}
VelVisionCriticReportV1075 audit(std::vector<RecognizedTextLine> lines, bool enforce = true) {
    return Critic::auditImage(solid(64, 32, 0, 0, 0), "frame", enforce, FakeTextRecognizer(std::move(lines)));
}
}  // namespace

TEST(VelVisionLayoutOverlapCritic, Rules) {
    struct Case {
        const char* name;
        std::vector<RecognizedTextLine> lines;
        int64_t overlaps, clipped;
        std::vector<std::string> leaks;
    };
    const std::vector<Case> cases = {
        {"no_text", {}, 0, 0, {}},
        {"shared_edge", {line("a", 0.1, 0.1), line("b", 0.3, 0.1)}, 0, 0, {}},
        {"equal_boxes", {line("a"), line("b")}, 1, 0, {}},
        {"three_mutual", {line("a"), line("b", 0.12), line("c", 0.14)}, 3, 0, {}},
        {"x_0002", {line("a", 0.002)}, 0, 0, {}},
        {"x_00019", {line("a", 0.0019)}, 0, 1, {}},
        {"top_band", {line("a", 0.1, 0.9, 0.2, 0.0981)}, 0, 1, {}},
        {"lower_case_metal", {line("metal 4 ready")}, 0, 0, {"METAL 4 in 'metal 4 ready'"}},
        {"two_terms", {line("tok/s and TTFT")}, 0, 0, {"TTFT in 'tok/s and TTFT'", "TOK/S in 'tok/s and TTFT'"}},
        // This critic's list has no TODO or NAN.
        {"older_list", {line("TODO NaN")}, 0, 0, {}},
    };
    for (const Case& c : cases) {
        const auto r = audit(c.lines);
        EXPECT_EQ(r.recognizedTextCount, static_cast<int64_t>(c.lines.size())) << c.name;
        EXPECT_EQ(r.overlapPairsDetected, c.overlaps) << c.name;
        EXPECT_EQ(r.edgeClippedBoxes, c.clipped) << c.name;
        EXPECT_EQ(r.forbiddenJargonLeaks, c.leaks) << c.name;
        EXPECT_EQ(r.passedCleanLayoutGate, c.overlaps == 0 && c.clipped == 0 && c.leaks.empty()) << c.name;
    }
    const auto off = audit({line("metal 4 ready")}, false);
    EXPECT_TRUE(off.forbiddenJargonLeaks.empty());
    EXPECT_TRUE(off.passedCleanLayoutGate);
    EXPECT_EQ(off.recognizedStrings, std::vector<std::string>{"metal 4 ready"});

    const auto failed = Critic::auditImage(solid(8, 8, 0, 0, 0), "frame", true, FakeTextRecognizer::failing());
    EXPECT_FALSE(failed.passedCleanLayoutGate);
    EXPECT_EQ(failed.recognizedTextCount, 0);
    EXPECT_EQ(VelVisionCriticReportV1075::fromJson(audit({line("TTFT")}).toJson()), audit({line("TTFT")}));
    EXPECT_EQ(VelVisionTextBoxV1075::fromJson(VelVisionTextBoxV1075{"a", 0.1, 0.2, 0.3, 0.4}.toJson()),
              (VelVisionTextBoxV1075{"a", 0.1, 0.2, 0.3, 0.4}));
}

TEST(VelVisionLayoutOverlapCritic, PngAuditAndTesseractTrap) {
    const fs::path dir = fs::path(KS_TEST_OUTPUT_DIR) / "layout_critic";
    fs::create_directories(dir);
    pk::image::writePng(dir / "hud.png", solid(64, 32, 0, 0, 0));
    const auto r = Critic::auditPNG(dir / "hud.png", true, FakeTextRecognizer({line("SwiftUI")}));
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->imageName, "hud.png");
    EXPECT_EQ(r->forbiddenJargonLeaks, std::vector<std::string>{"SWIFTUI in 'SwiftUI'"});
    EXPECT_FALSE(Critic::auditPNG(dir / "missing.png", true).has_value());

    const auto trap = Critic::runSelfTestTrapCheck();
    EXPECT_TRUE(trap.caughtOverlapOrLeak) << ::testing::PrintToString(trap.report.recognizedStrings);
    EXPECT_EQ(trap.report.imageName, "synthetic_jargon_trap");
    bool ttft = false, metal = false;
    for (const auto& leak : trap.report.forbiddenJargonLeaks) {
        ttft = ttft || leak.rfind("TTFT in '", 0) == 0;
        metal = metal || leak.rfind("METAL 4 in '", 0) == 0;
    }
    EXPECT_TRUE(ttft && metal) << ::testing::PrintToString(trap.report.forbiddenJargonLeaks);
}
