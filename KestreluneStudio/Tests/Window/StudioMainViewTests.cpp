// The main window through the probe and driver: what each control writes and calls, what
// the browser and the viewport pane show for a given state, and the seams to the
// application's live viewport and creator overlay.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "MainViewTestSupport.h"
#include "PlatformKit/Foundation/Numbers.h"

using namespace kestrelune;
using namespace kestrelune::testing;

namespace {

// ---- Bindings -----------------------------------------------------------------------------

struct Binding {
    const char* control;
    std::function<void(StudioViewModel&)> arrange;  // state before the click
    std::function<void(MainViewTest&)> check;       // what the click wrote or called
    int syncs;                                      // scene updates the click causes
    int syntheses;                                  // material syntheses it causes
    const char* panel;                              // title of the panel it opens, if any
};

TEST_F(MainViewTest, EveryControlWritesItsPropertyAndSyncsOrCallsItsOperation) {
    const Binding table[] = {
        {"topBar/mode:Albedo", nullptr,
         [](MainViewTest& t) {
             EXPECT_EQ(*t.vm->shadingMode, ViewportShadingMode::albedoOnly);
             EXPECT_EQ(t.engine->scene.shadingMode, ViewportShadingMode::albedoOnly) << "written before the sync";
         },
         1, 0, nullptr},
        {"topBar/mode:Beauty PBR", nullptr,
         [](MainViewTest& t) { EXPECT_EQ(*t.vm->shadingMode, ViewportShadingMode::beautyPBR); }, 1, 0, nullptr},
        {"topBar/turntable", nullptr,
         [](MainViewTest& t) {
             EXPECT_FALSE(*t.vm->turntableEnabled);
             EXPECT_FALSE(t.engine->scene.turntableEnabled);
         },
         1, 0, nullptr},
        {"topBar/facecam", nullptr, [](MainViewTest& t) { EXPECT_TRUE(*t.vm->showCreatorFacecamOverlay); }, 0, 0,
         nullptr},
        {"viewport/lens:85mm", nullptr,
         [](MainViewTest& t) {
             EXPECT_EQ(*t.vm->lens, creator::VelCinemaLensMMV950::portrait85mm);
             EXPECT_EQ(t.engine->scene.lens, creator::VelCinemaLensMMV950::portrait85mm);
         },
         1, 0, nullptr},
        {"viewport/lens:50mm", nullptr,
         [](MainViewTest& t) { EXPECT_EQ(*t.vm->lens, creator::VelCinemaLensMMV950::standard50mm); }, 1, 0, nullptr},
        {"viewport/resetView", [](StudioViewModel& vm) { vm.lens = creator::VelCinemaLensMMV950::wide24mm; },
         [](MainViewTest& t) {
             EXPECT_EQ(t.engine->cameraCalls, std::vector<std::string>{"reset"});
             EXPECT_EQ(*t.vm->lens, creator::VelCinemaLensMMV950::wide24mm);
         },
         0, 0, nullptr},
        {"viewport/mapStripToggle", nullptr, [](MainViewTest& t) { EXPECT_FALSE(*t.vm->showMapStrip); }, 0, 0, nullptr},
        {"viewport/strip/exportMaps", nullptr, nullptr, 0, 0, "Choose Folder for 4-Map PBR Texture Pack"},
        {"browser/import", nullptr, nullptr, 0, 0, "Import 3D Model"},
        {"browser/asset:builtin-shaderball", nullptr,
         [](MainViewTest& t) {
             EXPECT_EQ(t.engine->loadedItems, std::vector<std::string>{"builtin-shaderball"})
                 << "the selected row selects again";
             EXPECT_EQ(**t.vm->statusBanner, "Loaded Studio Shader Ball (4,096 tris)");
         },
         1, 0, nullptr},
        {"browser/asset:builtin-knot", nullptr,
         [](MainViewTest& t) { EXPECT_EQ(*t.vm->selectedAssetID, "builtin-knot"); }, 1, 0, nullptr},
    };
    for (const Binding& b : table) {
        start();
        if (b.arrange) b.arrange(*vm);
        driver.frame();
        const int updates = engine->sceneUpdates;
        const size_t syntheses = engine->forge.calls.size();
        engine->cameraCalls.clear();
        engine->loadedItems.clear();
        const size_t requests = panels->requests().size();
        driver.click(b.control);
        SCOPED_TRACE(b.control);
        EXPECT_EQ(engine->sceneUpdates - updates, b.syncs);
        EXPECT_EQ(engine->forge.calls.size() - syntheses, size_t(b.syntheses));
        if (b.panel) {
            ASSERT_EQ(panels->requests().size(), requests + 1);
            EXPECT_EQ(panels->requests().back().title, b.panel);
            panels->cancelPending();
        } else {
            EXPECT_EQ(panels->requests().size(), requests);
        }
        if (b.check) b.check(*this);
    }
}

TEST_F(MainViewTest, ShadingModesAreAlwaysAllShownInOrderWithOnlyTheCurrentOneSelected) {
    const auto modes = driver.probe().withPrefix("topBar/mode:");
    ASSERT_EQ(modes.size(), 6u);
    const char* labels[] = {"Beauty PBR", "Albedo", "Normals", "ORM", "Meshlets", "Clay"};
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(modes[i]->text, labels[i]);
        EXPECT_EQ(modes[i]->selected, i == 0);
        if (i > 0) {
            EXPECT_NEAR(modes[i]->rect.x - modes[i - 1]->rect.maxX(), 3, 0.5f);
        }
    }
    vm->shadingMode = ViewportShadingMode::studioClay;
    driver.frame();
    EXPECT_TRUE(require("topBar/mode:Clay").selected);
    EXPECT_FALSE(require("topBar/mode:Beauty PBR").selected);
    EXPECT_EQ(require("topBar/title").text, "Kestrelune Studio");
    EXPECT_EQ(require("topBar/subtitle").text, "4K PBR Forge & LookDev Studio");
}

