#include "PlatformKit/Ui/UiGradientText.h"

namespace pk::ui {

ImVec2 drawGradientText(ImDrawList* dl, ImFont* font, float size, ImVec2 pos, std::string_view text,
                        const LinearGradient& g) {
    if (text.empty() || !font) return ImVec2(0, 0);
    const ImVec2 extent = font->CalcTextSizeA(size, FLT_MAX, 0.0f, text.data(), text.data() + text.size());
    const int first = dl->VtxBuffer.Size;
    dl->AddText(font, size, pos, IM_COL32_WHITE, text.data(), text.data() + text.size());
    shadeVerticesLinear(dl, first, pos, ImVec2(pos.x + extent.x, pos.y + extent.y), g);
    return extent;
}

}  // namespace pk::ui
