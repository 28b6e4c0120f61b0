#include <gtest/gtest.h>

#include <SDL2/SDL.h>
#include <SDL2/SDL_syswm.h>
#include <X11/Xlib.h>
#include <epoxy/gl.h>

#include <cstdio>
#include <filesystem>

#include "XvfbServer.h"
#include "PlatformKit/Ui/SdlWindowHost.h"
#include "PlatformKit/Ui/UiWidgets.h"

using namespace pk::ui;

// Under the sanitizers: SDL's D-Bus connection and the X/GL driver stack keep allocations
// until exit that are not this code's; leak checks stay on in every other Ui test.
extern "C" const char* __lsan_default_options() { return "detect_leaks=0"; }

// A 400 × 300 window (at least 320 × 240) on a private X server.
struct SdlWindowHostTest : ::testing::Test {
    void SetUp() override {
        if (!x.start("1024x768x24")) GTEST_SKIP() << "Xvfb is not available: the window host is not tested here";
        setenv("DISPLAY", x.display().c_str(), 1);
        setenv("SDL_VIDEODRIVER", "x11", 1);
        std::string error;
        host = SdlWindowHost::create(WindowOptions{"Ui host test", 400, 300, 320, 240, true, false, false}, &error);
        if (!host) GTEST_SKIP() << "no OpenGL 4.5 window on this display: " << error;
    }
    void TearDown() override {
        host.reset();
        SDL_Quit();  // the process owns SDL; this also drops SDL's D-Bus connection
    }
    pk::ui::testing::XvfbServer x;
    std::unique_ptr<SdlWindowHost> host;
};

TEST_F(SdlWindowHostTest, OpensAGl45WindowDrawsTheKitAndReadsTheFrameBack) {

    int clicks = 0;
    RadialGradientSpec gold{{pk::Color{0.96, 0.68, 0.18, 1}, pk::Color{0.96, 0.68, 0.18, 0.32}, pk::Color{0, 0, 0, 0.85}},
                            0.35f, 0.30f, 4, 56};
    auto view = [&] {
        ImGui::SetNextWindowPos(ImVec2(0, 0));
        ImGui::SetNextWindowSize(ImGui::GetIO().DisplaySize);
        ImGui::PushStyleColor(ImGuiCol_WindowBg, ImVec4(0, 0, 0, 0));
        ImGui::Begin("root", nullptr, ImGuiWindowFlags_NoDecoration | ImGuiWindowFlags_NoBackground);
        ImGui::SetCursorPos(ImVec2(40, 40));
        ImGui::BeginChild("column", ImVec2(200, 100));
        if (primaryButton("render", "Render Turntable MP4...", "film.fill")) ++clicks;
        text("caption", "16:9 Cinema (1920\u00D71080) \u2014 4096\u00B2 \u00B7 12.3 ms", FontSpec{15, FontWeight::medium});
        radialSwatch("swatch", gold, ImVec2(100, 56), 8);
        ImGui::EndChild();
        ImGui::End();
        ImGui::PopStyleColor();
    };
    std::vector<uint8_t> pixels;
    host->ui().font(FontSpec{15, FontWeight::medium});  // asked before the first frame, as the studio does
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(host->pollEvents());
        host->renderFrame(view, pk::Color{0.045, 0.052, 0.07, 1}, &pixels);
    }
    int w = 0, h = 0;
    host->drawableSize(w, h);
    ASSERT_EQ(pixels.size(), size_t(w) * size_t(h) * 4);
    const ProbeRecord* button = host->ui().probe().find("render");
    ASSERT_NE(button, nullptr);
    auto px = [&](float fx, float fy) {
        int ix = int(fx * float(w) / 400.0f), iy = int(fy * float(h) / 300.0f);
        return &pixels[(size_t(iy) * size_t(w) + size_t(ix)) * 4];
    };
    const uint8_t* left = px(button->rect.x + 5, button->rect.centerY());
    EXPECT_NEAR(left[0], 90, 12) << "the gradient starts at system cyan";
    EXPECT_NEAR(left[1], 200, 12);
    EXPECT_NEAR(left[2], 245, 12);
    const uint8_t* background = px(10, 10);
    EXPECT_NEAR(background[0], 11, 2);
    EXPECT_NEAR(background[2], 18, 2);
    const ProbeRecord* swatch = host->ui().probe().find("swatch");
    ASSERT_NE(swatch, nullptr);
    const uint8_t* centre = px(swatch->rect.x + 35, swatch->rect.y + 17);
    EXPECT_NEAR(centre[0], 245, 6) << "the swatch texture went through GL";
    EXPECT_NEAR(centre[1], 173, 6);
    EXPECT_NEAR(centre[2], 46, 6);
    EXPECT_EQ(clicks, 0);
    // The font atlas lives once, on the GPU: one texture of its width (none left over from
    // an atlas built before the first frame), no CPU copy kept.
    const ImFontAtlas& atlas = *ImGui::GetIO().Fonts;
    EXPECT_EQ(atlas.TexPixelsAlpha8, nullptr);
    EXPECT_EQ(atlas.TexPixelsRGBA32, nullptr);
    host->makeCurrent();
    int atlasTextures = 0;
    for (GLuint name = 1; name < 512; ++name) {
        if (!glIsTexture(name)) continue;
        GLint tw = 0, th = 0;  // the kit's own textures are far narrower than an atlas
        glGetTextureLevelParameteriv(name, 0, GL_TEXTURE_WIDTH, &tw);
        glGetTextureLevelParameteriv(name, 0, GL_TEXTURE_HEIGHT, &th);
        if (tw == atlas.TexWidth && th >= 64) ++atlasTextures;  // an atlas, of any generation
    }
    EXPECT_EQ(atlasTextures, 1);
    // For a person to look at.
    std::filesystem::create_directories(KS_TEST_OUTPUT_DIR);
    FILE* f = std::fopen(KS_TEST_OUTPUT_DIR "/ui-window-host.ppm", "wb");
    if (f) {
        std::fprintf(f, "P6 %d %d 255\n", w, h);
        for (size_t i = 0; i < pixels.size(); i += 4) std::fwrite(&pixels[i], 1, 3, f);
        std::fclose(f);
    }
}

