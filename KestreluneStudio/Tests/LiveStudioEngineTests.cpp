// The view model on the real engine, synthesizer, loaders and exporters (Mesa llvmpipe
// through a surfaceless EGL device): what the fakes cannot show.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "DeviceCallers.h"
#include "KestreluneStudio/LiveStudioEngine.h"
#include "KestreluneStudio/StudioViewModel.h"
#include "KestreluneStudio/ViewportInputMapper.h"
#include "MarblewickLookDevKit/StudioAssetCatalog.h"
#include "PlatformKit/Foundation/Files.h"
#include "PlatformKit/Foundation/Numbers.h"
#include "PlatformKit/Gpu/EglPlatform.h"
#include "PlatformKit/Gpu/HeadlessDevice.h"
#include "PlatformKit/Gpu/WindowDevice.h"
#include "PlatformKit/Image/Image.h"

using namespace kestrelune;
using namespace lookdev;
namespace fs = std::filesystem;

namespace {

struct LiveFixture : ::testing::Test {
    static void SetUpTestSuite() {
        device = pk::gpu::HeadlessDevice::create();
        renderer = LookDevMetalEngine::create(device, pk::Clock::system(), &queue());
        ASSERT_TRUE(renderer) << "the engine could not be made";
    }
    static void TearDownTestSuite() {
        renderer.reset();
        device.reset();
    }
    static pk::MainQueue& queue() {
        static pk::MainQueue q;
        return q;
    }
    void SetUp() override {
        dir = fs::temp_directory_path() / ("ks-live-studio-" + std::to_string(getpid()));
        fs::create_directories(dir);
        engine = std::make_shared<LiveStudioEngine>(renderer);
        vm = std::make_unique<StudioViewModel>(StudioServices{
            engine, std::make_shared<LiveStudioExportSuite>(renderer), nullptr, panels,
            [] { return StudioAssetCatalog::discoverAssets(fs::path("/nonexistent-kestrelune-assets")); }, &queue()});
    }
    void TearDown() override {
        vm.reset();
        fs::remove_all(dir);
    }

    static inline std::shared_ptr<pk::gpu::HeadlessDevice> device;
    static inline std::shared_ptr<LookDevMetalEngine> renderer;
    fs::path dir;
    std::shared_ptr<LiveStudioEngine> engine;
    std::shared_ptr<pk::ui::ScriptedFilePanels> panels = std::make_shared<pk::ui::ScriptedFilePanels>();
    std::unique_ptr<StudioViewModel> vm;
};

TEST_F(LiveFixture, AWheelNotchZoomsATenthOfTheCameraRangeAndATrackpadInProportion) {
    engine->resetCamera();
    const float range = 8.5f - 1.35f;
    auto zoomed = [&](double notches) {
        const float before = engine->currentSceneState().distance;
        applyViewportCommand(ViewportInputMapper::wheel(notches), *engine);
        return (before - engine->currentSceneState().distance) / range;
    };
    EXPECT_NEAR(zoomed(1), 0.1f, 0.002f);
    EXPECT_NEAR(zoomed(-1), -0.1f, 0.002f);
    EXPECT_NEAR(zoomed(0.05), 0.005f, 0.0002f);
    for (int i = 0; i < 15; ++i) applyViewportCommand(ViewportInputMapper::wheel(1), *engine);
    EXPECT_EQ(engine->currentSceneState().distance, 1.35f) << "fifteen notches reach the near end";
    engine->resetCamera();
}

TEST_F(LiveFixture, StartsFromTheEnginesPackAndShowsAMesh) {
    auto pack = renderer->currentPBRPack();
    ASSERT_TRUE(pack);
    EXPECT_EQ(*vm->lastSynthesisMs, pack->synthesisMs);
    for (const auto* preview :
         {&vm->pbrPreviews->albedo, &vm->pbrPreviews->normal, &vm->pbrPreviews->orm, &vm->pbrPreviews->emissive}) {
        ASSERT_TRUE(preview->has_value());
        EXPECT_EQ(std::max((*preview)->width, (*preview)->height), 220);
    }

    vm->selectAsset(vm->assets->at(2));
    ASSERT_TRUE(vm->statusBanner->has_value());
    const auto tris = renderer->currentMesh()->audit.triangleCount;
    EXPECT_GT(tris, 999);
    EXPECT_EQ(**vm->statusBanner, "Loaded Sculpted Specular Knot (" + pk::groupDigits(tris) + " tris)");

    auto frame = engine->drawViewportFrame(96, 64);
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->width(), 96);
    EXPECT_EQ(frame->height(), 64);
    EXPECT_EQ(engine->drawViewportFrame(96, 64), frame) << "the target is kept while the size holds";
    EXPECT_EQ(engine->drawViewportFrame(0, 64), nullptr);
}

