#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "MarblewickAssetIO/VelVisualPhotorealismAuditorV1310.h"
#include "RealismTestFrames.h"

using namespace assetio;
using namespace realism_test;
using Auditor = VelVisualPhotorealismAuditorV1310;
using V = std::vector<std::string>;
namespace fs = std::filesystem;

namespace {

RgbaImage checkerboard(int w, int h, int square, uint8_t dark, uint8_t light) {
    RgbaImage img = solid(w, h, dark, dark, dark);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (((x / square) + (y / square)) % 2)
                for (int c = 0; c < 3; ++c) img.row(y)[x * 4 + c] = light;
    return img;
}

}  // namespace

TEST(VelVisualPhotorealismAuditor, FrameStatisticsTable) {
    RgbaImage broken = solid(40, 40, 255, 255, 255);
    broken.bytes.resize(100);
    struct Case {
        const char* name;
        RgbaImage image;
        V want;
    };
    const std::vector<Case> cases = {
        {"white", solid(64, 48, 255, 255, 255),
         {"HIGHLIGHT_BLOWOUT_100.0PCT", "OVEREXPOSED_WASHED_OUT_FRAME_LUMA_1.00", "FLAT_DYNAMIC_RANGE_0.00",
          "FLAT_UNTEXTURED_POLYGONS_GRADIENT_0.0000"}},
        {"black", solid(64, 48, 0, 0, 0),
         {"CRUSHED_BLACK_OR_BLANK_FRAME_100.0PCT", "FLAT_DYNAMIC_RANGE_0.00", "FLAT_UNTEXTURED_POLYGONS_GRADIENT_0.0000"}},
        {"magenta", solid(64, 48, 255, 0, 255),
         {"FLAT_DYNAMIC_RANGE_0.00", "MISSING_TEXTURE_MAGENTA_SHADER_FAULT_100.0PCT",
          "FLAT_UNTEXTURED_POLYGONS_GRADIENT_0.0000"}},
        {"one_pixel", solid(1, 1, 128, 100, 90), {"FLAT_DYNAMIC_RANGE_0.00", "FLAT_UNTEXTURED_POLYGONS_GRADIENT_0.0000"}},
        {"checkerboard", checkerboard(64, 64, 8, 60, 190), {}},
        // A one-pixel checkerboard cancels in the Sobel kernel: no texture by this measure.
        {"pixel_checkerboard", checkerboard(64, 64, 1, 60, 190), {"FLAT_UNTEXTURED_POLYGONS_GRADIENT_0.0000"}},
        {"blown_checkerboard", checkerboard(64, 64, 8, 60, 255), {"HIGHLIGHT_BLOWOUT_50.0PCT"}},
        {"textured", texturedFrame(320, 180, 1), {}},
        {"transparent_white_reads_black", solid(16, 16, 255, 255, 255, 0),
         {"CRUSHED_BLACK_OR_BLANK_FRAME_100.0PCT", "FLAT_DYNAMIC_RANGE_0.00", "FLAT_UNTEXTURED_POLYGONS_GRADIENT_0.0000"}},
        {"rows_missing_reads_black", broken,
         {"CRUSHED_BLACK_OR_BLANK_FRAME_100.0PCT", "FLAT_DYNAMIC_RANGE_0.00", "FLAT_UNTEXTURED_POLYGONS_GRADIENT_0.0000"}},
        {"empty", RgbaImage{},
         {"CRUSHED_BLACK_OR_BLANK_FRAME_100.0PCT", "FLAT_DYNAMIC_RANGE_0.00", "FLAT_UNTEXTURED_POLYGONS_GRADIENT_0.0000"}},
    };
    for (const Case& c : cases) {
        const auto r = Auditor::auditFrame(c.image, c.name);
        EXPECT_EQ(r.violations, c.want) << c.name;
        EXPECT_EQ(r.passed, c.want.empty()) << c.name;
        EXPECT_EQ(r.width, std::max(c.image.width, 0)) << c.name;
        EXPECT_EQ(r.imageName, c.name);
    }
    const auto magenta = Auditor::auditFrame(solid(8, 8, 255, 0, 255), "m");
    EXPECT_EQ(magenta.missingTextureMagentaFraction, 1.0);
    EXPECT_EQ(magenta.meanColorSaturation, 1.0);
    EXPECT_NEAR(magenta.meanLuminance, 0.2126 + 0.0722, 1e-12);
    const auto board = Auditor::auditFrame(checkerboard(64, 64, 8, 0, 255), "b");
    EXPECT_EQ(board.dynamicRangeP95MinusP05, 1.0);
    EXPECT_EQ(board.blownOutWhiteFraction, 0.5);
    EXPECT_EQ(board.crushedBlackFraction, 0.5);
}

