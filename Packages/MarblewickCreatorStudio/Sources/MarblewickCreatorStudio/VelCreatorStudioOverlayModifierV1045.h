#pragma once
// The creator overlay as an ImGui component: laid over any screen rectangle (the studio's
// viewport), it draws a draggable, pinch-resizable facecam bubble with a control pill under
// it, a toolbar capsule at the left edge (camera, background cut-out, microphone, recording
// and clip buttons) and a transient toast under the toolbar. It owns its controller,
// created on the first draw and torn down with the overlay.
//
// The viewport pane keeps one overlay in a unique_ptr and calls velCreatorStudioOverlay()
// every frame with its facecam flag, after drawing the content the overlay covers.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "MarblewickCreatorStudio/VelCreatorStudioControllerV1045.h"
#include "MarblewickCreatorStudio/VelViralAutoClipper9x16V1030.h"
#include "PlatformKit/Foundation/CancelToken.h"
#include "PlatformKit/Ui/ImGui.h"
#include "PlatformKit/Ui/UiTextures.h"
#include "PlatformKit/Ui/UiWidgets.h"

namespace creator {

class VelCreatorStudioOverlayModifierV1045 {
public:
    // Writes one 9:16 clip of the three strings, blocking its thread, and stops (leaving no
    // file) once `cancel` is set; no receipt (or an exception) is a failure.
    using ClipExport = std::function<std::optional<VelViralClipReceiptV1030>(
        const std::string& gameTitle, const std::string& highlightHeadline, const std::string& statBadge,
        const pk::CancelToken& cancel)>;

    static constexpr double kToastSeconds = 3.0;
    static constexpr double kClipSeconds = 3.0;
    static constexpr int kClipFps = 30;
    static constexpr float kDragThreshold = 10;
    static constexpr double kScaleStep = 0.18;
    static constexpr const char* kClipSaved = "Saved 9:16 Viral Clip!";
    static constexpr const char* kClipFailed = "Clip export failed";

    struct Environment {
        VelCreatorStudioControllerV1045::Environment studio;  // its queue serves the overlay too
        ClipExport exportClip;  // the 9:16 exporter (3 s at 30 fps, into the clips folder) when empty
    };

    VelCreatorStudioOverlayModifierV1045(std::string gameTitle, std::string highlightHeadline, std::string statBadge);
    VelCreatorStudioOverlayModifierV1045(std::string gameTitle, std::string highlightHeadline, std::string statBadge,
                                        Environment env);
    // Cancels a clip export in flight and waits for it (so quitting leaves no half-written
    // clip behind), tears the controller down (camera stopped, clock cancelled, a recording
    // saved) and releases the camera texture.
    ~VelCreatorStudioOverlayModifierV1045();
    VelCreatorStudioOverlayModifierV1045(const VelCreatorStudioOverlayModifierV1045&) = delete;
    VelCreatorStudioOverlayModifierV1045& operator=(const VelCreatorStudioOverlayModifierV1045&) = delete;

    // Draws over the screen rectangle (min, size) inside the current ImGui window, above
    // whatever that window drew there before. The first call creates the controller.
    void draw(ImVec2 areaMin, ImVec2 areaSize);

    // Null before the first draw.
    VelCreatorStudioControllerV1045* studio() { return studio_.get(); }
    const std::optional<std::string>& clipToast() const { return clipToast_; }
    // Gesture states: zero and 1 outside a drag or pinch.
    VelFacecamSize dragDelta() const { return dragDelta_; }
    double pinchScale() const { return pinchScale_; }
    // True while a clip export of this process runs (exports never overlap).
    static bool isExportingClip();

    const std::string& gameTitle() const { return gameTitle_; }

private:
    struct Layout;
    void updateFrameTexture();
    void drawBubbleGroup(const Layout& l);
    void drawBubble(ImDrawList* dl, ImVec2 min, ImVec2 max);
    void drawPill(ImVec2 bubbleMin, ImVec2 bubbleMax);
    void report(std::string_view id, pk::ui::ControlKind kind, ImVec2 min, ImVec2 max, std::string_view text,
                std::string_view symbol, pk::ui::ControlState state, std::string value = {});
    void drawToolbar(const Layout& l);
    void trackGroupPress();
    void startClipExport();
    // The end of an export, on the main thread: its toast, for kToastSeconds.
    void showClipToast(bool saved);

    std::string gameTitle_, highlightHeadline_, statBadge_;
    Environment env_;
    pk::MainQueue* queue_ = nullptr;
    std::unique_ptr<VelCreatorStudioControllerV1045> studio_;

    // Drag of the bubble group: from the press on the bubble or its pill.
    bool pressing_ = false;
    bool suppressClicks_ = false;  // the release that ends a drag
    bool dragging_ = false;
    ImVec2 pressOrigin_{0, 0};
    VelFacecamSize dragDelta_{0, 0};
    double pinchScale_ = 1.0;

    std::optional<std::string> clipToast_;

    pk::ui::TextureFactory* textures_ = nullptr;
    ImTextureID texture_{};
    VelCreatorStudioControllerV1045::FrameImage textureFrame_;

    // This overlay's clip export: running, or ended and not joined yet.
    std::thread clipThread_;
    std::shared_ptr<pk::CancelToken> clipCancel_;

    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

// The view extension the viewport pane calls every frame: while `enabled`, draws the
// overlay (creating it the first time) over the area; when not, destroys it, so turning
// the flag on again starts a fresh overlay with its defaults.
void velCreatorStudioOverlay(std::unique_ptr<VelCreatorStudioOverlayModifierV1045>& overlay, bool enabled,
                             ImVec2 areaMin, ImVec2 areaSize, const std::string& gameTitle,
                             const std::string& highlightHeadline, const std::string& statBadge,
                             const VelCreatorStudioOverlayModifierV1045::Environment* env = nullptr);

}  // namespace creator
