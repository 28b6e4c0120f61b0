#include <gtest/gtest.h>

#include "PlatformKit/Foundation/StudioError.h"
#include "PlatformKit/Gpu/EglPlatform.h"
#include "PlatformKit/Ui/OffscreenUiRenderer.h"
#include "PlatformKit/Ui/SdlWindowHost.h"
#include "PlatformKit/Ui/UiDriver.h"
#include "PlatformKit/Ui/UiWidgets.h"

using namespace pk::ui;

TEST(OffscreenUiRenderer, DrawsADrivenViewOnASurfacelessContext) {
    std::unique_ptr<pk::gpu::EglPlatform> egl;
    try {
        egl = pk::gpu::EglPlatform::create();
    } catch (const pk::StudioError& e) {
        GTEST_SKIP() << "no headless OpenGL 4.5 context: " << e.description;
    }
    egl->makeCurrent();
    GlTextureFactory textures;
    {
        UiContext ctx(&textures);
        OffscreenUiRenderer renderer(ctx);
        bool on = false;
        RadialGradientSpec red{{pk::Color{1, 0, 0, 1}, pk::Color{0, 0, 0, 1}}, 0.5f, 0.5f, 10, 30};
        UiDriver driver(ctx, [&] {
            ImGui::SetNextWindowPos(ImVec2(0, 0));
            ImGui::SetNextWindowSize(ImGui::GetIO().DisplaySize);
            ImGui::Begin("root", nullptr, ImGuiWindowFlags_NoDecoration | ImGuiWindowFlags_NoBackground);
            ImGui::SetCursorPos(ImVec2(20, 20));
            ImGui::BeginChild("column", ImVec2(200, 200));
            if (primaryButton("go", on ? "On" : "Off", "play.circle.fill")) on = !on;
            radialSwatch("swatch", red, ImVec2(60, 60), 8);
            ImGui::EndChild();
            ImGui::End();
        }, FrameInput{320, 240});
        driver.frame(2);
        driver.click("go");
        EXPECT_TRUE(on);
        auto px = renderer.draw(320, 240, pk::Color{0, 0, 0, 1});
        ASSERT_EQ(px.size(), 320u * 240u * 4u);
        auto at = [&](float x, float y) { return &px[(size_t(y) * 320 + size_t(x)) * 4]; };
        const ProbeRecord& go = driver.require("go");
        EXPECT_NEAR(at(go.rect.x + 4, go.rect.centerY())[2], 245, 12) << "primary gradient starts at cyan";
        const ProbeRecord& sw = driver.require("swatch");
        const uint8_t* c = at(sw.rect.centerX(), sw.rect.centerY());
        EXPECT_GT(c[0], 240);
        EXPECT_LT(c[1], 15);
        EXPECT_LT(at(5, 5)[0], 3) << "clear colour outside the controls";
    }
    egl->releaseCurrent();
}
