// Every inspector control against the property it writes and what follows the write: a
// scene sync (the engine's update with the view model's settings), a new synthesis, an
// operation of the view model, or nothing else.
#include <gtest/gtest.h>

#include <functional>

#include "InspectorTestSupport.h"

using namespace kestrelune;
using namespace kestrelune::testing;
using creator::VelMusicIntensityStateV950;

namespace {

enum class FollowUp { sceneSync, resynthesis };

struct SliderCase {
    InspectorTab tab;
    const char* title;
    const char* property;
    float lo, hi;
    FollowUp followUp;
    // The stored value, and where the write must show up after its follow-up.
    std::function<float(const StudioViewModel&)> stored;
    std::function<float(const FakeEngine&)> landed;
    const char* loText;
    const char* hiText;
};

const SliderCase kSliders[] = {
    {InspectorTab::material, "Material Apply Blend", "materialOverrideBlend", 0, 1, FollowUp::sceneSync,
     [](auto& m) { return *m.materialOverrideBlend; }, [](auto& e) { return e.scene.materialOverrideBlend; }, "0.00",
     "1.00"},
    {InspectorTab::material, "Surface UV Density", "materialUVScale", 0.4f, 4, FollowUp::sceneSync,
     [](auto& m) { return *m.materialUVScale; }, [](auto& e) { return e.scene.materialUVScale; }, "0.40", "4.00"},
    {InspectorTab::material, "Tiling Frequency", "materialParams", 1, 4, FollowUp::resynthesis,
     [](auto& m) { return m.materialParams->tilingScale; },
     [](auto& e) { return e.forge.calls.back().parameters.tilingScale; }, "1.00", "4.00"},
    {InspectorTab::material, "Normal Relief", "materialParams", 0.1f, 2.5f, FollowUp::resynthesis,
     [](auto& m) { return m.materialParams->reliefStrength; },
     [](auto& e) { return e.forge.calls.back().parameters.reliefStrength; }, "0.10", "2.50"},
    {InspectorTab::material, "Roughness Bias", "materialParams", -0.4f, 0.4f, FollowUp::resynthesis,
     [](auto& m) { return m.materialParams->roughnessBias; },
     [](auto& e) { return e.forge.calls.back().parameters.roughnessBias; }, "-0.40", "0.40"},
    {InspectorTab::material, "Metallic Bias", "materialParams", -0.5f, 0.5f, FollowUp::resynthesis,
     [](auto& m) { return m.materialParams->metallicBias; },
     [](auto& e) { return e.forge.calls.back().parameters.metallicBias; }, "-0.50", "0.50"},
    {InspectorTab::material, "Surface Wear", "materialParams", 0, 1, FollowUp::resynthesis,
     [](auto& m) { return m.materialParams->weathering; },
     [](auto& e) { return e.forge.calls.back().parameters.weathering; }, "0.00", "1.00"},
    {InspectorTab::material, "Emissive Glow", "materialParams", 0, 2.5f, FollowUp::resynthesis,
     [](auto& m) { return m.materialParams->emissiveGain; },
     [](auto& e) { return e.forge.calls.back().parameters.emissiveGain; }, "0.00", "2.50"},
    {InspectorTab::lighting, "HDRI Blend", "customHDRIBlend", 0, 1, FollowUp::sceneSync, [](auto& m) { return *m.customHDRIBlend; },
     [](auto& e) { return e.scene.customHDRIBlend; }, "0.00", "1.00"},
    {InspectorTab::lighting, "HDRI Rotation", "hdriRotationDeg", 0, 360, FollowUp::sceneSync,
     [](auto& m) { return *m.hdriRotationDeg; },
     [](auto& e) { return e.scene.hdriRotationRad * 180.0f / 3.14159265f; }, "0.00", "360.00"},
    {InspectorTab::lighting, "Key Intensity", "keyIntensity", 0.2f, 5, FollowUp::sceneSync, [](auto& m) { return *m.keyIntensity; },
     [](auto& e) { return e.scene.keyIntensity; }, "0.20", "5.00"},
    {InspectorTab::lighting, "Key Azimuth", "keyAzimuth", -3.14f, 3.14f, FollowUp::sceneSync,
     [](auto& m) { return *m.keyAzimuth; }, [](auto& e) { return e.scene.keyAzimuth; }, "-3.14", "3.14"},
    {InspectorTab::lighting, "Rim Accent", "rimIntensity", 0, 4, FollowUp::sceneSync, [](auto& m) { return *m.rimIntensity; },
     [](auto& e) { return e.scene.rimIntensity; }, "0.00", "4.00"},
    {InspectorTab::lighting, "Exposure (EV)", "exposureEV", -1.5f, 1.5f, FollowUp::sceneSync,
     [](auto& m) { return *m.exposureEV; }, [](auto& e) { return e.scene.exposureEV; }, "-1.50", "1.50"},
    {InspectorTab::lighting, "Floor Sheen", "floorReflectivity", 0, 1, FollowUp::sceneSync, [](auto& m) { return *m.floorReflectivity; },
     [](auto& e) { return e.scene.floorReflectivity; }, "0.00", "1.00"},
};

struct BindingTest : InspectorTest {
    // Counts the writes of the published property named `watching`.
    std::string watching;
    int writes = 0;
    void countWrites() {
        vm->forEachPublished([this](auto& property, const char* name) {
            property.observe([this, name = std::string(name)](const auto&) { writes += name == watching; });
        });
    }
    void loadEnvironment() {
        lookdev::LoadedHDRIEnvironment env;
        env.name = "Studio Loft";
        engine->radianceFiles["/env/Studio Loft.hdr"] = env;
        vm->loadHDRI("/env/Studio Loft.hdr");
        ASSERT_TRUE(vm->activeHDRIName->has_value());
    }
};

TEST_F(BindingTest, EverySliderWritesItsPropertyAndRunsItsFollowUpOncePerReportedValue) {
    loadEnvironment();
    countWrites();
    for (const SliderCase& c : kSliders) {
        SCOPED_TRACE(c.title);
        watching = c.property;
        show(c.tab);
        EXPECT_EQ(require(c.title).kind, pk::ui::ControlKind::slider);
        for (float fraction : {1.0f, 0.0f}) {
            const int syncsBefore = engine->sceneUpdates;
            const size_t synthesesBefore = engine->forge.calls.size();
            writes = 0;
            driver.dragSlider(id(c.title), fraction, 6);

            const float expected = fraction == 1.0f ? c.hi : c.lo;
            EXPECT_EQ(c.stored(*vm), expected) << "continuous, unrounded, ends exactly";
            EXPECT_GT(writes, 1) << "intermediate values are written while dragging";
            const int syncs = engine->sceneUpdates - syncsBefore;
            const int syntheses = int(engine->forge.calls.size() - synthesesBefore);
            if (c.followUp == FollowUp::sceneSync) {
                EXPECT_EQ(syncs, writes);
                EXPECT_EQ(syntheses, 0);
            } else {
                EXPECT_EQ(syntheses, writes) << "no debouncing";
                EXPECT_EQ(syncs, 0);
            }
            EXPECT_NEAR(c.landed(*engine), expected, 1e-4f);
            EXPECT_EQ(require(std::string("valueHeader:") + c.title).value, fraction == 1.0f ? c.hiText : c.loText);
        }
    }
}

TEST_F(BindingTest, ShowingTabsWithValuesAlreadyChangedRunsNoFollowUp) {
    loadEnvironment();
    vm->keyIntensity = 4.2f;
    vm->materialParams.modify([](auto& p) { p.reliefStrength = 2.0f; });
    const int syncs = engine->sceneUpdates;
    const size_t syntheses = engine->forge.calls.size();
    for (InspectorTab t : kInspectorTabAllCases) show(t);
    EXPECT_EQ(engine->sceneUpdates, syncs);
    EXPECT_EQ(engine->forge.calls.size(), syntheses);
    show(InspectorTab::lighting);
    EXPECT_EQ(require("valueHeader:Key Intensity").value, "4.20");
    show(InspectorTab::material);
    EXPECT_EQ(require("valueHeader:Normal Relief").value, "2.00");
}

TEST_F(BindingTest, PresetAndMapSizeResynthesizeOnEveryChoiceIncludingTheSelectedOne) {
    show(InspectorTab::material);
    EXPECT_EQ(require("Preset").value, "Carbon Fiber Twill");
    vm->forgeMaterialFromPhoto("/photos/bark.png");
    ASSERT_TRUE(vm->sourcePhotoURL->has_value());
    driver.dragSlider(id("Normal Relief"), 0.8f, 2);
    EXPECT_EQ(engine->forge.calls.back().photo, std::filesystem::path("/photos/bark.png"))
        << "relief works from the photo";

    const int syncs = engine->sceneUpdates;
    size_t syntheses = engine->forge.calls.size();
    pick("Preset", 6);
    EXPECT_EQ(vm->materialParams->preset, lookdev::PBRMaterialPreset::hammeredCopper);
    EXPECT_FALSE(vm->sourcePhotoURL->has_value()) << "a preset replaces the photo";
    EXPECT_EQ(engine->forge.calls.size(), ++syntheses);
    EXPECT_FALSE(engine->forge.calls.back().photo);
    EXPECT_EQ(require("Preset").value, lookdev::PBRMaterialPreset(lookdev::PBRMaterialPreset::hammeredCopper).title());
    pick("Preset", 6);
    EXPECT_EQ(engine->forge.calls.size(), ++syntheses) << "the selected preset chosen again";

    const std::pair<int, int64_t> sizes[] = {{0, 512}, {1, 1024}, {2, 2048}, {3, 4096}, {3, 4096}};
    for (const auto& [segment, side] : sizes) {
        click("Map Size/" + std::to_string(segment));
        EXPECT_EQ(vm->materialParams->resolution, side);
        EXPECT_EQ(engine->forge.calls.size(), ++syntheses) << side;
        EXPECT_EQ(engine->forge.calls.back().parameters.resolution, side);
        EXPECT_TRUE(require("Map Size/" + std::to_string(segment)).selected);
    }
    EXPECT_EQ(engine->sceneUpdates, syncs) << "synthesis settings never sync the scene";
}

TEST_F(BindingTest, RigCardsStoreTheirRigAndSyncEvenWhenAlreadySelected) {
    show(InspectorTab::lighting);
    const auto& rigs = lookdev::StudioLightingRig::allCases;
    const char* titles[] = {"Studio Softbox",   "Golden Hour Rim",  "Neon Rain Loft",
                            "Architectural Daylight", "Dark Luxury Spot", "Midnight Cobalt"};
    for (size_t i = 0; i < rigs.size(); ++i) {
        const int syncs = engine->sceneUpdates;
        click(titles[i]);
        EXPECT_EQ(*vm->lightingRig, rigs[i]);
        EXPECT_EQ(engine->scene.lightingRig, rigs[i]);
        EXPECT_EQ(engine->sceneUpdates, syncs + 1);
        int selected = 0;
        for (const char* t : titles) selected += require(t).selected;
        EXPECT_EQ(selected, 1);
        EXPECT_TRUE(require(titles[i]).selected);
    }
    const int syncs = engine->sceneUpdates;
    click("Midnight Cobalt");
    EXPECT_EQ(engine->sceneUpdates, syncs + 1);
    // Two columns, three rows, 6 points apart.
    const auto& a = require(titles[0]);
    const auto& b = require(titles[1]);
    const auto& c = require(titles[2]);
    EXPECT_NEAR(b.rect.x - a.rect.maxX(), 6, 0.5f);
    EXPECT_NEAR(c.rect.y - a.rect.maxY(), 6, 0.5f);
    EXPECT_NEAR(a.rect.width, b.rect.width, 0.5f);
}

TEST_F(BindingTest, CinemaControlsWriteTheirPropertiesWithoutTouchingTheScene) {
    show(InspectorTab::cinema);
    const int syncs = engine->sceneUpdates;
    const size_t syntheses = engine->forge.calls.size();

    pick("Format", 1);
    EXPECT_EQ(*vm->turntableAspect, lookdev::TurntableAspectPreset::vertical9x16);
    EXPECT_EQ(require("Format").value, "9:16 Vertical (1080\u00D71920)");

    const double durations[] = {3.0, 4.0, 6.0};
    for (int i : {0, 2, 1}) {
        click("Duration/" + std::to_string(i));
        EXPECT_EQ(*vm->turntableDurationSec, durations[i]);
    }
    vm->turntableDurationSec = 2.5;
    driver.frame();
    EXPECT_EQ(require("Duration").value, "") << "a duration without a segment selects none";

    const std::pair<int, VelMusicIntensityStateV950> moods[] = {
        {4, VelMusicIntensityStateV950::victoryResolve},
        {1, VelMusicIntensityStateV950::coastalSerene},
        {3, VelMusicIntensityStateV950::combatDrive},
    };
    for (const auto& [row, mood] : moods) {
        pick("Score Mood", row);
        EXPECT_EQ(*vm->musicMood, mood);
    }
    vm->musicMood = VelMusicIntensityStateV950::heroicBossBrass;
    driver.frame();
    EXPECT_EQ(require("Score Mood").value, "") << "the boss brass has no row";

    click("Include Royalty-Free Soundtrack");
    EXPECT_FALSE(*vm->includeMusicScore);
    click("Include Royalty-Free Soundtrack");
    EXPECT_TRUE(*vm->includeMusicScore);

    EXPECT_EQ(engine->sceneUpdates, syncs);
    EXPECT_EQ(engine->forge.calls.size(), syntheses);
}

TEST_F(BindingTest, ActionButtonsCallTheirOperations) {
    loadEnvironment();
    // A kit for the batch and the archive to work on (without one they ask for no folder).
    vm->assets.modify([](std::vector<StudioAssetItem>& items) {
        items.push_back(heroItem("kit", "Brass Orrery", StudioViewModel::kFeaturedCategory, "/assets/Orrery.mwmesh"));
    });
    struct ButtonCase {
        InspectorTab tab;
        const char* id;
        const char* title;
        const char* symbol;
        const char* panelTitle;
    };
    const ButtonCase buttons[] = {
        {InspectorTab::material, "Forge Seamless PBR From Photo...", "Forge Seamless PBR From Photo...",
         "photo.badge.plus", "Forge Seamless 4K PBR From Photo"},
        {InspectorTab::material, "Export 4-Map PBR Pack...", "Export 4-Map PBR Pack...", "square.and.arrow.up",
         "Choose Folder for 4-Map PBR Texture Pack"},
        {InspectorTab::lighting, "Load HDRI", "Studio Loft", "globe.americas.fill",
         "Load .HDR or Panoramic Environment Map"},
        {InspectorTab::cinema, "Render Turntable MP4...", "Render Turntable MP4...", "film.fill",
         "Render Cinema Turntable Video (MP4)"},
        {InspectorTab::cinema, "Batch Render Featured Kits...", "Batch Render Featured Kits...",
         "square.stack.3d.down.right.fill", "Choose Output Folder for Batch Turntable Queue"},
        {InspectorTab::cinema, "Export High-Res Still PNG...", "Export High-Res Still PNG...", "camera.aperture",
         "Export Studio Snapshot PNG"},
        {InspectorTab::pipeline, "Build .mwpak LZFSE Archive...", "Build .mwpak LZFSE Archive...",
         "archivebox.fill", "Build LZFSE Compressed .mwpak Archive"},
        {InspectorTab::pipeline, "Export Universal OBJ...", "Export Universal OBJ...", "cube.transparent",
         "Export Universal Wavefront OBJ"},
    };
    for (const ButtonCase& b : buttons) {
        SCOPED_TRACE(b.id);
        show(b.tab);
        const auto& r = require(b.id);
        EXPECT_EQ(r.kind, pk::ui::ControlKind::button);
        EXPECT_EQ(r.text, b.title);
        EXPECT_EQ(r.symbol, b.symbol);
        panels->enqueueCancel();
        const size_t before = panels->requests().size();
        click(b.id);
        ASSERT_EQ(panels->requests().size(), before + 1);
        EXPECT_EQ(panels->requests().back().title, b.panelTitle);
    }

    // The two buttons that act without a panel.
    show(InspectorTab::cinema);
    click("Audition");
    EXPECT_TRUE(*vm->isPreviewingMusic);
    EXPECT_EQ(score->calls, std::vector<std::string>{"start ambientExploration"});
    click("Audition");
    EXPECT_FALSE(*vm->isPreviewingMusic);
    EXPECT_EQ(*vm->statusBanner, "Soundtrack preview paused.");

    show(InspectorTab::lighting);
    const int syncs = engine->sceneUpdates;
    click("Clear HDRI");
    EXPECT_FALSE(vm->activeHDRIName->has_value());
    EXPECT_EQ(*vm->customHDRIBlend, 0.0f);
    EXPECT_EQ(engine->sceneUpdates, syncs + 1);
    EXPECT_EQ(*vm->statusBanner, "Switched back to Studio Softbox Rig.");
}

}  // namespace
