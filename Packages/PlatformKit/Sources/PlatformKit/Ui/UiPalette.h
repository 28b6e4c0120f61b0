#pragma once
// Named system colours of the dark appearance, fixed once, and conversions to ImGui.
#include "PlatformKit/Foundation/Color.h"
#include "PlatformKit/Ui/ImGui.h"

namespace pk::ui {

struct UiPalette {
    static constexpr Color red{1.0, 0.271, 0.227, 1};
    static constexpr Color orange{1.0, 0.624, 0.039, 1};
    static constexpr Color yellow{1.0, 0.839, 0.039, 1};
    static constexpr Color green{0.188, 0.82, 0.345, 1};
    static constexpr Color mint{0.4, 0.831, 0.812, 1};
    static constexpr Color cyan{0.353, 0.784, 0.961, 1};
    static constexpr Color blue{0.039, 0.518, 1.0, 1};
    static constexpr Color purple{0.749, 0.353, 0.949, 1};
    static constexpr Color gray{0.596, 0.596, 0.616, 1};
    static constexpr Color label{1, 1, 1, 0.85};
    static constexpr Color secondaryLabel{0.922, 0.922, 0.961, 0.6};
    static constexpr Color clear{0, 0, 0, 0};
    // Stand-in for the platform's ultra-thin material: a dark translucent fill.
    static constexpr Color ultraThinMaterial{0.11, 0.12, 0.15, 0.62};
    static constexpr Color windowBackground{0.045, 0.052, 0.07, 1};
};

constexpr Color white(double opacity = 1) { return {1, 1, 1, opacity}; }
constexpr Color black(double opacity = 1) { return {0, 0, 0, opacity}; }
constexpr Color withOpacity(Color c, double opacity) { c.opacity = opacity; return c; }

ImU32 toImU32(const Color& c, float extraOpacity = 1.0f);
ImVec4 toImVec4(const Color& c);

// Applies the studio's dark look to an ImGui style (window and frame colours, roundings).
void applyStudioStyle(ImGuiStyle& style);

}  // namespace pk::ui
