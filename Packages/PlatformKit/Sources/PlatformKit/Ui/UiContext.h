#pragma once
// One ImGui context per window: no ini file, the studio's dark style, the font library,
// the probe and the small-texture cache. The context in use is found through
// UiContext::current() (it follows ImGui's current context).
#include <memory>

#include "PlatformKit/Ui/ImGui.h"
#include "PlatformKit/Ui/UiFonts.h"
#include "PlatformKit/Ui/UiInputQueue.h"
#include "PlatformKit/Ui/UiProbe.h"
#include "PlatformKit/Ui/UiTextures.h"

namespace pk::ui {

struct FrameInput {
    float width = 1180, height = 740;
    float deltaSeconds = 1.0f / 60.0f;
};

class UiContext {
public:
    // `textures` may be null: a headless factory is used then.
    explicit UiContext(TextureFactory* textures = nullptr);
    ~UiContext();
    UiContext(const UiContext&) = delete;
    UiContext& operator=(const UiContext&) = delete;

    static UiContext* current();
    void makeCurrent();

    ImGuiContext* imgui() const { return ctx_; }
    FontLibrary& fonts() { return *fonts_; }
    UiProbe& probe() { return probe_; }
    RadialSwatchCache& swatches() { return *swatches_; }
    TextureFactory& textures() { return *textures_; }
    // Mouse, keys and text for this context, applied to ImGui at each newFrame().
    UiInputQueue& input() { return input_; }
    ImFont* font(const FontSpec& spec) { return fonts_->font(spec); }
    ImFont* font(float size, FontWeight weight = FontWeight::regular, bool monospacedDigits = false) {
        return fonts_->font(FontSpec{size, weight, monospacedDigits, FontDesign::standard});
    }

    // Window hosts: prepareFrame() (true when the font texture must be uploaded again),
    // then the backends' NewFrame, then newFrame() (which applies the input queue over
    // what the backends wrote); build; endFrame().
    bool prepareFrame();
    void newFrame();
    void endFrame();  // ImGui::Render(); the probe's frame is complete
    bool inFrame() const { return inFrame_; }

    // Headless frame: display size and time step set here, no platform backend.
    void beginHeadlessFrame(const FrameInput& input);

private:
    ImGuiContext* ctx_ = nullptr;
    std::unique_ptr<HeadlessTextureFactory> ownTextures_;
    TextureFactory* textures_ = nullptr;
    std::unique_ptr<FontLibrary> fonts_;
    std::unique_ptr<RadialSwatchCache> swatches_;
    UiProbe probe_;
    UiInputQueue input_;
    bool inFrame_ = false;
};

}  // namespace pk::ui
