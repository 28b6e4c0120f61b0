#include "MarblewickCreatorStudio/VelWeaponCoreHapticsV1250.h"

#include "PlatformKit/Foundation/StudioError.h"

namespace creator {

using Sig = VelWeaponHapticSignatureV1250;

namespace {
struct Row {
    const char* name;
    bool continuous;
    double duration;
    float intensity;
    float sharpness;
};
constexpr Row kRows[6] = {
    {"mk18CrispSear", false, 0.04, 0.65f, 0.85f},
    {"benelliM4HeavyThump", true, 0.11, 1.0f, 0.35f},
    {"magnum50HandCannon", false, 0.08, 0.92f, 0.60f},
    {"headshotSkullPopCrunch", false, 0.06, 0.95f, 0.95f},
    {"wendmoorCoreElectricHum", true, 0.18, 0.32f, 0.72f},
    {"substationPowerSurge", true, 0.35, 1.0f, 0.80f},
};
}  // namespace

const std::array<Sig, 6> Sig::allCases = {mk18CrispSear,          benelliM4HeavyThump,     magnum50HandCannon,
                                          headshotSkullPopCrunch, wendmoorCoreElectricHum, substationPowerSurge};

const char* Sig::rawValue() const { return kRows[value].name; }
std::optional<Sig> Sig::fromRaw(std::string_view raw) {
    for (auto c : allCases)
        if (raw == c.rawValue()) return c;
    return std::nullopt;
}
bool Sig::isContinuous() const { return kRows[value].continuous; }
double Sig::duration() const { return kRows[value].duration; }
float Sig::intensity() const { return kRows[value].intensity; }
float Sig::sharpness() const { return kRows[value].sharpness; }

pk::haptics::HapticEvent Sig::event() const {
    pk::haptics::HapticEvent e;
    e.type = isContinuous() ? pk::haptics::HapticEvent::Type::continuous : pk::haptics::HapticEvent::Type::transient;
    e.relativeTime = 0;
    e.duration = duration();
    e.intensity = intensity();
    e.sharpness = sharpness();
    return e;
}

VelWeaponCoreHapticsV1250::VelWeaponCoreHapticsV1250(
    bool supportsHaptics, const std::function<std::shared_ptr<pk::haptics::HapticEngine>()>& makeEngine) {
    if (!supportsHaptics || !makeEngine) return;
    try {
        engine_ = makeEngine();
    } catch (...) {
        engine_ = nullptr;
    }
    if (!engine_) return;
    try {
        engine_->start();
    } catch (...) {
        // A start failure keeps the engine; players then fail and are dropped.
    }
}

VelWeaponCoreHapticsV1250& VelWeaponCoreHapticsV1250::shared() {
    static VelWeaponCoreHapticsV1250 instance(pk::haptics::deviceSupportsHaptics(), pk::haptics::makeSystemEngine);
    return instance;
}

void VelWeaponCoreHapticsV1250::play(VelWeaponHapticSignatureV1250 signature) {
    triggeredCount_.fetch_add(1);
    if (!engine_) return;
    try {
        engine_->playPattern(pk::haptics::HapticPattern{{signature.event()}});
    } catch (...) {
    }
}

}  // namespace creator
