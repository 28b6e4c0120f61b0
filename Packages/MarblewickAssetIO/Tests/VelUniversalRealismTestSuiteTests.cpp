#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "MarblewickAssetIO/VelUniversalRealismTestSuiteV1310.h"
#include "PlatformKit/Foundation/Files.h"
#include "RealismTestFrames.h"

using namespace assetio;
using namespace realism_test;
using pk::vision::RecognizedTextLine;
using Suite = VelUniversalRealismTestSuiteV1310;
namespace fs = std::filesystem;

namespace {

// Reads jargon in the 960 x 320 trap frame (as a working engine does) and the given
// lines in every other frame.
class TrapAwareRecognizer final : public pk::vision::TextRecognizer {
public:
    explicit TrapAwareRecognizer(std::vector<RecognizedTextLine> screenshotLines = {}, bool readsTrap = true)
        : screenshotLines_(std::move(screenshotLines)), readsTrap_(readsTrap) {}
    std::vector<RecognizedTextLine> recognize(const RgbaImage& image) const override {
        if (image.width == 960 && image.height == 320)
            return readsTrap_ ? std::vector<RecognizedTextLine>{{"INTERNAL METAL 4 DEBUG TODO", 0.04, 0.6, 0.8, 0.12}}
                              : std::vector<RecognizedTextLine>{};
        return screenshotLines_;
    }

private:
    std::vector<RecognizedTextLine> screenshotLines_;
    bool readsTrap_;
};

struct Fixture {
    fs::path dir = fs::path(KS_TEST_OUTPUT_DIR) / "realism_suite";
    fs::path hud, shot, junk;
    RgbaImage pre = texturedFrame(320, 180, 1), impact = pre, post = pre;
    std::vector<VelAnatomicalEventRecordV1310> cleanEvents{{1, "severedHead", 1.6f, 5, 0.24f}};

    Fixture() {
        fs::create_directories(dir);
        hud = dir / "hud.png";
        shot = dir / "shot.png";
        junk = dir / "junk.png";
        pk::image::writePng(hud, solid(64, 36, 30, 30, 30));
        pk::image::writePng(shot, texturedFrame(320, 180, 5));
        std::ofstream(junk) << "junk";
        fillRect(impact, 100, 60, 40, 40, 230, 60, 40);
        fillRect(post, 106, 62, 40, 40, 230, 60, 40);
    }
    VelRealismFrameTripleV1310 moving() const { return {pre, impact, post}; }
    VelRealismFrameTripleV1310 frozen() const { return {pre, pre, pre}; }
};

// Every object in the document lists its keys in sorted order.
bool keysSorted(const pk::json::OrderedJson& j) {
    if (j.is_array()) {
        for (const auto& e : j)
            if (!keysSorted(e)) return false;
        return true;
    }
    if (!j.is_object()) return true;
    std::string previous;
    bool first = true;
    for (auto it = j.begin(); it != j.end(); ++it) {
        if (!first && !(previous < it.key())) return false;
        previous = it.key();
        first = false;
        if (!keysSorted(it.value())) return false;
    }
    return true;
}

}  // namespace