TEST_F(MainViewTest, TurntableToggleShowsTheActionItPerformsAndSyncsEachTime) {
    const int updates = engine->sceneUpdates;
    EXPECT_EQ(require("topBar/turntable").text, "Spinning");
    EXPECT_EQ(require("topBar/turntable").symbol, "pause.circle.fill");
    driver.click("topBar/turntable");
    EXPECT_EQ(require("topBar/turntable").text, "Paused");
    EXPECT_EQ(require("topBar/turntable").symbol, "play.circle.fill");
    driver.click("topBar/turntable");
    EXPECT_TRUE(*vm->turntableEnabled);
    EXPECT_EQ(require("topBar/turntable").text, "Spinning");
    EXPECT_EQ(engine->sceneUpdates - updates, 2);

    EXPECT_EQ(require("topBar/facecam").symbol, "video");
    driver.click("topBar/facecam");
    EXPECT_EQ(require("topBar/facecam").symbol, "video.fill");
    EXPECT_TRUE(require("topBar/facecam").selected);
    EXPECT_EQ(engine->sceneUpdates - updates, 2) << "the facecam never touches the scene";
}

TEST_F(MainViewTest, SideColumnsKeepTheirWidthsAndOnlyTheCentreGrows) {
    for (float width : {1180.0f, 1600.0f, 2200.0f}) {
        driver.setWindowSize(width, 900);
        driver.frame(2);
        SCOPED_TRACE(width);
        const auto& tabs = require("browser/tabs");
        EXPECT_NEAR(tabs.rect.x, 12, 0.5f);
        EXPECT_NEAR(tabs.rect.maxX(), 248 - 12, 0.5f);
        const auto inspectorTabs = driver.probe().withPrefix("inspector/tab/");
        ASSERT_EQ(inspectorTabs.size(), 4u);
        EXPECT_NEAR(inspectorTabs.front()->rect.x, width - 308 + 10, 0.5f);
        EXPECT_NEAR(require("viewport/lens:24mm").rect.x, 248 + 1 + 14 + 3, 0.5f);
        EXPECT_NEAR(require("viewport/fps").rect.maxX(), width - 308 - 1 - 14, 0.5f);
        EXPECT_NEAR(require("viewport/strip/exportMaps").rect.maxX(), width - 308 - 1 - 14, 0.5f);
        EXPECT_NEAR(require("topBar/facecam").rect.maxX(), width - 16, 0.5f);
        EXPECT_NEAR(require("topBar/logo").rect.x, 16, 0.5f);
    }
}

