#include "KestreluneStudio/Window/StudioWindowDrawing.h"

#include <algorithm>

#include "PlatformKit/Ui/UiContext.h"

namespace kestrelune::window {

using namespace pk::ui;

void report(std::string_view id, ControlKind kind, ImVec2 min, ImVec2 max, std::string_view text,
            std::string_view symbol, bool selected, std::string value) {
    reportRect(id, kind, min, max, text, symbol, ControlState{selected, true}, std::move(value));
}

void drawText(ImDrawList* dl, ImVec2 pos, std::string_view text, const FontSpec& font, const pk::Color& color) {
    if (text.empty() || color.opacity <= 0) return;
    dl->AddText(fontFor(font), font.size, pos, toImU32(color), text.data(), text.data() + text.size());
}

void placeText(std::string_view id, ImVec2 pos, std::string_view str, const FontSpec& font, const pk::Color& color) {
    ImGui::SetCursorScreenPos(pos);
    text(id, str, font, color);
}

bool placeButton(std::string_view id, ImVec2 pos, std::string_view title, std::string_view symbol,
                 const LabelStyle& style, bool selected) {
    ImGui::SetCursorScreenPos(pos);
    return labelButton(id, title, symbol, style, ControlState{selected, true});
}

void placeLabel(std::string_view id, ImVec2 pos, std::string_view title, std::string_view symbol,
                const LabelStyle& style) {
    ImGui::SetCursorScreenPos(pos);
    label(id, title, symbol, style);
}

bool hitArea(std::string_view id, ImVec2 min, ImVec2 max) {
    ImGui::SetCursorScreenPos(min);
    const std::string imguiId = "##" + std::string(id);
    return ImGui::InvisibleButton(imguiId.c_str(), ImVec2(std::max(max.x - min.x, 1.0f), std::max(max.y - min.y, 1.0f)));
}

LabelStyle hudChipStyle() {
    LabelStyle s;
    s.font = FontSpec{10, FontWeight::semibold};
    s.paddingH = 10;
    s.paddingV = 6;
    s.shape = Shape::capsuleShape();
    s.fill = UiPalette::ultraThinMaterial;
    s.stroke = white(0.14);
    return s;
}

}  // namespace kestrelune::window
