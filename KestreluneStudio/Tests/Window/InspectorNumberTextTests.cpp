// The inspector's number texts as drawn: export progress, audit rows, receipt rows and
// slider value headers.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "InspectorTestSupport.h"

using namespace kestrelune;
using namespace kestrelune::testing;

namespace {

TEST_F(InspectorTest, ExportProgressTruncatesToWholePercentsAndGuardsBadFractions) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const std::string encoding = "Encoding Hardware MP4\u2026";
    const struct {
        std::string label;
        double progress;
        std::string text;
        std::string bar;
    } table[] = {
        {encoding, 0.02, encoding + " 2%", "0.0200"},
        {"Kit 2 of 4", 0.999, "Kit 2 of 4 99%", "0.9990"},
        {"Kit 4 of 4", 1.0, "Kit 4 of 4 100%", "1.0000"},
        {"", 0.5, " 50%", "0.5000"},
        {"Done", 0.0, "Done 0%", "0.0000"},
        {"Over", 1.7, "Over 100%", "1.0000"},
        {"Under", -0.25, "Under 0%", "0.0000"},
        {"Broken", nan, "Broken --%", "0.0000"},
        {"Broken", inf, "Broken --%", "0.0000"},
        {"Broken", -inf, "Broken --%", "0.0000"},
        {"Huge", 1e300, "Huge 100%", "1.0000"},
    };
    vm->isExporting = true;
    show(InspectorTab::cinema);
    for (const auto& row : table) {
        vm->exportLabel = row.label;
        vm->exportProgress = row.progress;
        driver.frame();
        EXPECT_EQ(require("Progress Text").text, row.text) << row.progress;
        EXPECT_EQ(require("Progress Bar").value, row.bar) << row.progress;
    }
}

TEST_F(InspectorTest, AuditRowsFormatCountsGroundingAndDimensions) {
    lookdev::AssetAuditSummary resting;
    resting.name = "not shown";
    resting.formatLabel = "MWMesh (LOD0)";
    resting.vertexCount = 12480;
    resting.triangleCount = 1234567;
    resting.meshletCount = 1200;
    resting.boundsSize = pk::float3(1.25f, 0.5f, 2.0f);
    resting.minY = 0.0f;
    resting.groundedOK = true;
    resting.fileSizeBytes = 999;
    resting.hasEmbeddedTexture = true;

    lookdev::AssetAuditSummary sunk;
    sunk.formatLabel = "OBJ";
    sunk.vertexCount = 999;
    sunk.triangleCount = 0;
    sunk.meshletCount = 0;
    sunk.boundsSize = pk::float3(0.004f, 12.345f, 100.0f);
    sunk.minY = -0.002f;
    sunk.groundedOK = false;

    const struct {
        lookdev::AssetAuditSummary audit;
        std::vector<std::pair<std::string, std::string>> rows;
    } table[] = {
        {resting,
         {{"Format", "MWMesh (LOD0)"},
          {"Vertices", "12,480"},
          {"Triangles", "1,234,567"},
          {"Meshlets", "1200"},
          {"Floor Grounding", "Y = 0.000 m (PASS)"},
          {"Embedded Map", "Preserved"},
          {"Dimensions", "1.25 \u00D7 0.50 \u00D7 2.00 m"}}},
        {sunk,
         {{"Format", "OBJ"},
          {"Vertices", "999"},
          {"Triangles", "0"},
          {"Meshlets", "0"},
          {"Floor Grounding", "Y = -0.002 m (OFFSET)"},
          {"Embedded Map", "Vertex PBR"},
          {"Dimensions", "0.00 \u00D7 12.35 \u00D7 100.00 m"}}},
    };
    show(InspectorTab::pipeline);
    for (const auto& c : table) {
        vm->activeAudit = c.audit;
        driver.frame();
        std::vector<std::pair<std::string, std::string>> drawn;
        for (const auto* r : driver.probe().ofKind(pk::ui::ControlKind::valueRow)) drawn.emplace_back(r->text, r->value);
        EXPECT_EQ(drawn, c.rows);
    }
}

TEST_F(InspectorTest, ReceiptRowsShowSavingsAsAReductionAndGrowthAsGrowth) {
    const struct {
        int64_t entries;
        double savings;
        bool verified;
        double bandwidth, latency;
        std::vector<std::pair<std::string, std::string>> rows;
    } table[] = {
        {6, 41.26, true, 1843.4, 0.42,
         {{"Packed Assets", "6"}, {"LZFSE Reduction", "-41.3%"}, {"SHA-256 Check", "Verified"},
          {"GPU Direct I/O", "1843 MB/s (0.42 ms)"}}},
        // An archive larger than its input grew: never "--3.2%".
        {1, -3.2, false, 0.0, 12.345,
         {{"Packed Assets", "1"}, {"LZFSE Reduction", "+3.2%"}, {"SHA-256 Check", "Failed"},
          {"GPU Direct I/O", "0 MB/s (12.35 ms)"}}},
        {12345, 0.0, true, 99.5, 0.0,
         {{"Packed Assets", "12345"}, {"LZFSE Reduction", "-0.0%"}, {"SHA-256 Check", "Verified"},
          {"GPU Direct I/O", "100 MB/s (0.00 ms)"}}},
        // A growth too small to show at one decimal is no growth.
        {2, -0.04, true, 1.0, 1.0,
         {{"Packed Assets", "2"}, {"LZFSE Reduction", "-0.0%"}, {"SHA-256 Check", "Verified"},
          {"GPU Direct I/O", "1 MB/s (1.00 ms)"}}},
        {2, std::numeric_limits<double>::quiet_NaN(), true, 1.0, 1.0,
         {{"Packed Assets", "2"}, {"LZFSE Reduction", "--"}, {"SHA-256 Check", "Verified"},
          {"GPU Direct I/O", "1 MB/s (1.00 ms)"}}},
    };
    vm->activeAudit = std::nullopt;
    show(InspectorTab::pipeline);
    for (const auto& c : table) {
        assetio::VelMWPakStreamReceiptV1085 receipt;
        receipt.archivePath = "/out/StudioHeroPack.mwpak";
        receipt.entryCount = c.entries;
        receipt.compressionSavingsPct = c.savings;
        receipt.allSHA256Verified = c.verified;
        receipt.mtlIOBandwidthMBps = c.bandwidth;
        receipt.mtlIOLatencyMs = c.latency;
        vm->lastMWPakReceipt = receipt;
        driver.frame();
        EXPECT_EQ(require("Receipt Title").text, "LAST ARCHIVE RECEIPT");
        std::vector<std::pair<std::string, std::string>> drawn;
        for (const auto* r : driver.probe().ofKind(pk::ui::ControlKind::valueRow)) drawn.emplace_back(r->text, r->value);
        EXPECT_EQ(drawn, c.rows) << c.savings;
    }
}

TEST_F(InspectorTest, SectionHeadersAreUpperCasedAndValueHeadersNeverUseExponents) {
    show(InspectorTab::material);
    EXPECT_EQ(require("header:4K PBR Material Forge").text, "4K PBR MATERIAL FORGE");
    EXPECT_EQ(require("header:Procedural & Photo Relief").text, "PROCEDURAL & PHOTO RELIEF");
    EXPECT_EQ(require("valueHeader:Roughness Bias").value, "0.00");
    EXPECT_EQ(require("valueHeader:Surface UV Density").value, "1.60");
    vm->materialUVScale = 1e9f;
    driver.frame();
    EXPECT_EQ(require("valueHeader:Surface UV Density").value, "1000000000.00");
}

}  // namespace
