#pragma once
// The studio's widget kit over ImGui: shapes (capsules, rounded rectangles, gradients),
// label buttons in the inspector styles, continuous sliders, segmented controls, toggles,
// value rows, section headers, text fields, pickers, menus and radial swatches. Every
// control reports itself to the probe of the current UiContext as it is drawn.
// Sizes are points; ids are local to the enclosing ProbeScope.
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "PlatformKit/Foundation/Color.h"
#include "PlatformKit/Ui/ImGui.h"
#include "PlatformKit/Ui/UiFonts.h"
#include "PlatformKit/Ui/UiPalette.h"
#include "PlatformKit/Ui/UiProbe.h"
#include "PlatformKit/Ui/UiTextures.h"

namespace pk::ui {

// ---- Shapes on a draw list --------------------------------------------------------------

struct Shape {
    enum Kind : uint8_t { rectangle, roundedRectangle, capsule, circle } kind = rectangle;
    float radius = 0;  // rounded rectangles
    static Shape rounded(float r) { return {roundedRectangle, r}; }
    static Shape capsuleShape() { return {capsule, 0}; }
    static Shape circleShape() { return {circle, 0}; }
};

struct LinearGradient {
    Color from, to;
    ImVec2 start{0, 0.5f}, end{1, 0.5f};  // unit points of the shape's bounds
};

// Builds the outline path (a full capsule is two half circles joined by straight edges,
// whatever the aspect; ImGui's own rounding stops short of it).
void pathShape(ImDrawList* dl, ImVec2 min, ImVec2 max, const Shape& shape);
void fillShape(ImDrawList* dl, ImVec2 min, ImVec2 max, const Shape& shape, const Color& color);
void strokeShape(ImDrawList* dl, ImVec2 min, ImVec2 max, const Shape& shape, const Color& color, float width = 1.0f);
void fillShapeGradient(ImDrawList* dl, ImVec2 min, ImVec2 max, const Shape& shape, const LinearGradient& g);
// Recolours the vertices drawn white from `firstVertex` on along the gradient over min..max.
// Their own opacity scales the result, so anti-aliased fringes keep their fade.
void shadeVerticesLinear(ImDrawList* dl, int firstVertex, ImVec2 min, ImVec2 max, const LinearGradient& g);

// ---- Text and labels --------------------------------------------------------------------

ImFont* fontFor(const FontSpec& spec);
// Size of a text, wrapped at wrapWidth when > 0. An empty text is one line high.
ImVec2 measureText(std::string_view text, const FontSpec& font, float wrapWidth = 0);
// What to draw for a symbol with the current context's fonts; empty for no symbol.
std::string glyphFor(std::string_view symbol);

struct LabelStyle {
    FontSpec font;
    Color foreground = white();
    float paddingH = 0, paddingV = 0;
    bool fullWidth = false;           // stretch to the available width, content centred
    float width = 0, height = 0;      // fixed frame when > 0
    Shape shape = Shape::rounded(0);
    Color fill = UiPalette::clear;
    std::optional<LinearGradient> gradient;
    Color stroke = UiPalette::clear;
    float strokeWidth = 1;
    bool vertical = false;            // symbol above the title
    float spacing = 6;                // between symbol and title
    float symbolSize = 0;             // 0 = the title's size
};

// Size of a label (title and/or symbol) in a style, padding included.
ImVec2 measureLabel(std::string_view title, std::string_view symbol, const LabelStyle& style);

struct ControlState {
    bool selected = false;
    bool enabled = true;
};

// A plain-style button whose whole look is the label style. Returns true when clicked.
bool labelButton(std::string_view id, std::string_view title, std::string_view symbol, const LabelStyle& style,
                 ControlState state = {});
// A label drawn without interaction (reported as text).
void label(std::string_view id, std::string_view title, std::string_view symbol, const LabelStyle& style);

// Inspector label styles: primary (12 semibold, cyan→blue gradient, black text) and
// secondary (11 medium, white 8 % fill, white 12 % stroke), full width, radius 8.
LabelStyle primaryActionStyle();
LabelStyle secondaryActionStyle();
bool primaryButton(std::string_view id, std::string_view title, std::string_view symbol, bool enabled = true);
bool secondaryButton(std::string_view id, std::string_view title, std::string_view symbol, bool enabled = true);
// A button made of a symbol alone (e.g. a clear button).
bool symbolButton(std::string_view id, std::string_view symbol, const FontSpec& font, const Color& color, bool enabled = true);

// A text in a font and colour, reported as kind text under `id`.
void text(std::string_view id, std::string_view str, const FontSpec& font, const Color& color = white());
// Upper-cased caption, 10 pt bold, white at 50 %.
void sectionHeader(std::string_view title);
// Label (11 regular, white 58 %) left, value (11 semibold, monospaced digits, white) right.
void valueRow(std::string_view label, std::string_view value);
// Title (11 medium, white 78 %) left, value as "%.2f" (11 regular, mono digits, white 55 %) right.
void sliderValueHeader(std::string_view title, float value);
// A divider line across the available width.
void divider(const Color& color = white(0.08));

// ---- Value controls ---------------------------------------------------------------------

// A continuous slider (no step, no rounding to a display format) with a drawn track, over
// [lo, hi]. Writes `value` while dragged; true on every change of the value.
bool continuousSlider(std::string_view id, float& value, float lo, float hi, float width = 0,
                      const Color& tint = UiPalette::cyan, bool enabled = true);
// The inspector slider block: value header over a cyan continuous slider.
bool inspectorSlider(std::string_view id, std::string_view title, float& value, float lo, float hi);

// Segments of equal width in `width` (0 = available). `selected` may be -1 (none shown).
// Returns the index of a segment pressed this frame, also when it is already selected.
std::optional<int> segmentedControl(std::string_view id, std::span<const std::string> segments, int selected,
                                    float width = 0, const FontSpec& font = FontSpec{11, FontWeight::medium});
// How tall segmentedControl is with `font`, for laying it out beside other controls.
float segmentedControlHeight(const FontSpec& font = FontSpec{11, FontWeight::medium});
// A switch with its title left. True when flipped (value updated).
bool toggle(std::string_view id, std::string_view title, bool& value, const FontSpec& font = FontSpec{12});
// The switch of a toggle in min..max: a capsule, green when on, its knob at the set end.
void drawSwitch(ImDrawList* dl, ImVec2 min, ImVec2 max, bool on);
// A single-line text field. `plain` draws no frame. True on every edit.
bool textField(std::string_view id, std::string_view placeholder, std::string& text, float width = 0,
               const FontSpec& font = FontSpec{12}, bool plain = false);
// A pop-up menu picker titled `title`, showing the selected option (or nothing when -1).
// Returns the option chosen this frame (also when it equals the selection). Options are
// reported as menu items "<id>/<index>" while the menu is open.
std::optional<int> picker(std::string_view id, std::string_view title, std::span<const std::string> options,
                          int selected, float width = 0, const FontSpec& font = FontSpec{12});
// A linear progress bar, value clamped to 0..1 (a non-finite value draws empty).
void progressBar(std::string_view id, double value, float width = 0, const Color& tint = UiPalette::cyan);

// Menu bar pieces over ImGui's menus, reported to the probe.
bool beginMenu(std::string_view id, std::string_view title, bool enabled = true);
void endMenu();
bool menuItem(std::string_view id, std::string_view title, std::string_view shortcut = {}, bool enabled = true);

// A texture drawn in a shape (its exact outline, capsules and circles included), uv0..uv1
// spread over the bounds. Reported as kind image.
void fillShapeImage(ImDrawList* dl, ImVec2 min, ImVec2 max, const Shape& shape, ImTextureID texture,
                    ImVec2 uv0 = ImVec2(0, 0), ImVec2 uv1 = ImVec2(1, 1), const Color& tint = white());
void image(std::string_view id, ImTextureID texture, ImVec2 size, const Shape& shape = Shape{},
           ImVec2 uv0 = ImVec2(0, 0), ImVec2 uv1 = ImVec2(1, 1));

// A rounded swatch filled with a cached radial-gradient texture of its size.
bool radialSwatch(std::string_view id, const RadialGradientSpec& gradient, ImVec2 size, float cornerRadius,
                  bool clickable = false);

// Reports a control that a view drew itself, at the rectangle min..max of the current
// window. An empty rectangle, or one in a hidden window, is reported as not visible.
void reportRect(std::string_view id, ControlKind kind, ImVec2 min, ImVec2 max, std::string_view text,
                std::string_view symbol = {}, ControlState state = {}, std::string value = {});

// Reports a control that a view drew itself with ImGui, at the last item's rectangle.
void reportLastItem(std::string_view id, ControlKind kind, std::string_view text, std::string_view symbol = {},
                    ControlState state = {});

}  // namespace pk::ui
