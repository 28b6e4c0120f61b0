#pragma once
// The inspector drawn headless at the right edge of a window, over a view model with the
// fake engine, synthesizer, exporters, score and scripted panels.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "KestreluneStudio/Window/StudioInspectorPane.h"
#include "PlatformKit/Ui/UiContext.h"
#include "PlatformKit/Ui/UiDriver.h"
#include "PlatformKit/Ui/UiPalette.h"
#include "StudioFakes.h"

namespace kestrelune::testing {

struct InspectorTest : ::testing::Test {
    static constexpr float kPaneWidth = 308;
    static constexpr float kTopBar = 50;

    pk::MainQueue queue;
    std::shared_ptr<FakeEngine> engine = std::make_shared<FakeEngine>();
    std::shared_ptr<FakeExporters> exporters = std::make_shared<FakeExporters>();
    std::shared_ptr<FakeScore> score = std::make_shared<FakeScore>();
    std::shared_ptr<pk::ui::ScriptedFilePanels> panels = std::make_shared<pk::ui::ScriptedFilePanels>();
    std::unique_ptr<StudioViewModel> vm = std::make_unique<StudioViewModel>(
        StudioServices{engine, exporters, score, panels, [] { return builtinItems(); }, &queue});
    InspectorTab tab = InspectorTab::material;
    pk::ui::UiContext ctx;
    // Tall enough that every tab fits without scrolling, unless a test resizes it.
    pk::ui::UiDriver driver{ctx, [this] { drawWindow(); }, pk::ui::FrameInput{1180, 1400}};

    void drawWindow() {
        const ImVec2 display = ImGui::GetIO().DisplaySize;
        ImGui::SetNextWindowPos(ImVec2(0, 0));
        ImGui::SetNextWindowSize(display);
        ImGui::PushStyleVar(ImGuiStyleVar_WindowPadding, ImVec2(0, 0));
        ImGui::Begin("window", nullptr, ImGuiWindowFlags_NoDecoration | ImGuiWindowFlags_NoSavedSettings);
        ImGui::PopStyleVar();
        // The column background, as the window shell draws it.
        ImGui::GetWindowDrawList()->AddRectFilled(ImVec2(display.x - kPaneWidth, kTopBar), display,
                                                  pk::ui::toImU32(pk::Color{0.055, 0.063, 0.084, 1}));
        ImGui::SetCursorScreenPos(ImVec2(display.x - kPaneWidth, kTopBar));
        drawInspectorPane(*vm, tab, ImVec2(kPaneWidth, display.y - kTopBar));
        ImGui::End();
    }

    // Shows a tab (two frames, so the fonts it asks for are built).
    void show(InspectorTab t) {
        tab = t;
        driver.frame(2);
    }
    // The probe id of a control of the current tab.
    std::string id(std::string_view local) const {
        return "inspector/" + std::string(rawValue(tab)) + "/" + std::string(local);
    }
    const pk::ui::ProbeRecord* find(std::string_view local) const { return driver.probe().find(id(local)); }
    const pk::ui::ProbeRecord& require(std::string_view local) const { return driver.require(id(local)); }
    void click(std::string_view local) { driver.click(id(local)); }
    // Picks row `index` of a pop-up picker: opens it, then clicks the row.
    void pick(std::string_view picker, int index) {
        click(picker);
        click(std::string(picker) + "/" + std::to_string(index));
    }
};

}  // namespace kestrelune::testing
