#include "PlatformKit/Ui/OffscreenUiRenderer.h"

#include <epoxy/gl.h>

#include <algorithm>
#include <backends/imgui_impl_opengl3.h>

#include "PlatformKit/Foundation/StudioError.h"

namespace pk::ui {

OffscreenUiRenderer::OffscreenUiRenderer(UiContext& ctx) : ctx_(ctx) {
    ctx_.makeCurrent();
    if (!ImGui_ImplOpenGL3_Init("#version 450"))
        throw StudioError("PlatformKit.Ui", 2, "ImGui's OpenGL renderer could not start.");
}

OffscreenUiRenderer::~OffscreenUiRenderer() {
    ctx_.makeCurrent();
    ImGui_ImplOpenGL3_Shutdown();
    if (fbo_) glDeleteFramebuffers(1, &fbo_);
    if (color_) glDeleteTextures(1, &color_);
}

void OffscreenUiRenderer::ensureTarget(int width, int height) {
    if (fbo_ && width == width_ && height == height_) return;
    if (fbo_) glDeleteFramebuffers(1, &fbo_);
    if (color_) glDeleteTextures(1, &color_);
    glCreateTextures(GL_TEXTURE_2D, 1, &color_);
    glTextureStorage2D(color_, 1, GL_RGBA8, width, height);
    glCreateFramebuffers(1, &fbo_);
    glNamedFramebufferTexture(fbo_, GL_COLOR_ATTACHMENT0, color_, 0);
    if (glCheckNamedFramebufferStatus(fbo_, GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE)
        throw StudioError("PlatformKit.Ui", 3, "The offscreen framebuffer is incomplete.");
    width_ = width;
    height_ = height;
}

std::vector<uint8_t> OffscreenUiRenderer::draw(int width, int height, const Color& clearColor) {
    width = std::clamp(width, 1, 8192);
    height = std::clamp(height, 1, 8192);
    render(width, height, clearColor);
    glBindFramebuffer(GL_FRAMEBUFFER, fbo_);
    std::vector<uint8_t> rows(size_t(width) * size_t(height) * 4), out(rows.size());
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rows.data());
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    size_t stride = size_t(width) * 4;
    for (int y = 0; y < height; ++y) std::copy_n(&rows[size_t(height - 1 - y) * stride], stride, &out[size_t(y) * stride]);
    return out;
}

void OffscreenUiRenderer::render(int width, int height, const Color& clearColor) {
    width = std::clamp(width, 1, 8192);
    height = std::clamp(height, 1, 8192);
    ctx_.makeCurrent();
    // The frame was built before its atlas reached the GPU (headless frames rebuild fonts
    // inside beginHeadlessFrame), so its draw commands still name the old font texture.
    ImTextureID before = ImGui::GetIO().Fonts->TexID;
    if (ctx_.fonts().generation() != fontGeneration_ || !uploaded_) {
        if (uploaded_) ImGui_ImplOpenGL3_DestroyFontsTexture();
        ImGui_ImplOpenGL3_NewFrame();  // creates the device objects, font texture included
        if (uploaded_) ImGui_ImplOpenGL3_CreateFontsTexture();
        uploaded_ = true;
        fontGeneration_ = ctx_.fonts().generation();
    }
    ImTextureID after = ImGui::GetIO().Fonts->TexID;
    if (ImDrawData* data = ImGui::GetDrawData(); data && before != after)
        for (int i = 0; i < data->CmdListsCount; ++i)
            for (auto& cmd : data->CmdLists[i]->CmdBuffer)
                if (cmd.TextureId == before) cmd.TextureId = after;
    ensureTarget(width, height);
    glBindFramebuffer(GL_FRAMEBUFFER, fbo_);
    glViewport(0, 0, width, height);
    glClearColor(float(clearColor.red), float(clearColor.green), float(clearColor.blue), float(clearColor.opacity));
    glClear(GL_COLOR_BUFFER_BIT);
    if (ImDrawData* data = ImGui::GetDrawData()) ImGui_ImplOpenGL3_RenderDrawData(data);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
}

}  // namespace pk::ui
