#include "PlatformKit/Ui/SdlWindowHost.h"
#include "PlatformKit/Ui/UiPinchGesture.h"

#include <SDL2/SDL.h>
#include <epoxy/gl.h>

#include <algorithm>

#include "PlatformKit/Foundation/DebugLog.h"

#include <backends/imgui_impl_opengl3.h>
#include <backends/imgui_impl_sdl.h>

namespace pk::ui {

ImTextureID GlTextureFactory::create(int width, int height, const uint8_t* rgba) {
    GLuint tex = 0;
    glGenTextures(1, &tex);
    glBindTexture(GL_TEXTURE_2D, tex);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    sizes_[tex] = {width, height};
    return reinterpret_cast<ImTextureID>(intptr_t(tex));
}

void GlTextureFactory::update(ImTextureID id, int width, int height, const uint8_t* rgba) {
    const GLuint tex = GLuint(reinterpret_cast<intptr_t>(id));
    auto it = sizes_.find(tex);
    if (it == sizes_.end()) return;
    glBindTexture(GL_TEXTURE_2D, tex);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    if (it->second == std::pair{width, height}) {
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    } else {
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
        it->second = {width, height};
    }
}

void GlTextureFactory::destroy(ImTextureID id) {
    GLuint tex = GLuint(reinterpret_cast<intptr_t>(id));
    if (!tex) return;
    glDeleteTextures(1, &tex);
    sizes_.erase(tex);
}

std::unique_ptr<SdlWindowHost> SdlWindowHost::create(const WindowOptions& o, std::string* error) {
    auto fail = [&](std::string why) {
        if (error) *error = std::move(why);
        return std::unique_ptr<SdlWindowHost>();
    };
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return fail(std::string("SDL video: ") + SDL_GetError());
    std::unique_ptr<SdlWindowHost> host(new SdlWindowHost());
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 4);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 5);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 8);
    Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_ALLOW_HIGHDPI | (o.resizable ? SDL_WINDOW_RESIZABLE : 0) |
                   (o.hidden ? SDL_WINDOW_HIDDEN : SDL_WINDOW_SHOWN);
    host->window_ = SDL_CreateWindow(o.title.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, o.width, o.height, flags);
    if (!host->window_) {
        std::string why = std::string("SDL window: ") + SDL_GetError();
        host.reset();
        return fail(why);
    }
    host->minWidth_ = std::max(o.minWidth, 0);
    host->minHeight_ = std::max(o.minHeight, 0);
    if (o.minWidth > 0 || o.minHeight > 0) SDL_SetWindowMinimumSize(host->window_, o.minWidth, o.minHeight);
    host->gl_ = SDL_GL_CreateContext(host->window_);
    if (!host->gl_) {
        std::string why = std::string("OpenGL 4.5 core context: ") + SDL_GetError();
        host.reset();
        return fail(why);
    }
    SDL_GL_MakeCurrent(host->window_, host->gl_);
    if (epoxy_gl_version() < 45) {
        host.reset();
        return fail("OpenGL 4.5 core context: the driver offers only an older version");
    }
    SDL_GL_SetSwapInterval(o.vsync ? 1 : 0);
    host->textures_ = std::make_unique<GlTextureFactory>();
    host->ui_ = std::make_unique<UiContext>(host->textures_.get());
    host->ui_->makeCurrent();
    if (!ImGui_ImplSDL2_InitForOpenGL(host->window_, host->gl_) || !ImGui_ImplOpenGL3_Init("#version 450")) {
        host.reset();
        return fail("ImGui backends could not start");
    }
    host->backends_ = true;
    if (!o.hidden) SDL_RaiseWindow(host->window_);
    return host;
}