// ---- Browser ------------------------------------------------------------------------------

struct BrowserCase {
    const char* query;
    std::vector<std::string> sections;
    std::vector<std::string> rows;  // asset ids in list order
};

TEST_F(MainViewTest, BrowserListsTheSevenCategoriesInTheirOrderWithMatchingRows) {
    catalogue = builtinItems();
    catalogue.push_back(heroItem("vault-1", "Vault Crate", "Vault Library", "/a/crate.mwmesh"));
    catalogue.push_back(heroItem("hero-orrery", "Antique Brass Orrery", "Featured Studio Kits", "/a/orrery.mwmesh"));
    catalogue.push_back(heroItem("stray", "Stray Brass Lamp", "Lighting Fixtures", "/a/lamp.mwmesh"));
    catalogue.push_back(heroItem("hero-drone", "Courier Drone", "Featured Studio Kits", "/a/drone.mwmesh"));
    catalogue.push_back({"imported-/m/chair.obj", "Chair", "Imported \u00B7 OBJ", "Imported",
                         StudioAssetItem::SourceKind::externalModel("/m/chair.obj")});
    start();
    const std::vector<std::string> all{"builtin-shaderball", "builtin-cube", "builtin-knot", "imported-/m/chair.obj",
                                       "hero-orrery",        "hero-drone",   "vault-1"};
    const BrowserCase table[] = {
        {"", {"Calibration", "Imported", "Featured Studio Kits", "Vault Library"}, all},
        {" \n\t ", {"Calibration", "Imported", "Featured Studio Kits", "Vault Library"}, all},
        {"zzz", {}, {}},
        {"BRASS", {"Featured Studio Kits"}, {"hero-orrery"}},  // the stray lamp's category is never listed
        {"imported", {"Imported"}, {"imported-/m/chair.obj"}},
        {"hero", {"Featured Studio Kits", "Vault Library"}, {"hero-orrery", "hero-drone", "vault-1"}},
    };
    for (const BrowserCase& c : table) {
        vm->assetSearchQuery = std::string(c.query);
        driver.frame();
        SCOPED_TRACE(c.query);
        std::vector<std::string> sections, rows;
        for (const auto* r : driver.probe().withPrefix("browser/section:")) sections.push_back(r->id.substr(16));
        for (const auto* r : driver.probe().withPrefix("browser/asset:")) rows.push_back(r->id.substr(14));
        EXPECT_EQ(sections, c.sections);
        EXPECT_EQ(rows, c.rows);
        EXPECT_TRUE(find("browser/search")) << "the search block stays";
        EXPECT_TRUE(find("browser/import"));
    }
    // Headers are upper-cased; rows sit below their header.
    vm->assetSearchQuery = std::string();
    driver.frame();
    EXPECT_EQ(require("browser/section:Featured Studio Kits").text, "FEATURED STUDIO KITS");
    EXPECT_GT(require("browser/asset:hero-orrery").rect.y, require("browser/section:Featured Studio Kits").rect.y);
    EXPECT_LT(require("browser/asset:hero-orrery").rect.y, require("browser/asset:hero-drone").rect.y);
    // The list follows the catalogue as well as the query.
    vm->assets.modify([](std::vector<StudioAssetItem>& items) {
        items.push_back(heroItem("vault-2", "Vault Urn", "Vault Library", "/a/urn.mwmesh"));
    });
    driver.frame();
    EXPECT_TRUE(find("browser/asset:vault-2"));
}

