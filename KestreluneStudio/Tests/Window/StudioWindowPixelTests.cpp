// The real window drawn into pixels on a surfaceless OpenGL context (Mesa llvmpipe): the
// colours of bars and columns and where the dividers fall, and screenshots of every
// inspector tab at the smallest window and a large one, for a person to look at.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "KestreluneStudio/LiveStudioEngine.h"
#include "KestreluneStudio/Window/StudioWindowPalette.h"
#include "MainViewTestSupport.h"
#include "MarblewickLookDevKit/StudioAssetCatalog.h"
#include "PlatformKit/Foundation/StudioError.h"
#include "PlatformKit/Gpu/EglPlatform.h"
#include "PlatformKit/Gpu/HeadlessDevice.h"
#include "PlatformKit/Image/Image.h"
#include "PlatformKit/Ui/OffscreenUiRenderer.h"
#include "PlatformKit/Ui/SdlWindowHost.h"

using namespace kestrelune;
using namespace kestrelune::testing;
namespace fs = std::filesystem;

namespace {

struct Rgb {
    int r, g, b;
};

Rgb rgbOf(const pk::Color& c) {
    auto ch = [](double v) { return int(std::lround(v * 255.0)); };
    return {ch(c.red), ch(c.green), ch(c.blue)};
}

// A colour with opacity laid over an opaque one.
Rgb over(const pk::Color& top, const pk::Color& under) {
    auto mix = [&](double t, double u) { return t * top.opacity + u * (1 - top.opacity); };
    return rgbOf(pk::Color{mix(top.red, under.red), mix(top.green, under.green), mix(top.blue, under.blue), 1});
}

// The window's GL side on this thread: a surfaceless context, GL textures, the renderer.
struct PixelWindow {
    std::unique_ptr<pk::gpu::EglPlatform> egl;
    std::unique_ptr<pk::ui::GlTextureFactory> textures;
    std::unique_ptr<pk::ui::UiContext> ctx;
    std::unique_ptr<pk::ui::OffscreenUiRenderer> renderer;

