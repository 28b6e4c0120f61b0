#include "MarblewickCreatorStudio/VelJuicePhysicsKernelV1030.h"

#include <cmath>

namespace creator {

double VelJuiceClampsV1030::intensity(double intensity) {
    if (!(intensity < 1.0)) return 1.0;
    return intensity > 0.05 ? intensity : 0.05;
}

double VelJuiceClampsV1030::frameTime(double dt) {
    constexpr double smallest = 1.0 / 240.0;
    if (std::isnan(dt) || dt <= smallest) return smallest;
    if (dt > 0.05) return 0.05;
    return dt;
}

void VelJuicePhysicsKernelV1030::triggerImpact(double intensity, double hitStopSeconds) {
    double i = VelJuiceClampsV1030::intensity(intensity);
    trauma = std::fmin(trauma + 0.85 * i, 1.0);
    // A shorter hit stop never cuts a running one short (a NaN one changes nothing).
    if (hitStopSeconds > hitStopRemaining) hitStopRemaining = hitStopSeconds;
    squashScaleX = 1.0 + 0.28 * i;
    squashScaleY = std::fmax(1.0 - 0.24 * i, 0.68);
    totalImpactCount += 1;
}

bool VelJuicePhysicsKernelV1030::step(double dt) {
    double d = VelJuiceClampsV1030::frameTime(dt);
    if (hitStopRemaining > 0) hitStopRemaining = std::fmax(hitStopRemaining - d, 0.0);
    trauma = std::fmax(trauma - 1.9 * d, 0.0);
    double k = std::fmin(14.0 * d, 1.0);
    squashScaleX += (1.0 - squashScaleX) * k;
    squashScaleY += (1.0 - squashScaleY) * k;
    return hitStopRemaining > 0.0001;
}

}  // namespace creator
