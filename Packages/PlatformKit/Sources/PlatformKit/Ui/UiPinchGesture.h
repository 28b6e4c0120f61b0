#pragma once
// Pinch to resize, on a desktop: Ctrl + mouse wheel over a rectangle (each notch scales by
// 1.1; the pinch ends shortly after the last notch) and two-finger pinches on touch
// devices, which SDL reports as multi-gesture events that the window host forwards to
// TouchPinchInput. A view reads one PinchState per frame and commits on `ended`.
#include <cstdint>
#include <mutex>
#include <optional>
#include <string_view>

#include "PlatformKit/Ui/ImGui.h"

typedef union SDL_Event SDL_Event;

namespace pk::ui {

struct PinchState {
    float magnification = 1;    // of the pinch in progress; 1 when none runs
    bool active = false;
    std::optional<float> ended;  // the final magnification, on the one frame the pinch ends
};

// Call once per frame while the rectangle is drawn (in the window that draws it). The
// pinch starts only while the pointer is over the rectangle in that window.
PinchState pinchGesture(std::string_view id, ImVec2 min, ImVec2 max, float settleSeconds = 0.3f);

// Touch pinches of the process's window. Thread-safe; hosts call handleEvent for every
// SDL event (or gesture()/lift() directly).
class TouchPinchInput {
public:
    static TouchPinchInput& shared();

    void handleEvent(const SDL_Event& event);
    // One step of a pinch: the change of the fingers' distance (in units of the touch
    // surface's size) and the fingers' distance after it when known (0: unknown).
    void gesture(float distanceDelta, float distanceNow = 0);
    // The fingers left the surface: a pinch in progress ends.
    void lift();

    struct Snapshot {
        bool active = false;
        float magnification = 1;
        uint64_t pinch = 0;                // counts pinches; changes when a new one starts
        std::optional<uint64_t> endedPinch;  // the pinch that ended last, until taken
        float endedMagnification = 1;
    };
    Snapshot snapshot() const;
    // Takes the end of `pinch` once; false when it did not end or was taken.
    bool takeEnd(uint64_t pinch, float& magnification);

private:
    mutable std::mutex mutex_;
    bool active_ = false;
    float startDistance_ = 0;
    float distance_ = 0;
    uint64_t pinch_ = 0;
    std::optional<uint64_t> endedPinch_;
    float endedMagnification_ = 1;
};

}  // namespace pk::ui
