#include "PlatformKit/Ui/UiDriver.h"

#include "PlatformKit/Foundation/StudioError.h"

namespace pk::ui {

UiDriver::UiDriver(UiContext& ctx, std::function<void()> view, FrameInput frame)
    : ctx_(ctx), view_(std::move(view)), frame_(frame) {}

void UiDriver::setWindowSize(float width, float height) {
    frame_.width = width;
    frame_.height = height;
}

void UiDriver::frame(int count) {
    for (int i = 0; i < count; ++i) {
        ctx_.beginHeadlessFrame(frame_);
        if (view_) view_();
        ctx_.endFrame();
    }
}

const ProbeRecord& UiDriver::require(std::string_view id) const {
    const ProbeRecord* r = ctx_.probe().find(id);
    if (!r) throw StudioError("PlatformKit.Ui", 1, "No control \"" + std::string(id) + "\" in the last frame.");
    return *r;
}

void UiDriver::moveTo(float x, float y) {
    input().mouseMoved(x, y);
    frame();
}

void UiDriver::clickAt(float x, float y) {
    moveTo(x, y);  // hover first, as a real pointer would
    input().mouseButton(0, true, 1);
    frame();
    input().mouseButton(0, false);
    frame();
    frame();  // so the probe shows what the click changed
}

void UiDriver::click(std::string_view id) {
    // A fresh frame first: a popup measures itself hidden on its first frame, so the
    // rectangle seen before may not be where the control ends up.
    frame();
    const ProbeRecord r = require(id);
    clickAt(r.rect.centerX(), r.rect.centerY());
}

void UiDriver::doubleClick(std::string_view id) {
    const ProbeRecord r = require(id);
    clickAt(r.rect.centerX(), r.rect.centerY());
    input().mouseButton(0, true, 2);
    frame();
    input().mouseButton(0, false);
    frame();
    frame();
}

void UiDriver::drag(float fromX, float fromY, float toX, float toY, int steps) {
    moveTo(fromX, fromY);
    input().mouseButton(0, true, 1);
    frame();
    steps = std::max(steps, 1);
    for (int i = 1; i <= steps; ++i) {
        float t = float(i) / float(steps);
        moveTo(fromX + (toX - fromX) * t, fromY + (toY - fromY) * t);
    }
    input().mouseButton(0, false);
    frame();
    frame();
}

void UiDriver::dragSlider(std::string_view id, float fraction, int steps) {
    const ProbeRecord r = require(id);
    // The thumb travels between the track's ends, inset by its radius.
    const float inset = 8;
    float x = r.rect.x + inset + (r.rect.width - 2 * inset) * fraction;
    drag(r.rect.centerX(), r.rect.centerY(), x, r.rect.centerY(), steps);
}

void UiDriver::scroll(float x, float y, float wheelLines, bool ctrl) {
    moveTo(x, y);
    if (ctrl) input().modifiers(KeyModifiers{true});
    input().wheel(0, wheelLines);
    frame();
    if (ctrl) input().modifiers({});
    frame();
}

void UiDriver::typeText(std::string_view utf8) {
    input().text(utf8);
    frame();
}

void UiDriver::typeInto(std::string_view id, std::string_view utf8) {
    click(id);
    typeText(utf8);
}

int UiDriver::keyIndex(ImGuiKey key) const {
    ctx_.makeCurrent();
    return ImGui::GetIO().KeyMap[key];
}

void UiDriver::pressKey(ImGuiKey key, bool ctrl, bool shift) {
    const KeyModifiers mods{ctrl, shift};
    const int index = keyIndex(key);
    input().key(index, true, mods);
    frame();
    input().key(index, false, mods);
    input().modifiers({});
    frame();
}

void UiDriver::settle(int maxFrames) {
    for (int i = 0; i < maxFrames && ctx_.input().hasPending(); ++i) frame();
    frame();
}

}  // namespace pk::ui
