#include <gtest/gtest.h>

#include <fstream>

#include "PlatformKit/Ui/FilePanels.h"
#include "PlatformKit/Ui/UiDriver.h"

using namespace pk::ui;
namespace fs = std::filesystem;

namespace {

class FilePanelTest : public ::testing::Test {
protected:
    void SetUp() override {
        root = fs::path(KS_TEST_OUTPUT_DIR) / ("file-panel-" + std::to_string(::getpid()) + "-" +
                                               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
        fs::create_directories(root / "b");
        fs::create_directories(root / "Alpha" / "inner");
        touch(root / "x.png");
        touch(root / "Snap.png");
        touch(root / "y.txt");
        touch(root / ".hidden.png");
        touch(root / "Alpha" / "deep.PNG");
    }
    void TearDown() override { fs::remove_all(root); }
    static void touch(const fs::path& p) { std::ofstream(p) << "x"; }

    std::vector<std::string> entryTexts() {
        std::vector<std::string> out;
        for (const ProbeRecord* r : driver.probe().withPrefix("filePanel/entries/")) out.push_back(r->text);
        return out;
    }

    fs::path root;
    UiContext ctx;
    ImGuiFilePanels panels;
    UiDriver driver{ctx, [this] {
        ImGui::SetNextWindowPos(ImVec2(0, 0));
        ImGui::SetNextWindowSize(ImGui::GetIO().DisplaySize);
        ImGui::Begin("root", nullptr, ImGuiWindowFlags_NoDecoration);
        ImGui::End();
        panels.draw();
    }};
    std::vector<fs::path> chosen;
    FilePanelContinuation record = [this](const fs::path& p) { chosen.push_back(p); };
};

}  // namespace

TEST_F(FilePanelTest, OpenPanelListsFoldersFirstNavigatesAndChoosesAnAllowedFile) {
    ASSERT_TRUE(panels.present({FilePanelRequest::Kind::open, "Forge Seamless 4K PBR From Photo", {FileType::png()}, "", root},
                               record));
    driver.frame(3);
    EXPECT_EQ(driver.require("filePanel/title").text, "Forge Seamless 4K PBR From Photo");
    EXPECT_EQ(entryTexts(), (std::vector<std::string>{"Alpha", "b", "Snap.png", "x.png", "y.txt"}));
    EXPECT_FALSE(driver.require("filePanel/entries/y.txt").enabled) << "types outside the allowed ones are inert";
    EXPECT_FALSE(driver.require("filePanel/confirm").enabled);
    EXPECT_FALSE(panels.present({}, record)) << "one modal at a time";

    driver.click("filePanel/entries/Alpha");
    EXPECT_EQ(panels.currentDirectory(), root) << "a click selects a folder";
    EXPECT_EQ(panels.selection(), "Alpha");
    driver.doubleClick("filePanel/entries/Alpha");
    EXPECT_EQ(panels.currentDirectory(), root / "Alpha");
    EXPECT_EQ(entryTexts(), (std::vector<std::string>{"inner", "deep.PNG"})) << "extensions match in any case";
    driver.click("filePanel/up");
    EXPECT_EQ(panels.currentDirectory(), root);

    driver.click("filePanel/entries/y.txt");
    driver.click("filePanel/confirm");
    EXPECT_TRUE(chosen.empty());
    driver.click("filePanel/entries/x.png");
    EXPECT_TRUE(driver.require("filePanel/entries/x.png").selected);
    driver.click("filePanel/confirm");
    ASSERT_EQ(chosen, std::vector<fs::path>{root / "x.png"});
    EXPECT_FALSE(panels.isPresenting());
    driver.frame(2);
    EXPECT_EQ(driver.probe().find("filePanel/panel"), nullptr);
}

TEST_F(FilePanelTest, CancelAndEscapeCallNothing) {
    panels.present({FilePanelRequest::Kind::open, "Import 3D Model", {FileType::forExtension("obj")}, "", root}, record);
    driver.frame(2);
    driver.click("filePanel/cancel");
    EXPECT_FALSE(panels.isPresenting());
    panels.present({FilePanelRequest::Kind::folder, "Choose Folder", {}, "", root}, record);
    driver.frame(2);
    driver.pressKey(ImGuiKey_Escape);
    driver.frame(2);
    EXPECT_FALSE(panels.isPresenting());
    EXPECT_TRUE(chosen.empty());
}

TEST_F(FilePanelTest, SavePanelAddsTheExtensionAndConfirmsAnOverwrite) {
    panels.present({FilePanelRequest::Kind::save, "Export Studio Snapshot PNG", {FileType::png()}, "Snap.png", root}, record);
    driver.frame(2);
    EXPECT_EQ(driver.require("filePanel/fileName").value, "Snap.png");
    driver.click("filePanel/confirm");
    EXPECT_TRUE(panels.isConfirmingOverwrite());
    EXPECT_EQ(driver.require("filePanel/overwrite").text,
              "\u201CSnap.png\u201D already exists. Do you want to replace it?");
    driver.click("filePanel/keep");
    EXPECT_FALSE(panels.isConfirmingOverwrite());
    EXPECT_TRUE(chosen.empty());
    driver.click("filePanel/confirm");
    driver.click("filePanel/replace");
    ASSERT_EQ(chosen, std::vector<fs::path>{root / "Snap.png"});

    // A new name without the type's extension gets it; a name with a slash is refused.
    panels.present({FilePanelRequest::Kind::save, "Export", {FileType::png()}, "", root}, record);
    driver.frame(2);
    driver.typeInto("filePanel/fileName", "a/b");
    driver.click("filePanel/confirm");
    EXPECT_NE(driver.probe().find("filePanel/error"), nullptr);
    driver.click("filePanel/fileName");
    for (int i = 0; i < 3; ++i) driver.pressKey(ImGuiKey_Backspace);
    driver.typeText("Shot");
    driver.click("filePanel/confirm");
    ASSERT_EQ(chosen.size(), 2u);
    EXPECT_EQ(chosen[1], root / "Shot.png");
}

TEST_F(FilePanelTest, FolderPanelCreatesAndChoosesAFolder) {
    panels.present({FilePanelRequest::Kind::folder, "Choose Output Folder for Batch Turntable Queue", {}, "", root, true}, record);
    driver.frame(2);
    driver.click("filePanel/newFolder");
    EXPECT_EQ(panels.currentDirectory(), root / "New Folder");
    EXPECT_TRUE(fs::is_directory(root / "New Folder"));
    driver.click("filePanel/up");
    driver.click("filePanel/newFolder");
    EXPECT_EQ(panels.currentDirectory(), root / "New Folder 2");
    driver.click("filePanel/confirm");
    EXPECT_EQ(chosen, std::vector<fs::path>{root / "New Folder 2"});
}

TEST_F(FilePanelTest, ContinuationMayPresentTheNextPanel) {
    panels.present({FilePanelRequest::Kind::folder, "First", {}, "", root}, [&](const fs::path& p) {
        chosen.push_back(p);
        EXPECT_TRUE(panels.present({FilePanelRequest::Kind::folder, "Second", {}, "", root / "b"}, record));
    });
    driver.frame(2);
    driver.click("filePanel/confirm");
    driver.frame(2);
    EXPECT_EQ(driver.require("filePanel/title").text, "Second");
    driver.click("filePanel/confirm");
    EXPECT_EQ(chosen, (std::vector<fs::path>{root, root / "b"}));
}

// Keys and clicks that come and go between two frames, as at a low frame rate.
TEST_F(FilePanelTest, PressesShorterThanAFrameStillCount) {
    auto tap = [&](ImGuiKey key) {
        driver.input().key(driver.keyIndex(key), true, {});
        driver.input().key(driver.keyIndex(key), false, {});
    };
    panels.present({FilePanelRequest::Kind::save, "Export", {FileType::png()}, "", root}, record);
    driver.frame(2);
    driver.click("filePanel/fileName");
    // Typed, corrected and typed on, all before one frame: the order holds.
    driver.input().text("Shotz");
    for (int i = 0; i < 4; ++i) tap(ImGuiKey_Backspace);
    driver.input().text("ot");
    driver.settle();
    EXPECT_EQ(panels.fileName(), "Sot");
    tap(ImGuiKey_Escape);
    driver.settle();
    EXPECT_FALSE(panels.isPresenting()) << "a quick Escape closes the panel";

    // Both clicks of a double-click inside one frame.
    panels.present({FilePanelRequest::Kind::open, "Open", {FileType::png()}, "", root}, record);
    driver.frame(2);
    const auto alpha = driver.require("filePanel/entries/Alpha").rect;
    driver.moveTo(alpha.centerX(), alpha.centerY());
    for (int clicks : {1, 2}) {
        driver.input().mouseButton(0, true, clicks);
        driver.input().mouseButton(0, false);
    }
    driver.settle();
    EXPECT_EQ(panels.currentDirectory(), root / "Alpha");
    EXPECT_TRUE(chosen.empty());
}

TEST_F(FilePanelTest, DoubleClickAndEnterTakeFilesAndEnterFolders) {
    panels.present({FilePanelRequest::Kind::open, "Open", {FileType::png()}, "", root}, record);
    driver.frame(2);
    driver.doubleClick("filePanel/entries/y.txt");
    EXPECT_TRUE(panels.isPresenting()) << "a type the panel does not open stays inert";
    driver.click("filePanel/entries/b");
    driver.pressKey(ImGuiKey_Enter);
    EXPECT_EQ(panels.currentDirectory(), root / "b") << "Enter on a selected folder enters it";
    driver.click("filePanel/up");
    driver.click("filePanel/entries/Snap.png");
    driver.pressKey(ImGuiKey_Enter);
    EXPECT_EQ(chosen, std::vector<fs::path>{root / "Snap.png"});

    panels.present({FilePanelRequest::Kind::open, "Open", {FileType::png()}, "", root}, record);
    driver.frame(2);
    driver.doubleClick("filePanel/entries/x.png");
    EXPECT_EQ(chosen, (std::vector<fs::path>{root / "Snap.png", root / "x.png"}));

    // A save panel: a double-clicked file is the name to replace; Escape backs out of
    // the question, Enter answers it.
    panels.present({FilePanelRequest::Kind::save, "Export", {FileType::png()}, "New.png", root}, record);
    driver.frame(2);
    driver.doubleClick("filePanel/entries/Snap.png");
    EXPECT_TRUE(panels.isConfirmingOverwrite());
    driver.pressKey(ImGuiKey_Escape);
    EXPECT_FALSE(panels.isConfirmingOverwrite());
    EXPECT_TRUE(panels.isPresenting());
    driver.pressKey(ImGuiKey_Enter);
    EXPECT_TRUE(panels.isConfirmingOverwrite());
    driver.pressKey(ImGuiKey_Enter);
    EXPECT_EQ(chosen.back(), root / "Snap.png");

    // A folder panel chooses the selected subfolder, else the folder shown.
    panels.present({FilePanelRequest::Kind::folder, "Choose", {}, "", root}, record);
    driver.frame(2);
    driver.click("filePanel/entries/Alpha");
    driver.pressKey(ImGuiKey_Enter);
    EXPECT_EQ(chosen.back(), root / "Alpha");
}

TEST_F(FilePanelTest, ThePathFieldGoesToAFolderOrTakesAFile) {
    struct Case {
        FilePanelRequest::Kind kind;
        std::string typed;
        fs::path directory;          // shown afterwards
        std::optional<fs::path> chosen;
        bool error = false;
    };
    using K = FilePanelRequest::Kind;
    const std::vector<Case> cases = {
        {K::open, (root / "Alpha").string(), root / "Alpha", std::nullopt},
        {K::open, "Alpha/inner/", root / "Alpha" / "inner", std::nullopt},  // relative to the folder shown
        {K::open, (root / "Alpha" / "deep.PNG").string(), root / "Alpha", root / "Alpha" / "deep.PNG"},
        {K::open, (root / "y.txt").string(), root, std::nullopt, true},
        {K::open, (root / "missing").string(), root, std::nullopt, true},
        {K::folder, (root / "x.png").string(), root, std::nullopt},
        {K::save, (root / "b" / "Fresh").string(), root / "b", root / "b" / "Fresh.png"},
        {K::save, (root / "nowhere" / "Fresh.png").string(), root, std::nullopt, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        chosen.clear();
        panels.present({c.kind, "Panel", {FileType::png()}, "", root}, record);
        driver.frame(2);
        EXPECT_EQ(driver.require("filePanel/path").value, root.string());
        driver.click("filePanel/path");
        driver.pressKey(ImGuiKey_A, true);  // select all, then type over it
        driver.typeText(c.typed);
        driver.pressKey(ImGuiKey_Enter);
        EXPECT_EQ(chosen, c.chosen ? std::vector<fs::path>{*c.chosen} : std::vector<fs::path>{});
        EXPECT_EQ(panels.errorText().empty(), !c.error) << panels.errorText();
        if (panels.isPresenting()) {
            EXPECT_EQ(panels.currentDirectory(), c.directory);
            driver.pressKey(ImGuiKey_Escape);
        }
        ASSERT_FALSE(panels.isPresenting());
    }

    // "~" stands for the home folder.
    const char* savedHome = std::getenv("HOME");
    const std::string home = savedHome ? savedHome : "";
    setenv("HOME", root.c_str(), 1);
    panels.present({K::folder, "Panel", {}, "", root / "b"}, record);
    driver.frame(2);
    driver.click("filePanel/path");
    driver.pressKey(ImGuiKey_A, true);
    driver.typeText("~/Alpha");
    driver.pressKey(ImGuiKey_Enter);
    EXPECT_EQ(panels.currentDirectory(), root / "Alpha");
    driver.pressKey(ImGuiKey_Escape);
    if (savedHome) setenv("HOME", home.c_str(), 1);
}

TEST_F(FilePanelTest, AFolderEnteredIsShownFromItsFirstRow) {
    for (int i = 0; i < 60; ++i) touch(root / ("file" + std::to_string(100 + i) + ".png"));
    for (int i = 0; i < 60; ++i) touch(root / "b" / ("inner" + std::to_string(100 + i) + ".png"));
    panels.present({FilePanelRequest::Kind::open, "Open", {FileType::png()}, "", root}, record);
    driver.frame(2);
    const auto list = driver.require("filePanel/entries/Alpha").rect;
    driver.scroll(list.centerX(), list.centerY() + 40, -3);
    driver.scroll(list.centerX(), list.centerY() + 40, -3);
    ASSERT_FALSE(driver.require("filePanel/entries/Alpha").visible) << "scrolled down";
    const ProbeRecord* b = driver.probe().find("filePanel/entries/b");
    ASSERT_NE(b, nullptr);
    // Back to the top to reach "b", then into it: its first row shows.
    driver.click("filePanel/path");
    driver.pressKey(ImGuiKey_A, true);
    driver.typeText((root / "b").string());
    driver.pressKey(ImGuiKey_Enter);
    driver.frame();
    ASSERT_EQ(panels.currentDirectory(), root / "b");
    EXPECT_TRUE(driver.require("filePanel/entries/inner100.png").visible);
}

TEST(ScriptedFilePanels, AnswersFromTheScriptOrLeavesTheRequestPending) {
    ScriptedFilePanels fake;
    std::vector<fs::path> got;
    auto cont = [&](const fs::path& p) { got.push_back(p); };
    fake.enqueueChoice("/tmp/a.png");
    fake.enqueueCancel();
    FilePanelRequest save{FilePanelRequest::Kind::save, "Export", {FileType::png()}, "A.png", {}};
    fake.present(save, cont);
    fake.present(save, cont);
    EXPECT_EQ(got, std::vector<fs::path>{"/tmp/a.png"});
    EXPECT_FALSE(fake.isPresenting());
    fake.present(save, cont);
    EXPECT_TRUE(fake.isPresenting());
    EXPECT_FALSE(fake.present(save, cont));
    fake.cancelPending();
    fake.present(save, cont);
    fake.confirmPending("/tmp/b.png");
    EXPECT_EQ(got, (std::vector<fs::path>{"/tmp/a.png", "/tmp/b.png"}));
    ASSERT_EQ(fake.requests().size(), 4u);
    EXPECT_EQ(fake.requests()[0], save);
}
