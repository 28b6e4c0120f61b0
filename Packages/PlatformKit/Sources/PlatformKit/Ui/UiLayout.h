#pragma once
// Stack layout over ImGui for views written like the platform's: a row that centres its
// items vertically and shares the room left over among spacers, a card (a vertical
// stack with padding on a shaped background), and a soft drop shadow.
#include <functional>
#include <string_view>
#include <vector>

#include "PlatformKit/Foundation/Color.h"
#include "PlatformKit/Ui/ImGui.h"
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

// A leading-aligned vertical stack, `spacing` apart, `padding` inside on every side, on a
// filled shape drawn behind it once its height is known. Items must not be wider than
// contentWidth(). Not nested within another card.
class Card {
public:
    Card(float width, float spacing, float padding = 16, Shape shape = Shape::rounded(14),
         Color fill = UiPalette::ultraThinMaterial);
    ~Card();
    Card(const Card&) = delete;
    Card& operator=(const Card&) = delete;
    float contentWidth() const { return width_ - 2 * padding_; }

private:
    ImDrawListSplitter splitter_;
    ImDrawList* drawList_;
    ImVec2 origin_;
    float width_, padding_;
    Shape shape_;
    Color fill_;
};

// A blurred-looking shadow of a shape: layers of the colour spread over `radius` points,
// moved by `offset`. Draw before the shape itself.
void dropShadow(ImDrawList* dl, ImVec2 min, ImVec2 max, const Shape& shape, const Color& color, float radius,
                ImVec2 offset);

}  // namespace pk::ui
