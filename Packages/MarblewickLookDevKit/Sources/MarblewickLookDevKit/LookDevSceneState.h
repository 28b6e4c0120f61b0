#pragma once
// What the renderer reads every frame besides mesh, material pack and environment, and
// the small enumerations the studio shares: lighting rigs, shading modes, video frames.
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "MarblewickCreatorStudio/VelCinemaLensMMV950.h"
#include "PlatformKit/Foundation/Json.h"
#include "PlatformKit/Math/Math.h"

namespace lookdev {

using creator::VelCinemaLensMMV950;

// Raw values 0..5 (signed). Colours in linear light.
struct StudioLightingRig {
    enum Case : int32_t {
        softboxClean = 0,
        goldenHourRim,
        neonRainStudio,
        architecturalDaylight,
        darkLuxurySpot,
        midnightCobalt,
    };
    constexpr StudioLightingRig(Case c = softboxClean) : value(c) {}
    constexpr operator Case() const { return value; }

    int64_t rawValue() const { return static_cast<int64_t>(value); }
    int64_t id() const { return rawValue(); }
    static std::optional<StudioLightingRig> fromRaw(int64_t raw);
    static const std::array<StudioLightingRig, 6> allCases;

    const char* title() const;
    pk::float3 keyColor() const;
    pk::float3 rimColor() const;
    pk::float3 skyTop() const;
    pk::float3 skyHorizon() const;

    pk::json::Json toJson() const { return rawValue(); }
    static StudioLightingRig fromJson(const pk::json::Json& j);

    Case value;
};

// Raw values 0..5 (unsigned); the raw value goes to the GPU as a float.
struct ViewportShadingMode {
    enum Case : uint32_t {
        beautyPBR = 0,
        albedoOnly,
        worldNormals,
        roughnessMetal,
        meshletClusters,
        studioClay,
    };
    constexpr ViewportShadingMode(Case c = beautyPBR) : value(c) {}
    constexpr operator Case() const { return value; }

    uint32_t rawValue() const { return static_cast<uint32_t>(value); }
    uint32_t id() const { return rawValue(); }
    static std::optional<ViewportShadingMode> fromRaw(uint64_t raw);
    static const std::array<ViewportShadingMode, 6> allCases;
    const char* title() const;

    Case value;
};

// Raw value and id: the display text, with the multiplication sign U+00D7.
struct TurntableAspectPreset {
    enum Case : uint8_t { cinema16x9, vertical9x16, square1x1 };
    struct Dimensions {
        int64_t width;
        int64_t height;
        bool operator==(const Dimensions&) const = default;
    };

    constexpr TurntableAspectPreset(Case c = cinema16x9) : value(c) {}
    constexpr operator Case() const { return value; }

    std::string rawValue() const;
    std::string id() const { return rawValue(); }
    // Byte-for-byte match only.
    static std::optional<TurntableAspectPreset> fromRaw(std::string_view raw);
    static const std::array<TurntableAspectPreset, 3> allCases;
    const char* shortLabel() const;
    Dimensions dimensions() const;

    Case value;
};

struct LookDevSceneState {
    float yaw = 0.58f;
    float pitch = 0.24f;
    float distance = 4.55f;
    float targetY = 0.86f;
    bool turntableEnabled = true;
    float turntableSpeed = 0.42f;
    VelCinemaLensMMV950 lens = VelCinemaLensMMV950::standard50mm;
    StudioLightingRig lightingRig = StudioLightingRig::softboxClean;
    float keyIntensity = 2.8f;
    float keyAzimuth = 0.72f;
    float keyElevation = 0.65f;
    float rimIntensity = 1.95f;
    float fillIntensity = 0.62f;
    float exposureEV = 0.12f;
    float floorReflectivity = 0.42f;
    float customHDRIBlend = 0.0f;
    float hdriRotationRad = 0.0f;
    ViewportShadingMode shadingMode = ViewportShadingMode::beautyPBR;
    float materialOverrideBlend = 1.0f;
    float materialUVScale = 1.6f;
};

}  // namespace lookdev

// Rigs and shading modes hash by their raw value, aspect presets by their raw text.
template <>
struct std::hash<lookdev::StudioLightingRig> {
    size_t operator()(const lookdev::StudioLightingRig& rig) const noexcept {
        return std::hash<int64_t>()(rig.rawValue());
    }
};
template <>
struct std::hash<lookdev::ViewportShadingMode> {
    size_t operator()(const lookdev::ViewportShadingMode& mode) const noexcept {
        return std::hash<uint32_t>()(mode.rawValue());
    }
};
template <>
struct std::hash<lookdev::TurntableAspectPreset> {
    size_t operator()(const lookdev::TurntableAspectPreset& preset) const {
        return std::hash<std::string>()(preset.rawValue());
    }
};
