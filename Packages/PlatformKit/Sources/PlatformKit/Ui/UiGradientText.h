#pragma once
// Text (symbols included) filled with a linear gradient across its own bounds, and drawn
// at any size from the font's atlas entry (scaled, so sizes that change every frame never
// rebuild the atlas).
#include <string_view>

#include "PlatformKit/Ui/UiWidgets.h"

namespace pk::ui {

// Draws `text` with its top-left at `pos`. Returns its size.
ImVec2 drawGradientText(ImDrawList* dl, ImFont* font, float size, ImVec2 pos, std::string_view text,
                        const LinearGradient& gradient);

}  // namespace pk::ui