TEST(VelUniversalRealismTestSuite, ScoresForGateCombinations) {
    const Fixture f;
    const std::vector<VelAnatomicalEventRecordV1310> badEvents{{1, "severedHead", 1.6f, 5, 0.24f},
                                                               {1, "severedHead", 1.6f, 5, 0.24f}};
    const TrapAwareRecognizer clean, blindToTrap({}, false), leaky({{"todo", 0.05, 0.05, 0.2, 0.1}});
    struct Case {
        const char* name;
        const std::vector<VelAnatomicalEventRecordV1310>& events;
        std::vector<fs::path> ocr, photo;
        std::optional<VelRealismFrameTripleV1310> triple;
        const pk::vision::TextRecognizer& recognizer;
        int64_t score;
    };
    const std::vector<Case> cases = {
        {"all_pass_with_triple", f.cleanEvents, {f.hud}, {f.shot}, f.moving(), clean, 100},
        {"all_pass_without_triple", f.cleanEvents, {f.hud, f.junk}, {f.junk, f.shot}, std::nullopt, clean, 100},
        {"no_screenshots", f.cleanEvents, {}, {}, std::nullopt, clean, 55},
        {"only_unreadable_screenshots", f.cleanEvents, {f.junk}, {f.dir / "missing.png"}, std::nullopt, clean, 55},
        {"trap_not_caught", f.cleanEvents, {f.hud}, {f.shot}, f.moving(), blindToTrap, 90},
        {"anatomy_fails", badEvents, {f.hud}, {f.shot}, f.moving(), clean, 70},
        {"ocr_leak", f.cleanEvents, {f.hud}, {f.shot}, f.moving(), leaky, 75},
        {"flat_screenshot", f.cleanEvents, {f.hud}, {f.hud}, f.moving(), clean, 80},
        {"frozen_triple", f.cleanEvents, {f.hud}, {f.shot}, f.frozen(), clean, 85},
        {"everything_fails", badEvents, {}, {}, std::nullopt, blindToTrap, 15},
    };
    for (const Case& c : cases) {
        const auto r = Suite::runFullSuite("Quartzfall", c.events, c.ocr, c.photo, c.triple, std::nullopt, c.recognizer);
        EXPECT_EQ(r.realismScore100, c.score) << c.name;
        EXPECT_EQ(r.passedAllRealismGates, c.score == 100) << c.name;
        EXPECT_EQ(r.harnessVersion, "MarblewickVel-RealismHarness-v1310.0");
        EXPECT_EQ(r.temporalReport.has_value(), c.triple.has_value()) << c.name;
    }
    const auto skipped = Suite::runFullSuite("Q", f.cleanEvents, {f.junk, f.hud, f.hud}, {f.junk, f.shot}, std::nullopt,
                                             std::nullopt, clean);
    ASSERT_EQ(skipped.ocrReports.size(), 2u);
    EXPECT_EQ(skipped.ocrReports[0].imageName, "hud.png");
    ASSERT_EQ(skipped.frameReports.size(), 1u);
    EXPECT_EQ(skipped.frameReports[0].imageName, "shot.png");
}

TEST(VelUniversalRealismTestSuite, JsonReportSortedAndTemporalKeyOnlyWhenGiven) {
    const Fixture f;
    const TrapAwareRecognizer clean;
    const fs::path with = f.dir / "with.json", without = f.dir / "without.json";
    const auto r = Suite::runFullSuite("Quartzfall", f.cleanEvents, {f.hud}, {f.shot}, f.moving(), with, clean);
    const auto text = pk::readTextFile(with);
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(text->rfind("{\n  \"anatomicalReport\": {\n    \"", 0), 0u) << text->substr(0, 80);
    const auto ordered = pk::json::parseOrdered(*text);
    EXPECT_TRUE(keysSorted(ordered));
    EXPECT_EQ(std::prev(ordered.end()).key(), "temporalReport");
    EXPECT_EQ(VelUniversalRealismSuiteReportV1310::fromJson(pk::json::parse(*text)), r);

    const auto r2 = Suite::runFullSuite("Quartzfall", f.cleanEvents, {f.hud}, {f.shot}, std::nullopt, without, clean);
    const auto doc = pk::json::parse(*pk::readTextFile(without));
    EXPECT_FALSE(doc.contains("temporalReport"));
    EXPECT_EQ(VelUniversalRealismSuiteReportV1310::fromJson(doc), r2);
    auto missing = doc;
    missing.erase("ocrReports");
    EXPECT_THROW(VelUniversalRealismSuiteReportV1310::fromJson(missing), pk::StudioError);

    // An unwritable destination still returns the report.
    const auto r3 = Suite::runFullSuite("Quartzfall", f.cleanEvents, {f.hud}, {f.shot}, std::nullopt,
                                        f.hud / "below_a_file.json", clean);
    EXPECT_EQ(r3.realismScore100, 100);
}

// The suite's own trap with the real engine: the text trap, the anatomical traps and
// clean screenshots give a full score.
TEST(VelUniversalRealismTestSuite, RealRecognizerPassesTheTraps) {
    const Fixture f;
    const auto r = Suite::runFullSuite("Quartzfall", f.cleanEvents, {f.hud}, {f.shot}, f.moving(), std::nullopt);
    EXPECT_TRUE(r.selfTestTrapsPassed);
    EXPECT_EQ(r.realismScore100, 100);
    EXPECT_TRUE(r.passedAllRealismGates);
}
