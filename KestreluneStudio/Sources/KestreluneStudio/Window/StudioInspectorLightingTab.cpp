// The Lighting tab: the custom environment, the six studio rigs and the key, rim,
// exposure and floor controls. Every edit is a look setting: store it, then sync the scene.
#include <algorithm>
#include <optional>
#include <string>

#include "KestreluneStudio/StudioViewModel.h"
#include "KestreluneStudio/Window/StudioInspectorStyles.h"
#include "KestreluneStudio/Window/StudioInspectorTabs.h"

namespace kestrelune::inspector {

namespace {

using namespace pk::ui;

constexpr const char* kLoadHDRITitle = "Load .HDR / Sky Map...";
constexpr float kHDRIRowSpacing = 8;
constexpr float kRigSpacing = 6;

LabelStyle clearButtonStyle() {
    LabelStyle s;
    s.font = FontSpec{16};
    s.foreground = white(0.55);
    return s;
}

// The load button, and beside it the clear button while an environment is loaded; both
// centred on the row's height.
void hdriButtonsRow(StudioViewModel& vm) {
    const std::optional<std::string> name = *vm.activeHDRIName;
    const std::string title = name ? *name : std::string(kLoadHDRITitle);
    const ImVec2 origin = ImGui::GetCursorScreenPos();
    const float avail = ImGui::GetContentRegionAvail().x;
    const ImVec2 clearSize = name ? measureLabel({}, "xmark.circle.fill", clearButtonStyle()) : ImVec2(0, 0);
    const float loadWidth = std::max(avail - (name ? clearSize.x + kHDRIRowSpacing : 0.0f), 1.0f);
    LabelStyle loadStyle = secondaryActionStyle();
    loadStyle.fullWidth = false;
    loadStyle.width = loadWidth;
    const float loadHeight = measureLabel(title, "globe.americas.fill", loadStyle).y;
    const float height = std::max(loadHeight, clearSize.y);

    ImGui::SetCursorScreenPos(ImVec2(origin.x, origin.y + (height - loadHeight) * 0.5f));
    if (labelButton("Load HDRI", title, "globe.americas.fill", loadStyle)) vm.loadCustomHDRIPanel();
    if (name) {
        ImGui::SetCursorScreenPos(
            ImVec2(origin.x + loadWidth + kHDRIRowSpacing, origin.y + (height - clearSize.y) * 0.5f));
        if (labelButton("Clear HDRI", {}, "xmark.circle.fill", clearButtonStyle())) vm.clearCustomHDRI();
    }
    ImGui::SetCursorScreenPos(origin);
    ImGui::Dummy(ImVec2(1, height));
}

// Two flexible columns, three rows; clicking a card stores its rig (also the selected one)
// and syncs the scene.
void rigGrid(StudioViewModel& vm) {
    const float cellWidth = std::max((ImGui::GetContentRegionAvail().x - kRigSpacing) * 0.5f, 1.0f);
    ImGui::BeginGroup();
    ImGui::PushStyleVar(ImGuiStyleVar_ItemSpacing, ImVec2(kRigSpacing, kRigSpacing));
    const auto& rigs = lookdev::StudioLightingRig::allCases;
    for (size_t i = 0; i < rigs.size(); ++i) {
        const lookdev::StudioLightingRig rig = rigs[i];
        if (i % 2 == 1) ImGui::SameLine(0, kRigSpacing);
        const bool isSelected = *vm.lightingRig == rig;
        if (labelButton(rig.title(), rig.title(), {}, rigCardStyle(isSelected, cellWidth),
                        ControlState{isSelected, true})) {
            vm.lightingRig = rig;
            vm.syncSceneState();
        }
    }
    ImGui::PopStyleVar();
    ImGui::EndGroup();
}

}  // namespace

void drawLightingTab(StudioViewModel& vm) {
    ProbeScope scope("Lighting");
    sectionHeader("Custom .HDR Environment IBL");
    hdriButtonsRow(vm);
    if (vm.activeHDRIName->has_value()) {
        lookSettingSlider(vm, "HDRI Blend", vm.customHDRIBlend, 0.0f, 1.0f);
        lookSettingSlider(vm, "HDRI Rotation", vm.hdriRotationDeg, 0.0f, 360.0f);
    }
    inspectorDivider();
    sectionHeader("Studio Softbox Rigs");
    rigGrid(vm);
    // The azimuth bounds are ±3.14 as written, not ±π.
    lookSettingSlider(vm, "Key Intensity", vm.keyIntensity, 0.2f, 5.0f);
    lookSettingSlider(vm, "Key Azimuth", vm.keyAzimuth, -3.14f, 3.14f);
    lookSettingSlider(vm, "Rim Accent", vm.rimIntensity, 0.0f, 4.0f);
    lookSettingSlider(vm, "Exposure (EV)", vm.exposureEV, -1.5f, 1.5f);
    lookSettingSlider(vm, "Floor Sheen", vm.floorReflectivity, 0.0f, 1.0f);
}

}  // namespace kestrelune::inspector