TEST_F(MainViewTest, AssetRowsShowKindSymbolNamesAndTheSelection) {
    catalogue.push_back(heroItem("hero-orrery", "Antique Brass Orrery", "Featured Studio Kits", "/a/orrery.mwmesh"));
    catalogue.push_back({"imported-/m/chair.obj", "Chair", "Imported \u00B7 OBJ", "Imported",
                         StudioAssetItem::SourceKind::externalModel("/m/chair.obj")});
    start();
    const std::pair<const char*, const char*> symbols[] = {
        {"builtin-shaderball", "circle.hexagongrid.fill"}, {"builtin-cube", "cube.fill"},
        {"builtin-knot", "infinity"}, {"hero-orrery", "shippingbox.fill"}, {"imported-/m/chair.obj", "doc.badge.plus"}};
    for (const auto& [id, symbol] : symbols) {
        const auto& row = require(std::string("browser/asset:") + id);
        EXPECT_EQ(row.symbol, symbol) << id;
        EXPECT_EQ(row.selected, std::string(id) == "builtin-shaderball") << id;
        EXPECT_NEAR(row.rect.width, 248 - 20, 0.5f) << id;
    }
    EXPECT_EQ(require("browser/asset:builtin-knot").text, "Sculpted Specular Knot");
    EXPECT_EQ(require("browser/asset:builtin-knot").value, "Continuous Curvature Reflection Rig");

    driver.typeInto("browser/search", "ch");
    EXPECT_EQ(*vm->assetSearchQuery, "ch") << "every edit is written";
    EXPECT_TRUE(find("browser/asset:imported-/m/chair.obj"));
    EXPECT_FALSE(find("browser/asset:builtin-cube"));
}

TEST_F(MainViewTest, MaterialGridHighlightsThePresetUnlessAPhotoIsTheSource) {
    driver.click("browser/tabs/1");
    EXPECT_EQ(view->leftTab(), LeftBrowserTab::materials);
    EXPECT_FALSE(find("browser/search"));
    const auto cells = driver.probe().withPrefix("browser/material:");
    ASSERT_EQ(cells.size(), 12u);
    for (size_t i = 0; i < 12; ++i) {
        const PBRMaterialPreset preset = PBRMaterialPreset::allCases[i];
        EXPECT_EQ(cells[i]->text, preset.title());
        EXPECT_EQ(cells[i]->selected, preset == PBRMaterialPreset::carbonFiberTwill) << preset.title();
        EXPECT_NEAR(cells[i]->rect.height, cells[0]->rect.height, 0.01f) << "every cell is as tall";
        EXPECT_LE(std::count(cells[i]->value.begin(), cells[i]->value.end(), '\n'), 1) << "at most two lines";
    }
    EXPECT_NEAR(cells[1]->rect.y, cells[0]->rect.y, 0.01f) << "two columns";
    EXPECT_NEAR(cells[1]->rect.x - cells[0]->rect.maxX(), 8, 0.5f);

    // A photo-forged material highlights no cell; clicking the preset's own cell still
    // selects it again, clearing the photo.
    vm->sourcePhotoURL = std::filesystem::path("/photos/brick.png");
    driver.frame();
    for (const auto* c : driver.probe().withPrefix("browser/material:")) EXPECT_FALSE(c->selected) << c->text;
    const size_t syntheses = engine->forge.calls.size();
    driver.click(std::string("browser/material:") + PBRMaterialPreset(PBRMaterialPreset::carbonFiberTwill).title());
    EXPECT_EQ(engine->forge.calls.size(), syntheses + 1);
    EXPECT_FALSE(vm->sourcePhotoURL->has_value());
    EXPECT_TRUE(require(std::string("browser/material:") + PBRMaterialPreset(PBRMaterialPreset::carbonFiberTwill).title())
                    .selected);

    driver.click("browser/material:Brushed Titanium");
    EXPECT_EQ(vm->materialParams->preset, PBRMaterialPreset::brushedTitanium);
    EXPECT_EQ(engine->forge.calls.back().parameters.preset, PBRMaterialPreset::brushedTitanium);

    driver.click("browser/forgePhoto");
    ASSERT_FALSE(panels->requests().empty());
    EXPECT_EQ(panels->requests().back().title, "Forge Seamless 4K PBR From Photo");
    panels->cancelPending();

    // The query survives a trip to the grid and back.
    vm->assetSearchQuery = std::string("knot");
    driver.click("browser/tabs/0");
    EXPECT_EQ(require("browser/search").value, "knot");
}

// ---- Viewport pane ------------------------------------------------------------------------