TEST_F(LiveFixture, ForgesFromAReadablePhotoAndRefusesAnUnreadableOne) {
    auto photo = pk::image::RgbaImage::blank(64, 48);
    for (size_t i = 0; i < photo.bytes.size(); i += 4) {
        photo.bytes[i] = uint8_t(i * 7);
        photo.bytes[i + 1] = uint8_t(i * 3);
        photo.bytes[i + 2] = 90;
        photo.bytes[i + 3] = 255;
    }
    pk::image::writePng(dir / "Cracked Mud.png", photo);
    pk::atomicWrite(dir / "broken.jpg", std::string_view("not a jpeg"));

    vm->materialParams.modify([](PBRMaterialParameters& p) { p.resolution = 256; });
    vm->forgeMaterialFromPhoto(dir / "Cracked Mud.png");
    ASSERT_TRUE(vm->statusBanner->has_value());
    EXPECT_TRUE((*vm->statusBanner)->starts_with("Forged seamless 256\u00B2 PBR from Cracked Mud.png ("))
        << **vm->statusBanner;
    EXPECT_EQ(renderer->currentPBRPack()->parameters.sourcePhotoName, "Cracked Mud");
    const auto forged = renderer->currentPBRPack();

    vm->forgeMaterialFromPhoto(dir / "broken.jpg");
    EXPECT_EQ(**vm->statusBanner, "Could not forge PBR from broken.jpg.");
    EXPECT_EQ(*vm->sourcePhotoURL, dir / "Cracked Mud.png");
    EXPECT_EQ(renderer->currentPBRPack()->albedo, forged->albedo) << "the material on show stays";
}

TEST_F(LiveFixture, ImportsAStripScanWholeAndRefusesACutOne) {
    // A scan whose faces are one triangle strip: four triangles over a 3 x 2 grid.
    const std::string ply =
        "ply\nformat ascii 1.0\nelement vertex 6\nproperty float x\nproperty float y\nproperty float z\n"
        "element tristrips 1\nproperty list int int vertex_indices\nend_header\n"
        "0 0 0\n1 0 0\n2 0 0\n0 1 0\n1 1 0\n2 1 0\n6 3 0 4 1 5 2\n";
    pk::atomicWrite(dir / "strip.ply", std::string_view(ply));
    pk::atomicWrite(dir / "cut.ply", std::string_view(ply).substr(0, ply.size() - 4));

    vm->importModel(dir / "strip.ply");
    EXPECT_EQ(**vm->statusBanner, "Loaded strip (4 tris)");
    const auto shown = *vm->selectedAssetID;
    vm->importModel(dir / "cut.ply");
    EXPECT_EQ(**vm->statusBanner, "Could not load cut.");
    EXPECT_EQ(*vm->selectedAssetID, shown) << "the whole mesh stays on show";
}

