#pragma once
// Draws the last finished frame of a UiContext into an offscreen framebuffer and reads it
// back: the pixel path for views tested headless (on a surfaceless EGL context, e.g. the
// Gpu module's EglPlatform) or for screenshots of the window.
#include <cstdint>
#include <vector>

#include "PlatformKit/Foundation/Color.h"
#include "PlatformKit/Ui/UiContext.h"

namespace pk::ui {

class OffscreenUiRenderer {
public:
    // Needs an OpenGL 4.5 core context current on the calling thread, for its whole life.
    // Starts ImGui's OpenGL3 renderer on `ctx` (which must have no other renderer).
    explicit OffscreenUiRenderer(UiContext& ctx);
    ~OffscreenUiRenderer();
    OffscreenUiRenderer(const OffscreenUiRenderer&) = delete;
    OffscreenUiRenderer& operator=(const OffscreenUiRenderer&) = delete;

    // RGBA8 of width × height, top row first, of ImGui's last rendered frame.
    std::vector<uint8_t> draw(int width, int height, const Color& clearColor);
    // The same drawing into the offscreen framebuffer, without reading it back (the GL
    // commands are issued, not waited for).
    void render(int width, int height, const Color& clearColor);

private:
    void ensureTarget(int width, int height);
    UiContext& ctx_;
    uint64_t fontGeneration_ = 0;
    bool uploaded_ = false;
    unsigned fbo_ = 0, color_ = 0;
    int width_ = 0, height_ = 0;
};

}  // namespace pk::ui