TEST(VelVisualPhotorealismAuditor, LargeFramesAreSampledOnABoundedGrid) {
    // 960 x 540: step 2, so a frame whose odd columns are white and even columns black
    // is read from the black columns only.
    RgbaImage img = solid(960, 540, 0, 0, 0);
    for (int y = 0; y < 540; ++y)
        for (int x = 1; x < 960; x += 2)
            for (int c = 0; c < 3; ++c) img.row(y)[x * 4 + c] = 255;
    const auto r = Auditor::auditFrame(img, "big");
    EXPECT_EQ(r.width, 960);
    EXPECT_EQ(r.height, 540);
    EXPECT_EQ(r.crushedBlackFraction, 1.0);
    EXPECT_EQ(r.blownOutWhiteFraction, 0.0);

    // The longer side bounds the step too: 100000 x 8 is read every 24th column, so
    // again only from black ones.
    RgbaImage wide = solid(100000, 8, 0, 0, 0);
    for (int y = 0; y < 8; ++y)
        for (int x = 1; x < 100000; x += 2)
            for (int c = 0; c < 3; ++c) wide.row(y)[x * 4 + c] = 255;
    const auto w = Auditor::auditFrame(wide, "wide");
    EXPECT_EQ(w.crushedBlackFraction, 1.0);
    EXPECT_EQ(w.blownOutWhiteFraction, 0.0);

    // A stated size without rows allocates nothing for it and reads as blank.
    RgbaImage unread;
    unread.width = 2000000000;
    unread.height = 1;
    const auto u = Auditor::auditFrame(unread, "unread");
    EXPECT_EQ(u.width, 2000000000);
    EXPECT_EQ(u.violations, (V{"CRUSHED_BLACK_OR_BLANK_FRAME_100.0PCT", "FLAT_DYNAMIC_RANGE_0.00",
                               "FLAT_UNTEXTURED_POLYGONS_GRADIENT_0.0000"}));
}

TEST(VelVisualPhotorealismAuditor, BlobSizesAtTheThreshold) {
    const RgbaImage black = solid(96, 54, 0, 0, 0);
    auto withRun = [&](int cells, int row0) {
        RgbaImage img = black;
        for (int i = 0; i < cells; ++i) fillRect(img, i % 96, row0 + i / 96, 1, 1, 255, 255, 255);
        return img;
    };
    EXPECT_EQ(Auditor::largeDeltaBlobCount(black, withRun(113, 0)), 0);
    EXPECT_EQ(Auditor::largeDeltaBlobCount(black, withRun(114, 0)), 1);
    EXPECT_EQ(Auditor::largeDeltaBlobCount(withRun(114, 0), black), 1);
    // Only the upper 27 rows count: 114 cells straddling row 27 leave 96 above it.
    EXPECT_EQ(Auditor::largeDeltaBlobCount(black, withRun(114, 26)), 0);
    // Diagonal neighbours do not join a component.
    RgbaImage diagonal = black;
    for (int i = 0; i < 27; ++i) fillRect(diagonal, i * 3, i, 3, 1, 255, 255, 255);
    EXPECT_EQ(Auditor::largeDeltaBlobCount(black, diagonal), 0);
    // A change of exactly 88 over the three channels is not a change; 89 is.
    RgbaImage block = black;
    fillRect(block, 0, 0, 12, 10, 30, 29, 29);
    EXPECT_EQ(Auditor::largeDeltaBlobCount(black, block), 0);
    fillRect(block, 0, 0, 12, 10, 30, 30, 29);
    EXPECT_EQ(Auditor::largeDeltaBlobCount(black, block), 1);
    // A frame twice the size averages 2 x 2 pixels into one cell.
    RgbaImage big = solid(192, 108, 0, 0, 0);
    fillRect(big, 0, 0, 24, 20, 255, 255, 255);
    EXPECT_EQ(Auditor::largeDeltaBlobCount(solid(192, 108, 0, 0, 0), big), 1);
    EXPECT_EQ(Auditor::largeDeltaBlobCount(RgbaImage{}, RgbaImage{}), 0);
}

