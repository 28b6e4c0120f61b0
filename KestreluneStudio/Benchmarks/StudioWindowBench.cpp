// Frame time of the whole main window at 1600 × 1000 on the headless GPU (Mesa llvmpipe
// in CI): building the window from the view model and drawing it, with a still in place
// of the live viewport; beside it, in the same run, one viewport frame of the engine at
// the viewport's size (the GPU work a live window adds), the window with the live
// viewport drawn in, and the build alone.
#include <benchmark/benchmark.h>
#include <epoxy/gl.h>

#include <cmath>

#include "KestreluneStudio/LiveStudioEngine.h"
#include "KestreluneStudio/StudioViewModel.h"
#include "KestreluneStudio/Window/StudioMainView.h"
#include "KestreluneStudio/Window/StudioWindowPalette.h"
#include "MarblewickLookDevKit/StudioAssetCatalog.h"
#include "PlatformKit/Gpu/HeadlessDevice.h"
#include "PlatformKit/Gpu/Resources.h"
#include "PlatformKit/Ui/OffscreenUiRenderer.h"
#include "PlatformKit/Ui/SdlWindowHost.h"
#include "PlatformKit/Ui/UiDriver.h"

using namespace kestrelune;

namespace {

constexpr int kWidth = 1600, kHeight = 1000;

// The live viewport as the application draws it: the engine's resolved frame as an image.
class EngineViewport final : public StudioLiveViewport {
public:
    void draw(const std::shared_ptr<StudioEngine>& engine, std::function<void(const std::filesystem::path&)>,
              ImVec2 size) override {
        const ImVec2 at = ImGui::GetCursorScreenPos();
        if (auto frame = engine->drawViewportFrame(int(std::lround(size.x)), int(std::lround(size.y))))
            ImGui::GetWindowDrawList()->AddImage(reinterpret_cast<ImTextureID>(intptr_t(frame->glName())), at,
                                                 ImVec2(at.x + size.x, at.y + size.y), ImVec2(0, 1), ImVec2(1, 0));
        ImGui::InvisibleButton("##live", size);
    }
};

// One engine, view model and window on a headless device; the window's ImGui frames and
// GL drawing run on the device's own thread, where its context is current.
struct Studio {
    std::shared_ptr<pk::gpu::HeadlessDevice> device = pk::gpu::HeadlessDevice::create();
    pk::MainQueue queue;
    std::shared_ptr<lookdev::LookDevMetalEngine> renderer =
        lookdev::LookDevMetalEngine::create(device, pk::Clock::system(), &queue);
    std::shared_ptr<LiveStudioEngine> engine = std::make_shared<LiveStudioEngine>(renderer);
    std::unique_ptr<StudioViewModel> vm = std::make_unique<StudioViewModel>(StudioServices{
        engine, std::make_shared<LiveStudioExportSuite>(renderer), nullptr,
        std::make_shared<pk::ui::ScriptedFilePanels>(),
        [] { return lookdev::StudioAssetCatalog::discoverAssets("/nonexistent-kestrelune-assets"); }, &queue});
    std::unique_ptr<pk::ui::GlTextureFactory> textures;
    std::unique_ptr<pk::ui::UiContext> ctx;
    std::unique_ptr<pk::ui::OffscreenUiRenderer> ui;
    std::unique_ptr<StudioMainView> view;
    std::unique_ptr<pk::ui::UiDriver> driver;
    EngineViewport live;
    ImVec2 viewportSize;

    Studio() {
        vm->selectAsset(vm->assets->front());
        device->run([&] {
            textures = std::make_unique<pk::ui::GlTextureFactory>();
            ctx = std::make_unique<pk::ui::UiContext>(textures.get());
            ui = std::make_unique<pk::ui::OffscreenUiRenderer>(*ctx);
            // Learn the viewport's size, then put a still of that size in its place.
            show(pk::image::RgbaImage::blank(1, 1));
            const auto& area = driver->require("viewport/staticImage").rect;
            viewportSize = ImVec2(area.width, area.height);
        });
        auto still = renderer->renderOffscreenCGImage(int64_t(viewportSize.x), int64_t(viewportSize.y));
        device->run([&] {
            show(std::move(*still));
            frame();
        });
    }
    ~Studio() {
        device->run([&] {
            driver.reset();
            view.reset();
            ui.reset();
            ctx.reset();
            textures.reset();
        });
        vm.reset();
    }

