#include "PlatformKit/Ui/UiTintedControls.h"

#include <algorithm>

#include "PlatformKit/Foundation/Numbers.h"
#include "PlatformKit/Ui/UiPalette.h"
#include "PlatformKit/Ui/UiWidgets.h"

namespace pk::ui {

namespace {

constexpr float kSymbolGap = 5;
constexpr float kButtonPadH = 10, kButtonPadV = 4, kButtonRadius = 6;

struct LabelParts {
    std::string glyph;
    ImVec2 glyphSize, titleSize, size;
};

LabelParts labelParts(std::string_view title, std::string_view symbol, const FontSpec& font) {
    LabelParts p;
    p.glyph = glyphFor(symbol);
    p.glyphSize = p.glyph.empty() ? ImVec2(0, 0) : measureText(p.glyph, font);
    p.titleSize = title.empty() ? ImVec2(0, 0) : measureText(title, font);
    const float gap = (!p.glyph.empty() && !title.empty()) ? kSymbolGap : 0.0f;
    p.size = ImVec2(p.glyphSize.x + gap + p.titleSize.x, std::max({p.glyphSize.y, p.titleSize.y, font.size}));
    return p;
}

void drawLabelParts(ImDrawList* dl, ImVec2 origin, float height, const LabelParts& p, std::string_view title,
                    const FontSpec& font, ImU32 col) {
    ImFont* f = fontFor(font);
    float x = origin.x;
    if (!p.glyph.empty()) {
        dl->AddText(f, font.size, ImVec2(x, origin.y + (height - p.glyphSize.y) * 0.5f), col, p.glyph.c_str());
        x += p.glyphSize.x + (title.empty() ? 0.0f : kSymbolGap);
    }
    if (!title.empty())
        dl->AddText(f, font.size, ImVec2(x, origin.y + (height - p.titleSize.y) * 0.5f), col, title.data(),
                    title.data() + title.size());
}

}  // namespace

std::string colorValue(const Color& c) {
    return formatC("%.3f %.3f %.3f %.3f", c.red, c.green, c.blue, c.opacity);
}

ImVec2 measureStyledText(std::string_view text, const FontSpec& font, float wrapWidth) {
    return measureText(text, font, wrapWidth);
}

void styledText(std::string_view id, std::string_view str, const FontSpec& font, const Color& color, float wrapWidth) {
    const ImVec2 size = measureText(str, font, wrapWidth);
    ImGui::Dummy(size);
    const ImVec2 a = ImGui::GetItemRectMin(), b = ImGui::GetItemRectMax();
    if (!str.empty())
        ImGui::GetWindowDrawList()->AddText(fontFor(font), font.size, a, toImU32(color), str.data(),
                                            str.data() + str.size(), wrapWidth);
    reportRect(id, ControlKind::text, a, b, str, {}, {}, colorValue(color));
}

ImVec2 measureTintedLabel(std::string_view title, std::string_view symbol, const FontSpec& font) {
    return labelParts(title, symbol, font).size;
}

void tintedLabel(std::string_view id, std::string_view title, std::string_view symbol, const FontSpec& font,
                 const Color& color) {
    const LabelParts p = labelParts(title, symbol, font);
    ImGui::Dummy(p.size);
    const ImVec2 a = ImGui::GetItemRectMin(), b = ImGui::GetItemRectMax();
    drawLabelParts(ImGui::GetWindowDrawList(), a, p.size.y, p, title, font, toImU32(color));
    reportRect(id, ControlKind::text, a, b, title, symbol, {}, colorValue(color));
}

namespace {
ImVec2 buttonPadding(ButtonProminence prominence) {
    return prominence == ButtonProminence::plain ? ImVec2(0, 0) : ImVec2(kButtonPadH, kButtonPadV);
}
}  // namespace

ImVec2 measureTintedButton(std::string_view title, std::string_view symbol, const FontSpec& font,
                           ButtonProminence prominence) {
    const ImVec2 s = labelParts(title, symbol, font).size, pad = buttonPadding(prominence);
    return ImVec2(s.x + 2 * pad.x, s.y + 2 * pad.y);
}

bool tintedButton(std::string_view id, std::string_view title, std::string_view symbol, const FontSpec& font,
                  const Color& tint, ButtonProminence prominence) {
    const LabelParts p = labelParts(title, symbol, font);
    const ImVec2 pad = buttonPadding(prominence);
    const ImVec2 size(p.size.x + 2 * pad.x, p.size.y + 2 * pad.y);
    const bool pressed = ImGui::InvisibleButton(("##" + std::string(id)).c_str(), size);
    const bool held = ImGui::IsItemActive();
    const ImVec2 a = ImGui::GetItemRectMin(), b = ImGui::GetItemRectMax();
    ImDrawList* dl = ImGui::GetWindowDrawList();
    const float dim = held ? 0.8f : 1.0f;
    if (prominence != ButtonProminence::plain) {
        Color fill = prominence == ButtonProminence::prominent ? tint : withOpacity(tint, tint.opacity * 0.2);
        fill.opacity *= dim;
        fillShape(dl, a, b, Shape::rounded(kButtonRadius), fill);
    }
    const Color fg = prominence == ButtonProminence::prominent ? white() : tint;
    drawLabelParts(dl, ImVec2(a.x + pad.x, a.y + pad.y), p.size.y, p, title, font, toImU32(fg, dim));
    reportRect(id, ControlKind::button, a, b, title, symbol, {}, colorValue(tint));
    return pressed;
}

bool switchControl(std::string_view id, bool& value) {
    const bool pressed = ImGui::InvisibleButton(("##" + std::string(id)).c_str(), kSwitchSize);
    if (pressed) value = !value;
    const ImVec2 a = ImGui::GetItemRectMin(), b = ImGui::GetItemRectMax();
    drawSwitch(ImGui::GetWindowDrawList(), a, b, value);
    reportRect(id, ControlKind::toggle, a, b, {}, {}, ControlState{value, true}, value ? "on" : "off");
    return pressed;
}

}  // namespace pk::ui
