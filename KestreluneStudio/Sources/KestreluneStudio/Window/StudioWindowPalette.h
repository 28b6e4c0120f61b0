#pragma once
// The main window's own colours and column widths. Named system colours (cyan, green,
// orange, the ultra-thin material) come from the Ui palette; these are the window's.
#include "PlatformKit/Foundation/Color.h"

namespace kestrelune {

struct StudioWindowPalette {
    static constexpr pk::Color windowBackground{0.045, 0.052, 0.07, 1};
    static constexpr pk::Color topBarBackground{0.062, 0.071, 0.095, 1};
    // Left and right columns, and the map strip under the viewport.
    static constexpr pk::Color columnBackground{0.055, 0.063, 0.084, 1};
    static constexpr pk::Color divider{1, 1, 1, 0.08};
    // The logo badge's gradient, top-leading to bottom-trailing.
    static constexpr pk::Color logoGradientStart{0.10, 0.68, 0.96, 1};
    static constexpr pk::Color logoGradientEnd{0.95, 0.62, 0.14, 1};
    // What the live viewport clears to, shown wherever no frame is drawn.
    static constexpr pk::Color viewportClear{0.04, 0.045, 0.06, 1};

    // The one accent of the window (photo forge, photo badge of the map strip), made once.
    static const pk::Color& accentGold();
};

struct StudioWindowMetrics {
    static constexpr float leftColumnWidth = 248;
    static constexpr float rightColumnWidth = 308;
    static constexpr float dividerThickness = 1;
};

}  // namespace kestrelune