    bool open() {
        try {
            egl = pk::gpu::EglPlatform::create();
        } catch (const pk::StudioError&) {
            return false;
        }
        egl->makeCurrent();
        textures = std::make_unique<pk::ui::GlTextureFactory>();
        ctx = std::make_unique<pk::ui::UiContext>(textures.get());
        renderer = std::make_unique<pk::ui::OffscreenUiRenderer>(*ctx);
        return true;
    }
    ~PixelWindow() {
        renderer.reset();
        ctx.reset();
        textures.reset();
        if (egl) egl->releaseCurrent();
    }
};

struct Pixels {
    std::vector<uint8_t> rgba;
    int width = 0, height = 0;
    Rgb at(float x, float y) const {
        const int ix = std::clamp(int(x), 0, width - 1), iy = std::clamp(int(y), 0, height - 1);
        const uint8_t* p = &rgba[(size_t(iy) * size_t(width) + size_t(ix)) * 4];
        return {p[0], p[1], p[2]};
    }
};

void expectColour(const Pixels& px, float x, float y, Rgb want, const char* what) {
    const Rgb got = px.at(x, y);
    EXPECT_TRUE(std::abs(got.r - want.r) <= 2 && std::abs(got.g - want.g) <= 2 && std::abs(got.b - want.b) <= 2)
        << what << " at (" << x << ", " << y << "): got (" << got.r << ", " << got.g << ", " << got.b
        << "), want (" << want.r << ", " << want.g << ", " << want.b << ")";
}

pk::image::RgbaImage solid(int w, int h, uint8_t r, uint8_t g, uint8_t b) {
    auto img = pk::image::RgbaImage::blank(w, h);
    for (size_t i = 0; i < img.bytes.size(); i += 4) {
        img.bytes[i] = r;
        img.bytes[i + 1] = g;
        img.bytes[i + 2] = b;
        img.bytes[i + 3] = 255;
    }
    return img;
}

TEST(StudioWindowPixels, BarsColumnsAndDividersSitWhereTheLayoutPutsThem) {
    PixelWindow gl;
    if (!gl.open()) GTEST_SKIP() << "no headless OpenGL 4.5 context";
    pk::MainQueue queue;
    auto engine = std::make_shared<FakeEngine>();
    auto panels = std::make_shared<pk::ui::ScriptedFilePanels>();
    StudioViewModel vm(StudioServices{engine, std::make_shared<FakeExporters>(), std::make_shared<FakeScore>(), panels,
                                      [] { return builtinItems(); }, &queue});
    StudioMainView view(vm, solid(8, 8, 200, 40, 120));
    pk::ui::UiDriver driver(*gl.ctx, [&] { view.draw(ImVec2(0, 0), ImGui::GetIO().DisplaySize); });

    const Rgb bar = rgbOf(StudioWindowPalette::topBarBackground);
    const Rgb column = rgbOf(StudioWindowPalette::columnBackground);
    const Rgb divider = over(StudioWindowPalette::divider, StudioWindowPalette::windowBackground);
    const Rgb image{200, 40, 120};
    for (auto [w, h] : {std::pair{1180, 740}, std::pair{1600, 1000}}) {
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        driver.setWindowSize(float(w), float(h));
        driver.frame(3);
        Pixels px{gl.renderer->draw(w, h, StudioWindowPalette::windowBackground), w, h};
        const float fw = float(w), fh = float(h);
        const float columnsTop = driver.require("browser/tabs").rect.y - 12;  // the tab switch's padding
        const float dividerY = columnsTop - 1;
        const auto& strip = driver.require("viewport/strip/panel").rect;
        const float midY = (columnsTop + strip.y) * 0.5f;

        expectColour(px, driver.require("topBar/subtitle").rect.maxX() + 6, 3, bar, "top bar");
        expectColour(px, fw * 0.5f, dividerY - 1, bar, "top bar above its divider");
        expectColour(px, fw * 0.5f, dividerY, divider, "divider under the top bar");
        expectColour(px, 124, fh - 4, column, "left column");
        expectColour(px, 247, midY, column, "left column's last point");
        expectColour(px, 248, midY, divider, "left divider at 248");
        expectColour(px, 249, midY, image, "viewport from 249");
        expectColour(px, fw - 310, midY, image, "viewport to the right divider");
        expectColour(px, fw - 309, midY, divider, "right divider 308 points from the edge");
        expectColour(px, fw - 307, midY, column, "right column");
        expectColour(px, (249 + fw - 309) * 0.5f, strip.y - 1, divider, "divider over the map strip");
        const auto& exportMaps = driver.require("viewport/strip/exportMaps").rect;
        expectColour(px, exportMaps.x - 6, exportMaps.centerY(), column, "map strip");
        EXPECT_NEAR(strip.maxY(), fh, 0.5f) << "the strip ends at the window's bottom";
    }
}

// ---- Screenshots on the real engine -------------------------------------------------------

TEST(StudioWindowPixels, ScreenshotsOfEveryInspectorTab) {
    PixelWindow gl;
    if (!gl.open()) GTEST_SKIP() << "no headless OpenGL 4.5 context";
    std::shared_ptr<pk::gpu::HeadlessDevice> device;
    try {
        device = pk::gpu::HeadlessDevice::create();
    } catch (const pk::StudioError& e) {
        GTEST_SKIP() << e.description;
    }
    pk::MainQueue queue;
    auto renderer = lookdev::LookDevMetalEngine::create(device, pk::Clock::system(), &queue);
    ASSERT_TRUE(renderer);
    auto engine = std::make_shared<LiveStudioEngine>(renderer);
    auto panels = std::make_shared<pk::ui::ScriptedFilePanels>();
    StudioViewModel vm(StudioServices{engine, std::make_shared<LiveStudioExportSuite>(renderer), nullptr, panels,
                                      [] { return lookdev::StudioAssetCatalog::discoverAssets("/nonexistent-kestrelune"); },
                                      &queue});
    vm.selectAsset(vm.assets->front());

    const fs::path out = fs::path(KS_TEST_OUTPUT_DIR) / "studio-window";
    fs::create_directories(out);
    for (auto [w, h] : {std::pair{1180, 740}, std::pair{1600, 1000}}) {
        // Lay the window out once to learn the viewport's size, then show a still of the
        // engine in its place, as large as the area it is stretched over.
        std::optional<ImVec4> area;
        {
            StudioMainView probeView(vm, pk::image::RgbaImage::blank(1, 1));
            pk::ui::UiDriver d(*gl.ctx, [&] { probeView.draw(ImVec2(0, 0), ImGui::GetIO().DisplaySize); },
                               pk::ui::FrameInput{float(w), float(h)});
            d.frame(2);
            const auto& r = d.require("viewport/staticImage").rect;
            area = ImVec4(r.x, r.y, r.width, r.height);
        }
        auto still = renderer->renderOffscreenCGImage(int64_t(area->z), int64_t(area->w));
        ASSERT_TRUE(still);
        StudioMainView view(vm, std::move(*still));
        pk::ui::UiDriver driver(*gl.ctx, [&] { view.draw(ImVec2(0, 0), ImGui::GetIO().DisplaySize); },
                                pk::ui::FrameInput{float(w), float(h)});
        for (InspectorTab tab : kInspectorTabAllCases) {
            view.setInspectorTab(tab);
            driver.frame(3);
            const auto rgba = gl.renderer->draw(w, h, StudioWindowPalette::windowBackground);
            const fs::path file = out / ("studio-" + std::string(rawValue(tab)) + "-" + std::to_string(w) + "x" +
                                         std::to_string(h) + ".png");
            pk::image::writePng(file, rgba.data(), w, h, size_t(w) * 4, pk::image::ChannelOrder::rgba);
            EXPECT_TRUE(fs::file_size(file) > 10000) << file;
        }
        // The material grid of the browser as well.
        driver.click("browser/tabs/1");
        const auto rgba = gl.renderer->draw(w, h, StudioWindowPalette::windowBackground);
        pk::image::writePng(out / ("studio-browser-Materials-" + std::to_string(w) + "x" + std::to_string(h) + ".png"),
                            rgba.data(), w, h, size_t(w) * 4, pk::image::ChannelOrder::rgba);
    }
    vm.cancelAndJoinExports();
}

}  // namespace
