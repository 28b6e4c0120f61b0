#pragma once
// Small drawing and layout helpers shared by the window's panes (not a public interface).
// Panes place every piece at computed screen positions, so the layout rules of the
// window (paddings, spacings, flexible spacers) are plain arithmetic here.
#include <string>
#include <string_view>

#include "PlatformKit/Ui/UiWidgets.h"

namespace kestrelune {

namespace window {

// Reports a control the pane drew itself.
void report(std::string_view id, pk::ui::ControlKind kind, ImVec2 min, ImVec2 max, std::string_view text,
            std::string_view symbol = {}, bool selected = false, std::string value = {});

// Text at a screen position (top-left), without layout or report.
void drawText(ImDrawList* dl, ImVec2 pos, std::string_view text, const pk::ui::FontSpec& font, const pk::Color& color);
// The same, reported as a text control.
void placeText(std::string_view id, ImVec2 pos, std::string_view text, const pk::ui::FontSpec& font,
               const pk::Color& color);

// A label button / label of the kit at a screen position.
bool placeButton(std::string_view id, ImVec2 pos, std::string_view title, std::string_view symbol,
                 const pk::ui::LabelStyle& style, bool selected = false);
void placeLabel(std::string_view id, ImVec2 pos, std::string_view title, std::string_view symbol,
                const pk::ui::LabelStyle& style);

// An invisible hit area at [min, max]; true when clicked.
bool hitArea(std::string_view id, ImVec2 min, ImVec2 max);

// A chip of the viewport's heads-up display: capsule of the ultra-thin material with a
// white 14 % stroke, 10-point semibold, padding 10 by 6.
pk::ui::LabelStyle hudChipStyle();

}  // namespace window
}  // namespace kestrelune
