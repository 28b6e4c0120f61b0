#include "PlatformKit/Ui/UiPinchGesture.h"

#include <SDL2/SDL.h>

#include <algorithm>
#include <cmath>
#include <string>

namespace pk::ui {

namespace {
// A pinch whose starting finger distance SDL cannot tell: about a third of the surface.
constexpr float kNominalDistance = 0.3f;
constexpr float kWheelStep = 1.1f;
}  // namespace

TouchPinchInput& TouchPinchInput::shared() {
    static TouchPinchInput input;
    return input;
}

void TouchPinchInput::handleEvent(const SDL_Event& e) {
    if (e.type == SDL_MULTIGESTURE) {
        if (e.mgesture.numFingers < 2) return;
        float now = 0;
        SDL_Finger* a = SDL_GetTouchFinger(e.mgesture.touchId, 0);
        SDL_Finger* b = SDL_GetTouchFinger(e.mgesture.touchId, 1);
        if (a && b) now = std::hypot(a->x - b->x, a->y - b->y);
        gesture(e.mgesture.dDist, now);
    } else if (e.type == SDL_FINGERUP) {
        lift();
    }
}

void TouchPinchInput::gesture(float distanceDelta, float distanceNow) {
    if (!std::isfinite(distanceDelta)) return;
    std::lock_guard lock(mutex_);
    if (!active_) {
        active_ = true;
        ++pinch_;
        const float before = distanceNow > 0 ? distanceNow - distanceDelta : kNominalDistance;
        startDistance_ = std::max(before, 0.01f);
        distance_ = startDistance_;
    }
    distance_ = distanceNow > 0 ? distanceNow : distance_ + distanceDelta;
}

void TouchPinchInput::lift() {
    std::lock_guard lock(mutex_);
    if (!active_) return;
    active_ = false;
    endedPinch_ = pinch_;
    endedMagnification_ = std::max(distance_ / startDistance_, 0.05f);
}

TouchPinchInput::Snapshot TouchPinchInput::snapshot() const {
    std::lock_guard lock(mutex_);
    Snapshot s;
    s.active = active_;
    s.magnification = active_ ? std::max(distance_ / startDistance_, 0.05f) : 1.0f;
    s.pinch = pinch_;
    s.endedPinch = endedPinch_;
    s.endedMagnification = endedMagnification_;
    return s;
}

bool TouchPinchInput::takeEnd(uint64_t pinch, float& magnification) {
    std::lock_guard lock(mutex_);
    if (endedPinch_ != pinch) return false;
    endedPinch_.reset();
    magnification = endedMagnification_;
    return true;
}

PinchState pinchGesture(std::string_view id, ImVec2 min, ImVec2 max, float settleSeconds) {
    ImGuiStorage* st = ImGui::GetStateStorage();
    const ImGuiID base = ImGui::GetID(id.data(), id.data() + id.size());
    const ImGuiID kWheelMag = base + 1, kWheelLast = base + 2, kTouchPinch = base + 3;
    const bool hovered =
        ImGui::IsWindowHovered(ImGuiHoveredFlags_AllowWhenBlockedByActiveItem) && ImGui::IsMouseHoveringRect(min, max);
    const ImGuiIO& io = ImGui::GetIO();
    const float now = float(ImGui::GetTime());
    PinchState state;

    // Ctrl + wheel: notches multiply; the pinch settles once the wheel has been still.
    float wheel = st->GetFloat(kWheelMag, 0.0f);  // 0: no wheel pinch
    if (hovered && io.KeyCtrl && io.MouseWheel != 0.0f) {
        wheel = (wheel > 0 ? wheel : 1.0f) * std::pow(kWheelStep, io.MouseWheel);
        st->SetFloat(kWheelMag, wheel);
        st->SetFloat(kWheelLast, now);
    }
    if (wheel > 0) {
        if (now - st->GetFloat(kWheelLast, now) >= settleSeconds) {
            state.ended = wheel;
            st->SetFloat(kWheelMag, 0.0f);
        } else {
            state.active = true;
            state.magnification = wheel;
        }
    }

    // Touch: a pinch belongs to the rectangle it started over.
    TouchPinchInput& touch = TouchPinchInput::shared();
    const auto snap = touch.snapshot();
    const int owned = st->GetInt(kTouchPinch, 0);
    if (snap.active && owned != int(snap.pinch) && hovered) st->SetInt(kTouchPinch, int(snap.pinch));
    if (st->GetInt(kTouchPinch, 0) == int(snap.pinch) && snap.pinch != 0) {
        float final = 1;
        if (snap.active) {
            state.active = true;
            state.magnification *= snap.magnification;
        } else if (touch.takeEnd(snap.pinch, final)) {
            state.ended = state.ended.value_or(1.0f) * final;
            st->SetInt(kTouchPinch, 0);
        }
    }
    return state;
}

}  // namespace pk::ui
