#include "PlatformKit/Ui/UiCard.h"

#include <algorithm>

namespace pk::ui {

Card::Card(std::string_view id, const CardStyle& style) : id_(id), style_(style) {
    drawList_ = ImGui::GetWindowDrawList();
    // Content first on channel 1, the background later on channel 0 once its size is known.
    splitter_.Split(drawList_, 2);
    splitter_.SetCurrentChannel(drawList_, 1);
    origin_ = ImGui::GetCursorScreenPos();
    width_ = std::max(style_.width > 0 ? style_.width : ImGui::GetContentRegionAvail().x, 2 * style_.padding + 1);
    ImGuiWindow* window = ImGui::GetCurrentWindow();
    savedContentMaxX_ = window->ContentRegionRect.Max.x;
    savedWorkMaxX_ = window->WorkRect.Max.x;
    const float innerMaxX = origin_.x + width_ - style_.padding;
    window->ContentRegionRect.Max.x = std::min(savedContentMaxX_, innerMaxX);
    window->WorkRect.Max.x = std::min(savedWorkMaxX_, innerMaxX);
    ImGui::SetCursorScreenPos(ImVec2(origin_.x + style_.padding, origin_.y + style_.padding));
    ImGui::PushStyleVar(ImGuiStyleVar_ItemSpacing, ImVec2(ImGui::GetStyle().ItemSpacing.x, style_.spacing));
    ImGui::BeginGroup();
}

Card::~Card() {
    ImGui::EndGroup();
    ImGui::PopStyleVar();
    const float contentBottom = ImGui::GetItemRectMax().y;
    ImGuiWindow* window = ImGui::GetCurrentWindow();
    window->ContentRegionRect.Max.x = savedContentMaxX_;
    window->WorkRect.Max.x = savedWorkMaxX_;
    const ImVec2 max(origin_.x + width_, contentBottom + style_.padding);
    splitter_.SetCurrentChannel(drawList_, 0);
    fillShape(drawList_, origin_, max, style_.shape, style_.fill);
    strokeShape(drawList_, origin_, max, style_.shape, style_.stroke, style_.strokeWidth);
    splitter_.Merge(drawList_);
    // The card as one item of the enclosing layout.
    ImGui::SetCursorScreenPos(origin_);
    ImGui::Dummy(ImVec2(width_, max.y - origin_.y));
    reportLastItem(id_, ControlKind::panel, {});
}

}  // namespace pk::ui
