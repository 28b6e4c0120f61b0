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
        ctx_.makeCurrent();
        ImGuiIO& io = ImGui::GetIO();
        io.MousePos = ImVec2(mouseX_, mouseY_);
        io.MouseDown[0] = down_;
        ctx_.beginHeadlessFrame(frame_);
        if (view_) view_();
        ctx_.endFrame();
        io.MouseWheel = 0;
    }
}

const ProbeRecord& UiDriver::require(std::string_view id) const {
    const ProbeRecord* r = ctx_.probe().find(id);
    if (!r) throw StudioError("PlatformKit.Ui", 1, "No control \"" + std::string(id) + "\" in the last frame.");
    return *r;
}

void UiDriver::moveTo(float x, float y) {
    mouseX_ = x;
    mouseY_ = y;
    frame();
}

void UiDriver::clickAt(float x, float y) {
    mouseX_ = x;
    mouseY_ = y;
    down_ = false;
    frame();  // hover first, as a real pointer would
    down_ = true;
    frame();
    down_ = false;
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
    down_ = true;
    frame();
    down_ = false;
    frame();
}

void UiDriver::drag(float fromX, float fromY, float toX, float toY, int steps) {
    mouseX_ = fromX;
    mouseY_ = fromY;
    down_ = false;
    frame();
    down_ = true;
    frame();
    steps = std::max(steps, 1);
    for (int i = 1; i <= steps; ++i) {
        float t = float(i) / float(steps);
        mouseX_ = fromX + (toX - fromX) * t;
        mouseY_ = fromY + (toY - fromY) * t;
        frame();
    }
    down_ = false;
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
    mouseX_ = x;
    mouseY_ = y;
    frame();
    ctx_.makeCurrent();
    ImGuiIO& io = ImGui::GetIO();
    io.MouseWheel = wheelLines;
    io.KeyCtrl = ctrl;
    frame();
    ctx_.makeCurrent();
    io.KeyCtrl = false;
    frame();
}

void UiDriver::typeText(std::string_view utf8) {
    ctx_.makeCurrent();
    std::string s(utf8);
    ImGui::GetIO().AddInputCharactersUTF8(s.c_str());
    frame();
}

void UiDriver::typeInto(std::string_view id, std::string_view utf8) {
    click(id);
    typeText(utf8);
}

void UiDriver::pressKey(ImGuiKey key, bool ctrl, bool shift) {
    ctx_.makeCurrent();
    ImGuiIO& io = ImGui::GetIO();
    int index = io.KeyMap[key];
    io.KeyCtrl = ctrl;
    io.KeyShift = shift;
    if (index >= 0 && index < int(IM_ARRAYSIZE(io.KeysDown))) io.KeysDown[index] = true;
    frame();
    ctx_.makeCurrent();
    if (index >= 0 && index < int(IM_ARRAYSIZE(io.KeysDown))) io.KeysDown[index] = false;
    io.KeyCtrl = io.KeyShift = false;
    frame();
}

}  // namespace pk::ui
