// What each tab shows for the state of the view model: environment controls only with an
// environment, mood controls only with the soundtrack on, the progress box and inert
// render buttons only while exporting, the audit and receipt cards only with their data.
#include <gtest/gtest.h>

#include "InspectorTestSupport.h"

using namespace kestrelune;
using namespace kestrelune::testing;

namespace {

struct VisibilityTest : InspectorTest {
    void loadEnvironment(const char* name) {
        lookdev::LoadedHDRIEnvironment env;
        env.name = name;
        engine->radianceFiles[std::string("/env/") + name + ".hdr"] = env;
        vm->loadHDRI(std::string("/env/") + name + ".hdr");
    }
    // Local ids of the current tab's controls, in drawing order.
    std::vector<std::string> drawnIds() const {
        std::vector<std::string> out;
        const std::string prefix = "inspector/" + std::string(rawValue(tab)) + "/";
        for (const auto* r : driver.probe().withPrefix(prefix)) out.push_back(r->id.substr(prefix.size()));
        return out;
    }
};

bool contains(const std::vector<std::string>& ids, const std::string& id) {
    return std::find(ids.begin(), ids.end(), id) != ids.end();
}

TEST_F(VisibilityTest, EnvironmentControlsAppearOnlyWhileAnEnvironmentIsLoaded) {
    show(InspectorTab::lighting);
    EXPECT_EQ(require("Load HDRI").text, "Load .HDR / Sky Map...");
    EXPECT_EQ(require("Load HDRI").symbol, "globe.americas.fill");
    for (const char* absent : {"Clear HDRI", "HDRI Blend", "HDRI Rotation"}) EXPECT_FALSE(find(absent)) << absent;

    loadEnvironment("Harbour Dusk");
    driver.frame();
    const auto& load = require("Load HDRI");
    const auto& clear = require("Clear HDRI");
    EXPECT_EQ(load.text, "Harbour Dusk");
    EXPECT_EQ(clear.symbol, "xmark.circle.fill");
    EXPECT_EQ(clear.text, "");
    EXPECT_NEAR(clear.rect.x - load.rect.maxX(), 8, 0.5f);
    EXPECT_NEAR(clear.rect.centerY(), load.rect.centerY(), 0.5f);
    EXPECT_NEAR(clear.rect.maxX(), 1180 - 14, 0.5f) << "the row spans the column";
    EXPECT_EQ(require("valueHeader:HDRI Blend").value, "0.85");
    EXPECT_TRUE(find("HDRI Rotation"));

    click("Clear HDRI");
    EXPECT_EQ(require("Load HDRI").text, "Load .HDR / Sky Map...");
    for (const char* absent : {"Clear HDRI", "HDRI Blend", "HDRI Rotation"}) EXPECT_FALSE(find(absent)) << absent;
}

TEST_F(VisibilityTest, MoodControlsExistOnlyWithTheSoundtrackOnAndTheToggleLeavesAPreviewPlaying) {
    show(InspectorTab::cinema);
    EXPECT_EQ(require("Audition").text, "Audition Score");
    EXPECT_EQ(require("Audition").symbol, "speaker.wave.2.fill");
    click("Audition");
    EXPECT_EQ(require("Audition").text, "Pause Score Preview");
    EXPECT_EQ(require("Audition").symbol, "speaker.slash.fill");

    click("Include Royalty-Free Soundtrack");
    EXPECT_FALSE(find("Score Mood"));
    EXPECT_FALSE(find("Audition"));
    EXPECT_TRUE(*vm->isPreviewingMusic) << "only the audition button pauses a preview";
    EXPECT_EQ(score->calls, std::vector<std::string>{"start ambientExploration"});

    click("Include Royalty-Free Soundtrack");
    EXPECT_TRUE(find("Score Mood"));
    EXPECT_EQ(require("Audition").text, "Pause Score Preview");
}

TEST_F(VisibilityTest, WhileExportingTheVideoButtonsAreInertAndTheRestStaysUsable) {
    show(InspectorTab::cinema);
    EXPECT_FALSE(find("Export Progress"));
    EXPECT_TRUE(require("Render Turntable MP4...").enabled);

    vm->isExporting = true;
    vm->exportProgress = 0.02;
    vm->exportLabel = std::string("Encoding Hardware MP4\u2026");
    driver.frame();
    EXPECT_TRUE(find("Export Progress"));
    EXPECT_FALSE(require("Render Turntable MP4...").enabled);
    EXPECT_FALSE(require("Batch Render Featured Kits...").enabled);
    EXPECT_TRUE(require("Export High-Res Still PNG...").enabled);
    EXPECT_TRUE(require("Audition").enabled);

    click("Render Turntable MP4...");
    click("Batch Render Featured Kits...");
    EXPECT_TRUE(panels->requests().empty()) << "disabled render buttons do nothing";
    panels->enqueueCancel();
    click("Export High-Res Still PNG...");
    EXPECT_EQ(panels->requests().size(), 1u);
    click("Audition");
    EXPECT_TRUE(*vm->isPreviewingMusic);
    click("Include Royalty-Free Soundtrack");
    EXPECT_FALSE(*vm->includeMusicScore);

    // The progress box sits above the buttons, spanning the column.
    const auto& box = require("Export Progress");
    EXPECT_LT(box.rect.maxY(), require("Render Turntable MP4...").rect.y);
    EXPECT_NEAR(box.rect.width, require("Render Turntable MP4...").rect.width, 0.5f);
    const auto& bar = require("Progress Bar");
    EXPECT_NEAR(bar.rect.x - box.rect.x, 10, 0.5f) << "padded by 10";
    EXPECT_NEAR(bar.rect.y - box.rect.y, 10, 0.5f);
    EXPECT_NEAR(require("Progress Text").rect.y - bar.rect.maxY(), 6, 0.5f);

    vm->isExporting = false;
    driver.frame();
    EXPECT_FALSE(find("Export Progress"));
    EXPECT_TRUE(require("Batch Render Featured Kits...").enabled);
}

TEST_F(VisibilityTest, PipelineCardsFollowTheAuditAndTheReceipt) {
    vm->activeAudit = std::nullopt;
    show(InspectorTab::pipeline);
    const std::vector<std::string> bare = drawnIds();
    ASSERT_GE(bare.size(), 2u);
    EXPECT_EQ(bare[0], "header:Production Asset Audit");
    EXPECT_EQ(bare[1], "header:Delivery & Packaging") << "no placeholder in place of the audit card";
    EXPECT_FALSE(contains(bare, "Audit"));
    EXPECT_FALSE(contains(bare, "Receipt"));
    // The divider sits 12 above the second header, straight under the first.
    const auto& first = require("header:Production Asset Audit");
    const auto& second = require("header:Delivery & Packaging");
    EXPECT_NEAR(second.rect.y - first.rect.maxY(), 12 + 1 + 12, 0.5f);

    lookdev::AssetAuditSummary audit;
    audit.formatLabel = "MWMesh v3";
    vm->activeAudit = audit;
    assetio::VelMWPakStreamReceiptV1085 receipt;
    receipt.entryCount = 6;
    vm->lastMWPakReceipt = receipt;
    driver.frame();
    const std::vector<std::string> full = drawnIds();
    const std::vector<std::string> expected = {
        "header:Production Asset Audit", "row:Format", "row:Vertices", "row:Triangles", "row:Meshlets",
        "row:Floor Grounding", "row:Embedded Map", "row:Dimensions", "Audit", "header:Delivery & Packaging",
        "Build .mwpak LZFSE Archive...", "Export Universal OBJ...", "Receipt Title", "row:Packed Assets",
        "row:LZFSE Reduction", "row:SHA-256 Check", "row:GPU Direct I/O", "Receipt"};
    EXPECT_EQ(full, expected);
    const auto& card = require("Audit");
    EXPECT_NEAR(require("row:Format").rect.x - card.rect.x, 11, 0.5f);
    EXPECT_NEAR(require("row:Vertices").rect.y - require("row:Format").rect.maxY(), 7, 0.5f);
    EXPECT_NEAR(require("row:Format").rect.maxX(), card.rect.maxX() - 11, 0.5f) << "rows fill the card";
    EXPECT_NEAR(require("row:Packed Assets").rect.y - require("Receipt Title").rect.maxY(), 5, 0.5f);

    // Delivery buttons stay usable during an export.
    vm->isExporting = true;
    driver.frame();
    EXPECT_TRUE(require("Build .mwpak LZFSE Archive...").enabled);
    EXPECT_TRUE(require("Export Universal OBJ...").enabled);
}

}  // namespace