TEST_F(MainViewTest, HeadsUpDisplayShowsTheAuditTheBannerLensesAndFrameRate) {
    // No audit and no banner: the top row is empty; the bottom row is unchanged.
    vm->activeAudit = std::nullopt;
    vm->statusBanner = std::nullopt;
    driver.frame();
    EXPECT_FALSE(find("viewport/stats"));
    EXPECT_FALSE(find("viewport/statusBanner"));
    EXPECT_EQ(texts("viewport/lens:"), (std::vector<std::string>{"24mm", "35mm", "50mm", "85mm"}));
    EXPECT_TRUE(require("viewport/lens:50mm").selected);
    EXPECT_EQ(require("viewport/resetView").symbol, "arrow.counterclockwise");
    EXPECT_EQ(require("viewport/fps").text, "60 FPS");

    AssetAuditSummary audit;
    audit.name = "Courier Drone";
    audit.triangleCount = 12345;
    audit.meshletCount = 1200;
    audit.groundedOK = false;
    vm->activeAudit = audit;
    vm->statusBanner = std::string();
    vm->liveFPS = 59.49;
    driver.frame();
    EXPECT_EQ(require("viewport/stats").text, "Courier Drone \u00B7 12,345 tris \u00B7 1200 meshlets");
    EXPECT_EQ(require("viewport/groundedDot").value, "orange");
    EXPECT_NEAR(require("viewport/stats").rect.x, 249 + 14, 0.5f);
    const auto& banner = require("viewport/statusBanner");
    EXPECT_EQ(banner.text, "") << "an empty banner still shows its capsule";
    EXPECT_NEAR(banner.rect.width, 22, 0.5f);
    EXPECT_NEAR(banner.rect.maxX(), 1180 - 308 - 1 - 14, 0.5f) << "top right";
    EXPECT_EQ(require("viewport/fps").text, "59 FPS");

    audit.groundedOK = true;
    vm->activeAudit = audit;
    vm->liveFPS = std::numeric_limits<double>::quiet_NaN();
    driver.frame();
    EXPECT_EQ(require("viewport/groundedDot").value, "green");
    EXPECT_EQ(require("viewport/fps").text, "-- FPS");
    vm->liveFPS = 59.5;
    driver.frame();
    EXPECT_EQ(require("viewport/fps").text, "60 FPS");

    // A long banner wraps beside the capsule rather than running over it, both centred on
    // one line.
    std::string longText = "Export failed: The folder could not be written";
    for (int i = 0; i < 6; ++i) longText += " because the disk /media/archive/studio-exports is full";
    vm->statusBanner = longText;
    driver.frame();
    const auto& wrapped = require("viewport/statusBanner");
    const auto& stats = require("viewport/stats");
    EXPECT_EQ(wrapped.text, longText);
    EXPECT_EQ(std::count(wrapped.value.begin(), wrapped.value.end(), '\n'), 2) << "three lines at most";
    EXPECT_GT(wrapped.rect.x, stats.rect.maxX());
    EXPECT_NEAR(wrapped.rect.maxX(), 1180 - 308 - 1 - 14, 0.5f);
    EXPECT_NEAR(wrapped.rect.centerY(), stats.rect.centerY(), 0.5f);
}

