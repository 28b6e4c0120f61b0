#include "PlatformKit/Ui/UiContext.h"

#include "PlatformKit/Ui/UiPalette.h"

namespace pk::ui {

UiContext::UiContext(TextureFactory* textures) {
    IMGUI_CHECKVERSION();
    ImGuiContext* previous = ImGui::GetCurrentContext();
    ctx_ = ImGui::CreateContext();
    ImGui::SetCurrentContext(ctx_);
    ImGuiIO& io = ImGui::GetIO();
    io.IniFilename = nullptr;  // the studio keeps no settings
    io.LogFilename = nullptr;
    io.UserData = this;
    // Headless key map: the driver queues keys by KeyMap[key]; a platform backend
    // replaces the map with its own at init.
    for (int k = 0; k < ImGuiKey_COUNT; ++k) io.KeyMap[k] = k;
    applyStudioStyle(ImGui::GetStyle());
    if (!textures) {
        ownTextures_ = std::make_unique<HeadlessTextureFactory>();
        textures = ownTextures_.get();
    }
    textures_ = textures;
    fonts_ = std::make_unique<FontLibrary>(io.Fonts);
    io.Fonts->TexID = reinterpret_cast<ImTextureID>(intptr_t(1));
    swatches_ = std::make_unique<RadialSwatchCache>(textures_);
    if (previous) ImGui::SetCurrentContext(previous);
}

UiContext::~UiContext() {
    swatches_.reset();
    ImGuiContext* previous = ImGui::GetCurrentContext();
    ImGui::DestroyContext(ctx_);
    if (previous != ctx_) ImGui::SetCurrentContext(previous);
}

UiContext* UiContext::current() {
    if (!ImGui::GetCurrentContext()) return nullptr;
    return static_cast<UiContext*>(ImGui::GetIO().UserData);
}

void UiContext::makeCurrent() { ImGui::SetCurrentContext(ctx_); }

bool UiContext::prepareFrame() {
    makeCurrent();
    return fonts_->rebuildIfNeeded();
}

void UiContext::newFrame() {
    makeCurrent();
    input_.applyTo(ImGui::GetIO());
    ImGui::NewFrame();
    probe_.beginFrame();
    inFrame_ = true;
}

void UiContext::endFrame() {
    makeCurrent();
    ImGui::Render();
    probe_.endFrame();
    inFrame_ = false;
}

void UiContext::beginHeadlessFrame(const FrameInput& input) {
    prepareFrame();
    ImGuiIO& io = ImGui::GetIO();
    io.DisplaySize = ImVec2(input.width, input.height);
    io.DeltaTime = input.deltaSeconds > 0 ? input.deltaSeconds : 1.0f / 60.0f;
    newFrame();
}

}  // namespace pk::ui
