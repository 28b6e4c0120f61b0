#include <gtest/gtest.h>

#include "PlatformKit/Ui/UiDriver.h"
#include "PlatformKit/Ui/UiLayout.h"
#include "PlatformKit/Ui/UiTintedControls.h"

using namespace pk::ui;

TEST(UiLayout, RowsShareTheRoomAmongSpacersAndCentreTheirItems) {
    UiContext ctx;
    bool on = false;
    int pressed = 0;
    float cardBottom = 0;
    UiDriver driver(ctx, [&] {
        ImGui::SetNextWindowPos(ImVec2(0, 0));
        ImGui::SetNextWindowSize(ImGui::GetIO().DisplaySize);
        ImGui::Begin("root", nullptr, ImGuiWindowFlags_NoDecoration);
        ImGui::SetCursorScreenPos(ImVec2(10, 10));
        {
            Card card("card", CardStyle{.padding = 16, .spacing = 6, .fill = UiPalette::ultraThinMaterial, .width = 300});
            hstack({{ImVec2(40, 10), [] { styledText("left", "L", TextStyle::caption(), UiPalette::cyan); }},
                    StackItem::spacer(),
                    {measureTintedButton("Go", {}, TextStyle::body(), ButtonProminence::prominent),
                     [&] {
                         if (tintedButton("go", "Go", {}, TextStyle::body(), UiPalette::orange, ButtonProminence::prominent))
                             ++pressed;
                     }},
                    {kSwitchSize, [&] { switchControl("switch", on); }}},
                   8, card.contentWidth());
            styledText("below", "under the row", TextStyle::caption(), UiPalette::label);
        }
        cardBottom = ImGui::GetCursorScreenPos().y;
        ImGui::End();
    });
    driver.frame(2);
    const auto& left = driver.require("left");
    const auto& go = driver.require("go");
    const auto& sw = driver.require("switch");
    EXPECT_FLOAT_EQ(left.rect.x, 26);
    EXPECT_NEAR(sw.rect.maxX(), 10 + 300 - 16, 0.01f) << "the spacer takes the rest of the card";
    EXPECT_NEAR(sw.rect.x - go.rect.maxX(), 8, 0.01f);
    EXPECT_NEAR(go.rect.centerY(), sw.rect.centerY(), 0.01f) << "items centre on the tallest";
    EXPECT_NEAR(left.rect.centerY(), sw.rect.centerY(), 1.0f);
    EXPECT_NEAR(driver.require("below").rect.y, sw.rect.maxY() + 6, 0.01f);
    EXPECT_GT(cardBottom, driver.require("below").rect.maxY() + 16 - 0.01f) << "padding below the content";
    EXPECT_EQ(go.value, colorValue(UiPalette::orange));
    EXPECT_EQ(left.value, colorValue(UiPalette::cyan));

    driver.click("go");
    driver.click("switch");
    EXPECT_EQ(pressed, 1);
    EXPECT_TRUE(on);
    EXPECT_EQ(driver.require("switch").value, "on");
}