TEST_F(MainViewTest, MapStripShowsWhatIsSynthesizedAndHidesWithItsToggle) {
    EXPECT_EQ(require("viewport/mapStripToggle").text, "Hide Maps");
    EXPECT_EQ(require("viewport/mapStripToggle").symbol, "square.grid.2x2");
    EXPECT_EQ(require("viewport/strip/badge").text, "LIVE PBR MAPS");
    EXPECT_EQ(require("viewport/strip/title").text, PBRMaterialPreset(PBRMaterialPreset::carbonFiberTwill).title());
    EXPECT_EQ(require("viewport/strip/readout").text, "1024\u00B2 \u00B7 12.5 ms GPU");
    EXPECT_EQ(texts("viewport/strip/tile:"),
              (std::vector<std::string>{"Albedo", "Tangent Normal", "ORM (AO\u00B7R\u00B7M)", "Emissive"}));
    for (const auto* tile : driver.probe().withPrefix("viewport/strip/tile:")) {
        EXPECT_EQ(tile->value, "preview");
        EXPECT_NEAR(tile->rect.width, 62, 0.01f);
        EXPECT_NEAR(tile->rect.height, 62, 0.01f);
    }
    EXPECT_NEAR(require("viewport/strip/exportMaps").rect.width, 92, 0.01f);
    EXPECT_NEAR(require("viewport/strip/exportMaps").rect.height, 74, 0.01f);

    // A photo-forged material: gold badge, the photo's name cut to the 152-point column.
    vm->sourcePhotoURL = std::filesystem::path("/photos/p.png");
    vm->materialParams.modify([](PBRMaterialParameters& p) {
        p.sourcePhotoName = "weathered_copper_roof_panel_with_verdigris_streaks_at_dusk";
        p.resolution = 4096;
    });
    vm->pbrPreviews = PBRMapPreviews{};
    driver.frame();
    EXPECT_EQ(require("viewport/strip/badge").text, "PHOTO-TO-PBR");
    const auto& title = require("viewport/strip/title");
    EXPECT_EQ(title.text.rfind("weathered_copper", 0), 0u);
    EXPECT_EQ(title.text.substr(title.text.size() - 3), "\u2026");
    EXPECT_LE(title.rect.width, 152);
    EXPECT_EQ(require("viewport/strip/readout").text, "4096\u00B2 \u00B7 12.5 ms GPU");
    for (const auto* tile : driver.probe().withPrefix("viewport/strip/tile:")) EXPECT_EQ(tile->value, "placeholder");

    // Hiding: the label flips at once; the strip slides away, then is gone with its
    // divider, and the viewport's bottom row moves down by the strip's height.
    const float rowY = require("viewport/resetView").rect.y;
    const int updates = engine->sceneUpdates;
    driver.click("viewport/mapStripToggle");
    EXPECT_FALSE(*vm->showMapStrip);
    EXPECT_EQ(require("viewport/mapStripToggle").text, "PBR Maps");
    settle();
    EXPECT_FALSE(find("viewport/strip/badge"));
    EXPECT_FALSE(find("viewport/strip/exportMaps"));
    const float moved = require("viewport/resetView").rect.y - rowY;
    EXPECT_GT(moved, 74);
    driver.click("viewport/mapStripToggle");
    settle();
    EXPECT_TRUE(*vm->showMapStrip);
    EXPECT_TRUE(find("viewport/strip/badge"));
    EXPECT_NEAR(require("viewport/resetView").rect.y, rowY, 0.5f);
    EXPECT_EQ(engine->sceneUpdates, updates) << "the strip is the window's own business";
}

TEST_F(MainViewTest, MapStripAnimatesBetweenItsStatesOverAFifthOfASecond) {
    const float rowY = require("viewport/resetView").rect.y;
    driver.click("viewport/mapStripToggle");  // four frames in
    const float midway = require("viewport/resetView").rect.y;
    EXPECT_GT(midway, rowY) << "moving";
    EXPECT_TRUE(find("viewport/strip/badge")) << "still sliding out";
    settle();
    const float hidden = require("viewport/resetView").rect.y;
    EXPECT_LT(midway, hidden);

    // Set by someone else: no animation.
    vm->showMapStrip = true;
    driver.frame();
    EXPECT_NEAR(require("viewport/resetView").rect.y, rowY, 0.5f);
}

// ---- Seams --------------------------------------------------------------------------------

struct RecordingViewport : StudioLiveViewport {
    int draws = 0, clicks = 0;
    ImVec2 lastMin, lastSize;
    const StudioEngine* lastEngine = nullptr;
    std::function<void(const std::filesystem::path&)> onDrop;
    void draw(const std::shared_ptr<StudioEngine>& engine, std::function<void(const std::filesystem::path&)> onDropFile,
              ImVec2 size) override {
        ++draws;
        lastEngine = engine.get();
        onDrop = std::move(onDropFile);
        lastMin = ImGui::GetCursorScreenPos();
        lastSize = size;
        // Takes the mouse over its whole area, as the interactive viewport does.
        if (ImGui::InvisibleButton("##live", size)) ++clicks;
    }
};

