#include "PlatformKit/Ui/UiGradientText.h"

#include <algorithm>

namespace pk::ui {

ImVec2 drawGradientText(ImDrawList* dl, ImFont* font, float size, ImVec2 pos, std::string_view text,
                        const LinearGradient& g) {
    if (text.empty() || !font) return ImVec2(0, 0);
    const ImVec2 extent = font->CalcTextSizeA(size, FLT_MAX, 0.0f, text.data(), text.data() + text.size());
    const int first = dl->VtxBuffer.Size;
    dl->AddText(font, size, pos, IM_COL32_WHITE, text.data(), text.data() + text.size());
    const ImVec2 p0(pos.x + g.start.x * extent.x, pos.y + g.start.y * extent.y);
    const ImVec2 p1(pos.x + g.end.x * extent.x, pos.y + g.end.y * extent.y);
    const ImVec2 d(p1.x - p0.x, p1.y - p0.y);
    const float len2 = std::max(d.x * d.x + d.y * d.y, 1e-6f);
    for (int i = first; i < dl->VtxBuffer.Size; ++i) {
        ImDrawVert& v = dl->VtxBuffer[i];
        const float t = std::clamp(((v.pos.x - p0.x) * d.x + (v.pos.y - p0.y) * d.y) / len2, 0.0f, 1.0f);
        const Color c{g.from.red + (g.to.red - g.from.red) * t, g.from.green + (g.to.green - g.from.green) * t,
                      g.from.blue + (g.to.blue - g.from.blue) * t, g.from.opacity + (g.to.opacity - g.from.opacity) * t};
        v.col = toImU32(c);
    }
    return extent;
}

}  // namespace pk::ui
