#pragma once
// Weapon and world haptic signatures, and the process-wide player that turns one into a
// single haptic event on the device's engine (nothing on hardware without haptics).
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>

#include "PlatformKit/Haptics/Haptics.h"

namespace creator {

// Raw value: the case name.
struct VelWeaponHapticSignatureV1250 {
    enum Case : uint8_t {
        mk18CrispSear,
        benelliM4HeavyThump,
        magnum50HandCannon,
        headshotSkullPopCrunch,
        wendmoorCoreElectricHum,
        substationPowerSurge,
    };
    constexpr VelWeaponHapticSignatureV1250(Case c = mk18CrispSear) : value(c) {}
    constexpr operator Case() const { return value; }

    const char* rawValue() const;
    static std::optional<VelWeaponHapticSignatureV1250> fromRaw(std::string_view raw);
    static const std::array<VelWeaponHapticSignatureV1250, 6> allCases;

    bool isContinuous() const;
    double duration() const;
    float intensity() const;
    float sharpness() const;
    // The one event this signature plays.
    pk::haptics::HapticEvent event() const;

    Case value;
};

class VelWeaponCoreHapticsV1250 final {
public:
    static VelWeaponCoreHapticsV1250& shared();

    // Creation as for the shared instance: an engine only when haptics are supported and
    // it can be made; a failed start keeps the engine.
    VelWeaponCoreHapticsV1250(bool supportsHaptics,
                              const std::function<std::shared_ptr<pk::haptics::HapticEngine>()>& makeEngine);

    // Counts the call, then plays the signature when there is an engine. Never reports.
    void play(VelWeaponHapticSignatureV1250 signature);
    int64_t triggeredCount() const { return triggeredCount_.load(); }
    bool hasEngine() const { return engine_ != nullptr; }

private:
    std::shared_ptr<pk::haptics::HapticEngine> engine_;
    std::atomic<int64_t> triggeredCount_{0};
};

}  // namespace creator
