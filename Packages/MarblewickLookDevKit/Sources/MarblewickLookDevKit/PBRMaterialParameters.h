#pragma once
// A material recipe: one of twelve presets plus the numeric controls the inspector edits.
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "PlatformKit/Foundation/Color.h"
#include "PlatformKit/Foundation/Json.h"

namespace lookdev {

// Raw values 0..11; the raw number selects the synthesis kernel's branch.
struct PBRMaterialPreset {
    enum Case : uint32_t {
        brushedTitanium = 0,
        carbonFiberTwill,
        wetUrbanAsphalt,
        anodizedGold,
        tacticalKevlar,
        architecturalConcrete,
        hammeredCopper,
        glazedCeramic,
        obsidianMicroGlass,
        organicSkinSSS,
        volcanicMossBasalt,
        luminousCircuitCarbon,
    };

    constexpr PBRMaterialPreset(Case c = carbonFiberTwill) : value(c) {}
    constexpr operator Case() const { return value; }

    uint32_t rawValue() const { return static_cast<uint32_t>(value); }
    uint32_t id() const { return rawValue(); }
    static std::optional<PBRMaterialPreset> fromRaw(uint64_t raw);
    static const std::array<PBRMaterialPreset, 12> allCases;

    const char* title() const;
    const char* category() const;
    pk::Color swatchColor() const;

    pk::json::Json toJson() const { return rawValue(); }
    static PBRMaterialPreset fromJson(const pk::json::Json& j);

    Case value;
};

struct PBRMaterialParameters {
    PBRMaterialPreset preset = PBRMaterialPreset::carbonFiberTwill;
    float tilingScale = 2.0f;
    float reliefStrength = 1.0f;
    float roughnessBias = 0.0f;
    float metallicBias = 0.0f;
    float weathering = 0.22f;
    float emissiveGain = 1.0f;
    float tintR = 1.0f;
    float tintG = 1.0f;
    float tintB = 1.0f;
    float seed = 1.0f;
    int64_t resolution = 1024;
    std::optional<std::string> sourcePhotoName;

    // Field by field; floats by floating-point equality, so a NaN never compares equal.
    bool operator==(const PBRMaterialParameters&) const = default;

    // Keys in field order; "sourcePhotoName" only when present.
    pk::json::OrderedJson toJson() const;
    // Every key but "sourcePhotoName" is required with its type; throws on any failure.
    template <class J>
    static PBRMaterialParameters fromJson(const J& j);
};

extern template PBRMaterialParameters PBRMaterialParameters::fromJson(const pk::json::Json&);
extern template PBRMaterialParameters PBRMaterialParameters::fromJson(const pk::json::OrderedJson&);

}  // namespace lookdev

// By the raw value.
template <>
struct std::hash<lookdev::PBRMaterialPreset> {
    size_t operator()(const lookdev::PBRMaterialPreset& preset) const noexcept {
        return std::hash<uint32_t>()(preset.rawValue());
    }
};
