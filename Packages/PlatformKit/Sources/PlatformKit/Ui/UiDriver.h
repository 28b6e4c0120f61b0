#pragma once
// Drives a view headless through the context's input queue, across frames: clicks,
// drags, scrolls and typing aimed at controls found in the probe. Each step is one event
// per frame, as a slow hand gives; input() queues events to arrive between two frames,
// as a fast hand (or a slow frame) gives, and settle() runs frames until they are in.
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

    // Events queued here all arrive before the next frame.
    UiInputQueue& input() { return ctx_.input(); }
    // The io.KeysDown index of a named key in this context.
    int keyIndex(ImGuiKey key) const;
    // Frames until every queued event is in, then one more so the probe shows the result.
    void settle(int maxFrames = 200);

private:
    UiContext& ctx_;
    std::function<void()> view_;
    FrameInput frame_;
};

}  // namespace pk::ui
