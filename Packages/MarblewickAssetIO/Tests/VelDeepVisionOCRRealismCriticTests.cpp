#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <thread>

#include "MarblewickAssetIO/RealismTextLayout.h"
#include "MarblewickAssetIO/VelDeepVisionOCRRealismCriticV1310.h"
#include "RealismTestFrames.h"
#include "PlatformKit/Draw2D/Canvas.h"
#include "PlatformKit/Vision/TesseractTextRecognizer.h"

using namespace assetio;
using pk::image::RgbaImage;
using pk::vision::FakeTextRecognizer;
using pk::vision::RecognizedTextLine;
using Critic = VelDeepVisionOCRRealismCriticV1310;
namespace fs = std::filesystem;

namespace {

using realism_test::solid;

// Alternating black and white columns: any box two pixels wide has full contrast.
RgbaImage stripes(int w = 200, int h = 100) {
    RgbaImage img = solid(w, h, 0, 0, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 1; x < w; x += 2)
            for (int c = 0; c < 3; ++c) img.row(y)[x * 4 + c] = 255;
    return img;
}

// A clean box in the lower left, out of the central zone and the margins.
RecognizedTextLine line(std::string text, double x = 0.05, double y = 0.05, double w = 0.1, double h = 0.05) {
    return {std::move(text), x, y, w, h};
}

VelDeepVisionOCRReportV1310 audit(std::vector<RecognizedTextLine> lines, bool enforce = true,
                                  const RgbaImage& image = stripes()) {
    return Critic::auditImage(image, "frame", enforce, 2.6, 0.16, FakeTextRecognizer(std::move(lines)));
}

// One label of a drawn HUD: its baseline starts at x, ends at x (alignRight) or is
// centred on x (centre); y counts from the bottom of the frame.
struct HudLabel {
    const char* text;
    double x, y;
    enum Align { left, alignRight, centre } align = left;
    double grey = 1.0;
};

// A 1280 x 720 game frame: labels in one face on a dark backdrop.
RgbaImage hudFrame(double points, const std::vector<HudLabel>& labels, const char* face = "HelveticaNeue-Bold") {
    using namespace pk::draw2d;
    auto bitmap = Bitmap::create(1280, 720);
    {
        Canvas canvas(*bitmap, Origin::bottomLeft);
        canvas.setFillColor({0.06, 0.07, 0.09, 1});
        canvas.fill({0, 0, 1280, 720});
        const Font font = Font::named(face, points);
        for (const HudLabel& l : labels) {
            const double advance = font.measure(l.text).advance;
            const double x = l.align == HudLabel::alignRight ? l.x - advance
                             : l.align == HudLabel::centre   ? l.x - advance / 2
                                                             : l.x;
            canvas.drawText(l.text, font, {l.grey, l.grey, l.grey, 1}, {x, l.y});
        }
        canvas.flush();
    }
    return realism::frameFromBitmap(*bitmap);
}

size_t processThreads() {
    size_t n = 0;
    for ([[maybe_unused]] const auto& task : fs::directory_iterator("/proc/self/task")) ++n;
    return n;
}

}  // namespace

TEST(VelDeepVisionOCRRealismCritic, GeometryRules) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        const char* name;
        std::vector<RecognizedTextLine> lines;
        int64_t overlaps, safe;
        double clutter;
    };
    const std::vector<Case> cases = {
        {"no_text", {}, 0, 0, 0},
        {"two_identical", {line("a"), line("b")}, 1, 0, 0},
        {"three_identical", {line("a"), line("b"), line("c")}, 3, 0, 0},
        {"shared_edge", {line("a", 0.1, 0.1, 0.1, 0.1), line("b", 0.2, 0.1, 0.1, 0.1)}, 0, 0, 0},
        {"zero_area_pair_uses_union_floor", {line("a", 0.1, 0.1, 0, 0), line("b", 0.1, 0.1, 0, 0)}, 0, 0, 0},
        {"x_0004", {line("a", 0.004)}, 0, 1, 0},
        {"x_0005", {line("a", 0.005)}, 0, 0, 0},
        {"right_edge", {line("a", 0.9, 0.1, 0.0951)}, 0, 1, 0},
        {"top_edge", {line("a", 0.1, 0.9, 0.1, 0.0951)}, 0, 1, 0},
        {"whole_zone_capped", {line("a", 0.1, 0.1, 0.8, 0.8)}, 0, 0, 1.0},
        {"touches_zone_edge_only", {line("a", 0.74, 0.3, 0.1, 0.1)}, 0, 0, 0},
        {"half_zone_width", {line("a", 0.26, 0.28, 0.24, 0.44)}, 0, 0, 0.5},
        {"nan_box", {line("a", nan, nan, nan, nan)}, 0, 0, 0},
    };
    for (const Case& c : cases) {
        const auto r = audit(c.lines);
        EXPECT_EQ(r.recognizedCount, static_cast<int64_t>(c.lines.size())) << c.name;
        EXPECT_EQ(r.overlapPairs, c.overlaps) << c.name;
        EXPECT_EQ(r.safeAreaViolations, c.safe) << c.name;
        EXPECT_NEAR(r.centralViewportClutterFraction, c.clutter, 1e-12) << c.name;
        EXPECT_EQ(r.passed, c.overlaps == 0 && c.safe == 0 && c.clutter <= 0.16) << c.name;
    }
    const auto empty = audit({});
    EXPECT_EQ(empty.minContrastRatio, 21.0);
    EXPECT_TRUE(empty.passed);
}