TEST(VelVisualPhotorealismAuditor, TemporalSequences) {
    const RgbaImage pre = texturedFrame(320, 180, 1);
    // Identical frames: frozen twice, nothing else.
    const auto frozen = Auditor::auditTemporalSequence(pre, pre, pre, "seq");
    EXPECT_EQ(frozen.featureDistancePreToImpact, 0.0f);
    EXPECT_EQ(frozen.featureDistanceImpactToPost, 0.0f);
    EXPECT_EQ(frozen.violations, (V{"FROZEN_IMPACT_FRAME_NO_VISUAL_CHANGE_D01_0.0000",
                                    "FROZEN_POST_FRAME_NO_PHYSICS_SETTLE_D12_0.0000"}));
    ASSERT_EQ(frozen.frameReports.size(), 3u);
    EXPECT_EQ(frozen.frameReports[0].imageName, "seq_T0_pre");
    EXPECT_EQ(frozen.frameReports[2].imageName, "seq_T2_post");

    // A small object moving across a static scene: continuous.
    RgbaImage impact = pre, post = pre;
    fillRect(impact, 100, 60, 40, 40, 230, 60, 40);
    fillRect(post, 106, 62, 40, 40, 230, 60, 40);
    const auto moving = Auditor::auditTemporalSequence(pre, impact, post, "seq");
    EXPECT_TRUE(moving.passed) << ::testing::PrintToString(moving.violations);
    EXPECT_GT(moving.featureDistanceImpactToPost, 0.005f);

    // A hard cut to an unrelated picture reads as a discontinuity; a white impact frame
    // lists its own faults first.
    const auto cut = Auditor::auditTemporalSequence(pre, texturedFrame(320, 180, 99), pre, "seq");
    ASSERT_FALSE(cut.violations.empty());
    EXPECT_EQ(cut.violations[0].rfind("TEMPORAL_DISCONTINUITY_OR_CORRUPTION_D01_", 0), 0u) << cut.violations[0];
    EXPECT_GT(cut.featureDistancePreToImpact, 1.35f);
    const auto flash = Auditor::auditTemporalSequence(pre, solid(320, 180, 255, 255, 255), pre, "seq");
    ASSERT_FALSE(flash.violations.empty());
    EXPECT_EQ(flash.violations[0],
              "seq_T1_impact: HIGHLIGHT_BLOWOUT_100.0PCT,OVEREXPOSED_WASHED_OUT_FRAME_LUMA_1.00,FLAT_DYNAMIC_RANGE_0.00,"
              "FLAT_UNTEXTURED_POLYGONS_GRADIENT_0.0000");

    // Four large silhouettes spawned in the upper half.
    RgbaImage spawned = pre;
    for (int i = 0; i < 4; ++i) fillRect(spawned, 10 + i * 80, 5, 40, 40, 250, 250, 250);
    const auto clones = Auditor::auditTemporalSequence(pre, spawned, pre, "seq");
    EXPECT_EQ(clones.largeDeltaBlobCountInUpperImpactZone, 4);
    EXPECT_EQ(clones.violations.back(), "SUSPICIOUS_DUPLICATE_LARGE_SILHOUETTE_CLUSTER_BLOBS_4");

    // Without pixels there is no print: the neutral distance.
    EXPECT_EQ(Auditor::featurePrintDistance(RgbaImage{}, pre), 0.15f);
    EXPECT_EQ(VelTemporalRealismReportV1310::fromJson(clones.toJson()), clones);
}

TEST(VelVisualPhotorealismAuditor, PngAudit) {
    const fs::path dir = fs::path(KS_TEST_OUTPUT_DIR) / "photoreal";
    fs::create_directories(dir);
    pk::image::writePng(dir / "frame.png", texturedFrame(64, 36, 3));
    const auto r = Auditor::auditPNG(dir / "frame.png");
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->imageName, "frame.png");
    EXPECT_EQ(*r, Auditor::auditFrame(texturedFrame(64, 36, 3), "frame.png"));
    EXPECT_FALSE(Auditor::auditPNG(dir / "missing.png").has_value());
    std::ofstream(dir / "junk.png") << "not a png";
    EXPECT_FALSE(Auditor::auditPNG(dir / "junk.png").has_value());
    EXPECT_EQ(VelPhotorealismFrameReportV1310::fromJson(r->toJson()), *r);
}
