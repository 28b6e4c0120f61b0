#include <gtest/gtest.h>

#include "KestreluneStudio/StudioMenuCommands.h"
#include "PlatformKit/Ui/UiDriver.h"
#include "StudioFakes.h"

using namespace kestrelune;
using namespace kestrelune::testing;

namespace {

KeyChord chord(char key, bool ctrl, bool shift = false, bool alt = false, bool super = false) {
    return KeyChord{static_cast<char32_t>(key), ctrl, shift, alt, super};
}

TEST(StudioMenuCommands, SevenCommandsWithTheirKeysAndOneDivider) {
    struct Expected {
        const char* title;
        const char* shortcut;
        bool dividerBefore;
        void (StudioViewModel::*operation)();
    };
    const Expected expected[] = {
        {"Import 3D Model...", "Ctrl+I", false, &StudioViewModel::importExternalModelPanel},
        {"Forge 4K PBR From Photo...", "Ctrl+P", false, &StudioViewModel::importPhotoForPBRPanel},
        {"Load .HDR Environment...", "Ctrl+Shift+H", false, &StudioViewModel::loadCustomHDRIPanel},
        {"Export 4-Map PBR Pack...", "Ctrl+E", true, &StudioViewModel::exportPBRPackPanel},
        {"Render Cinema Turntable MP4...", "Ctrl+Shift+R", false, &StudioViewModel::exportTurntableMP4Panel},
        {"Batch Render Featured Kits...", "Ctrl+Shift+B", false, &StudioViewModel::exportBatchTurntablesPanel},
        {"Export Compressed Asset Pack...", "Ctrl+Shift+K", false, &StudioViewModel::packageMWPakPanel},
    };
    const auto& commands = studioMenuCommands();
    for (size_t i = 0; i < commands.size(); ++i) {
        EXPECT_EQ(commands[i].title, expected[i].title);
        EXPECT_EQ(commands[i].shortcutText(), expected[i].shortcut);
        EXPECT_EQ(commands[i].dividerBefore, expected[i].dividerBefore);
        EXPECT_TRUE(commands[i].operation == expected[i].operation) << expected[i].title;
    }
}

TEST(StudioMenuCommands, KeyEquivalentsNeedExactlyTheirModifiers) {
    struct Case {
        KeyChord chord;
        const char* title;  // null: no command
    };
    const Case cases[] = {
        {chord('i', true), "Import 3D Model..."},
        {chord('p', true), "Forge 4K PBR From Photo..."},
        {chord('h', true, true), "Load .HDR Environment..."},
        {chord('e', true), "Export 4-Map PBR Pack..."},
        {chord('r', true, true), "Render Cinema Turntable MP4..."},
        {chord('b', true, true), "Batch Render Featured Kits..."},
        {chord('k', true, true), "Export Compressed Asset Pack..."},
        {chord('e', true, true), nullptr},                 // Ctrl+Shift+E is not Ctrl+E
        {chord('h', true), nullptr},                       // Ctrl+H lacks the Shift
        {chord('i', false), nullptr},                      // no Ctrl
        {chord('i', false, false, false, true), nullptr},  // the Super key does not stand for Ctrl
        {chord('i', true, false, true), nullptr},
        {chord('r', true, true, false, true), nullptr},
        {chord('n', true), nullptr},
        {chord('I', true), nullptr},  // keys arrive lower case
        {chord('q', true, true), nullptr},
        {chord('q', false), nullptr},
    };
    EXPECT_TRUE(isQuitChord(chord('q', true)));
    EXPECT_EQ(studioMenuCommandFor(chord('q', true)), nullptr) << "Quit is the window's, not the view model's";
    for (const auto& c : cases) {
        EXPECT_FALSE(isQuitChord(c.chord));
        const StudioMenuCommand* found = studioMenuCommandFor(c.chord);
        if (!c.title)
            EXPECT_EQ(found, nullptr) << char(c.chord.key) << (c.chord.shift ? " shift" : "");
        else
            EXPECT_TRUE(found && found->title == c.title) << c.title;
    }
}

TEST(StudioMenuCommands, TheFileMenuShowsTheCommandsAndRunsTheChosenOne) {
    auto panels = std::make_shared<pk::ui::ImGuiFilePanels>();
    pk::MainQueue queue;
    StudioViewModel vm(StudioServices{std::make_shared<FakeEngine>(), std::make_shared<FakeExporters>(), nullptr,
                                      panels, [] { return builtinItems(); }, &queue});
    pk::ui::UiContext ctx;
    float barHeight = 0;
    int quits = 0;
    pk::ui::UiDriver driver(ctx, [&] {
        barHeight = drawStudioMenuBar(vm, [&] { ++quits; });
        panels->draw();
    });
    driver.frame(2);
    EXPECT_GT(barHeight, 10.0f);
    driver.click("file");
    const auto items = driver.probe().withPrefix("file/");
    ASSERT_EQ(items.size(), 8u);
    for (size_t i = 0; i < 7; ++i) {
        EXPECT_EQ(items[i]->text, studioMenuCommands()[i].title);
        EXPECT_EQ(items[i]->value, studioMenuCommands()[i].shortcutText());
        EXPECT_TRUE(items[i]->enabled);
    }
    EXPECT_EQ(items[7]->text, "Quit");
    EXPECT_EQ(items[7]->value, "Ctrl+Q");
    const float step = items[1]->rect.y - items[0]->rect.y;
    EXPECT_GT(items[3]->rect.y - items[2]->rect.y, step + 2) << "the divider stands after the third item";
    EXPECT_FLOAT_EQ(items[5]->rect.y - items[4]->rect.y, step);
    EXPECT_GT(items[7]->rect.y - items[6]->rect.y, step + 2) << "and one before Quit";
    driver.click("file/quit");
    EXPECT_EQ(quits, 1);
    driver.click("file");

    driver.click("file/loadEnvironment");
    driver.frame();
    EXPECT_TRUE(panels->isPresenting());
    const auto& panel = driver.require("filePanel/panel");
    EXPECT_EQ(panel.text, "Load .HDR or Panoramic Environment Map");
    EXPECT_TRUE(panel.visible);
}

}  // namespace
