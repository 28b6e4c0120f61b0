#pragma once
// A small SDL2 window host: an SDL window with an OpenGL 4.5 core context, its own
// UiContext with the SDL2 and OpenGL3 ImGui backends, frames, and shut-down.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "PlatformKit/Foundation/Color.h"
#include "PlatformKit/Ui/UiContext.h"

struct SDL_Window;
typedef union SDL_Event SDL_Event;

namespace pk::ui {

struct WindowOptions {
    std::string title = "Window";
    int width = 1180, height = 740;
    int minWidth = 0, minHeight = 0;
    bool resizable = true;
    bool hidden = false;
    bool vsync = true;
};

// GL textures (RGBA8, linear filtering) for the kit's small textures.
class GlTextureFactory : public TextureFactory {
public:
    ImTextureID create(int width, int height, const uint8_t* rgba) override;
    // In place when the size is unchanged, else the same texture name takes new storage.
    void update(ImTextureID id, int width, int height, const uint8_t* rgba) override;
    void destroy(ImTextureID id) override;

private:
    std::unordered_map<unsigned, std::pair<int, int>> sizes_;  // by texture name
};

class SdlWindowHost {
public:
    // Null, with a reason in *error, when SDL video, the window or a 4.5 core context cannot
    // be had. Nothing is left open then.
    static std::unique_ptr<SdlWindowHost> create(const WindowOptions& options, std::string* error = nullptr);
    ~SdlWindowHost();
    SdlWindowHost(const SdlWindowHost&) = delete;
    SdlWindowHost& operator=(const SdlWindowHost&) = delete;

    SDL_Window* window() const { return window_; }
    void* glContext() const { return gl_; }
    UiContext& ui() { return *ui_; }
    void makeCurrent();
    // Drawable size in pixels.
    void drawableSize(int& width, int& height) const;

    // Hands every pending event to ImGui (mouse, keys and text through the context's input
    // queue, so none is lost between frames), then to `onEvent`. Puts the window back to
    // its minimum size when something made it smaller. False once the window was asked
    // to close (or the process to quit).
    bool pollEvents(const std::function<void(const SDL_Event&)>& onEvent = {});
    // Closes the window as its close box does: the next pollEvents() answers false.
    void requestClose() { quit_ = true; }
    // One frame: backends' NewFrame, `build`, clear, ImGui draw, optional read-back of the
    // finished frame (RGBA8, top row first), swap.
    void renderFrame(const std::function<void()>& build, const Color& clearColor = Color{0.045, 0.052, 0.07, 1},
                     std::vector<uint8_t>* capture = nullptr);

private:
    SdlWindowHost() = default;
    // Mouse, key and text events go to the input queue; true when `e` was one.
    bool queueInput(const SDL_Event& e);
    void enforceMinimumSize();

    SDL_Window* window_ = nullptr;
    int minWidth_ = 0, minHeight_ = 0;
    void* gl_ = nullptr;
    std::unique_ptr<GlTextureFactory> textures_;
    std::unique_ptr<UiContext> ui_;
    bool backends_ = false;
    bool quit_ = false;
    bool presented_ = false;  // a frame has been swapped to the screen
};

}  // namespace pk::ui
