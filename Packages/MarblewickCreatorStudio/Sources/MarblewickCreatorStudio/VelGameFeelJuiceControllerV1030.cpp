#include "MarblewickCreatorStudio/VelGameFeelJuiceControllerV1030.h"

#include <algorithm>
#include <cmath>

#include "MarblewickCreatorStudio/VelJuicePhysicsKernelV1030.h"

namespace creator {

VelGameFeelJuiceControllerV1030::VelGameFeelJuiceControllerV1030() {
    auto forward = [this](const auto&) { announce(); };
    trauma.observe(forward);
    shakeOffset.observe(forward);
    shakeAngleDeg.observe(forward);
    hitStopRemaining.observe(forward);
    squashScaleX.observe(forward);
    squashScaleY.observe(forward);
    popups.observe(forward);
    totalImpactCount.observe(forward);
    lastClipStatus.observe(forward);
}

int VelGameFeelJuiceControllerV1030::observeWillChange(std::function<void()> fn) {
    willChange_.emplace_back(nextObserverId_, std::move(fn));
    return nextObserverId_++;
}

void VelGameFeelJuiceControllerV1030::removeWillChangeObserver(int id) {
    for (auto& o : willChange_)
        if (o.first == id) o.second = nullptr;
}

void VelGameFeelJuiceControllerV1030::announce() {
    for (size_t i = 0; i < willChange_.size(); ++i)
        if (willChange_[i].second) willChange_[i].second();
}

void VelGameFeelJuiceControllerV1030::triggerImpact(double intensity, double hitStopSeconds,
                                                    const std::optional<std::string>& popupText, uint32_t popupHex,
                                                    VelJuicePointV1030 normalizedPos) {
    double i = VelJuiceClampsV1030::intensity(intensity);
    trauma = std::fmin(trauma.get() + 0.85 * i, 1.0);
    if (hitStopSeconds > hitStopRemaining.get()) hitStopRemaining = hitStopSeconds;
    else hitStopRemaining = hitStopRemaining.get();
    squashScaleX = 1.0 + 0.28 * i;
    squashScaleY = std::fmax(1.0 - 0.24 * i, 0.68);
    totalImpactCount = totalImpactCount.get() + 1;
    if (!popupText) return;
    popups.modify([&](auto& list) {
        list.emplace_back(*popupText, popupHex, normalizedPos.x, normalizedPos.y, kPopupLifetime);
    });
    if (popups->size() > kMaxPopups)
        popups.modify([](auto& list) { list.erase(list.begin(), list.end() - static_cast<ptrdiff_t>(kMaxPopups)); });
}

bool VelGameFeelJuiceControllerV1030::step(double dt) {
    double d = VelJuiceClampsV1030::frameTime(dt);
    elapsed_ += d;
    if (hitStopRemaining.get() > 0) hitStopRemaining = std::fmax(hitStopRemaining.get() - d, 0.0);
    if (trauma.get() > 0.001) {
        double k = trauma.get() * trauma.get();  // before this step's decay
        shakeOffset = VelJuiceSizeV1030{k * 18.0 * std::sin(78.0 * elapsed_), k * 14.0 * std::cos(93.0 * elapsed_)};
        shakeAngleDeg = k * 2.6 * std::sin(64.0 * elapsed_);
        trauma = std::fmax(trauma.get() - 1.9 * d, 0.0);
    } else {
        shakeOffset = VelJuiceSizeV1030{};
        shakeAngleDeg = 0.0;
    }
    double k = std::fmin(14.0 * d, 1.0);
    squashScaleX = squashScaleX.get() + (1.0 - squashScaleX.get()) * k;
    squashScaleY = squashScaleY.get() + (1.0 - squashScaleY.get()) * k;
    for (size_t idx = 0; idx < popups->size(); ++idx) {
        popups.modify([&](auto& list) { list[idx].age += d; });
        popups.modify([&](auto& list) { list[idx].normalizedY -= 0.085 * d; });
    }
    popups.modify([](auto& list) {
        list.erase(std::remove_if(list.begin(), list.end(), [](const auto& p) { return p.age >= p.lifetime(); }),
                   list.end());
    });
    return hitStopRemaining.get() > 0.0001;
}

}  // namespace creator
