#include <gtest/gtest.h>

#include "InspectorTestSupport.h"

using namespace kestrelune;
using namespace kestrelune::testing;

namespace {

TEST(InspectorTab, RawValuesAreTheTitlesAndOnlyExactTitlesConvertBack) {
    const std::pair<InspectorTab, const char*> table[] = {{InspectorTab::material, "Material"},
                                                          {InspectorTab::lighting, "Lighting"},
                                                          {InspectorTab::cinema, "Cinema"},
                                                          {InspectorTab::pipeline, "Pipeline"}};
    for (const auto& [tab, raw] : table) {
        EXPECT_EQ(rawValue(tab), raw);
        EXPECT_EQ(inspectorTabFromRaw(raw), tab);
    }
    for (const char* bad : {"material", "Material ", "", "Lights"}) EXPECT_FALSE(inspectorTabFromRaw(bad)) << bad;
}

TEST_F(InspectorTest, TabBarShowsFourEqualButtonsAndOnlyTheSelectedOneIsHighlighted) {
    show(InspectorTab::material);
    const auto buttons = driver.probe().withPrefix("inspector/tab/");
    ASSERT_EQ(buttons.size(), 4u);
    const std::pair<const char*, const char*> expected[] = {{"Material", "square.3.layers.3d"},
                                                            {"Lighting", "sun.max.fill"},
                                                            {"Cinema", "film.stack"},
                                                            {"Pipeline", "shippingbox.fill"}};
    const float paneX = 1180 - kPaneWidth;
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(buttons[i]->text, expected[i].first);
        EXPECT_EQ(buttons[i]->symbol, expected[i].second);
        EXPECT_EQ(buttons[i]->selected, i == 0);
        EXPECT_NEAR(buttons[i]->rect.width, buttons[0]->rect.width, 0.5f);
        if (i > 0) { EXPECT_NEAR(buttons[i]->rect.x - buttons[i - 1]->rect.maxX(), 4, 0.5f); }
    }
    EXPECT_NEAR(buttons[0]->rect.x, paneX + 10, 0.5f);
    EXPECT_NEAR(buttons[3]->rect.maxX(), paneX + kPaneWidth - 10, 0.5f);
    EXPECT_NEAR(buttons[0]->rect.y, kTopBar + 10, 0.5f);
}

TEST_F(InspectorTest, PressingATabSwitchesTheContentAndTouchesNothingElse) {
    show(InspectorTab::material);
    const int updates = engine->sceneUpdates;
    const size_t syntheses = engine->forge.calls.size();
    ASSERT_TRUE(find("header:4K PBR Material Forge"));

    const std::pair<const char*, const char*> table[] = {{"Lighting", "header:Studio Softbox Rigs"},
                                                         {"Cinema", "header:Turntable Cinema Render"},
                                                         {"Pipeline", "header:Production Asset Audit"},
                                                         {"Material", "header:4K PBR Material Forge"}};
    for (const auto& [title, header] : table) {
        driver.click(std::string("inspector/tab/") + title);
        EXPECT_EQ(rawValue(tab), title);
        EXPECT_TRUE(find(header)) << title;
        EXPECT_TRUE(driver.require(std::string("inspector/tab/") + title).selected);
        EXPECT_EQ(driver.probe().withPrefix("inspector/" + std::string(title) + "/").size(),
                  driver.probe().withPrefix("inspector/").size() - 4)
            << "only the selected tab's content is drawn";
        // Pressing the selected tab again keeps it.
        driver.click(std::string("inspector/tab/") + title);
        EXPECT_EQ(rawValue(tab), title);
    }
    EXPECT_EQ(engine->sceneUpdates, updates) << "showing a tab syncs nothing";
    EXPECT_EQ(engine->forge.calls.size(), syntheses) << "showing a tab synthesizes nothing";
}

TEST_F(InspectorTest, ContentScrollsInsideThePaneBelowTheTabBar) {
    driver.setWindowSize(1180, 520);
    show(InspectorTab::material);
    const auto& header = require("header:4K PBR Material Forge");
    const auto& tabButton = driver.require("inspector/tab/Material");
    // Tab bar, divider, then the content padded by 14.
    EXPECT_NEAR(header.rect.x, 1180 - kPaneWidth + 14, 0.5f);
    EXPECT_NEAR(header.rect.y, tabButton.rect.maxY() + 10 + 1 + 14, 0.5f);

    ASSERT_FALSE(require("Export 4-Map PBR Pack...").visible) << "the pane is shorter than the tab";
    for (int i = 0; i < 12 && !require("Export 4-Map PBR Pack...").visible; ++i)
        driver.scroll(1180 - kPaneWidth / 2, 400, -5);
    EXPECT_TRUE(require("Export 4-Map PBR Pack...").visible);
    EXPECT_FALSE(require("header:4K PBR Material Forge").visible);
    EXPECT_TRUE(driver.require("inspector/tab/Material").visible) << "the tab bar stays put";

    driver.click("inspector/tab/Lighting");
    EXPECT_TRUE(find("header:Custom .HDR Environment IBL")->visible) << "another tab starts at its top";
}

}  // namespace