TEST_F(LiveFixture, LoadsEnvironmentsAndWritesStills) {
    HDRIEnvironmentLoader::writeSyntheticStudioHDR(dir / "Loft.hdr", 64, 32);
    vm->loadHDRI(dir / "Loft.hdr");
    EXPECT_EQ(**vm->statusBanner, "Loaded Radiance HDR IBL: Loft (64\u00D732)");
    EXPECT_EQ(renderer->currentSceneState().customHDRIBlend, 0.85f);

    // An image with an hdr name loads as a panorama.
    pk::image::writePng(dir / "Pano.hdr", pk::image::RgbaImage::blank(128, 64));
    vm->loadHDRI(dir / "Pano.hdr");
    EXPECT_EQ(**vm->statusBanner, "Loaded Panorama IBL: Pano (128\u00D764)");
    vm->clearCustomHDRI();

    panels->enqueueChoice(dir / "out" / "still.png");
    vm->exportStillPNGPanel();
    ASSERT_TRUE(fs::exists(dir / "out" / "still.png"));
    const auto bytes = fs::file_size(dir / "out" / "still.png");
    EXPECT_EQ(**vm->statusBanner, "Saved 2560\u00D71440 studio render (" + std::to_string(bytes / 1024) + " KB)");
    auto still = pk::image::decodeFile(dir / "out" / "still.png");
    ASSERT_TRUE(still);
    EXPECT_EQ(still->width, 2560);
}

// The window's thread owns the device and runs the panel exports itself; background
// renders run elsewhere. Every operation that renders or reads back finishes either way
// (a deadlock ends the binary with its own message rather than hang).
TEST_F(LiveFixture, EveryGpuOperationFinishesOnTheOwnerThreadAndFromAWorker) {
    using pk::test::DeviceCaller;
    LiveStudioExportSuite suite(renderer);
    const auto pack = renderer->currentPBRPack();
    ASSERT_TRUE(pack);
    const std::vector<StudioAssetItem> assets = {
        StudioAssetItem{"knot", "Knot", "", "", StudioAssetItem::SourceKind::builtinTorusKnot()}};
    PBRMaterialParameters small;
    small.resolution = 128;
    struct Operation {
        const char* name;
        std::function<void(const fs::path&)> run;  // into its own folder; throws or fails an expectation
    };
    const Operation operations[] = {
        {"PBR pack", [&](const fs::path& out) { EXPECT_EQ(suite.exportPBRPack(*pack, out).size(), 5u); }},
        {"still", [&](const fs::path& out) { EXPECT_GT(suite.exportStillPNG(96, 54, out / "still.png"), 0); }},
        {"turntable",
         [&](const fs::path& out) {
             const auto r = suite.exportTurntableMP4(TurntableAspectPreset::square1x1, 0.5, 30, std::nullopt,
                                                     out / "turn.mp4", {}, nullptr);
             EXPECT_EQ(r.frameCount, 30);
             EXPECT_GT(r.fileSizeBytes, 0);
         }},
        {"batch",
         [&](const fs::path& out) {
             const auto r = suite.exportBatchTurntables(assets, TurntableAspectPreset::square1x1, 0.5,
                                                        creator::VelMusicIntensityStateV950::combatDrive, out, {},
                                                        nullptr);
             EXPECT_EQ(r.assetCount, 1);
         }},
        {"archive",
         [&](const fs::path& out) {
             const auto files = suite.exportPBRPack(*pack, out / "files");
             const auto r = suite.packFilesToMWPak(files, out / "pack.mwpak");
             EXPECT_EQ(r.entryCount, 5);
             EXPECT_EQ(r.mtlIOStreamBytes, r.totalCompressedBytes) << "streamed onto the device";
         }},
        {"synthesis and previews",
         [&](const fs::path&) {
             const auto made = engine->pbrForge().synthesize(small);
             ASSERT_TRUE(made);
             const auto previews = engine->pbrForge().makePreviews(*made, 32);
             EXPECT_TRUE(previews.albedo && previews.normal && previews.orm && previews.emissive);
         }},
    };
    for (const auto caller : pk::test::kDeviceCallers) {
        for (const auto& op : operations) {
            SCOPED_TRACE(std::string(op.name) + " " + pk::test::callerName(caller));
            const fs::path out = dir / "callers" / (std::string(op.name) + (caller == DeviceCaller::owner ? "-o" : "-w"));
            pk::test::callAs(*device, caller, [&] { op.run(out); });
        }
    }
}

