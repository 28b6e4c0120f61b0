#include "PlatformKit/Haptics/Haptics.h"

#include <algorithm>
#include <cmath>

#include "PlatformKit/Foundation/StudioError.h"

namespace pk::haptics {

namespace {
uint16_t motorLevel(float v) {
    if (!(v > 0.0f)) return 0;  // also NaN
    return static_cast<uint16_t>(std::lround(std::min(v, 1.0f) * 65535.0f));
}
}  // namespace

RumbleCommand rumbleFor(const HapticPattern& pattern) {
    float low = 0, high = 0;
    double end = 0;
    for (const auto& e : pattern.events) {
        const float i = std::clamp(std::isnan(e.intensity) ? 0.0f : e.intensity, 0.0f, 1.0f);
        const float s = std::clamp(std::isnan(e.sharpness) ? 0.0f : e.sharpness, 0.0f, 1.0f);
        low = std::max(low, i * (1.0f - s));
        high = std::max(high, i * s);
        const double t = std::max(0.0, e.relativeTime) + std::max(0.0, e.duration);
        if (std::isfinite(t)) end = std::max(end, t);
    }
    RumbleCommand c;
    c.lowFrequency = motorLevel(low);
    c.highFrequency = motorLevel(high);
    // At least one millisecond: a zero duration would leave the motors running.
    c.durationMs = static_cast<uint32_t>(std::clamp(std::round(end * 1000.0), 1.0, 60000.0));
    return c;
}

void RecordingHapticEngine::start() {
    std::lock_guard<std::mutex> lock(mutex_);
    ++starts_;
    if (failStart) throw StudioError(kErrorDomain, engineFailure, "The haptic engine could not start.");
}

void RecordingHapticEngine::playPattern(const HapticPattern& pattern) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (failPlay) throw StudioError(kErrorDomain, engineFailure, "The haptic player could not start.");
    played_.push_back(pattern);
}

int RecordingHapticEngine::startCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return starts_;
}

std::vector<HapticPattern> RecordingHapticEngine::played() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return played_;
}

}  // namespace pk::haptics