SdlWindowHost::~SdlWindowHost() {
    if (window_ && gl_) SDL_GL_MakeCurrent(window_, gl_);
    if (ui_) {
        ui_->makeCurrent();
        if (backends_) {
            ImGui_ImplOpenGL3_Shutdown();
            ImGui_ImplSDL2_Shutdown();
        }
        // Swatch textures go while the context is still current.
        ui_.reset();
    }
    textures_.reset();
    if (gl_) SDL_GL_DeleteContext(gl_);
    if (window_) SDL_DestroyWindow(window_);
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

void SdlWindowHost::makeCurrent() {
    SDL_GL_MakeCurrent(window_, gl_);
    ui_->makeCurrent();
}

void SdlWindowHost::drawableSize(int& width, int& height) const { SDL_GL_GetDrawableSize(window_, &width, &height); }

namespace {

KeyModifiers modifiersOf(Uint16 mod) {
    return KeyModifiers{(mod & KMOD_CTRL) != 0, (mod & KMOD_SHIFT) != 0, (mod & KMOD_ALT) != 0, (mod & KMOD_GUI) != 0};
}

// SDL's buttons in ImGui's order: left, right, middle, then the two extra ones.
int imguiButton(Uint8 button) {
    switch (button) {
        case SDL_BUTTON_LEFT: return 0;
        case SDL_BUTTON_RIGHT: return 1;
        case SDL_BUTTON_MIDDLE: return 2;
        case SDL_BUTTON_X1: return 3;
        case SDL_BUTTON_X2: return 4;
        default: return -1;
    }
}

}  // namespace

bool SdlWindowHost::queueInput(const SDL_Event& e) {
    UiInputQueue& in = ui_->input();
    switch (e.type) {
        case SDL_MOUSEMOTION:
            in.mouseMoved(float(e.motion.x), float(e.motion.y));
            return true;
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP:
            in.mouseMoved(float(e.button.x), float(e.button.y));
            in.mouseButton(imguiButton(e.button.button), e.type == SDL_MOUSEBUTTONDOWN, e.button.clicks);
            return true;
        case SDL_MOUSEWHEEL: {
            // The precise travel: a notch is 1, a trackpad gives fractions.
            const float flip = e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -1.0f : 1.0f;
            in.wheel(e.wheel.preciseX * flip, e.wheel.preciseY * flip);
            return true;
        }
        case SDL_KEYDOWN:
        case SDL_KEYUP:
            in.key(int(e.key.keysym.scancode), e.type == SDL_KEYDOWN, modifiersOf(e.key.keysym.mod));
            return true;
        case SDL_TEXTINPUT:
            in.text(e.text.text);
            return true;
        case SDL_WINDOWEVENT:
            if (e.window.event == SDL_WINDOWEVENT_LEAVE) in.mouseLeft();
            if (e.window.event == SDL_WINDOWEVENT_FOCUS_LOST) in.releaseAll();
            return false;  // ImGui's backend follows the focus too
        default:
            return false;
    }
}

void SdlWindowHost::enforceMinimumSize() {
    // A window manager keeps the size hint; without one (a bare X server) nothing does.
    int w = 0, h = 0;
    SDL_GetWindowSize(window_, &w, &h);
    if (w >= minWidth_ && h >= minHeight_) return;
    SDL_SetWindowSize(window_, std::max(w, minWidth_), std::max(h, minHeight_));
}

bool SdlWindowHost::pollEvents(const std::function<void(const SDL_Event&)>& onEvent) {
    ui_->makeCurrent();
    const Uint32 id = SDL_GetWindowID(window_);
    SDL_Event e;
    while (SDL_PollEvent(&e)) {
        if (!queueInput(e)) ImGui_ImplSDL2_ProcessEvent(&e);
        TouchPinchInput::shared().handleEvent(e);  // ImGui has no gestures of its own
        if (e.type == SDL_QUIT) quit_ = true;
        if (e.type == SDL_WINDOWEVENT && e.window.windowID == id) {
            if (e.window.event == SDL_WINDOWEVENT_CLOSE) quit_ = true;
            if (e.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) enforceMinimumSize();
        }
        if (onEvent) onEvent(e);
    }
    return !quit_;
}

void SdlWindowHost::renderFrame(const std::function<void()>& build, const Color& clearColor, std::vector<uint8_t>* capture) {
    makeCurrent();
    // Before the first frame the backend has no objects yet, and its NewFrame makes them,
    // font texture included; making that texture here as well would leave this one behind.
    if (ui_->prepareFrame() && presented_) {
        ImGui_ImplOpenGL3_DestroyFontsTexture();
        ImGui_ImplOpenGL3_CreateFontsTexture();
    }
    ImGui_ImplOpenGL3_NewFrame();
    // The atlas is on the GPU now; its CPU pixels are read again only by a rebuild, which
    // makes them anew (ImGui keeps the atlas counted as built).
    ImGui::GetIO().Fonts->ClearTexData();
    ImGui_ImplSDL2_NewFrame();
    ui_->newFrame();
    if (build) build();
    ui_->endFrame();
    int w = 0, h = 0;
    drawableSize(w, h);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glViewport(0, 0, w, h);
    glClearColor(float(clearColor.red), float(clearColor.green), float(clearColor.blue), float(clearColor.opacity));
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    ImGui_ImplOpenGL3_RenderDrawData(ImGui::GetDrawData());
    if (capture && w > 0 && h > 0) {
        std::vector<uint8_t> rows(size_t(w) * size_t(h) * 4);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadBuffer(GL_BACK);
        glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, rows.data());
        capture->resize(rows.size());
        size_t stride = size_t(w) * 4;
        for (int y = 0; y < h; ++y)
            std::copy_n(&rows[size_t(h - 1 - y) * stride], stride, &(*capture)[size_t(y) * stride]);
    }
    SDL_GL_SwapWindow(window_);
    // Start-up is measured to this line (the start-up benchmark waits for it).
    if (!presented_) {
        presented_ = true;
        debugLog("window", "first frame presented");
    }
}

}  // namespace pk::ui
