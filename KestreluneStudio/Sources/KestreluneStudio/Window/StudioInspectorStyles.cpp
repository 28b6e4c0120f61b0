#include "KestreluneStudio/Window/StudioInspectorStyles.h"

#include <algorithm>

#include "KestreluneStudio/Window/StudioWindowPalette.h"

namespace kestrelune::inspector {

using namespace pk::ui;

bool secondaryActionButton(std::string_view id, std::string_view title, std::string_view symbol, bool enabled,
                           float width) {
    LabelStyle style = secondaryActionStyle();
    if (width > 0) {
        style.fullWidth = false;
        style.width = width;
    }
    return labelButton(id, title, symbol, style, ControlState{false, enabled});
}

void inspectorDivider() { divider(StudioWindowPalette::divider); }

LabelStyle tabButtonStyle(bool selected, float width) {
    LabelStyle s;
    s.font = FontSpec{10, selected ? FontWeight::semibold : FontWeight::medium};
    s.symbolSize = 12;
    s.vertical = true;
    s.spacing = 3;
    s.width = width;
    s.paddingV = 8;
    s.shape = Shape::rounded(7);
    s.fill = selected ? white(0.12) : UiPalette::clear;
    s.foreground = selected ? white() : white(0.55);
    return s;
}

LabelStyle rigCardStyle(bool selected, float width) {
    LabelStyle s;
    s.font = FontSpec{11, selected ? FontWeight::semibold : FontWeight::medium};
    s.width = width;
    s.paddingV = 8;
    s.shape = Shape::rounded(7);
    s.fill = selected ? withOpacity(UiPalette::cyan, 0.22) : white(0.05);
    s.stroke = selected ? withOpacity(UiPalette::cyan, 0.55) : white(0.07);
    s.foreground = white();
    return s;
}

TrailingControlRow beginTrailingControlRow(std::string_view label, float controlWidth, float controlHeight) {
    const FontSpec font{11, FontWeight::medium};
    const ImVec2 textSize = measureText(label, font);
    const ImVec2 origin = ImGui::GetCursorScreenPos();
    const float avail = ImGui::GetContentRegionAvail().x;
    const float height = std::max(textSize.y, controlHeight);
    ImGui::SetCursorScreenPos(ImVec2(origin.x, origin.y + (height - textSize.y) * 0.5f));
    text("label:" + std::string(label), label, font, white(0.72));
    ImGui::SetCursorScreenPos(
        ImVec2(origin.x + std::max(avail - controlWidth, textSize.x + 8), origin.y + (height - controlHeight) * 0.5f));
    return TrailingControlRow{origin, height};
}

void endTrailingControlRow(const TrailingControlRow& row) {
    // One item for the whole row, so the stack's spacing follows its full height.
    ImGui::SetCursorScreenPos(row.origin);
    ImGui::Dummy(ImVec2(1, row.height));
}

CardStyle auditCardStyle() {
    CardStyle s;
    s.padding = 11;
    s.spacing = 7;
    s.shape = Shape::rounded(9);
    s.fill = white(0.04);
    s.stroke = white(0.08);
    return s;
}

CardStyle receiptCardStyle() {
    CardStyle s;
    s.padding = 11;
    s.spacing = 5;
    s.shape = Shape::rounded(9);
    s.fill = withOpacity(UiPalette::green, 0.09);
    s.stroke = withOpacity(UiPalette::green, 0.32);
    return s;
}

CardStyle progressBoxStyle() {
    CardStyle s;
    s.padding = 10;
    s.spacing = 6;
    s.shape = Shape::rounded(8);
    s.fill = white(0.05);
    return s;
}

}  // namespace kestrelune::inspector
