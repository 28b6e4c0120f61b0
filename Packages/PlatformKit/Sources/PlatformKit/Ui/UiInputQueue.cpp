#include "PlatformKit/Ui/UiInputQueue.h"

#include <algorithm>
#include <cmath>

#include "PlatformKit/Ui/UiContext.h"

namespace pk::ui {

UiInputQueue::Event UiInputQueue::make(Event::Kind kind, float x, float y) {
    Event e;
    e.kind = kind;
    e.x = x;
    e.y = y;
    return e;
}

void UiInputQueue::mouseMoved(float x, float y) { events_.push_back(make(Event::Kind::move, x, y)); }

void UiInputQueue::mouseLeft() { events_.push_back(make(Event::Kind::leave)); }

void UiInputQueue::mouseButton(int button, bool down, int clicks) {
    if (button < 0 || button >= kButtons) return;
    Event e = make(Event::Kind::button);
    e.index = button;
    e.down = down;
    e.clicks = std::max(clicks, 1);
    events_.push_back(std::move(e));
}

void UiInputQueue::wheel(float dx, float dy) {
    if (!std::isfinite(dx) || !std::isfinite(dy) || (dx == 0 && dy == 0)) return;
    events_.push_back(make(Event::Kind::wheel, dx, dy));
}

void UiInputQueue::key(int key, bool down, KeyModifiers modifiers) {
    if (key < 0 || key >= kKeys) return;
    Event e = make(Event::Kind::key);
    e.index = key;
    e.down = down;
    e.mods = modifiers;
    events_.push_back(std::move(e));
}

void UiInputQueue::modifiers(KeyModifiers modifiers) {
    Event e = make(Event::Kind::modifiers);
    e.mods = modifiers;
    events_.push_back(std::move(e));
}

void UiInputQueue::text(std::string_view utf8) {
    if (utf8.empty()) return;
    Event e = make(Event::Kind::text);
    e.text = std::string(utf8);
    events_.push_back(std::move(e));
}

void UiInputQueue::releaseAll() { events_.push_back(make(Event::Kind::releaseAll)); }

bool UiInputQueue::isOrdered(const ImGuiIO& io, const Event& e) {
    if (e.mods.ctrl || e.mods.alt || e.mods.super) return true;
    // Character keys only type text (their state matters to shortcuts alone); every
    // other key ImGui maps edits or moves.
    for (int k = 0; k < ImGuiKey_COUNT; ++k) {
        if (io.KeyMap[k] != e.index) continue;
        switch (k) {
            case ImGuiKey_A: case ImGuiKey_C: case ImGuiKey_V: case ImGuiKey_X: case ImGuiKey_Y: case ImGuiKey_Z:
            case ImGuiKey_Space:
                continue;
            default:
                return true;
        }
    }
    return false;
}

void UiInputQueue::applyTo(ImGuiIO& io) {
    pressClicks_.fill(0);
    float wheelX = 0, wheelY = 0;
    std::bitset<kKeys> keysChanged;
    unsigned buttonsChanged = 0;
    bool typed = false, orderedKeyChanged = false, wheeled = false;
    // A change of modifiers waits while this frame already used the old ones.
    auto modifiersBlocked = [&](const KeyModifiers& m) {
        return m != mods_ && (orderedKeyChanged || buttonsChanged != 0 || wheeled);
    };

    while (!events_.empty()) {
        const Event& e = events_.front();
        bool wait = false;
        switch (e.kind) {
            case Event::Kind::move:
            case Event::Kind::leave:
                // A press, release or wheel happened where the pointer was.
                wait = buttonsChanged != 0 || wheeled;
                if (!wait) {
                    const bool held = std::find(buttons_.begin(), buttons_.end(), true) != buttons_.end();
                    if (e.kind == Event::Kind::move)
                        pos_ = ImVec2(e.x, e.y);
                    else if (!held)
                        pos_ = ImVec2(-FLT_MAX, -FLT_MAX);
                }
                break;
            case Event::Kind::button: {
                const unsigned bit = 1u << e.index;
                wait = (buttonsChanged & bit) != 0;
                if (!wait) {
                    buttons_[size_t(e.index)] = e.down;
                    buttonsChanged |= bit;
                    if (e.down) pressClicks_[size_t(e.index)] = e.clicks;
                }
                break;
            }
            case Event::Kind::wheel:
                wheelX += e.x;
                wheelY += e.y;
                wheeled = true;
                break;
            case Event::Kind::key: {
                const bool ordered = isOrdered(io, e);
                wait = (ordered && (keysChanged.test(size_t(e.index)) || typed)) || modifiersBlocked(e.mods);
                if (!wait) {
                    keys_.set(size_t(e.index), e.down);
                    mods_ = e.mods;
                    if (ordered) {
                        keysChanged.set(size_t(e.index));
                        orderedKeyChanged = true;
                    }
                }
                break;
            }
            case Event::Kind::modifiers:
                wait = modifiersBlocked(e.mods);
                if (!wait) mods_ = e.mods;
                break;
            case Event::Kind::text:
                // ImGui takes a frame's text before its keys: text after an editing key waits.
                wait = orderedKeyChanged;
                if (!wait) {
                    io.AddInputCharactersUTF8(e.text.c_str());
                    typed = true;
                }
                break;
            case Event::Kind::releaseAll:
                wait = buttonsChanged != 0 || orderedKeyChanged;
                if (!wait) {
                    buttons_.fill(false);
                    keys_.reset();
                    mods_ = {};
                }
                break;
        }
        if (wait) break;
        events_.pop_front();
    }

    io.MousePos = pos_;
    for (int b = 0; b < kButtons; ++b) io.MouseDown[b] = buttons_[size_t(b)];
    io.MouseWheel = wheelY;
    io.MouseWheelH = wheelX;
    for (int k = 0; k < kKeys; ++k) io.KeysDown[k] = keys_.test(size_t(k));
    io.KeyCtrl = mods_.ctrl;
    io.KeyShift = mods_.shift;
    io.KeyAlt = mods_.alt;
    io.KeySuper = mods_.super;
}

int UiInputQueue::pressClickCount(int button) const {
    if (button < 0 || button >= kButtons) return 0;
    return pressClicks_[size_t(button)];
}

int mouseClickCount(int button) {
    UiContext* ctx = UiContext::current();
    return ctx ? ctx->input().pressClickCount(button) : 0;
}

}  // namespace pk::ui
