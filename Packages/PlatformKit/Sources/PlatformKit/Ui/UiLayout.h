#pragma once
// Stack layout over ImGui for views written like the platform's: a row that centres its
// items vertically and shares the room left over among spacers, and a soft drop shadow.
// Cards (padded stacks on a shaped background) are in UiCard.h.
#include <functional>
#include <string_view>
#include <vector>

#include "PlatformKit/Foundation/Color.h"
#include "PlatformKit/Ui/ImGui.h"
#include "PlatformKit/Ui/UiCard.h"
#include "PlatformKit/Ui/UiPalette.h"
#include "PlatformKit/Ui/UiWidgets.h"

namespace pk::ui {

struct StackItem {
    ImVec2 size{0, 0};
    std::function<void()> draw;  // draws the item at the cursor in `size`; none: a spacer
    static StackItem spacer() { return {}; }
};

// Lays the items out left to right, `spacing` apart, each centred in the row's height
// (its tallest item). Spacers share what is left of `width` (0: the available width);
// a row without spacers is only as wide as its items. Returns the row's size.
ImVec2 hstack(const std::vector<StackItem>& items, float spacing = 8, float width = 0);
// The size hstack gives the items when no spacer widens the row: their widths and the
// spacing between them, and the tallest height. For sizing a background before the row.
ImVec2 hstackSize(const std::vector<StackItem>& items, float spacing = 8);

// A blurred-looking shadow of a shape: layers of the colour spread over `radius` points,
// moved by `offset`. Draw before the shape itself.
void dropShadow(ImDrawList* dl, ImVec2 min, ImVec2 max, const Shape& shape, const Color& color, float radius,
                ImVec2 offset);

}  // namespace pk::ui