namespace {

void push(SDL_Event e) { SDL_PushEvent(&e); }

SDL_Event keyEvent(SDL_Scancode code, bool down) {
    SDL_Event e{};
    e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.key.keysym.scancode = code;
    e.key.keysym.sym = SDL_GetKeyFromScancode(code);
    return e;
}

SDL_Event buttonEvent(SDL_Window* w, int x, int y, bool down) {
    SDL_Event e{};
    e.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
    e.button.windowID = SDL_GetWindowID(w);
    e.button.button = SDL_BUTTON_LEFT;
    e.button.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.button.clicks = 1;
    e.button.x = x;
    e.button.y = y;
    return e;
}

}  // namespace

// What a slow frame meets: events that come and go between two frames, and a window made
// smaller than its minimum where no window manager keeps the hint.
TEST_F(SdlWindowHostTest, KeepsInputThatComesBetweenFramesAndItsMinimumSize) {

    std::string value = "abcdef";
    auto view = [&] {
        ImGui::SetNextWindowPos(ImVec2(0, 0));
        ImGui::SetNextWindowSize(ImGui::GetIO().DisplaySize);
        ImGui::Begin("root", nullptr, ImGuiWindowFlags_NoDecoration);
        textField("field", "Name", value, 200);
        ImGui::End();
    };
    auto frames = [&](int n) {
        for (int i = 0; i < n; ++i) {
            ASSERT_TRUE(host->pollEvents());
            host->renderFrame(view);
        }
    };
    frames(2);
    const ProbeRecord* field = host->ui().probe().find("field");
    ASSERT_NE(field, nullptr);
    const int fx = int(field->rect.centerX()), fy = int(field->rect.centerY());
    // A click, four Backspaces and a letter, all before one frame.
    push(buttonEvent(host->window(), fx, fy, true));
    push(buttonEvent(host->window(), fx, fy, false));
    for (int i = 0; i < 4; ++i) {
        push(keyEvent(SDL_SCANCODE_BACKSPACE, true));
        push(keyEvent(SDL_SCANCODE_BACKSPACE, false));
    }
    SDL_Event text{};
    text.type = SDL_TEXTINPUT;
    std::snprintf(text.text.text, sizeof text.text.text, "Z");
    push(text);
    frames(40);
    EXPECT_EQ(value, "abZ");

    // Shrunk from outside SDL, as a user's tool does on a bare X server.
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    ASSERT_TRUE(SDL_GetWindowWMInfo(host->window(), &info));
    ASSERT_EQ(info.subsystem, SDL_SYSWM_X11);
    XResizeWindow(info.info.x11.display, info.info.x11.window, 200, 120);
    XFlush(info.info.x11.display);
    int w = 0, h = 0;
    for (int i = 0; i < 100; ++i) {
        frames(1);
        SDL_Delay(10);
        XWindowAttributes a;
        XGetWindowAttributes(info.info.x11.display, info.info.x11.window, &a);
        w = a.width;
        h = a.height;
        if (i > 20 && w >= 320 && h >= 240) break;
    }
    EXPECT_EQ(w, 320);
    EXPECT_EQ(h, 240);
}