    void show(std::optional<pk::image::RgbaImage> still) {
        driver.reset();
        view = std::make_unique<StudioMainView>(*vm, std::move(still));
        if (!view->hasStaticViewportOverride()) view->setLiveViewport(&live);
        driver = std::make_unique<pk::ui::UiDriver>(
            *ctx, [this] { view->draw(ImVec2(0, 0), ImGui::GetIO().DisplaySize); },
            pk::ui::FrameInput{float(kWidth), float(kHeight)});
        driver->frame(2);  // fonts and textures in place
    }
    // One whole frame: build, draw, and wait for the GPU to finish it.
    void frame() {
        driver->frame();
        ui->render(kWidth, kHeight, StudioWindowPalette::windowBackground);
        glFinish();
    }
};

Studio& studio() {
    static Studio s;
    return s;
}

void BM_WholeWindowFrame(benchmark::State& state) {
    Studio& s = studio();
    s.device->run([&] { s.show(s.renderer->renderOffscreenCGImage(int64_t(s.viewportSize.x), int64_t(s.viewportSize.y))); });
    for (auto _ : state) s.device->run([&] { s.frame(); });
    state.SetLabel("1600x1000, still in place of the viewport");
}

void BM_ViewportOnlyFrame(benchmark::State& state) {
    Studio& s = studio();
    const int w = int(std::lround(s.viewportSize.x)), h = int(std::lround(s.viewportSize.y));
    for (auto _ : state)
        s.device->run([&] {
            benchmark::DoNotOptimize(s.engine->drawViewportFrame(w, h));
            glFinish();
        });
    state.SetLabel("baseline: engine frame " + std::to_string(w) + "x" + std::to_string(h));
}

void BM_WholeWindowFrameWithLiveViewport(benchmark::State& state) {
    Studio& s = studio();
    s.device->run([&] { s.show(std::nullopt); });
    for (auto _ : state) s.device->run([&] { s.frame(); });
    state.SetLabel("1600x1000, engine frame drawn in");
}

void BM_WindowBuildOnly(benchmark::State& state) {
    Studio& s = studio();
    s.device->run([&] { s.show(s.renderer->renderOffscreenCGImage(int64_t(s.viewportSize.x), int64_t(s.viewportSize.y))); });
    for (auto _ : state) s.device->run([&] { s.driver->frame(); });
    state.SetLabel("ImGui frame built from the view model, not drawn");
}

// The build while a query is typed in the browser, over a vault of 400 meshes: the
// filtered list is what changes with the query, not with the frame.
void BM_WindowBuildOnlyWhileSearching(benchmark::State& state) {
    Studio& s = studio();
    const std::vector<lookdev::StudioAssetItem> before = *s.vm->assets;
    s.vm->assets.modify([](std::vector<lookdev::StudioAssetItem>& items) {
        for (int i = 0; i < 400; ++i)
            items.push_back({"vault-" + std::to_string(i), "Vault Kit Mesh " + std::to_string(i),
                             "Imported \u00B7 MWMESH", "Vault Library",
                             lookdev::StudioAssetItem::SourceKind::mwmeshFile("/vault/kit" + std::to_string(i) +
                                                                              ".mwmesh")});
    });
    s.vm->assetSearchQuery = "Kit Mesh 1";
    s.device->run([&] { s.show(s.renderer->renderOffscreenCGImage(int64_t(s.viewportSize.x), int64_t(s.viewportSize.y))); });
    for (auto _ : state) s.device->run([&] { s.driver->frame(); });
    s.vm->assetSearchQuery = std::string();
    s.vm->assets = before;
    state.SetLabel("as the build alone, 403 assets, a query typed");
}

}  // namespace

// The work runs on the device's thread: wall time is the measure.
BENCHMARK(BM_WholeWindowFrame)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ViewportOnlyFrame)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WholeWindowFrameWithLiveViewport)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WindowBuildOnly)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WindowBuildOnlyWhileSearching)->Unit(benchmark::kMillisecond)->UseRealTime();
