#include "KestreluneStudio/StudioTexts.h"

#include <cmath>

#include "PlatformKit/Foundation/Numbers.h"

namespace kestrelune {

std::string compressionReductionText(double savingsPct) {
    if (!std::isfinite(savingsPct)) return "--";
    const std::string magnitude = pk::formatC("%.1f", std::fabs(savingsPct));
    const bool grew = savingsPct < 0 && magnitude != "0.0";
    return (grew ? "+" : "-") + magnitude + "%";
}

}  // namespace kestrelune
