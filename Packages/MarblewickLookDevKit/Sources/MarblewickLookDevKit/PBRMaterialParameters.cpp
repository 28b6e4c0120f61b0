#include "MarblewickLookDevKit/PBRMaterialParameters.h"

namespace lookdev {

namespace {
struct PresetRow {
    const char* title;
    const char* category;
    double r, g, b;
};
constexpr PresetRow kPresets[12] = {
    {"Brushed Titanium", "Metals", 0.62, 0.66, 0.72},
    {"Carbon Fiber Twill", "Composites", 0.16, 0.18, 0.21},
    {"Wet Urban Asphalt", "Architectural", 0.20, 0.22, 0.25},
    {"Anodized Champagne Gold", "Metals", 0.85, 0.68, 0.34},
    {"Ballistic Kevlar Weave", "Composites", 0.24, 0.28, 0.23},
    {"Architectural Concrete", "Architectural", 0.56, 0.55, 0.53},
    {"Hammered Patina Copper", "Metals", 0.76, 0.43, 0.27},
    {"Glazed Studio Ceramic", "Specialty", 0.88, 0.89, 0.91},
    {"Frosted Obsidian Glass", "Specialty", 0.12, 0.16, 0.24},
    {"Subsurface Organic Skin", "Specialty", 0.78, 0.58, 0.48},
    {"Volcanic Moss Basalt", "Architectural", 0.26, 0.36, 0.24},
    {"Luminous Circuit Carbon", "Composites", 0.08, 0.66, 0.82},
};
}  // namespace

const std::array<PBRMaterialPreset, 12> PBRMaterialPreset::allCases = {
    brushedTitanium, carbonFiberTwill, wetUrbanAsphalt,  anodizedGold,      tacticalKevlar,     architecturalConcrete,
    hammeredCopper,  glazedCeramic,    obsidianMicroGlass, organicSkinSSS, volcanicMossBasalt, luminousCircuitCarbon};

std::optional<PBRMaterialPreset> PBRMaterialPreset::fromRaw(uint64_t raw) {
    if (raw > 11) return std::nullopt;
    return PBRMaterialPreset(static_cast<Case>(raw));
}

const char* PBRMaterialPreset::title() const { return kPresets[value].title; }
const char* PBRMaterialPreset::category() const { return kPresets[value].category; }
pk::Color PBRMaterialPreset::swatchColor() const {
    const auto& row = kPresets[value];
    return pk::Color{row.r, row.g, row.b, 1.0};
}

PBRMaterialPreset PBRMaterialPreset::fromJson(const pk::json::Json& j) {
    auto raw = pk::json::asInteger<uint32_t>(j, "PBRMaterialPreset");
    auto p = fromRaw(raw);
    if (!p)
        pk::json::failDecode(pk::json::dataCorrupted,
                             "Cannot initialize PBRMaterialPreset from invalid UInt32 value " + std::to_string(raw));
    return *p;
}

pk::json::OrderedJson PBRMaterialParameters::toJson() const {
    using pk::json::floatNumber;
    pk::json::OrderedJson j = pk::json::OrderedJson::object();
    j["preset"] = preset.rawValue();
    j["tilingScale"] = floatNumber(tilingScale);
    j["reliefStrength"] = floatNumber(reliefStrength);
    j["roughnessBias"] = floatNumber(roughnessBias);
    j["metallicBias"] = floatNumber(metallicBias);
    j["weathering"] = floatNumber(weathering);
    j["emissiveGain"] = floatNumber(emissiveGain);
    j["tintR"] = floatNumber(tintR);
    j["tintG"] = floatNumber(tintG);
    j["tintB"] = floatNumber(tintB);
    j["seed"] = floatNumber(seed);
    j["resolution"] = resolution;
    if (sourcePhotoName) j["sourcePhotoName"] = *sourcePhotoName;
    return j;
}

template <class J>
PBRMaterialParameters PBRMaterialParameters::fromJson(const J& j) {
    using namespace pk::json;
    PBRMaterialParameters p;
    {
        const auto raw = asInteger<uint32_t>(field(j, "preset"), "preset");
        auto preset = PBRMaterialPreset::fromRaw(raw);
        if (!preset)
            failDecode(dataCorrupted, "Cannot initialize PBRMaterialPreset from invalid UInt32 value " + std::to_string(raw));
        p.preset = *preset;
    }
    p.tilingScale = readFloat(j, "tilingScale");
    p.reliefStrength = readFloat(j, "reliefStrength");
    p.roughnessBias = readFloat(j, "roughnessBias");
    p.metallicBias = readFloat(j, "metallicBias");
    p.weathering = readFloat(j, "weathering");
    p.emissiveGain = readFloat(j, "emissiveGain");
    p.tintR = readFloat(j, "tintR");
    p.tintG = readFloat(j, "tintG");
    p.tintB = readFloat(j, "tintB");
    p.seed = readFloat(j, "seed");
    p.resolution = readInteger<int64_t>(j, "resolution");
    p.sourcePhotoName = readOptionalString(j, "sourcePhotoName");
    return p;
}

template PBRMaterialParameters PBRMaterialParameters::fromJson(const pk::json::Json&);
template PBRMaterialParameters PBRMaterialParameters::fromJson(const pk::json::OrderedJson&);

}  // namespace lookdev