// What a user meets: Export 4 Maps through the panel, on the thread that owns the window's
// device and drains its jobs.
TEST(LiveStudioOwnerThread, ThePanelsPBRPackExportWritesItsFiveFiles) {
    auto platform = pk::gpu::EglPlatform::create();
    auto device = pk::gpu::WindowDevice::adoptCurrentContext();
    pk::MainQueue queue;
    auto renderer = LookDevMetalEngine::create(device, pk::Clock::system(), &queue);
    ASSERT_TRUE(renderer);
    const fs::path dir = fs::temp_directory_path() / ("ks-live-pack-" + std::to_string(getpid()));
    fs::remove_all(dir);
    auto panels = std::make_shared<pk::ui::ScriptedFilePanels>();
    {
        StudioViewModel vm(StudioServices{
            std::make_shared<LiveStudioEngine>(renderer), std::make_shared<LiveStudioExportSuite>(renderer), nullptr,
            panels, [] { return StudioAssetCatalog::discoverAssets(fs::path("/nonexistent")); }, &queue,
            [&] { device->drainJobs(); }});
        panels->enqueueChoice(dir);
        {
            pk::test::DeadlineWatch watch("Export 4 Maps on the window's thread");
            vm.exportPBRPackPanel();
        }
        ASSERT_TRUE(vm.statusBanner->has_value());
        EXPECT_TRUE((*vm.statusBanner)->starts_with("Exported 5 PBR files")) << **vm.statusBanner;
    }
    size_t written = 0;
    for (const auto& entry : fs::directory_iterator(dir)) written += entry.is_regular_file() ? 1 : 0;
    EXPECT_EQ(written, 5u);
    renderer.reset();
    device->drainJobs();
    device.reset();
    fs::remove_all(dir);
}

// As in the application: the GPU belongs to this thread, and a render on another thread
// waits for the jobs this thread drains. Quitting mid-render must not hang on that.
TEST(LiveStudioQuit, CancelsARunningRenderWhilePumpingTheGpuAndLeavesNoFile) {
    auto platform = pk::gpu::EglPlatform::create();
    auto device = pk::gpu::WindowDevice::adoptCurrentContext();
    pk::MainQueue queue;
    auto renderer = LookDevMetalEngine::create(device, pk::Clock::system(), &queue);
    ASSERT_TRUE(renderer);
    const fs::path dir = fs::temp_directory_path() / ("ks-live-quit-" + std::to_string(getpid()));
    auto panels = std::make_shared<pk::ui::ScriptedFilePanels>();
    {
        StudioViewModel vm(StudioServices{
            std::make_shared<LiveStudioEngine>(renderer), std::make_shared<LiveStudioExportSuite>(renderer), nullptr,
            panels, [] { return StudioAssetCatalog::discoverAssets(fs::path("/nonexistent")); }, &queue,
            [&] { device->drainJobs(); }});
        vm.turntableDurationSec = 60.0;
        vm.includeMusicScore = false;
        panels->enqueueChoice(dir / "long.mp4");
        vm.exportTurntableMP4Panel();
        ASSERT_TRUE(vm.hasRunningExports());
        // The render's first frame, pumped as the main loop does.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (*vm.exportProgress == 0.02 && std::chrono::steady_clock::now() < deadline) {
            device->drainJobs();
            queue.drain();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ASSERT_NE(*vm.exportProgress, 0.02) << "the first frame's progress";
        vm.cancelAndJoinExports([&] { device->drainJobs(); });
        EXPECT_FALSE(vm.hasRunningExports());
        queue.drain();
        EXPECT_FALSE(*vm.isExporting);
        ASSERT_TRUE(vm.statusBanner->has_value());
        EXPECT_TRUE((*vm.statusBanner)->starts_with("Video render failed: ")) << **vm.statusBanner;
    }
    EXPECT_FALSE(fs::exists(dir / "long.mp4"));
    renderer.reset();
    device->drainJobs();
    device.reset();
    fs::remove_all(dir);
}

}  // namespace
