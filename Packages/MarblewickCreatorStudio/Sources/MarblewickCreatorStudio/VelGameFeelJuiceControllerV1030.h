#pragma once
// Observable game-feel effects for a game view: trauma shake with its offset and angle,
// hit stop, squash and stretch, and rising text popups. Bound to no thread: operations
// and change notifications run on the caller's thread, one call at a time.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "MarblewickCreatorStudio/VelJuiceFloatingPopupV1030.h"
#include "PlatformKit/Foundation/Published.h"

namespace creator {

struct VelJuiceSizeV1030 {
    double width = 0, height = 0;
    bool operator==(const VelJuiceSizeV1030&) const = default;
};

struct VelJuicePointV1030 {
    double x = 0, y = 0;
    bool operator==(const VelJuicePointV1030&) const = default;
};

class VelGameFeelJuiceControllerV1030 {
public:
    static constexpr size_t kMaxPopups = 12;
    static constexpr double kPopupLifetime = 1.35;

    VelGameFeelJuiceControllerV1030();
    VelGameFeelJuiceControllerV1030(const VelGameFeelJuiceControllerV1030&) = delete;
    VelGameFeelJuiceControllerV1030& operator=(const VelGameFeelJuiceControllerV1030&) = delete;

    pk::Published<double> trauma{0.0};
    pk::Published<VelJuiceSizeV1030> shakeOffset{VelJuiceSizeV1030{}};
    pk::Published<double> shakeAngleDeg{0.0};
    pk::Published<double> hitStopRemaining{0.0};
    pk::Published<double> squashScaleX{1.0};
    pk::Published<double> squashScaleY{1.0};
    pk::Published<std::vector<VelJuiceFloatingPopupV1030>> popups;  // oldest first
    pk::Published<int64_t> totalImpactCount{0};
    pk::Published<std::string> lastClipStatus;  // kept for the owner; no operation writes it

    void triggerImpact(double intensity, double hitStopSeconds, const std::optional<std::string>& popupText,
                       uint32_t popupHex, VelJuicePointV1030 normalizedPos);
    // Once per displayed frame; true while hit stop is running.
    bool step(double dt);

    // Called before every write to any published property, on the writing thread.
    int observeWillChange(std::function<void()> fn);
    void removeWillChangeObserver(int id);

    // Seconds of clamped steps so far: the shake's clock.
    double elapsed() const { return elapsed_; }

private:
    void announce();
    double elapsed_ = 0;
    std::vector<std::pair<int, std::function<void()>>> willChange_;
    int nextObserverId_ = 1;
};

}  // namespace creator
