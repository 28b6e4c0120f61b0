#include <gtest/gtest.h>

#include <bit>
#include <cerrno>
#include <cmath>
#include <stop_token>
#include <system_error>
#include <thread>

#include "RefusedThreadStarts.h"
#include "StudioFakes.h"

using namespace kestrelune;
using namespace kestrelune::testing;
using pk::ui::FilePanelRequest;
using pk::ui::FileType;
using Kind = StudioAssetItem::SourceKind;

namespace {

struct ViewModelTest : ::testing::Test {
    pk::MainQueue queue;
    std::shared_ptr<FakeEngine> engine = std::make_shared<FakeEngine>();
    std::shared_ptr<FakeExporters> exporters = std::make_shared<FakeExporters>();
    std::shared_ptr<FakeScore> score = std::make_shared<FakeScore>();
    std::shared_ptr<pk::ui::ScriptedFilePanels> panels = std::make_shared<pk::ui::ScriptedFilePanels>();
    std::vector<StudioAssetItem> catalogue = builtinItems();
    std::unique_ptr<StudioViewModel> vm;

    StudioViewModel& start() {
        vm = std::make_unique<StudioViewModel>(
            StudioServices{engine, exporters, score, panels, [this] { return catalogue; }, &queue, {}, "/assets"});
        return *vm;
    }
    // Runs the main queue until the running render has reported back.
    void finishRender() {
        ASSERT_TRUE(queue.runUntil([&] { return !*vm->isExporting && !vm->hasRunningExports(); }, 20.0));
        queue.drain();
    }
    void addFeaturedKits(int count, int firstNumber = 1) {
        for (int i = firstNumber; i < firstNumber + count; ++i)
            catalogue.push_back(heroItem("kit" + std::to_string(i), "Kit " + std::to_string(i),
                                         StudioViewModel::kFeaturedCategory,
                                         "/assets/Kit" + std::to_string(i) + ".mwmesh"));
    }
};

bool sameScene(const LookDevSceneState& a, const LookDevSceneState& b) {
    return a.yaw == b.yaw && a.pitch == b.pitch && a.distance == b.distance && a.targetY == b.targetY &&
           a.turntableEnabled == b.turntableEnabled && a.turntableSpeed == b.turntableSpeed && a.lens == b.lens &&
           a.lightingRig == b.lightingRig && a.keyIntensity == b.keyIntensity && a.keyAzimuth == b.keyAzimuth &&
           a.keyElevation == b.keyElevation && a.rimIntensity == b.rimIntensity && a.fillIntensity == b.fillIntensity &&
           a.exposureEV == b.exposureEV && a.floorReflectivity == b.floorReflectivity &&
           a.customHDRIBlend == b.customHDRIBlend && a.hdriRotationRad == b.hdriRotationRad &&
           a.shadingMode == b.shadingMode && a.materialOverrideBlend == b.materialOverrideBlend &&
           a.materialUVScale == b.materialUVScale;
}

std::vector<std::string> ids(const std::vector<StudioAssetItem>& items) {
    std::vector<std::string> out;
    for (const auto& i : items) out.push_back(i.id);
    return out;
}

TEST_F(ViewModelTest, StartUpTakesDefaultsCatalogueAuditPreviewsAndSyncsOnce) {
    engine->scene.yaw = 2.0f;  // the camera is the mouse's, never the sync's
    auto& m = start();

    EXPECT_EQ(*m.selectedAssetID, "builtin-shaderball");
    EXPECT_EQ(*m.liveFPS, 60.0);
    EXPECT_EQ(*m.turntableDurationSec, 4.0);
    EXPECT_TRUE(*m.showMapStrip && *m.turntableEnabled && *m.includeMusicScore);
    EXPECT_FALSE(m.statusBanner->has_value() || m.activeHDRIName->has_value() || m.sourcePhotoURL->has_value() ||
                 m.lastMWPakReceipt->has_value() || m.lastBatchReceipt->has_value());
    EXPECT_EQ(*m.materialParams, PBRMaterialParameters());
    EXPECT_EQ(ids(*m.assets), ids(catalogue));
    ASSERT_TRUE(m.activeAudit->has_value());
    EXPECT_EQ((*m.activeAudit)->name, "Studio Shader Ball");
    EXPECT_EQ(*m.lastSynthesisMs, 12.5);
    ASSERT_TRUE(m.pbrPreviews->albedo && m.pbrPreviews->emissive);
    EXPECT_LE(std::max(m.pbrPreviews->albedo->width, m.pbrPreviews->albedo->height), 220);

    // The first sync writes into a fresh engine exactly the values it starts with.
    EXPECT_EQ(engine->sceneUpdates, 1);
    LookDevSceneState expected;
    expected.yaw = 2.0f;
    EXPECT_TRUE(sameScene(engine->scene, expected));
}

TEST_F(ViewModelTest, StartUpWithoutMeshOrPackLeavesThoseEmpty) {
    engine->mesh = nullptr;
    engine->pack.reset();
    auto& m = start();
    EXPECT_FALSE(m.activeAudit->has_value());
    EXPECT_EQ(*m.lastSynthesisMs, 0.0);
    EXPECT_FALSE(m.pbrPreviews->albedo.has_value());
}

TEST_F(ViewModelTest, EveryPublishedWriteIsAnnouncedBeforeTheValueChanges) {
    auto& m = start();
    int announced = 0;
    bool sawOldValue = false;
    m.objectWillChange().observe([&] {
        ++announced;
        if (*m.keyIntensity == 2.8f) sawOldValue = true;
    });
    int properties = 0;
    m.forEachPublished([&](auto& property, const char*) {
        ++properties;
        property.set(property.get());  // an equal value is announced as well
    });
    EXPECT_EQ(properties, 39);
    EXPECT_EQ(announced, 39);
    sawOldValue = false;
    m.keyIntensity = 3.0f;
    EXPECT_TRUE(sawOldValue);
}

TEST_F(ViewModelTest, SyncWritesEveryLookSettingAndLeavesTheCamera) {
    auto& m = start();
    engine->scene.yaw = 1.25f;
    engine->scene.pitch = -0.3f;
    engine->scene.distance = 7.5f;
    engine->scene.targetY = 1.1f;
    engine->scene.turntableSpeed = 9;  // overwritten with the view model's unchanged value

    m.shadingMode = ViewportShadingMode::studioClay;
    m.lightingRig = StudioLightingRig::midnightCobalt;
    m.lens = creator::VelCinemaLensMMV950::portrait85mm;
    m.turntableEnabled = false;
    m.materialOverrideBlend = 0.3f;
    m.materialUVScale = 2.2f;
    m.keyIntensity = 4.5f;
    m.keyAzimuth = -1.0f;
    m.rimIntensity = 0.5f;
    m.exposureEV = -1.5f;
    m.floorReflectivity = 0.9f;
    m.customHDRIBlend = 0.7f;
    m.hdriRotationDeg = 90.0f;
    EXPECT_EQ(engine->scene.keyIntensity, 2.8f) << "a property write alone does not reach the renderer";
    m.syncSceneState();

    const LookDevSceneState& s = engine->scene;
    EXPECT_EQ(s.shadingMode, ViewportShadingMode::studioClay);
    EXPECT_EQ(s.lightingRig, StudioLightingRig::midnightCobalt);
    EXPECT_EQ(s.lens, creator::VelCinemaLensMMV950::portrait85mm);
    EXPECT_FALSE(s.turntableEnabled);
    EXPECT_EQ(s.turntableSpeed, 0.42f);
    EXPECT_EQ(s.keyElevation, 0.65f);
    EXPECT_EQ(s.fillIntensity, 0.62f);
    EXPECT_EQ(s.materialOverrideBlend, 0.3f);
    EXPECT_EQ(s.materialUVScale, 2.2f);
    EXPECT_EQ(s.keyIntensity, 4.5f);
    EXPECT_EQ(s.keyAzimuth, -1.0f);
    EXPECT_EQ(s.rimIntensity, 0.5f);
    EXPECT_EQ(s.exposureEV, -1.5f);
    EXPECT_EQ(s.floorReflectivity, 0.9f);
    EXPECT_EQ(s.customHDRIBlend, 0.0f) << "no environment loaded: no blend";
    EXPECT_EQ(std::bit_cast<uint32_t>(s.hdriRotationRad), std::bit_cast<uint32_t>(1.5707963f));
    EXPECT_EQ(s.yaw, 1.25f);
    EXPECT_EQ(s.pitch, -0.3f);
    EXPECT_EQ(s.distance, 7.5f);
    EXPECT_EQ(s.targetY, 1.1f);

    m.activeHDRIName = std::string();  // any name, even an empty one, counts as loaded
    m.syncSceneState();
    EXPECT_EQ(engine->scene.customHDRIBlend, 0.7f);
}

TEST_F(ViewModelTest, RotationDegreesBecomeRadiansThroughTheFloatBelowPi) {
    auto& m = start();
    struct Case {
        float degrees;
        float radians;
    };
    for (const Case c : {Case{180, 3.1415925f}, Case{90, 1.5707963f}, Case{360, 6.2831850f}, Case{0, 0}}) {
        m.hdriRotationDeg = c.degrees;
        m.syncSceneState();
        EXPECT_EQ(std::bit_cast<uint32_t>(engine->scene.hdriRotationRad), std::bit_cast<uint32_t>(c.radians))
            << c.degrees;
    }
    EXPECT_NE(std::bit_cast<uint32_t>(3.1415925f), std::bit_cast<uint32_t>(3.14159265f));
}

TEST_F(ViewModelTest, FrameRateArrivesThroughTheMainQueueAndNeverOutlivesTheViewModel) {
    start();
    ASSERT_TRUE(engine->fpsCallback);
    engine->fpsCallback(58.5);
    EXPECT_EQ(*vm->liveFPS, 60.0) << "set on the main queue, not inside the callback";
    queue.drain();
    EXPECT_EQ(*vm->liveFPS, 58.5);

    engine->fpsCallback(30.0);
    vm.reset();
    engine->fpsCallback(20.0);
    EXPECT_NO_FATAL_FAILURE(queue.drain());
}

// ---- panels ---------------------------------------------------------------------------------

FilePanelRequest request(FilePanelRequest::Kind kind, std::string title, std::vector<FileType> types = {},
                         std::string defaultName = {}, bool canCreateFolders = false) {
    FilePanelRequest r;
    r.kind = kind;
    r.title = std::move(title);
    r.allowedTypes = std::move(types);
    r.defaultName = std::move(defaultName);
    r.canCreateFolders = canCreateFolders;
    return r;
}

TEST_F(ViewModelTest, PanelsAskWithTheirTitlesTypesAndDefaultNames) {
    using K = FilePanelRequest::Kind;
    struct Case {
        void (StudioViewModel::*operation)();
        FilePanelRequest request;
    };
    const auto ext = FileType::forExtension;
    const std::vector<Case> cases = {
        {&StudioViewModel::importExternalModelPanel,
         request(K::open, "Import 3D Model", {ext("mwmesh"), ext("usdz"), ext("obj"), ext("stl"), ext("ply")})},
        {&StudioViewModel::importPhotoForPBRPanel,
         request(K::open, "Forge Seamless 4K PBR From Photo",
                 {FileType::jpeg(), FileType::png(), FileType::heic(), FileType::tiff()})},
        {&StudioViewModel::loadCustomHDRIPanel,
         request(K::open, "Load .HDR or Panoramic Environment Map",
                 {ext("hdr"), FileType::png(), FileType::jpeg(), FileType::tiff()})},
        {&StudioViewModel::exportPBRPackPanel,
         request(K::folder, "Choose Folder for 4-Map PBR Texture Pack", {}, "", true)},
        {&StudioViewModel::exportStillPNGPanel,
         request(K::save, "Export Studio Snapshot PNG", {FileType::png()}, "Studio_Shader_Ball_LookDev.png")},
        {&StudioViewModel::exportOBJPanel,
         request(K::save, "Export Universal Wavefront OBJ", {ext("obj")}, "Studio_Shader_Ball.obj")},
        {&StudioViewModel::exportTurntableMP4Panel,
         request(K::save, "Render Cinema Turntable Video (MP4)", {FileType::mpeg4Movie()},
                 "Studio_Shader_Ball_Turntable.mp4")},
        {&StudioViewModel::exportBatchTurntablesPanel,
         request(K::folder, "Choose Output Folder for Batch Turntable Queue", {}, "", true)},
        {&StudioViewModel::packageMWPakPanel,
         request(K::save, "Build LZFSE Compressed .mwpak Archive", {ext("mwpak")}, "StudioHeroPack.mwpak")},
    };
    addFeaturedKits(2);
    auto& m = start();
    for (size_t i = 0; i < cases.size(); ++i) {
        panels->enqueueCancel();
        (m.*cases[i].operation)();
        ASSERT_EQ(panels->requests().size(), i + 1) << cases[i].request.title;
        EXPECT_EQ(panels->requests().back(), cases[i].request) << cases[i].request.title;
    }
    // A cancelled panel changes nothing and posts nothing.
    EXPECT_FALSE(m.statusBanner->has_value());
    EXPECT_TRUE(exporters->calls.empty());
    EXPECT_FALSE(*m.isExporting);
    EXPECT_EQ(engine->loadedItems.size(), 0u);

    // Without an audit the still and the video fall back to the studio's name.
    m.activeAudit = std::nullopt;
    panels->enqueueCancel();
    m.exportStillPNGPanel();
    EXPECT_EQ(panels->requests().back().defaultName, "Kestrelune_LookDev.png");
    panels->enqueueCancel();
    m.exportTurntableMP4Panel();
    EXPECT_EQ(panels->requests().back().defaultName, "Kestrelune_Turntable.mp4");
}

TEST_F(ViewModelTest, ExportsWithoutTheirInputStopSilentlyAndTheCommandsWithoutKitsAskNoFolder) {
    addFeaturedKits(0);
    auto& m = start();
    engine->pack.reset();
    panels->enqueueChoice("/out/pack");
    m.exportPBRPackPanel();
    EXPECT_FALSE(m.statusBanner->has_value());
    // Without kits there is nothing to choose a folder or file for (their banners: below).
    m.exportBatchTurntablesPanel();
    m.packageMWPakPanel();
    EXPECT_EQ(panels->requests().size(), 1u);
    m.statusBanner = std::nullopt;
    engine->mesh = nullptr;
    const size_t requests = panels->requests().size();
    m.exportOBJPanel();  // no mesh: not even a panel
    EXPECT_EQ(panels->requests().size(), requests);
    EXPECT_TRUE(exporters->calls.empty());
    EXPECT_FALSE(m.statusBanner->has_value());
    EXPECT_FALSE(*m.isExporting);
}

// ---- status texts -------------------------------------------------------------------------------

TEST_F(ViewModelTest, EveryOutcomeReadsAsItsBanner) {
    struct Case {
        std::string name;
        std::function<void(ViewModelTest&, StudioViewModel&)> act;
        std::string banner;
    };
    const fs::path photo = "/photos/Brick Wall.JPG", hdr = "/env/studio.hdr", pano = "/env/lobby.hdr";
    const std::vector<Case> cases = {
        {"select built-in", [](auto&, auto& m) { m.selectAsset(m.assets->at(1)); },
         "Loaded Beveled Material Cube (4,096 tris)"},
        {"select with digit grouping",
         [](auto& t, auto& m) {
             t.engine->meshFiles["/a/big.mwmesh"] = fakeMesh("Big", 12345678);
             m.selectAsset(heroItem("big", "Big Hero", "Vault", "/a/big.mwmesh"));
         },
         "Loaded Big Hero (12,345,678 tris)"},
        {"select unreadable",
         [](auto&, auto& m) { m.selectAsset(heroItem("x", "Broken Hero", "Vault", "/a/x.mwmesh")); },
         "Could not load Broken Hero."},
        {"forge", [&](auto&, auto& m) { m.forgeMaterialFromPhoto(photo); },
         "Forged seamless 1024\u00B2 PBR from Brick Wall.JPG (12.5 ms)"},
        {"forge unreadable",
         [&](auto& t, auto& m) {
             t.engine->forge.unreadablePhotos.insert("/photos/bad.png");
             m.forgeMaterialFromPhoto("/photos/bad.png");
         },
         "Could not forge PBR from bad.png."},
        {"radiance environment",
         [&](auto& t, auto& m) {
             t.engine->radianceFiles[hdr] = {"studio", 2048, 1024, nullptr, true};
             m.loadHDRI(hdr);
         },
         "Loaded Radiance HDR IBL: studio (2048\u00D71024)"},
        {"hdr that is only a readable image",
         [&](auto& t, auto& m) {
             t.engine->panoramaFiles[pano] = {"lobby", 640, 320, nullptr, false};
             m.loadHDRI(pano);
         },
         "Loaded Panorama IBL: lobby (640\u00D7320)"},
        {"undecodable environment", [](auto&, auto& m) { m.loadHDRI("/env/noise.png"); },
         "Could not decode environment map noise.png."},
        {"clear environment", [](auto&, auto& m) { m.clearCustomHDRI(); }, "Switched back to Studio Softbox Rig."},
        {"clear environment under another rig",
         [](auto&, auto& m) {
             m.lightingRig = StudioLightingRig::neonRainStudio;
             m.clearCustomHDRI();
         },
         "Switched back to Neon Rain Loft Rig."},
        {"pbr pack",
         [](auto& t, auto& m) {
             t.panels->enqueueChoice("/out/Packs");
             m.exportPBRPackPanel();
         },
         "Exported 5 PBR files (1024\u00D71024) to Packs"},
        {"pbr pack failure",
         [](auto& t, auto& m) {
             t.exporters->error = "Failed to finalize PNG.";
             t.panels->enqueueChoice("/out/Packs");
             m.exportPBRPackPanel();
         },
         "Export failed: Failed to finalize PNG."},
        {"still",
         [](auto& t, auto& m) {
             t.panels->enqueueChoice("/out/a.png");
             m.exportStillPNGPanel();
         },
         "Saved 2560\u00D71440 studio render (1 KB)"},
        {"still failure",
         [](auto& t, auto& m) {
             t.exporters->error = "Failed to render snapshot.";
             t.panels->enqueueChoice("/out/a.png");
             m.exportStillPNGPanel();
         },
         "Snapshot failed: Failed to render snapshot."},
        {"obj",
         [](auto& t, auto& m) {
             t.panels->enqueueChoice("/out/Ball.obj");
             m.exportOBJPanel();
         },
         "Exported Ball.obj (3 KB)"},
        {"obj failure",
         [](auto& t, auto& m) {
             t.exporters->error = "No space left on device";
             t.panels->enqueueChoice("/out/Ball.obj");
             m.exportOBJPanel();
         },
         "OBJ export failed: No space left on device"},
        {"archive",
         [](auto& t, auto& m) {
             t.exporters->pakReceipt.entryCount = 3;
             t.exporters->pakReceipt.compressionSavingsPct = 41.3;
             t.exporters->pakReceipt.mtlIOBandwidthMBps = 812.4;
             t.panels->enqueueChoice("/out/p.mwpak");
             m.packageMWPakPanel();
         },
         "Built .mwpak (3 assets \u00B7 -41.3% size \u00B7 812 MB/s GPU stream)"},
        {"archive that grew",
         [](auto& t, auto& m) {
             t.exporters->pakReceipt.entryCount = 1;
             t.exporters->pakReceipt.compressionSavingsPct = -3.2;
             t.exporters->pakReceipt.mtlIOBandwidthMBps = 90;
             t.panels->enqueueChoice("/out/p.mwpak");
             m.packageMWPakPanel();
         },
         "Built .mwpak (1 assets \u00B7 +3.2% size \u00B7 90 MB/s GPU stream)"},
        {"archive that grew too little to show, as the inspector reads it",
         [](auto& t, auto& m) {
             t.exporters->pakReceipt.entryCount = 2;
             t.exporters->pakReceipt.compressionSavingsPct = -0.04;
             t.exporters->pakReceipt.mtlIOBandwidthMBps = 1;
             t.panels->enqueueChoice("/out/p.mwpak");
             m.packageMWPakPanel();
         },
         "Built .mwpak (2 assets \u00B7 -0.0% size \u00B7 1 MB/s GPU stream)"},
        {"archive with nothing to pack",
         [](auto&, auto& m) {
             m.assets = builtinItems();
             m.packageMWPakPanel();
         },
         "No hero mesh files to pack: none is selected and no featured kit was found in /assets."},
        {"archive of files that cannot be read",
         [](auto& t, auto& m) {
             t.exporters->pakReceipt.entryCount = 0;  // the packer skipped them all
             t.panels->enqueueChoice("/out/p.mwpak");
             m.packageMWPakPanel();
         },
         "Archive build failed: None of the 2 hero mesh files could be read."},
        {"archive failure",
         [](auto& t, auto& m) {
             t.exporters->error = "Permission denied";
             t.panels->enqueueChoice("/out/p.mwpak");
             m.packageMWPakPanel();
         },
         "Archive build failed: Permission denied"},
        {"turntable",
         [](auto& t, auto& m) {
             t.exporters->turntableReceipt.width = 1920;
             t.exporters->turntableReceipt.height = 1080;
             t.exporters->turntableReceipt.fileSizeBytes = 2621440;
             t.exporters->turntableReceipt.renderElapsedSec = 3.24;
             t.panels->enqueueChoice("/out/t.mp4");
             m.exportTurntableMP4Panel();
             t.finishRender();
         },
         "Rendered 1920x1080 MP4 (2.5 MB) in 3.2s"},
        {"turntable failure",
         [](auto& t, auto& m) {
             t.exporters->error = "MP4 export failed.";
             t.panels->enqueueChoice("/out/t.mp4");
             m.exportTurntableMP4Panel();
             t.finishRender();
         },
         "Video render failed: MP4 export failed."},
        {"turntable throwing what is no std::exception",
         [](auto& t, auto& m) {
             t.exporters->thrown = std::make_exception_ptr(42);
             t.panels->enqueueChoice("/out/t.mp4");
             m.exportTurntableMP4Panel();
             t.finishRender();
         },
         "Video render failed: Unknown error."},
        {"turntable whose render thread cannot start",
         [](auto& t, auto& m) {
             t.panels->enqueueChoice("/out/t.mp4");
             pk::test::RefusedThreadStarts refused;
             m.exportTurntableMP4Panel();
             EXPECT_FALSE(*m.isExporting);
         },
         "Video render failed: " + std::generic_category().message(EAGAIN)},
        {"batch",
         [](auto& t, auto& m) {
             t.exporters->batchReceipt.assetCount = 2;
             t.exporters->batchReceipt.totalElapsedSec = 14.06;
             t.panels->enqueueChoice("/out/batch");
             m.exportBatchTurntablesPanel();
             t.finishRender();
         },
         "Batch rendered 2 MP4 reels + PNGs in 14.1s"},
        {"batch with no featured kits",
         [](auto&, auto& m) {
             m.assets = builtinItems();
             m.exportBatchTurntablesPanel();
         },
         "No featured kits to batch render: none was found in /assets."},
        {"batch of kits that cannot be read",
         [](auto& t, auto& m) {
             t.exporters->batchReceipt.assetCount = 0;  // every kit was skipped
             t.panels->enqueueChoice("/out/batch");
             m.exportBatchTurntablesPanel();
             t.finishRender();
         },
         "Batch render failed: None of the 2 featured kits could be read."},
        {"render asked for while one runs",
         [](auto& t, auto& m) {
             t.exporters->gate = std::make_shared<Gate>();
             t.panels->enqueueChoice("/out/t.mp4");
             m.exportTurntableMP4Panel();
             const size_t asked = t.panels->requests().size();
             m.exportBatchTurntablesPanel();
             EXPECT_EQ(**m.statusBanner, "A render is already running: wait for it to finish.");
             m.statusBanner = std::nullopt;
             m.exportTurntableMP4Panel();
             EXPECT_EQ(t.panels->requests().size(), asked) << "no panel for a render that cannot start";
             t.exporters->gate->open();
         },
         "A render is already running: wait for it to finish."},
        {"batch failure",
         [](auto& t, auto& m) {
             t.exporters->error = "Failed to render snapshot.";
             t.panels->enqueueChoice("/out/batch");
             m.exportBatchTurntablesPanel();
             t.finishRender();
         },
         "Batch render failed: Failed to render snapshot."},
        {"batch whose render thread cannot start",
         [](auto& t, auto& m) {
             t.panels->enqueueChoice("/out/batch");
             pk::test::RefusedThreadStarts refused;
             m.exportBatchTurntablesPanel();
             EXPECT_FALSE(*m.isExporting);
         },
         "Batch render failed: " + std::generic_category().message(EAGAIN)},
        {"batch out of memory",
         [](auto& t, auto& m) {
             t.exporters->thrown = std::make_exception_ptr(std::bad_alloc());
             t.panels->enqueueChoice("/out/batch");
             m.exportBatchTurntablesPanel();
             t.finishRender();
         },
         "Batch render failed: " + std::string(std::bad_alloc().what())},
        {"score without a sound device",
         [](auto& t, auto& m) {
             t.score->deviceError = "Could not open audio output: No such audio device";
             m.toggleMusicPreview();
             EXPECT_FALSE(*m.isPreviewingMusic);
         },
         "Score preview failed: Could not open audio output: No such audio device"},
        {"score on", [](auto&, auto& m) { m.toggleMusicPreview(); }, "Previewing royalty-free studio score."},
        {"score off",
         [](auto&, auto& m) {
             m.toggleMusicPreview();
             m.toggleMusicPreview();
         },
         "Soundtrack preview paused."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        engine = std::make_shared<FakeEngine>();
        exporters = std::make_shared<FakeExporters>();
        exporters->pakReceipt.entryCount = 2;
        exporters->batchReceipt.assetCount = 2;
        score = std::make_shared<FakeScore>();
        catalogue = builtinItems();
        addFeaturedKits(2);
        auto& m = start();
        c.act(*this, m);
        ASSERT_TRUE(m.statusBanner->has_value());
        EXPECT_EQ(**m.statusBanner, c.banner);
        vm.reset();
    }
}

// ---- assets -------------------------------------------------------------------------------------

TEST_F(ViewModelTest, DroppedFilesGoByExtension) {
    struct Case {
        fs::path file;
        std::string expectedRoute;
    };
    const std::vector<Case> cases = {
        {"/in/photo.JPG", "photo"},       {"/in/a.jpeg", "photo"},    {"/in/b.png", "photo"}, {"/in/c.HEIC", "photo"},
        {"/in/scene.hdr", "environment"}, {"/in/Model.OBJ", "model"}, {"/in/x.fbx", "model"}, {"/in/noext", "model"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file.string());
        engine = std::make_shared<FakeEngine>();
        auto& m = start();
        m.handleDroppedFile(c.file);
        const bool photo = !engine->forge.calls.empty() && engine->forge.calls.back().photo == c.file;
        const bool model = !engine->loadedItems.empty() && engine->loadedItems.back() == "imported-" + c.file.string();
        const bool environment = m.statusBanner->has_value() && (*m.statusBanner)->starts_with("Could not decode");
        EXPECT_EQ(photo, c.expectedRoute == "photo");
        EXPECT_EQ(model, c.expectedRoute == "model");
        EXPECT_EQ(environment, c.expectedRoute == "environment");
    }
}

TEST_F(ViewModelTest, ImportInsertsOnceAfterTheBuiltInsAndSelectsEveryTime) {
    catalogue.push_back(heroItem("kit1", "Kit 1", StudioViewModel::kFeaturedCategory, "/assets/Kit1.mwmesh"));
    auto& m = start();
    engine->meshFiles["/models/Hero_Crate_V2.MWMESH"] = fakeMesh("Hero_Crate_V2", 100);

    m.importModel("/models/Model.OBJ");  // unreadable: listed all the same
    ASSERT_EQ(m.assets->size(), 5u);
    const StudioAssetItem& obj = m.assets->at(3);
    EXPECT_EQ(obj.id, "imported-/models/Model.OBJ");
    EXPECT_EQ(obj.subtitle, "Imported \u00B7 OBJ");
    EXPECT_EQ(obj.category, "Imported");
    EXPECT_EQ(obj.kind, Kind::externalModel("/models/Model.OBJ"));
    EXPECT_EQ(obj.displayName, StudioAssetCatalog::cleanDisplayName("Model.OBJ"));
    EXPECT_EQ(**m.statusBanner, "Could not load " + obj.displayName + ".");
    EXPECT_EQ(*m.selectedAssetID, "builtin-shaderball");

    m.importModel("/models/Hero_Crate_V2.MWMESH");
    m.importModel("/models/Hero_Crate_V2.MWMESH");
    EXPECT_EQ(ids(*m.assets), (std::vector<std::string>{"builtin-shaderball", "builtin-cube", "builtin-knot",
                                                        "imported-/models/Hero_Crate_V2.MWMESH",
                                                        "imported-/models/Model.OBJ", "kit1"}));
    EXPECT_EQ(m.assets->at(3).kind, Kind::mwmeshFile("/models/Hero_Crate_V2.MWMESH"));
    EXPECT_EQ(
        std::count(engine->loadedItems.begin(), engine->loadedItems.end(), "imported-/models/Hero_Crate_V2.MWMESH"), 2);
    EXPECT_EQ(*m.selectedAssetID, "imported-/models/Hero_Crate_V2.MWMESH");
    EXPECT_EQ(*m.materialOverrideBlend, 0.0f) << "a file mesh shows its own look";
    EXPECT_EQ(engine->scene.materialOverrideBlend, 0.0f);
    EXPECT_EQ((*m.activeAudit)->name, "Hero_Crate_V2");

    m.selectAsset(m.assets->at(2));
    EXPECT_EQ(*m.materialOverrideBlend, 1.0f) << "a built-in shows the material";
}

TEST_F(ViewModelTest, ImportIntoAShortCatalogueAppends) {
    catalogue = {builtinItems().front()};
    auto& m = start();
    m.importModel("/models/a.stl");
    EXPECT_EQ(ids(*m.assets), (std::vector<std::string>{"builtin-shaderball", "imported-/models/a.stl"}));
}

TEST_F(ViewModelTest, SearchTrimsFoldsCaseComposesAndMatchesNameCategoryOrSubtitle) {
    catalogue.push_back(heroItem("kit", "Antique Brass Orrery", StudioViewModel::kFeaturedCategory, "/a/o.mwmesh"));
    catalogue.push_back({"imp", "Éclair Stand", "Imported \u00B7 PLY", "Imported", Kind::externalModel("/a/e.ply")});
    // A file name as some file systems spell it: the accent as a combining mark.
    catalogue.push_back({"cafe", "Cafe\u0301 Table", "Imported \u00B7 OBJ", "Imported", Kind::externalModel("/a/c.obj")});
    auto& m = start();
    struct Case {
        std::string query;
        std::vector<std::string> ids;
    };
    const std::vector<Case> cases = {
        {"", {"builtin-shaderball", "builtin-cube", "builtin-knot", "kit", "imp", "cafe"}},
        {" \t\n ", {"builtin-shaderball", "builtin-cube", "builtin-knot", "kit", "imp", "cafe"}},
        {"KIT", {"kit"}},
        {"  orrery ", {"kit"}},
        {"ply", {"imp"}},
        {"ÉCLAIR", {"imp"}},
        {"caf\u00E9", {"cafe"}},
        {"CAF\u00C9 T", {"cafe"}},
        {"E\u0301CLAIR", {"imp"}},
        {"cafe", {}},  // an e is not an é
        {"calibration", {"builtin-shaderball", "builtin-cube", "builtin-knot"}},
        {"zzz", {}},
    };
    for (const auto& c : cases) {
        m.assetSearchQuery = c.query;
        EXPECT_EQ(ids(m.filteredAssets()), c.ids) << "query \"" << c.query << "\"";
    }
}

// ---- materials ------------------------------------------------------------------------------------

TEST_F(ViewModelTest, PhotoStaysTheSourceUntilAPresetIsChosen) {
    auto& m = start();
    m.materialParams.modify([](PBRMaterialParameters& p) { p.resolution = 2048; });
    m.materialOverrideBlend = 0.0f;
    m.forgeMaterialFromPhoto("/photos/moss.tiff.jpg");
    EXPECT_EQ(*m.sourcePhotoURL, fs::path("/photos/moss.tiff.jpg"));
    EXPECT_EQ(m.materialParams->sourcePhotoName, "moss.tiff");
    EXPECT_EQ(*m.materialOverrideBlend, 1.0f);
    EXPECT_EQ(engine->scene.materialOverrideBlend, 1.0f);
    EXPECT_EQ(engine->pack->parameters.sourcePhotoName, "moss.tiff");

    m.materialParams.modify([](PBRMaterialParameters& p) { p.weathering = 0.9f; });
    m.resynthesizeMaterial();
    EXPECT_EQ(engine->forge.calls.back().photo, fs::path("/photos/moss.tiff.jpg"));
    EXPECT_EQ(engine->forge.calls.back().parameters.weathering, 0.9f);

    m.selectMaterialPreset(PBRMaterialPreset::anodizedGold);
    EXPECT_FALSE(engine->forge.calls.back().photo.has_value());
    EXPECT_EQ(engine->forge.calls.back().parameters.preset, PBRMaterialPreset::anodizedGold);
    EXPECT_FALSE(engine->forge.calls.back().parameters.sourcePhotoName.has_value());
    EXPECT_FALSE(m.sourcePhotoURL->has_value());
    EXPECT_FALSE(m.materialParams->sourcePhotoName.has_value());
    EXPECT_EQ(m.materialParams->preset, PBRMaterialPreset::anodizedGold);
}

TEST_F(ViewModelTest, APhotoThatGivesNoMaterialLeavesThePreviousSourceAndLook) {
    auto& m = start();
    m.forgeMaterialFromPhoto("/photos/good.png");
    const auto goodPack = engine->pack;
    engine->forge.nextMs = 99;
    engine->forge.unreadablePhotos.insert("/photos/corrupt.heic");
    m.materialOverrideBlend = 0.25f;
    m.forgeMaterialFromPhoto("/photos/corrupt.heic");

    EXPECT_EQ(**m.statusBanner, "Could not forge PBR from corrupt.heic.");
    EXPECT_EQ(*m.sourcePhotoURL, fs::path("/photos/good.png"));
    EXPECT_EQ(m.materialParams->sourcePhotoName, "good");
    EXPECT_EQ(engine->pack, goodPack);
    EXPECT_EQ(*m.lastSynthesisMs, 12.5);
    EXPECT_EQ(*m.materialOverrideBlend, 0.25f);
    m.resynthesizeMaterial();
    EXPECT_EQ(engine->forge.calls.back().photo, fs::path("/photos/good.png"));

    // A plain resynthesis that fails keeps pack and previews and says nothing.
    engine->forge.failEverything = true;
    m.statusBanner = std::nullopt;
    const auto previews = *m.pbrPreviews;
    m.resynthesizeMaterial();
    EXPECT_EQ(*m.pbrPreviews, previews);
    EXPECT_FALSE(m.statusBanner->has_value());
}

TEST_F(ViewModelTest, EnvironmentLoadsSetTheBlendAndClearingZerosIt) {
    auto& m = start();
    engine->radianceFiles["/env/a.HDR"] = {"a", 64, 32, nullptr, true};
    m.loadHDRI("/env/a.HDR");
    EXPECT_EQ(*m.activeHDRIName, std::optional<std::string>("a"));
    EXPECT_EQ(*m.customHDRIBlend, 0.85f);
    EXPECT_EQ(engine->scene.customHDRIBlend, 0.85f);
    ASSERT_TRUE(engine->environment);

    m.loadHDRI("/env/missing.hdr");  // the previous environment stays
    EXPECT_EQ(engine->environment->name, "a");
    EXPECT_EQ(*m.activeHDRIName, std::optional<std::string>("a"));

    m.clearCustomHDRI();
    EXPECT_FALSE(engine->environment.has_value());
    EXPECT_FALSE(m.activeHDRIName->has_value());
    EXPECT_EQ(engine->scene.customHDRIBlend, 0.0f);
}

// ---- featured kits ------------------------------------------------------------------------------

TEST_F(ViewModelTest, BatchRendersTheFirstFourFeaturedKitsOfAnyKind) {
    catalogue.push_back(
        {"ext", "Featured Model", "x", StudioViewModel::kFeaturedCategory, Kind::externalModel("/a/f.obj")});
    addFeaturedKits(5);
    auto& m = start();
    exporters->gate = std::make_shared<Gate>();
    m.includeMusicScore = false;
    m.turntableDurationSec = 9.0;
    panels->enqueueChoice("/out/batch");
    m.exportBatchTurntablesPanel();
    EXPECT_EQ(*m.exportLabel, "Batch Rendering 4 Kits\u2026");
    exporters->gate->open();
    finishRender();
    ASSERT_EQ(exporters->batchAssets.size(), 1u);
    EXPECT_EQ(ids(exporters->batchAssets[0]), (std::vector<std::string>{"ext", "kit1", "kit2", "kit3"}));
    EXPECT_EQ(exporters->lastDuration, 2.5) << "a batch reel is 2.5 s whatever the turntable length";
    EXPECT_FALSE(exporters->lastMusic.has_value());
}

TEST_F(ViewModelTest, ArchivePacksTheSelectedHeroFirstThenFeaturedHeroFilesUpToSix) {
    catalogue.push_back(heroItem("vault", "Vault Piece", "Vault Library", "/a/vault.mwmesh"));
    catalogue.push_back(
        {"ext", "Featured Model", "x", StudioViewModel::kFeaturedCategory, Kind::externalModel("/a/f.obj")});
    addFeaturedKits(7);
    exporters->pakReceipt.entryCount = 6;
    auto& m = start();
    engine->meshFiles["/a/vault.mwmesh"] = fakeMesh("vault", 10);
    engine->meshFiles["/assets/Kit2.mwmesh"] = fakeMesh("kit2", 10);
    struct Case {
        std::string selected;
        std::vector<fs::path> files;
    };
    const std::vector<Case> cases = {
        {"builtin-cube",
         {"/assets/Kit1.mwmesh", "/assets/Kit2.mwmesh", "/assets/Kit3.mwmesh", "/assets/Kit4.mwmesh",
          "/assets/Kit5.mwmesh", "/assets/Kit6.mwmesh"}},
        {"vault",
         {"/a/vault.mwmesh", "/assets/Kit1.mwmesh", "/assets/Kit2.mwmesh", "/assets/Kit3.mwmesh", "/assets/Kit4.mwmesh",
          "/assets/Kit5.mwmesh"}},
        {"kit2",
         {"/assets/Kit2.mwmesh", "/assets/Kit1.mwmesh", "/assets/Kit3.mwmesh", "/assets/Kit4.mwmesh",
          "/assets/Kit5.mwmesh", "/assets/Kit6.mwmesh"}},
    };
    for (const auto& c : cases) {
        for (const auto& a : *m.assets)
            if (a.id == c.selected) m.selectAsset(a);
        ASSERT_EQ(*m.selectedAssetID, c.selected);
        panels->enqueueChoice("/out/p.mwpak");
        m.packageMWPakPanel();
        ASSERT_FALSE(exporters->pakFiles.empty());
        EXPECT_EQ(exporters->pakFiles.back(), c.files) << c.selected;
    }
    EXPECT_EQ(*m.lastMWPakReceipt, exporters->pakReceipt);
}

// ---- renders ------------------------------------------------------------------------------------

TEST_F(ViewModelTest, TurntableReportsProgressAndIgnoresASecondStartWhileRunning) {
    auto& m = start();
    exporters->gate = std::make_shared<Gate>();
    exporters->progress = {0.3, 0.6};
    m.musicMood = creator::VelMusicIntensityStateV950::combatDrive;
    m.turntableAspect = TurntableAspectPreset::vertical9x16;
    panels->enqueueChoice("/out/t.mp4");
    m.exportTurntableMP4Panel();
    EXPECT_TRUE(*m.isExporting);
    EXPECT_EQ(*m.exportProgress, 0.02);
    EXPECT_EQ(*m.exportLabel, "Encoding Hardware MP4\u2026");

    ASSERT_TRUE(queue.runUntil([&] { return *m.exportProgress == 0.6; }, 20.0));
    const size_t requests = panels->requests().size();
    m.exportTurntableMP4Panel();
    m.exportBatchTurntablesPanel();
    EXPECT_EQ(panels->requests().size(), requests) << "no second render while one runs";

    exporters->error = "Writer failed";
    exporters->gate->open();
    finishRender();
    EXPECT_EQ(**m.statusBanner, "Video render failed: Writer failed");
    EXPECT_EQ(*m.exportProgress, 0.6) << "a failure keeps the last progress";
    EXPECT_EQ(*m.exportLabel, "Encoding Hardware MP4\u2026");
    EXPECT_EQ(exporters->lastFps, 30);
    EXPECT_EQ(exporters->lastDuration, 4.0);
    EXPECT_EQ(exporters->lastMusic, creator::VelMusicIntensityStateV950::combatDrive);
    EXPECT_EQ(exporters->calls.front(), "turntable 9:16 Vertical (1080\u00D71920) /out/t.mp4");

    // Over: the next render may start.
    exporters->error.reset();
    panels->enqueueChoice("/out/t2.mp4");
    m.exportTurntableMP4Panel();
    finishRender();
    EXPECT_EQ(*m.exportProgress, 1.0);
    EXPECT_EQ(exporters->calls.size(), 2u);
}

TEST_F(ViewModelTest, BatchProgressNamesTheKitAndTheViewModelsLookWinsAfterwards) {
    addFeaturedKits(2);
    auto& m = start();
    m.selectAsset(m.assets->at(2));
    const auto selected = engine->mesh;
    exporters->gate = std::make_shared<Gate>();
    exporters->batchProgress = {{0.5, "Kit 1"}};
    // The real batch puts back the mesh and scene it found when it started.
    const auto before = engine->mesh;
    const LookDevSceneState sceneBefore = engine->scene;
    exporters->duringBatch = [&] {
        engine->mesh = before;
        engine->scene = sceneBefore;
    };
    exporters->batchReceipt.assetCount = 2;
    panels->enqueueChoice("/out/batch");
    m.exportBatchTurntablesPanel();
    ASSERT_TRUE(queue.runUntil([&] { return *m.exportProgress == 0.5; }, 20.0));
    EXPECT_EQ(*m.exportLabel, "Batch: Kit 1\u2026");

    // Meanwhile the user picks another asset and changes the light.
    m.selectAsset(m.assets->at(1));
    const auto picked = engine->mesh;
    m.keyIntensity = 5.0f;
    m.syncSceneState();
    exporters->gate->open();
    finishRender();
    EXPECT_EQ(*m.exportProgress, 1.0);
    ASSERT_TRUE(m.lastBatchReceipt->has_value());
    EXPECT_EQ((*m.lastBatchReceipt)->assetCount, 2);
    EXPECT_EQ(engine->mesh, picked);
    EXPECT_NE(engine->mesh, selected);
    EXPECT_EQ(engine->scene.keyIntensity, 5.0f);
}

TEST_F(ViewModelTest, QuittingCancelsAndJoinsARunningRender) {
    auto& m = start();
    exporters->gate = std::make_shared<Gate>();  // never opened: only a cancel ends it
    panels->enqueueChoice("/out/t.mp4");
    m.exportTurntableMP4Panel();
    ASSERT_TRUE(m.hasRunningExports());
    int pumped = 0;
    m.cancelAndJoinExports([&] { ++pumped; });
    EXPECT_FALSE(m.hasRunningExports());
    vm.reset();
    EXPECT_NO_FATAL_FAILURE(queue.drain());  // the late failure report finds no view model
}

// A render may wait for GPU jobs only the owner runs: going away mid-render pumps them
// while it joins, instead of waiting for ever.
TEST_F(ViewModelTest, GoingAwayMidRenderPumpsTheGpuJobsItsRenderWaitsFor) {
    auto gate = exporters->gate = std::make_shared<Gate>();
    exporters->gateIgnoresCancel = true;
    int pumped = 0;
    vm = std::make_unique<StudioViewModel>(StudioServices{engine, exporters, score, panels,
                                                          [this] { return catalogue; }, &queue, [&] {
                                                              ++pumped;
                                                              gate->open();
                                                          }});
    panels->enqueueChoice("/out/t.mp4");
    vm->exportTurntableMP4Panel();
    ASSERT_TRUE(vm->hasRunningExports());
    // Opens the gate after a while should the view model never pump, so a fault fails here
    // instead of hanging.
    std::jthread watchdog([gate](std::stop_token stop) {
        for (int i = 0; i < 500 && !stop.stop_requested(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        gate->open();
    });
    vm.reset();
    EXPECT_GT(pumped, 0);
}

TEST_F(ViewModelTest, ScorePreviewStartsWithTheCurrentMoodAndPausingStopsIt) {
    auto& m = start();
    m.toggleMusicPreview();
    EXPECT_TRUE(*m.isPreviewingMusic);
    m.toggleMusicPreview();
    EXPECT_FALSE(*m.isPreviewingMusic);
    m.musicMood = creator::VelMusicIntensityStateV950::victoryResolve;
    m.toggleMusicPreview();
    EXPECT_EQ(score->calls, (std::vector<std::string>{"start ambientExploration", "stop", "start victoryResolve"}));
}

}  // namespace
