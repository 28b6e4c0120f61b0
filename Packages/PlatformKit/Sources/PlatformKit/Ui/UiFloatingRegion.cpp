#include "PlatformKit/Ui/UiFloatingRegion.h"

#include <algorithm>
#include <string>

namespace pk::ui {

FloatingRegion::FloatingRegion(std::string_view id, ImVec2 min, ImVec2 max) : min_(min), max_(max) {
    parent_ = ImGui::GetCurrentWindow();
    cursor_ = parent_->DC.CursorPos;
    cursorMax_ = parent_->DC.CursorMaxPos;
    idealMax_ = parent_->DC.IdealMaxPos;
    const ImVec2 size(std::max(max.x - min.x, 1.0f), std::max(max.y - min.y, 1.0f));
    ImGui::SetCursorScreenPos(min);
    ImGui::PushStyleVar(ImGuiStyleVar_WindowPadding, ImVec2(0, 0));
    ImGui::PushStyleVar(ImGuiStyleVar_ChildBorderSize, 0.0f);
    ImGui::PushStyleVar(ImGuiStyleVar_ItemSpacing, ImVec2(0, 0));
    ImGui::PushStyleColor(ImGuiCol_ChildBg, ImVec4(0, 0, 0, 0));
    const std::string name(id);
    ImGui::BeginChild(name.c_str(), size, false,
                      ImGuiWindowFlags_NoScrollbar | ImGuiWindowFlags_NoScrollWithMouse | ImGuiWindowFlags_NoBackground |
                          ImGuiWindowFlags_NoSavedSettings | ImGuiWindowFlags_NoNav);
}

FloatingRegion::~FloatingRegion() {
    ImGui::EndChild();
    ImGui::PopStyleColor();
    ImGui::PopStyleVar(3);
    parent_->DC.CursorPos = cursor_;
    parent_->DC.CursorMaxPos = cursorMax_;
    parent_->DC.IdealMaxPos = idealMax_;
}

bool FloatingRegion::isHovered() const {
    return ImGui::IsWindowHovered(ImGuiHoveredFlags_AllowWhenBlockedByActiveItem) && ImGui::IsMouseHoveringRect(min_, max_);
}

}  // namespace pk::ui
