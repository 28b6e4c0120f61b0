#pragma once
// The seven studio commands of the File menu with their key equivalents (Ctrl stands
// for the platform's Command key), and the menu bar that shows them. Each command calls
// one view model operation; its outcome shows only through the view model's state.
#include <array>
#include <functional>
#include <string>
#include <string_view>

namespace kestrelune {

class StudioViewModel;

// A key press: the key as its lower-case character and the modifiers held.
struct KeyChord {
    char32_t key = 0;
    bool ctrl = false, shift = false, alt = false, super = false;
};

struct StudioMenuCommand {
    std::string_view id;  // probe id of the menu item
    std::string_view title;
    char key;  // lower-case letter
    bool shift;
    bool dividerBefore;
    void (StudioViewModel::*operation)();

    // "Ctrl+I", "Ctrl+Shift+H".
    std::string shortcutText() const;
    // Modifiers must match exactly: Ctrl, Shift only where the command has it, nothing else.
    bool matches(const KeyChord& chord) const;
};

const std::array<StudioMenuCommand, 7>& studioMenuCommands();
// The command for a key press, or null.
const StudioMenuCommand* studioMenuCommandFor(const KeyChord& chord);

// Quit, the File menu's last item after a divider, and its key: Ctrl+Q, nothing else held.
inline constexpr std::string_view kQuitTitle = "Quit";
inline constexpr std::string_view kQuitShortcut = "Ctrl+Q";
bool isQuitChord(const KeyChord& chord);

// The window's menu bar with the File menu (ImGui's main menu bar). Runs a chosen
// command; Quit calls `quit`, which closes the window as its close box does. Returns the
// bar's height in points.
float drawStudioMenuBar(StudioViewModel& vm, const std::function<void()>& quit = {});

}  // namespace kestrelune