TEST(VelDeepVisionOCRRealismCritic, ContrastFromPixelsUnderTheBox) {
    // Left half black, right half white; a box across the middle has full contrast, one
    // inside the black half none, and a 1 x 2 pixel box too few samples to judge.
    RgbaImage split = solid(200, 100, 0, 0, 0);
    for (int y = 0; y < 100; ++y)
        for (int x = 100; x < 200; ++x)
            for (int c = 0; c < 3; ++c) split.row(y)[x * 4 + c] = 255;
    const auto r = audit({line("across", 0.4, 0.4, 0.2, 0.2), line("dark", 0.1, 0.6, 0.2, 0.2),
                          line("tiny", 0.02, 0.02, 0.005, 0.02)},
                         true, split);
    ASSERT_EQ(r.recognizedCount, 3);
    EXPECT_NEAR(r.minContrastRatio, 1.0, 1e-12);
    EXPECT_EQ(r.lowContrastBoxes, 1);
    EXPECT_FALSE(r.passed);
    const auto across = audit({line("across", 0.4, 0.6, 0.2, 0.2)}, true, split);
    EXPECT_NEAR(across.minContrastRatio, 1.05 / 0.05, 1e-9);
    const auto tiny = audit({line("tiny", 0.02, 0.02, 0.005, 0.02)}, true, split);
    EXPECT_EQ(tiny.minContrastRatio, 4.5);
    EXPECT_TRUE(tiny.passed);

    // Transparent pixels read as black (premultiplied), so white at alpha 0 has no contrast.
    const auto clear = audit({line("x", 0.4, 0.4, 0.2, 0.2)}, true, solid(200, 100, 255, 255, 255, 0));
    EXPECT_NEAR(clear.minContrastRatio, 1.0, 1e-12);
    // A frame without pixels, and one whose rows are missing, never read out of bounds.
    EXPECT_EQ(audit({line("x")}, true, RgbaImage{}).minContrastRatio, 1.0);
    RgbaImage broken = solid(50, 50, 255, 255, 255);
    broken.bytes.resize(10);
    EXPECT_EQ(audit({line("x", 0.4, 0.4, 0.3, 0.3)}, true, broken).minContrastRatio, 1.0);
    // Huge or NaN boxes clamp to the frame.
    EXPECT_NEAR(audit({line("x", -1e300, -1e300, 1e308, 1e308)}, true, split).minContrastRatio, 21.0, 1e-9);
}

TEST(VelDeepVisionOCRRealismCritic, Rgba8PixelsArePremultiplied) {
    RgbaImage img = solid(2, 2, 200, 100, 50, 255);
    img.row(1)[4 + 0] = 255, img.row(1)[4 + 1] = 128, img.row(1)[4 + 2] = 0, img.row(1)[4 + 3] = 128;
    const auto px = Critic::rgba8Pixels(img);
    EXPECT_EQ(px, (std::vector<uint8_t>{200, 100, 50, 255, 200, 100, 50, 255, 200, 100, 50, 255, 128, 64, 0, 128}));
    RgbaImage padded = img;
    padded.stride = 12;
    padded.bytes.assign(24, 255);
    EXPECT_EQ(Critic::rgba8Pixels(padded), std::vector<uint8_t>(16, 255));
    RgbaImage broken = img;
    broken.bytes.resize(8);
    EXPECT_EQ(Critic::rgba8Pixels(broken), std::vector<uint8_t>(16, 0));
    EXPECT_TRUE(Critic::rgba8Pixels(RgbaImage{}).empty());
}

