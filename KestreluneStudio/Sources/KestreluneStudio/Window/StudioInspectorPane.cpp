#include "KestreluneStudio/Window/StudioInspectorPane.h"

#include <algorithm>
#include <string>

#include "KestreluneStudio/StudioViewModel.h"
#include "KestreluneStudio/Window/StudioInspectorStyles.h"
#include "KestreluneStudio/Window/StudioInspectorTabs.h"

namespace kestrelune {

namespace {

using namespace pk::ui;

struct TabInfo {
    InspectorTab tab;
    std::string_view title;
    std::string_view symbol;
};
constexpr TabInfo kTabs[] = {
    {InspectorTab::material, "Material", "square.3.layers.3d"},
    {InspectorTab::lighting, "Lighting", "sun.max.fill"},
    {InspectorTab::cinema, "Cinema", "film.stack"},
    {InspectorTab::pipeline, "Pipeline", "shippingbox.fill"},
};

constexpr float kBarPadding = 10;
constexpr float kBarSpacing = 4;
constexpr float kContentPadding = 14;
constexpr float kScrollbarWidth = 6;

// Four equal buttons across the bar; returns the bar's height, padding included.
float drawTabBar(InspectorTab& selected, float width) {
    const float inner = std::max(width - 2 * kBarPadding, 4.0f);
    const float buttonWidth = std::max((inner - 3 * kBarSpacing) / 4, 1.0f);
    const ImVec2 origin = ImGui::GetCursorScreenPos();
    ImGui::SetCursorScreenPos(ImVec2(origin.x + kBarPadding, origin.y + kBarPadding));
    float height = 0;
    for (size_t i = 0; i < std::size(kTabs); ++i) {
        const TabInfo& info = kTabs[i];
        if (i > 0) ImGui::SameLine(0, kBarSpacing);
        const bool isSelected = selected == info.tab;
        if (labelButton("tab/" + std::string(info.title), info.title, info.symbol,
                        inspector::tabButtonStyle(isSelected, buttonWidth), ControlState{isSelected, true}))
            selected = info.tab;
        height = std::max(height, ImGui::GetItemRectSize().y);
    }
    ImGui::SetCursorScreenPos(origin);
    ImGui::Dummy(ImVec2(width, height + 2 * kBarPadding));
    return height + 2 * kBarPadding;
}

void drawTabContent(StudioViewModel& vm, InspectorTab tab) {
    switch (tab) {
        case InspectorTab::material: return inspector::drawMaterialTab(vm);
        case InspectorTab::lighting: return inspector::drawLightingTab(vm);
        case InspectorTab::cinema: return inspector::drawCinemaTab(vm);
        case InspectorTab::pipeline: return inspector::drawPipelineTab(vm);
    }
}

}  // namespace

std::string_view rawValue(InspectorTab tab) {
    for (const TabInfo& info : kTabs)
        if (info.tab == tab) return info.title;
    return {};
}

std::optional<InspectorTab> inspectorTabFromRaw(std::string_view raw) {
    for (const TabInfo& info : kTabs)
        if (info.title == raw) return info.tab;
    return std::nullopt;
}

void drawInspectorPane(StudioViewModel& vm, InspectorTab& selectedTab, ImVec2 size) {
    ProbeScope scope("inspector");
    size = ImVec2(std::max(size.x, 1.0f), std::max(size.y, 1.0f));
    const ImGuiWindowFlags still =
        ImGuiWindowFlags_NoScrollbar | ImGuiWindowFlags_NoScrollWithMouse | ImGuiWindowFlags_NoBackground;
    ImGui::PushStyleVar(ImGuiStyleVar_WindowPadding, ImVec2(0, 0));
    ImGui::BeginChild("##inspectorPane", size, false, still);
    ImGui::PopStyleVar();
    ImGui::PushStyleVar(ImGuiStyleVar_ItemSpacing, ImVec2(ImGui::GetStyle().ItemSpacing.x, 0));

    const float barHeight = drawTabBar(selectedTab, size.x);
    inspector::inspectorDivider();

    // Each tab scrolls on its own, so switching tabs shows the new content from its top.
    const float scrollHeight = std::max(size.y - barHeight - 1, 1.0f);
    ImGui::PushStyleVar(ImGuiStyleVar_WindowPadding, ImVec2(kContentPadding, kContentPadding));
    ImGui::PushStyleVar(ImGuiStyleVar_ScrollbarSize, kScrollbarWidth);
    ImGui::PushStyleColor(ImGuiCol_ScrollbarBg, ImVec4(0, 0, 0, 0));
    const std::string scrollId = "##inspectorScroll/" + std::string(rawValue(selectedTab));
    ImGui::BeginChild(scrollId.c_str(), ImVec2(size.x, scrollHeight), false,
                      ImGuiWindowFlags_NoBackground | ImGuiWindowFlags_AlwaysUseWindowPadding);
    ImGui::PopStyleColor();
    ImGui::PopStyleVar(2);
    const float stackSpacing = selectedTab == InspectorTab::material ? 11.0f : 12.0f;
    ImGui::PushStyleVar(ImGuiStyleVar_ItemSpacing, ImVec2(8, stackSpacing));
    drawTabContent(vm, selectedTab);
    ImGui::PopStyleVar();
    ImGui::EndChild();

    ImGui::PopStyleVar();
    ImGui::EndChild();
}

void inspector::lookSettingSlider(StudioViewModel& vm, const char* title, pk::Published<float>& property, float lo,
                                  float hi) {
    float value = *property;
    if (inspectorSlider(title, title, value, lo, hi)) {
        property = value;
        vm.syncSceneState();
    }
}

}  // namespace kestrelune
