#pragma once
// Texts, labels, buttons and a switch in the platform's semantic text styles and tint
// colours, for views laid out like the platform's stacks (see UiLayout.h). Each reports
// itself to the probe with its colour as the record's value (colorValue), so view tests
// can check colours without pixels.
#include <string>
#include <string_view>

#include "PlatformKit/Foundation/Color.h"
#include "PlatformKit/Ui/ImGui.h"
#include "PlatformKit/Ui/UiFonts.h"
#include "PlatformKit/Ui/UiProbe.h"

namespace pk::ui {

// The desktop platform's text styles, in points.
struct TextStyle {
    static FontSpec headline() { return FontSpec{13, FontWeight::bold}; }
    static FontSpec body(FontWeight w = FontWeight::regular) { return FontSpec{13, w}; }
    static FontSpec subheadline(FontWeight w = FontWeight::regular) { return FontSpec{11, w}; }
    static FontSpec caption(FontWeight w = FontWeight::regular) { return FontSpec{10, w}; }
    static FontSpec caption2(FontWeight w = FontWeight::regular) { return FontSpec{10, w}; }
};

// "r g b a" with three decimals: the probe value of a tinted control.
std::string colorValue(const Color& c);

// Size of a text in a font, wrapped at `wrapWidth` when > 0.
ImVec2 measureStyledText(std::string_view text, const FontSpec& font, float wrapWidth = 0);
// A text in one font and colour, wrapped at `wrapWidth` when > 0. Kind text.
void styledText(std::string_view id, std::string_view text, const FontSpec& font, const Color& color,
                float wrapWidth = 0);

// A symbol followed by a title (either may be empty), one colour. Kind text, the symbol
// name in the record.
ImVec2 measureTintedLabel(std::string_view title, std::string_view symbol, const FontSpec& font);
void tintedLabel(std::string_view id, std::string_view title, std::string_view symbol, const FontSpec& font,
                 const Color& color);

enum class ButtonProminence {
    plain,      // the tinted title alone
    bordered,   // tinted title on a faint fill of the tint
    prominent,  // white title on the tint
};
ImVec2 measureTintedButton(std::string_view title, std::string_view symbol, const FontSpec& font,
                           ButtonProminence prominence);
// A rounded button in a tint. True when clicked. Kind button, value the tint.
bool tintedButton(std::string_view id, std::string_view title, std::string_view symbol, const FontSpec& font,
                  const Color& tint, ButtonProminence prominence);

// A bare switch (no title), 38 × 22 points. True when flipped (value updated). Kind
// toggle, value "on" or "off".
inline const ImVec2 kSwitchSize{38, 22};
bool switchControl(std::string_view id, bool& value);

}  // namespace pk::ui
