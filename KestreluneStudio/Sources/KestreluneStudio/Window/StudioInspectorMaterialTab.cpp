// The Material tab: the material forge. Preset, photo forge and map size pick what is
// synthesized; the apply blend and UV density only change how the renderer lays the
// material on (a scene sync); the relief sliders synthesize again at every value.
#include <array>
#include <string>
#include <vector>

#include "KestreluneStudio/StudioViewModel.h"
#include "KestreluneStudio/Window/StudioInspectorStyles.h"
#include "KestreluneStudio/Window/StudioInspectorTabs.h"

namespace kestrelune::inspector {

namespace {

using lookdev::PBRMaterialParameters;
using lookdev::PBRMaterialPreset;

struct MapSize {
    const char* title;
    int64_t side;
};
constexpr std::array<MapSize, 4> kMapSizes{{{"512", 512}, {"1K", 1024}, {"2K", 2048}, {"4K", 4096}}};
constexpr float kMapSizeWidth = 176;

struct ReliefSlider {
    const char* title;
    float PBRMaterialParameters::*field;
    float lo, hi;
};
constexpr ReliefSlider kReliefSliders[] = {
    {"Tiling Frequency", &PBRMaterialParameters::tilingScale, 1.0f, 4.0f},
    {"Normal Relief", &PBRMaterialParameters::reliefStrength, 0.1f, 2.5f},
    {"Roughness Bias", &PBRMaterialParameters::roughnessBias, -0.4f, 0.4f},
    {"Metallic Bias", &PBRMaterialParameters::metallicBias, -0.5f, 0.5f},
    {"Surface Wear", &PBRMaterialParameters::weathering, 0.0f, 1.0f},
    {"Emissive Glow", &PBRMaterialParameters::emissiveGain, 0.0f, 2.5f},
};

const std::vector<std::string>& presetTitles() {
    static const std::vector<std::string> titles = [] {
        std::vector<std::string> out;
        for (PBRMaterialPreset p : PBRMaterialPreset::allCases) out.emplace_back(p.title());
        return out;
    }();
    return titles;
}

int presetIndex(PBRMaterialPreset preset) {
    for (size_t i = 0; i < PBRMaterialPreset::allCases.size(); ++i)
        if (PBRMaterialPreset::allCases[i] == preset) return int(i);
    return -1;
}

void mapSizeRow(StudioViewModel& vm) {
    static const std::vector<std::string> titles(
        {kMapSizes[0].title, kMapSizes[1].title, kMapSizes[2].title, kMapSizes[3].title});
    int selected = -1;
    for (size_t i = 0; i < kMapSizes.size(); ++i)
        if (kMapSizes[i].side == vm.materialParams->resolution) selected = int(i);
    const auto row = beginTrailingControlRow("Map Size", kMapSizeWidth, pk::ui::segmentedControlHeight());
    if (auto pressed = pk::ui::segmentedControl("Map Size", titles, selected, kMapSizeWidth)) {
        const int64_t side = kMapSizes[size_t(*pressed)].side;
        vm.materialParams.modify([side](PBRMaterialParameters& p) { p.resolution = side; });
        vm.resynthesizeMaterial();
    }
    endTrailingControlRow(row);
}

// A synthesis setting: write the whole parameter record back, then synthesize again.
void reliefSlider(StudioViewModel& vm, const ReliefSlider& row) {
    PBRMaterialParameters params = *vm.materialParams;
    if (pk::ui::inspectorSlider(row.title, row.title, params.*row.field, row.lo, row.hi)) {
        vm.materialParams = std::move(params);
        vm.resynthesizeMaterial();
    }
}

}  // namespace

void drawMaterialTab(StudioViewModel& vm) {
    pk::ui::ProbeScope scope("Material");
    pk::ui::sectionHeader("4K PBR Material Forge");

    if (auto chosen = pk::ui::picker("Preset", "Preset", presetTitles(), presetIndex(vm.materialParams->preset)))
        vm.selectMaterialPreset(PBRMaterialPreset::allCases[size_t(*chosen)]);

    if (secondaryActionButton("Forge Seamless PBR From Photo...", "Forge Seamless PBR From Photo...",
                              "photo.badge.plus"))
        vm.importPhotoForPBRPanel();

    mapSizeRow(vm);
    lookSettingSlider(vm, "Material Apply Blend", vm.materialOverrideBlend, 0.0f, 1.0f);
    lookSettingSlider(vm, "Surface UV Density", vm.materialUVScale, 0.4f, 4.0f);

    inspectorDivider();
    pk::ui::sectionHeader("Procedural & Photo Relief");
    for (const ReliefSlider& row : kReliefSliders) reliefSlider(vm, row);

    if (pk::ui::primaryButton("Export 4-Map PBR Pack...", "Export 4-Map PBR Pack...", "square.and.arrow.up"))
        vm.exportPBRPackPanel();
}

}  // namespace kestrelune::inspector