TEST_F(MainViewTest, LiveViewportIsDrawnUnderTheDisplayAndHandsDropsToTheViewModel) {
    RecordingViewport live;
    view->setLiveViewport(&live);
    driver.frame();
    ASSERT_GT(live.draws, 0);
    EXPECT_EQ(live.lastEngine, engine.get());
    EXPECT_NEAR(live.lastMin.x, 249, 0.5f);
    EXPECT_NEAR(live.lastSize.x, 1180 - 248 - 308 - 2, 0.5f);
    EXPECT_LT(live.lastMin.y + live.lastSize.y, require("viewport/strip/badge").rect.y) << "the strip is below it";

    // The display's buttons take the pointer; the viewport gets it everywhere else.
    driver.click("viewport/resetView");
    driver.click("viewport/lens:35mm");
    EXPECT_EQ(live.clicks, 0);
    EXPECT_EQ(engine->cameraCalls, std::vector<std::string>{"reset"});
    driver.clickAt(live.lastMin.x + live.lastSize.x * 0.5f, live.lastMin.y + live.lastSize.y * 0.5f);
    EXPECT_EQ(live.clicks, 1);

    ASSERT_TRUE(live.onDrop);
    live.onDrop("/photos/bricks.png");
    ASSERT_FALSE(engine->forge.calls.empty());
    EXPECT_EQ(engine->forge.calls.back().photo, std::filesystem::path("/photos/bricks.png"));
}

TEST_F(MainViewTest, AStaticImageTakesTheLiveViewportsPlaceStretchedOverTheArea) {
    start(pk::image::RgbaImage::blank(16, 9));
    RecordingViewport live;
    view->setLiveViewport(&live);
    driver.frame();
    EXPECT_EQ(live.draws, 0) << "no live viewport, so no drop target";
    const auto& image = require("viewport/staticImage");
    EXPECT_NEAR(image.rect.x, 249, 0.5f);
    EXPECT_NEAR(image.rect.width, 1180 - 248 - 308 - 2, 0.5f);
    EXPECT_NEAR(image.rect.maxY(), require("viewport/strip/badge").rect.y - 1 - 10, 40) << "down to the strip";
    EXPECT_TRUE(find("viewport/fps")) << "the display still shows";
    driver.click("viewport/resetView");
    EXPECT_EQ(engine->cameraCalls, std::vector<std::string>{"reset"});
}

struct OverlayLog {
    int made = 0, destroyed = 0, draws = 0;
    std::vector<StudioCreatorOverlayTexts> texts;
    ImVec2 min, max;
};

struct RecordingOverlay : StudioCreatorOverlay {
    explicit RecordingOverlay(OverlayLog& l) : log(l) { ++log.made; }
    ~RecordingOverlay() override { ++log.destroyed; }
    void draw(ImVec2 min, ImVec2 max) override {
        ++log.draws;
        log.min = min;
        log.max = max;
    }
    OverlayLog& log;
};

TEST_F(MainViewTest, CreatorOverlayLivesExactlyWhileTheFacecamFlagIsOn) {
    OverlayLog log;
    view->setCreatorOverlayFactory([&log](const StudioCreatorOverlayTexts& texts) {
        log.texts.push_back(texts);
        return std::make_unique<RecordingOverlay>(log);
    });
    driver.frame(3);
    EXPECT_EQ(log.made, 0);
    EXPECT_FALSE(view->hasCreatorOverlay());

    driver.click("topBar/facecam");
    EXPECT_EQ(log.made, 1);
    EXPECT_GT(log.draws, 0);
    EXPECT_NEAR(log.min.x, 249, 0.5f);
    EXPECT_NEAR(log.max.x, 1180 - 308 - 1, 0.5f);
    EXPECT_LT(log.max.y, require("viewport/strip/badge").rect.y) << "over the viewport area, not the strip";
    ASSERT_EQ(log.texts.size(), 1u);
    EXPECT_EQ(log.texts[0], (StudioCreatorOverlayTexts{"Kestrelune Studio", "STUDIO LOOKDEV SHOWCASE",
                                                       "LOCAL SILICON RENDER"}));
    driver.frame(5);
    EXPECT_EQ(log.made, 1) << "one overlay for as long as the flag stays on";

    driver.click("topBar/facecam");
    EXPECT_EQ(log.destroyed, 1);
    EXPECT_FALSE(view->hasCreatorOverlay());
    const int draws = log.draws;
    driver.frame(2);
    EXPECT_EQ(log.draws, draws);

    driver.click("topBar/facecam");
    EXPECT_EQ(log.made, 2) << "on again: a fresh overlay";
    vm->showCreatorFacecamOverlay = false;
    driver.frame();
    EXPECT_EQ(log.destroyed, 2);
    vm->showCreatorFacecamOverlay = true;
    view.reset();
    EXPECT_EQ(log.destroyed, 2) << "not drawn since the flag came back";
}

}  // namespace
