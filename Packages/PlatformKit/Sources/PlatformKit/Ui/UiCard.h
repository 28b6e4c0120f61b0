#pragma once
// A padded vertical stack with a shape drawn behind it (fill, optional stroke) once its
// height is known: the inspector's audit and receipt cards, the progress box, the co-op
// sheet's cards. The content sees the card's inner width as its available width, so
// full-width controls stay inside. Not nested within another card.
#include <string>
#include <string_view>

#include "PlatformKit/Foundation/Color.h"
#include "PlatformKit/Ui/ImGui.h"
#include "PlatformKit/Ui/UiWidgets.h"

namespace pk::ui {

struct CardStyle {
    float padding = 10;
    float spacing = 6;  // between the card's items
    Shape shape = Shape::rounded(8);
    Color fill = UiPalette::clear;
    Color stroke = UiPalette::clear;
    float strokeWidth = 1;
    float width = 0;  // 0: the available width
};

// Begins at the cursor, `style.width` wide (or spanning the available width); the
// destructor closes the group, draws the background behind it and reports the card as a
// panel under `id`.
class Card {
public:
    Card(std::string_view id, const CardStyle& style);
    ~Card();
    Card(const Card&) = delete;
    Card& operator=(const Card&) = delete;
    float contentWidth() const { return width_ - 2 * style_.padding; }

private:
    std::string id_;
    CardStyle style_;
    ImDrawListSplitter splitter_;
    ImDrawList* drawList_ = nullptr;
    ImVec2 origin_;
    float width_ = 0;
    float savedContentMaxX_ = 0, savedWorkMaxX_ = 0;
};

}  // namespace pk::ui
