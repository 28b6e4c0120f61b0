// The inspector's looks in pixels on a headless GL context, and a picture of each tab at
// the two window sizes in the test output folder for a person to look at.
#include <gtest/gtest.h>

#include <filesystem>

#include "InspectorTestSupport.h"
#include "PlatformKit/Foundation/StudioError.h"
#include "PlatformKit/Gpu/EglPlatform.h"
#include "PlatformKit/Image/Image.h"
#include "PlatformKit/Ui/OffscreenUiRenderer.h"

using namespace kestrelune;
using namespace kestrelune::testing;

namespace {

struct Pixels {
    std::vector<uint8_t> rgba;
    int width = 0, height = 0;
    const uint8_t* at(float x, float y) const { return &rgba[(size_t(y) * size_t(width) + size_t(x)) * 4]; }
};

struct InspectorPixelTest : InspectorTest {
    std::unique_ptr<pk::gpu::EglPlatform> egl;
    std::unique_ptr<pk::ui::OffscreenUiRenderer> renderer;

    void SetUp() override {
        try {
            egl = pk::gpu::EglPlatform::create();
        } catch (const pk::StudioError& e) {
            GTEST_SKIP() << "no headless OpenGL 4.5 context: " << e.description;
        }
        egl->makeCurrent();
        renderer = std::make_unique<pk::ui::OffscreenUiRenderer>(ctx);
    }
    void TearDown() override {
        renderer.reset();
        if (egl) egl->releaseCurrent();
    }
    Pixels draw(int width, int height) {
        driver.setWindowSize(float(width), float(height));
        driver.frame(2);
        return Pixels{renderer->draw(width, height, pk::Color{0, 0, 0, 1}), width, height};
    }
};

// One channel of a colour of `opacity` laid over the column background.
int over(double background, double colour, double opacity) {
    return int(std::lround((background * (1 - opacity) + colour * opacity) * 255));
}

void expectColour(const uint8_t* px, int r, int g, int b, const char* what, int tolerance = 4) {
    EXPECT_NEAR(px[0], r, tolerance) << what;
    EXPECT_NEAR(px[1], g, tolerance) << what;
    EXPECT_NEAR(px[2], b, tolerance) << what;
}

TEST_F(InspectorPixelTest, TabsCardsAndButtonsDrawInTheirColours) {
    const double bgR = 0.055, bgG = 0.063, bgB = 0.084;
    show(InspectorTab::lighting);
    Pixels px = draw(1180, 1000);
    const auto& selectedTab = driver.require("inspector/tab/Lighting");
    const auto& otherTab = driver.require("inspector/tab/Cinema");
    expectColour(px.at(selectedTab.rect.x + 3, selectedTab.rect.centerY()), over(bgR, 1, 0.12), over(bgG, 1, 0.12),
                 over(bgB, 1, 0.12), "selected tab: white 12 %");
    expectColour(px.at(otherTab.rect.x + 3, otherTab.rect.centerY()), over(bgR, 0, 0), over(bgG, 0, 0),
                 over(bgB, 0, 0), "other tabs: no fill");
    const auto& rig = require("Studio Softbox");
    const auto& otherRig = require("Golden Hour Rim");
    expectColour(px.at(rig.rect.x + 4, rig.rect.centerY()), over(bgR, 0.353, 0.22), over(bgG, 0.784, 0.22),
                 over(bgB, 0.961, 0.22), "selected rig: cyan 22 %");
    expectColour(px.at(otherRig.rect.x + 4, otherRig.rect.centerY()), over(bgR, 1, 0.05), over(bgG, 1, 0.05),
                 over(bgB, 1, 0.05), "other rigs: white 5 %");
    const float dividerY = driver.require("inspector/tab/Material").rect.maxY() + 10;
    expectColour(px.at(1180 - 100, dividerY), over(bgR, 1, 0.08), over(bgG, 1, 0.08), over(bgB, 1, 0.08),
                 "divider under the tab bar: white 8 %");

    show(InspectorTab::pipeline);
    assetio::VelMWPakStreamReceiptV1085 receipt;
    vm->lastMWPakReceipt = receipt;
    px = draw(1180, 1000);
    const auto& build = require("Build .mwpak LZFSE Archive...");
    expectColour(px.at(build.rect.x + 3, build.rect.centerY()), 90, 200, 245, "primary starts at cyan", 12);
    expectColour(px.at(build.rect.maxX() - 3, build.rect.centerY()), 36, 143, 240, "primary ends in blue", 12);
    const auto& obj = require("Export Universal OBJ...");
    expectColour(px.at(obj.rect.x + 4, obj.rect.centerY()), over(bgR, 1, 0.08), over(bgG, 1, 0.08),
                 over(bgB, 1, 0.08), "secondary: white 8 %");
    const auto& card = require("Receipt");
    expectColour(px.at(card.rect.x + 5, card.rect.maxY() - 5), over(bgR, 0.188, 0.09), over(bgG, 0.82, 0.09),
                 over(bgB, 0.345, 0.09), "receipt card: green 9 %");
    const auto& audit = require("Audit");
    expectColour(px.at(audit.rect.x + 5, audit.rect.maxY() - 5), over(bgR, 1, 0.04), over(bgG, 1, 0.04),
                 over(bgB, 1, 0.04), "audit card: white 4 %");
}

TEST_F(InspectorPixelTest, WritesAPictureOfEachTabAtBothWindowSizes) {
    vm->isExporting = true;
    vm->exportProgress = 0.42;
    vm->exportLabel = std::string("Encoding Hardware MP4\u2026");
    assetio::VelMWPakStreamReceiptV1085 receipt;
    receipt.entryCount = 6;
    receipt.compressionSavingsPct = 41.26;
    receipt.allSHA256Verified = true;
    receipt.mtlIOBandwidthMBps = 1843;
    receipt.mtlIOLatencyMs = 0.42;
    vm->lastMWPakReceipt = receipt;
    const std::filesystem::path folder = std::filesystem::path(KS_TEST_OUTPUT_DIR) / "inspector";
    for (const auto& [w, h] : {std::pair{1180, 740}, std::pair{1600, 1000}}) {
        for (InspectorTab t : kInspectorTabAllCases) {
            show(t);
            const Pixels px = draw(w, h);
            // The inspector column only; the rest of the window belongs to the shell.
            const int x0 = w - int(kPaneWidth);
            const std::filesystem::path file =
                folder / ("inspector-" + std::string(rawValue(t)) + "-" + std::to_string(w) + "x" + std::to_string(h) + ".png");
            pk::image::writePng(file, px.rgba.data() + size_t(x0) * 4, int(kPaneWidth), h, size_t(w) * 4,
                                pk::image::ChannelOrder::rgba);
            EXPECT_GT(std::filesystem::file_size(file), 1000u) << file;
        }
    }
}

}  // namespace
