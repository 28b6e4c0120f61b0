#pragma once
// Game-feel state as a plain value: trauma for screen shake, hit stop, squash and
// stretch after an impact, advanced by its owner once per frame.
#include <cstdint>

namespace creator {

// The clamps both the kernel and the controller apply.
struct VelJuiceClampsV1030 {
    // 1 for intensities of 1 or more (or NaN), else at least 0.05.
    static double intensity(double intensity);
    // dt limited to 1/240 … 0.05 s (an infinite one to its end of the range); a NaN dt
    // counts as the smallest step, so one bad frame time cannot turn trauma and squash
    // into NaN for good.
    static double frameTime(double dt);
};

struct VelJuicePhysicsKernelV1030 {
    double trauma = 0.0;
    double hitStopRemaining = 0.0;
    double squashScaleX = 1.0;
    double squashScaleY = 1.0;
    int64_t totalImpactCount = 0;

    void triggerImpact(double intensity, double hitStopSeconds);
    // True while hit stop is still running; trauma and squash relax during it all the same.
    bool step(double dt);

    bool operator==(const VelJuicePhysicsKernelV1030&) const = default;
};

}  // namespace creator
