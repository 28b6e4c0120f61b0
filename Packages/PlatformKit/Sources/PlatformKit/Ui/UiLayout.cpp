#include "PlatformKit/Ui/UiLayout.h"

#include <algorithm>

namespace pk::ui {

ImVec2 hstackSize(const std::vector<StackItem>& items, float spacing) {
    float width = 0, height = 0;
    for (const auto& item : items) {
        if (!item.draw) continue;
        width += item.size.x;
        height = std::max(height, item.size.y);
    }
    if (items.size() > 1) width += spacing * float(items.size() - 1);
    return ImVec2(width, height);
}

ImVec2 hstack(const std::vector<StackItem>& items, float spacing, float width) {
    const ImVec2 origin = ImGui::GetCursorScreenPos();
    const ImVec2 content = hstackSize(items, spacing);
    const float fixed = content.x, height = content.y;
    const auto spacers = std::count_if(items.begin(), items.end(), [](const StackItem& i) { return !i.draw; });
    const float room = width > 0 ? width : std::max(ImGui::GetContentRegionAvail().x, 0.0f);
    const float share = spacers ? std::max(room - fixed, 0.0f) / float(spacers) : 0.0f;
    float x = origin.x;
    for (const auto& item : items) {
        if (!item.draw) {
            x += share + spacing;
            continue;
        }
        ImGui::SetCursorScreenPos(ImVec2(x, origin.y + (height - item.size.y) * 0.5f));
        item.draw();
        x += item.size.x + spacing;
    }
    const ImVec2 size(spacers ? std::max(room, fixed) : fixed, height);
    ImGui::SetCursorScreenPos(origin);
    ImGui::Dummy(ImVec2(std::max(size.x, 1.0f), std::max(size.y, 1.0f)));
    return size;
}

void dropShadow(ImDrawList* dl, ImVec2 min, ImVec2 max, const Shape& shape, const Color& color, float radius,
                ImVec2 offset) {
    if (color.opacity <= 0) return;
    constexpr int layers = 8;
    for (int i = 0; i < layers; ++i) {
        // Widest and faintest first; the layers add up towards the colour near the shape.
        const float spread = radius * float(layers - i) / float(layers);
        Shape s = shape;
        if (s.kind == Shape::roundedRectangle) s.radius += spread;
        fillShape(dl, ImVec2(min.x + offset.x - spread, min.y + offset.y - spread),
                  ImVec2(max.x + offset.x + spread, max.y + offset.y + spread), s,
                  withOpacity(color, color.opacity / layers));
    }
}

}  // namespace pk::ui
