#include "PlatformKit/Ui/UiPalette.h"

#include <algorithm>

namespace pk::ui {

ImU32 toImU32(const Color& c, float extraOpacity) {
    auto byte = [](double v) { return static_cast<ImU32>(std::clamp(v, 0.0, 1.0) * 255.0 + 0.5); };
    return IM_COL32(byte(c.red), byte(c.green), byte(c.blue), byte(c.opacity * extraOpacity));
}

ImVec4 toImVec4(const Color& c) {
    return ImVec4(float(c.red), float(c.green), float(c.blue), float(c.opacity));
}

void applyStudioStyle(ImGuiStyle& style) {
    ImGui::StyleColorsDark(&style);
    style.WindowRounding = 0;
    style.WindowBorderSize = 0;
    style.FrameRounding = 6;
    style.PopupRounding = 8;
    style.GrabRounding = 6;
    style.ScrollbarRounding = 6;
    style.ItemSpacing = ImVec2(8, 8);
    style.WindowPadding = ImVec2(0, 0);
    ImVec4* c = style.Colors;
    c[ImGuiCol_WindowBg] = toImVec4(UiPalette::windowBackground);
    c[ImGuiCol_ChildBg] = ImVec4(0, 0, 0, 0);
    c[ImGuiCol_PopupBg] = ImVec4(0.09f, 0.10f, 0.13f, 0.98f);
    c[ImGuiCol_Text] = ImVec4(1, 1, 1, 1);
    c[ImGuiCol_TextDisabled] = ImVec4(1, 1, 1, 0.35f);
    c[ImGuiCol_FrameBg] = ImVec4(1, 1, 1, 0.06f);
    c[ImGuiCol_FrameBgHovered] = ImVec4(1, 1, 1, 0.09f);
    c[ImGuiCol_FrameBgActive] = ImVec4(1, 1, 1, 0.12f);
    c[ImGuiCol_Border] = ImVec4(1, 1, 1, 0.08f);
    c[ImGuiCol_Separator] = ImVec4(1, 1, 1, 0.08f);
    c[ImGuiCol_Header] = ImVec4(1, 1, 1, 0.10f);
    c[ImGuiCol_HeaderHovered] = ImVec4(1, 1, 1, 0.14f);
    c[ImGuiCol_HeaderActive] = ImVec4(1, 1, 1, 0.18f);
    c[ImGuiCol_Button] = ImVec4(1, 1, 1, 0.08f);
    c[ImGuiCol_ButtonHovered] = ImVec4(1, 1, 1, 0.12f);
    c[ImGuiCol_ButtonActive] = ImVec4(1, 1, 1, 0.16f);
    c[ImGuiCol_MenuBarBg] = ImVec4(0.062f, 0.071f, 0.095f, 1);
    c[ImGuiCol_ModalWindowDimBg] = ImVec4(0, 0, 0, 0.45f);
    c[ImGuiCol_CheckMark] = toImVec4(UiPalette::cyan);
    c[ImGuiCol_TextSelectedBg] = ImVec4(0.353f, 0.784f, 0.961f, 0.35f);
}

}  // namespace pk::ui
