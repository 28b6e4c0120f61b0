#pragma once
// Drives a view headless through ImGui's input, across frames: clicks, drags, scrolls and
// typing aimed at controls found in the probe. (ImGui 1.86 has no input event queue: the
// driver writes io.MousePos / MouseDown / MouseWheel / KeysDown before each frame.)
#include <functional>
#include <string_view>

#include "PlatformKit/Ui/UiContext.h"

namespace pk::ui {

class UiDriver {
public:
    // `view` draws one frame's content (windows included) into the current context.
    UiDriver(UiContext& ctx, std::function<void()> view, FrameInput frame = {});

    void setView(std::function<void()> view) { view_ = std::move(view); }
    void setWindowSize(float width, float height);
    // Runs `count` frames with the current input.
    void frame(int count = 1);
    const UiProbe& probe() const { return ctx_.probe(); }
    // The control in the last frame; throws pk::StudioError when it was not drawn.
    const ProbeRecord& require(std::string_view id) const;

    void moveTo(float x, float y);
    void clickAt(float x, float y);
    void click(std::string_view id);          // press and release at the control's centre
    void doubleClick(std::string_view id);
    // Press at `from`, move in `steps` frames to `to`, release.
    void drag(float fromX, float fromY, float toX, float toY, int steps = 6);
    // Drags a slider's thumb from its centre to `fraction` (0..1) of its track.
    void dragSlider(std::string_view id, float fraction, int steps = 6);
    void scroll(float x, float y, float wheelLines, bool ctrl = false);  // ctrl: pinch-style zoom
    void typeText(std::string_view utf8);     // into whatever has keyboard focus
    void typeInto(std::string_view id, std::string_view utf8);  // click the field, type
    void pressKey(ImGuiKey key, bool ctrl = false, bool shift = false);

private:
    UiContext& ctx_;
    std::function<void()> view_;
    FrameInput frame_;
    float mouseX_ = -1, mouseY_ = -1;
    bool down_ = false;
};

}  // namespace pk::ui