TEST(VelDeepVisionOCRRealismCritic, JargonRules) {
    struct Case {
        const char* text;
        std::vector<std::string> leaks;
    };
    const std::vector<Case> cases = {
        {"Score 1200", {}},
        {"NANOSECOND", {}},
        {"banana split", {}},
        {"NaN value", {"NAN in 'NaN value'"}},
        {"x-nan", {"NAN in 'x-nan'"}},
        {"nan\xC3\xA9", {}},           // an accented letter keeps the word together
        {"nan\xCC\x81", {}},           // so does a combining mark
        {"nan\xC2\xBD", {}},           // and a vulgar fraction (a number)
        {"todo list", {"TODO in 'todo list'"}},
        {"metal 4 ttft tok/s", {"TTFT in 'metal 4 ttft tok/s'", "TOK/S in 'metal 4 ttft tok/s'",
                                "METAL 4 in 'metal 4 ttft tok/s'"}},
        {"Xcode placeholder FIXME", {"XCODE in 'Xcode placeholder FIXME'", "FIXME in 'Xcode placeholder FIXME'",
                                     "PLACEHOLDER in 'Xcode placeholder FIXME'"}},
        {"stra\xC3\x9F" "e undefined", {"UNDEFINED in 'stra\xC3\x9F" "e undefined'"}},
    };
    for (const Case& c : cases) {
        const auto r = audit({line(c.text)});
        EXPECT_EQ(r.forbiddenJargonLeaks, c.leaks) << c.text;
        EXPECT_EQ(r.passed, c.leaks.empty()) << c.text;
        EXPECT_EQ(r.recognizedStrings, std::vector<std::string>{c.text});
    }
    // Box order then term order; enforcement off never fails on jargon.
    const auto two = audit({line("TODO", 0.05, 0.05), line("NaN", 0.05, 0.5)});
    EXPECT_EQ(two.forbiddenJargonLeaks, (std::vector<std::string>{"TODO in 'TODO'", "NAN in 'NaN'"}));
    const auto off = audit({line("TODO", 0.05, 0.05), line("NaN", 0.05, 0.5)}, false);
    EXPECT_TRUE(off.forbiddenJargonLeaks.empty());
    EXPECT_TRUE(off.passed);
}

TEST(VelDeepVisionOCRRealismCritic, RecognizerThatCannotRunFailsTheFrame) {
    const auto r = Critic::auditImage(solid(64, 64, 0, 0, 0), "frame", true, 2.6, 0.16,
                                      FakeTextRecognizer::failing("no language data"));
    EXPECT_EQ(r.recognizedCount, 0);
    EXPECT_FALSE(r.passed);
    const auto trap = Critic::runSelfTestTrapCheck(pk::vision::TesseractTextRecognizer("zz_no_such_language"));
    EXPECT_FALSE(trap.caughtDefects);
    EXPECT_FALSE(trap.report.passed);
}

TEST(VelDeepVisionOCRRealismCritic, ReportJsonRoundTripAndUnreadablePng) {
    const auto r = audit({line("TODO", 0.05, 0.05), line("b", 0.4, 0.4, 0.3, 0.3)});
    const auto j = r.toJson();
    EXPECT_EQ(VelDeepVisionOCRReportV1310::fromJson(j), r);
    EXPECT_EQ(j.size(), 10u);
    auto missing = j;
    missing.erase("passed");
    EXPECT_THROW(VelDeepVisionOCRReportV1310::fromJson(missing), pk::StudioError);

    const fs::path dir = fs::path(KS_TEST_OUTPUT_DIR) / "ocr_critic";
    fs::create_directories(dir);
    EXPECT_FALSE(Critic::auditPNG(dir / "missing.png", true, FakeTextRecognizer()).has_value());
    pk::image::writePng(dir / "frame.png", solid(32, 16, 10, 10, 10));
    const auto png = Critic::auditPNG(dir / "frame.png", true, FakeTextRecognizer({line("a")}));
    ASSERT_TRUE(png.has_value());
    EXPECT_EQ(png->imageName, "frame.png");
    EXPECT_EQ(png->recognizedStrings, std::vector<std::string>{"a"});
}

// CI fails here, not with a skip, when Tesseract or its English data is missing: every
// audit would otherwise fail its frames as unread.
TEST(VelDeepVisionOCRRealismCritic, DefaultRecognizerLoadsEnglish) {
    const auto* tesseract = dynamic_cast<const pk::vision::TesseractTextRecognizer*>(&pk::vision::defaultTextRecognizer());
    ASSERT_NE(tesseract, nullptr);
    EXPECT_EQ(tesseract->language(), "eng");
    EXPECT_EQ(tesseract->loadFailure(), std::nullopt);
}

