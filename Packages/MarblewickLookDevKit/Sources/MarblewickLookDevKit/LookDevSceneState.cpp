#include "MarblewickLookDevKit/LookDevSceneState.h"

namespace lookdev {

namespace {
struct RigRow {
    const char* title;
    pk::float3 key, rim, skyTop, skyHorizon;
};
const RigRow kRigs[6] = {
    {"Studio Softbox", {1.00f, 0.98f, 0.95f}, {0.68f, 0.84f, 1.00f}, {0.14f, 0.16f, 0.20f}, {0.26f, 0.28f, 0.32f}},
    {"Golden Hour Rim", {1.00f, 0.76f, 0.44f}, {0.32f, 0.62f, 1.00f}, {0.18f, 0.11f, 0.14f}, {0.42f, 0.24f, 0.14f}},
    {"Neon Rain Loft", {0.28f, 0.86f, 1.00f}, {1.00f, 0.22f, 0.68f}, {0.05f, 0.08f, 0.16f}, {0.16f, 0.10f, 0.24f}},
    {"Architectural Daylight", {0.98f, 0.99f, 1.00f}, {0.75f, 0.86f, 1.00f}, {0.26f, 0.36f, 0.48f}, {0.56f, 0.62f, 0.68f}},
    {"Dark Luxury Spot", {1.00f, 0.92f, 0.80f}, {0.92f, 0.62f, 0.26f}, {0.04f, 0.04f, 0.05f}, {0.11f, 0.10f, 0.09f}},
    {"Midnight Cobalt", {0.62f, 0.78f, 1.00f}, {0.20f, 0.95f, 0.85f}, {0.04f, 0.08f, 0.15f}, {0.10f, 0.18f, 0.28f}},
};

const char* const kModeTitles[6] = {"Beauty PBR", "Albedo", "Normals", "ORM", "Meshlets", "Clay"};

struct AspectRow {
    const char* raw;
    const char* shortLabel;
    int64_t width, height;
};
const AspectRow kAspects[3] = {
    {"16:9 Cinema (1920\u00D71080)", "16:9 HD", 1920, 1080},
    {"9:16 Vertical (1080\u00D71920)", "9:16 Reel", 1080, 1920},
    {"1:1 Storefront (1080\u00D71080)", "1:1 Hero", 1080, 1080},
};
}  // namespace

const std::array<StudioLightingRig, 6> StudioLightingRig::allCases = {
    softboxClean, goldenHourRim, neonRainStudio, architecturalDaylight, darkLuxurySpot, midnightCobalt};

std::optional<StudioLightingRig> StudioLightingRig::fromRaw(int64_t raw) {
    if (raw < 0 || raw > 5) return std::nullopt;
    return StudioLightingRig(static_cast<Case>(raw));
}
const char* StudioLightingRig::title() const { return kRigs[value].title; }
pk::float3 StudioLightingRig::keyColor() const { return kRigs[value].key; }
pk::float3 StudioLightingRig::rimColor() const { return kRigs[value].rim; }
pk::float3 StudioLightingRig::skyTop() const { return kRigs[value].skyTop; }
pk::float3 StudioLightingRig::skyHorizon() const { return kRigs[value].skyHorizon; }

StudioLightingRig StudioLightingRig::fromJson(const pk::json::Json& j) {
    auto raw = pk::json::asInteger<int64_t>(j, "StudioLightingRig");
    auto rig = fromRaw(raw);
    if (!rig)
        pk::json::failDecode(pk::json::dataCorrupted,
                             "Cannot initialize StudioLightingRig from invalid Int value " + std::to_string(raw));
    return *rig;
}

const std::array<ViewportShadingMode, 6> ViewportShadingMode::allCases = {
    beautyPBR, albedoOnly, worldNormals, roughnessMetal, meshletClusters, studioClay};

std::optional<ViewportShadingMode> ViewportShadingMode::fromRaw(uint64_t raw) {
    if (raw > 5) return std::nullopt;
    return ViewportShadingMode(static_cast<Case>(raw));
}
const char* ViewportShadingMode::title() const { return kModeTitles[value]; }

const std::array<TurntableAspectPreset, 3> TurntableAspectPreset::allCases = {cinema16x9, vertical9x16, square1x1};

std::string TurntableAspectPreset::rawValue() const { return kAspects[value].raw; }
std::optional<TurntableAspectPreset> TurntableAspectPreset::fromRaw(std::string_view raw) {
    for (auto p : allCases)
        if (raw == kAspects[p.value].raw) return p;
    return std::nullopt;
}
const char* TurntableAspectPreset::shortLabel() const { return kAspects[value].shortLabel; }
TurntableAspectPreset::Dimensions TurntableAspectPreset::dimensions() const {
    return {kAspects[value].width, kAspects[value].height};
}

}  // namespace lookdev
