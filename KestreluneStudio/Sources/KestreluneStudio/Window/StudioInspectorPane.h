#pragma once
// The inspector: the right-hand column of the main window. A bar of four tab buttons
// and, below a divider, a scrolling column with the controls of the selected tab
// (Material, Lighting, Cinema, Pipeline). It keeps no state beyond the window's tab
// selection, which the window owns and hands in.
#include <array>
#include <optional>
#include <string_view>

#include "PlatformKit/Ui/ImGui.h"

namespace kestrelune {

class StudioViewModel;

enum class InspectorTab { material, lighting, cinema, pipeline };

inline constexpr std::array<InspectorTab, 4> kInspectorTabAllCases{
    InspectorTab::material, InspectorTab::lighting, InspectorTab::cinema, InspectorTab::pipeline};

std::string_view rawValue(InspectorTab tab);
std::optional<InspectorTab> inspectorTabFromRaw(std::string_view raw);

// Draws the inspector at the current ImGui cursor, filling `size` (the window shell has
// already drawn the column's background). Clicking a tab writes `selectedTab`.
void drawInspectorPane(StudioViewModel& vm, InspectorTab& selectedTab, ImVec2 size);

}  // namespace kestrelune
