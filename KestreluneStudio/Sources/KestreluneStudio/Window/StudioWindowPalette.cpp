#include "KestreluneStudio/Window/StudioWindowPalette.h"

namespace kestrelune {

const pk::Color& StudioWindowPalette::accentGold() {
    static const pk::Color gold{0.96, 0.68, 0.18, 1};
    return gold;
}

}  // namespace kestrelune
