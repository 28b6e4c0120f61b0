#pragma once
// The whole main window drawn headless over a view model with the fake engine,
// synthesizer, exporters, score and scripted panels.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "KestreluneStudio/Window/StudioMainView.h"
#include "PlatformKit/Ui/UiContext.h"
#include "PlatformKit/Ui/UiDriver.h"
#include "StudioFakes.h"

namespace kestrelune::testing {

struct MainViewTest : ::testing::Test {
    pk::MainQueue queue;
    // The catalogue the view model discovers (the three built-in items unless a test
    // fills it before calling start()).
    std::vector<StudioAssetItem> catalogue = builtinItems();
    std::shared_ptr<FakeEngine> engine = std::make_shared<FakeEngine>();
    std::shared_ptr<FakeExporters> exporters = std::make_shared<FakeExporters>();
    std::shared_ptr<FakeScore> score = std::make_shared<FakeScore>();
    std::shared_ptr<pk::ui::ScriptedFilePanels> panels = std::make_shared<pk::ui::ScriptedFilePanels>();
    std::unique_ptr<StudioViewModel> vm;
    pk::ui::UiContext ctx;
    std::unique_ptr<StudioMainView> view;
    pk::ui::UiDriver driver{ctx, [this] {
                                if (view) view->draw(ImVec2(0, 0), ImGui::GetIO().DisplaySize);
                            },
                            pk::ui::FrameInput{1180, 740}};

    void SetUp() override { start(); }

    // (Re)makes the view model and the window, and draws two frames so the fonts the
    // window asks for are built.
    void start(std::optional<pk::image::RgbaImage> override = std::nullopt) {
        view.reset();
        vm = std::make_unique<StudioViewModel>(
            StudioServices{engine, exporters, score, panels, [this] { return catalogue; }, &queue});
        view = std::make_unique<StudioMainView>(*vm, std::move(override));
        driver.frame(2);
    }

    const pk::ui::ProbeRecord* find(std::string_view id) const { return driver.probe().find(id); }
    const pk::ui::ProbeRecord& require(std::string_view id) const { return driver.require(id); }
    std::vector<std::string> texts(std::string_view prefix) const {
        std::vector<std::string> out;
        for (const auto* r : driver.probe().withPrefix(prefix)) out.push_back(r->text);
        return out;
    }
    // Lets the map strip's show/hide animation finish.
    void settle() { driver.frame(int(StudioMainView::kMapStripAnimationSeconds * 60) + 3); }
};

}  // namespace kestrelune::testing
