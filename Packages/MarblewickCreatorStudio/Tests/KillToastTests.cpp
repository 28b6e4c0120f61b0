#include <gtest/gtest.h>

#include "MarblewickCreatorStudio/VelStreamerViralKillToastV1250.h"
#include "PlatformKit/Ui/UiDriver.h"
#include "PlatformKit/Ui/UiPalette.h"
#include "PlatformKit/Ui/UiTintedControls.h"

using namespace creator;
using namespace pk::ui;

namespace {

class KillToastTest : public ::testing::Test {
protected:
    // Draws the toast alone on a window without background, so every vertex is the toast's.
    void show(VelStreamerViralKillToastV1250 t, float presence = 1.0f) {
        toast = std::move(t);
        this->presence = presence;
        driver.frame(2);
    }

    // Bounds and largest opacity of everything drawn in the last frame.
    struct Drawn {
        ImVec2 min{FLT_MAX, FLT_MAX}, max{-FLT_MAX, -FLT_MAX};
        int maxAlpha = 0;
        int vertices = 0;
    };
    Drawn drawn() {
        ctx.makeCurrent();
        Drawn d;
        const ImDrawData* data = ImGui::GetDrawData();
        for (int l = 0; data && l < data->CmdListsCount; ++l)
            for (const ImDrawVert& v : data->CmdLists[l]->VtxBuffer) {
                d.min = ImVec2(std::min(d.min.x, v.pos.x), std::min(d.min.y, v.pos.y));
                d.max = ImVec2(std::max(d.max.x, v.pos.x), std::max(d.max.y, v.pos.y));
                d.maxAlpha = std::max(d.maxAlpha, int((v.col >> IM_COL32_A_SHIFT) & 0xFF));
                ++d.vertices;
            }
        return d;
    }

    VelStreamerViralKillToastV1250 toast;
    float presence = 1;
    ImVec2 cursorAfter{0, 0};
    UiContext ctx;
    UiDriver driver{ctx, [this] {
        ImGui::SetNextWindowPos(ImVec2(0, 0));
        ImGui::SetNextWindowSize(ImGui::GetIO().DisplaySize);
        ImGui::Begin("root", nullptr, ImGuiWindowFlags_NoDecoration | ImGuiWindowFlags_NoBackground);
        ImGui::SetCursorPos(ImVec2(100, 100));
        toast.body(presence);
        cursorAfter = ImGui::GetCursorPos();
        ImGui::End();
    }};
};

}  // namespace

TEST_F(KillToastTest, NoCalloutDrawsNothing) {
    for (const auto& callout : {std::optional<std::string>(), std::optional<std::string>("")}) {
        show({callout, true});
        EXPECT_TRUE(driver.probe().withPrefix("killToast/").empty());
        EXPECT_EQ(drawn().vertices, 0) << "no empty capsule";
        EXPECT_EQ(cursorAfter.y, 100.0f) << "and no room taken";
    }
}

TEST_F(KillToastTest, BookmarkedAndPlainLooks) {
    show({std::string("TRIPLE HEADSHOT \u00B7 42m"), true});
    EXPECT_EQ(driver.require("killToast/callout").text, "TRIPLE HEADSHOT \u00B7 42m");
    EXPECT_EQ(driver.require("killToast/icon").symbol, "flame.fill");
    EXPECT_EQ(driver.require("killToast/icon").value, colorValue(UiPalette::orange));
    EXPECT_EQ(driver.require("killToast/capsule").value, colorValue(withOpacity(UiPalette::orange, 0.65)));
    const auto& badge = driver.require("killToast/badge");
    EXPECT_EQ(badge.text, "CLIP READY");
    EXPECT_EQ(badge.value, colorValue(withOpacity(UiPalette::red, 0.85)));
    const auto& capsule = driver.require("killToast/capsule");
    EXPECT_GT(badge.rect.x, driver.require("killToast/callout").rect.maxX());
    EXPECT_LE(badge.rect.maxX(), capsule.rect.maxX() - 14 + 0.5f);

    show({std::string("Clean pick"), false});
    EXPECT_EQ(driver.require("killToast/icon").symbol, "scope");
    EXPECT_EQ(driver.require("killToast/icon").value, colorValue(UiPalette::cyan));
    EXPECT_EQ(driver.require("killToast/capsule").value, colorValue(withOpacity(UiPalette::cyan, 0.65)));
    EXPECT_EQ(driver.probe().find("killToast/badge"), nullptr);
}

TEST_F(KillToastTest, TransitionScalesAboutTheCentreAndFades) {
    show({std::string("Clean pick"), true}, 1.0f);
    const Drawn full = drawn();
    show({std::string("Clean pick"), true}, 0.5f);
    const Drawn half = drawn();
    show({std::string("Clean pick"), true}, 0.0f);
    const Drawn gone = drawn();

    const float fullW = full.max.x - full.min.x;
    EXPECT_NEAR((half.max.x - half.min.x) / fullW, 0.94f, 1e-3f);
    EXPECT_NEAR((gone.max.x - gone.min.x) / fullW, 0.88f, 1e-3f);
    EXPECT_NEAR((gone.min.x + gone.max.x) * 0.5f, (full.min.x + full.max.x) * 0.5f, 0.5f);
    EXPECT_EQ(full.maxAlpha, 255);
    EXPECT_NEAR(half.maxAlpha, 128, 1);
    EXPECT_EQ(gone.maxAlpha, 0);
}
