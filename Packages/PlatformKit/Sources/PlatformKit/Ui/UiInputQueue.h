#pragma once
// Input events in the order they happened, handed to ImGui one frame at a time.
//
// ImGui 1.86 samples its input state once per frame: a key pressed and released between
// two frames is never seen down, and two clicks between two frames are one. The queue
// applies events until the next one would undo or reorder what this frame already
// changed (the same key or button again, text after an editing key, a move after a
// press) and keeps the rest for the following frames. At any frame rate nothing is lost
// and the order holds; plain typing still goes in one frame.
#include <array>
#include <bitset>
#include <cfloat>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

#include "PlatformKit/Ui/ImGui.h"

namespace pk::ui {

struct KeyModifiers {
    bool ctrl = false, shift = false, alt = false, super = false;
    bool operator==(const KeyModifiers&) const = default;
};

class UiInputQueue {
public:
    static constexpr int kButtons = 5;  // left, right, middle, two extra
    static constexpr int kKeys = 512;   // io.KeysDown

    void mouseMoved(float x, float y);
    // The pointer left the window: no position until it comes back (kept while a button
    // is held, as a drag goes on outside).
    void mouseLeft();
    // `clicks`: the platform's count of quick successive presses (2 for a double-click).
    void mouseButton(int button, bool down, int clicks = 1);
    // Wheel travel in notches, positive up and right; trackpads give fractions.
    void wheel(float dx, float dy);
    // `key`: the io.KeysDown index (what io.KeyMap holds); others are ignored.
    void key(int key, bool down, KeyModifiers modifiers);
    void modifiers(KeyModifiers modifiers);
    void text(std::string_view utf8);
    // Focus lost: every key and button counts as released.
    void releaseAll();

    // Before ImGui::NewFrame: applies the events that fit into one frame and writes the
    // state they leave (pointer, buttons, wheel, keys, modifiers, text) into io.
    void applyTo(ImGuiIO& io);
    bool hasPending() const { return !events_.empty(); }
    // The click count of a press applied by the last applyTo, 0 when there was none.
    int pressClickCount(int button) const;

private:
    struct Event {
        enum class Kind : uint8_t { move, leave, button, wheel, key, modifiers, text, releaseAll };
        Kind kind = Kind::move;
        float x = 0, y = 0;
        int index = 0;
        bool down = false;
        int clicks = 0;
        KeyModifiers mods;
        std::string text;
    };
    // Keys whose order against text and other keys matters to ImGui: editing and
    // navigation keys, and any key pressed with Ctrl, Alt or Super (a shortcut).
    static bool isOrdered(const ImGuiIO& io, const Event& e);
    static Event make(Event::Kind kind, float x = 0, float y = 0);

    std::deque<Event> events_;
    ImVec2 pos_{-FLT_MAX, -FLT_MAX};
    std::array<bool, kButtons> buttons_{};
    std::bitset<kKeys> keys_;
    KeyModifiers mods_;
    std::array<int, kButtons> pressClicks_{};
};

// The platform's click count for a press of `button` in this frame of the current
// context (2 for the second press of a double-click), whatever the frame rate; 0 when
// the button was not pressed in this frame.
int mouseClickCount(int button);

}  // namespace pk::ui