// The real engine must read the trap frame: jargon in the first line, a failed report.
TEST(VelDeepVisionOCRRealismCritic, TesseractCatchesTheTrapFrame) {
    const auto t = Critic::runSelfTestTrapCheck();
    EXPECT_TRUE(t.caughtDefects) << ::testing::PrintToString(t.report.recognizedStrings);
    EXPECT_FALSE(t.report.passed);
    EXPECT_EQ(t.report.imageName, "synthetic_v1310_ocr_trap");
    bool metal = false, todo = false;
    for (const auto& leak : t.report.forbiddenJargonLeaks) {
        metal = metal || leak.rfind("METAL 4 in '", 0) == 0;
        todo = todo || leak.rfind("TODO in '", 0) == 0;
    }
    EXPECT_TRUE(metal && todo) << ::testing::PrintToString(t.report.forbiddenJargonLeaks);
}

// What a player reads on drawn HUD frames, through the real engine: labels far apart on
// one baseline are separate texts, while the rules still catch what they are for.
TEST(VelDeepVisionOCRRealismCritic, TesseractReadsHudFramesAsAPlayerDoes) {
    struct Case {
        const char* name;
        double points;
        std::vector<HudLabel> labels;
        std::vector<std::string> strings;
        bool passed;
        const char* failsOn;  // the one rule a failing frame breaks
        std::vector<std::string> leaks = {};
        const char* face = "HelveticaNeue-Bold";
    };
    const std::vector<Case> cases = {
        {"edge_labels_top_18pt", 18, {{"HP 100", 40, 660}, {"AMMO 30", 1240, 660, HudLabel::alignRight}},
         {"HP 100", "AMMO 30"}, true, ""},
        {"edge_labels_mid_64pt", 64, {{"HP 100", 40, 340}, {"AMMO 30", 1240, 340, HudLabel::alignRight}},
         {"HP 100", "AMMO 30"}, true, ""},
        {"edge_labels_bottom_32pt", 32, {{"HP 100", 40, 40}, {"AMMO 30", 1240, 40, HudLabel::alignRight}},
         {"HP 100", "AMMO 30"}, true, ""},
        {"sentence_stays_whole", 24, {{"Press E to open the heavy gate", 60, 100}},
         {"Press E to open the heavy gate"}, true, ""},
        // A monospaced space is the widest a sentence has: over a line height on caps.
        {"monospaced_label_stays_whole", 24, {{"HP 100 AMMO 30", 40, 660}}, {"HP 100 AMMO 30"}, true, "", {},
         "Menlo-Regular"},
        {"centred_title", 84, {{"MISSION COMPLETE", 640, 330, HudLabel::centre}}, {"MISSION COMPLETE"}, false,
         "clutter"},
        {"dim_label", 32, {{"SCORE 1200", 40, 660, HudLabel::left, 0.2}}, {"SCORE 1200"}, false, "contrast"},
        {"jargon_quotes_its_own_label", 24,
         {{"todo: fix", 40, 660}, {"NANOSECOND TIMER", 1240, 660, HudLabel::alignRight}},
         {"todo: fix", "NANOSECOND TIMER"}, false, "jargon", {"TODO in 'todo: fix'"}},
    };
    for (const Case& c : cases) {
        const auto r = Critic::auditImage(hudFrame(c.points, c.labels, c.face), c.name, true, kRealismMinTextContrast,
                                          kRealismMaxCentralClutter);
        EXPECT_EQ(r.recognizedStrings, c.strings) << c.name;
        EXPECT_EQ(r.passed, c.passed) << c.name << " contrast " << r.minContrastRatio << " clutter "
                                      << r.centralViewportClutterFraction;
        const std::string failsOn = c.failsOn;
        EXPECT_EQ(r.lowContrastBoxes > 0, failsOn == "contrast") << c.name << " contrast " << r.minContrastRatio;
        EXPECT_EQ(r.centralViewportClutterFraction > kRealismMaxCentralClutter, failsOn == "clutter")
            << c.name << " clutter " << r.centralViewportClutterFraction;
        EXPECT_EQ(r.forbiddenJargonLeaks, c.leaks) << c.name;
        EXPECT_EQ(r.overlapPairs, 0) << c.name;
        EXPECT_EQ(r.safeAreaViolations, 0) << c.name;
    }
}

// Subsystem code runs on the caller's thread: an audit leaves the process with the
// threads it had, on the test's thread and on a fresh one (the OpenMP runtime keeps its
// settings per thread).
TEST(VelDeepVisionOCRRealismCritic, AuditStartsNoThread) {
    const RgbaImage frame = hudFrame(32, {{"HP 100", 40, 660}, {"AMMO 30", 1240, 660, HudLabel::alignRight}});
    const auto auditCountingThreads = [&frame] {
        const size_t before = processThreads();
        const auto r = Critic::auditImage(frame, "hud", true, kRealismMinTextContrast, kRealismMaxCentralClutter);
        EXPECT_EQ(processThreads(), before);
        EXPECT_FALSE(r.recognizedStrings.empty());
    };
    auditCountingThreads();
    std::thread(auditCountingThreads).join();
}
