#include "KestreluneStudio/InteractiveLookDevView.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "KestreluneStudio/Window/StudioWindowPalette.h"
#include "PlatformKit/Gpu/Resources.h"
#include "PlatformKit/Ui/UiInputQueue.h"
#include "PlatformKit/Ui/UiWidgets.h"

namespace kestrelune {

void InteractiveLookDevView::draw(ImVec2 size) {
    size = ImVec2(std::max(size.x, 1.0f), std::max(size.y, 1.0f));
    const ImVec2 origin = ImGui::GetCursorScreenPos();
    const ImVec2 end(origin.x + size.x, origin.y + size.y);
    ImGuiIO& io = ImGui::GetIO();
    std::shared_ptr<StudioEngine> engine = lookDevEngine.lock();

    ImDrawList* dl = ImGui::GetWindowDrawList();
    dl->AddRectFilled(origin, end, pk::ui::toImU32(StudioWindowPalette::viewportClear));
    if (engine) {
        const int w = static_cast<int>(std::lround(size.x * io.DisplayFramebufferScale.x));
        const int h = static_cast<int>(std::lround(size.y * io.DisplayFramebufferScale.y));
        if (auto frame = engine->drawViewportFrame(w, h)) {
            // Render targets are stored bottom row first.
            dl->AddImage(reinterpret_cast<ImTextureID>(static_cast<intptr_t>(frame->glName())), origin, end,
                         ImVec2(0, 1), ImVec2(1, 0));
        }
    }

    ImGui::InvisibleButton("##lookDevViewport", size, ImGuiButtonFlags_MouseButtonLeft);
    pk::ui::reportLastItem("viewport", pk::ui::ControlKind::custom, {});
    const bool hovered = ImGui::IsItemHovered();
    const bool active = ImGui::IsItemActive();
    const ViewPoint here = viewPoint(io.MousePos.x, io.MousePos.y, ViewRect{origin.x, origin.y, size.x, size.y});

    ViewportCommand command;
    if (active && ImGui::IsMouseClicked(ImGuiMouseButton_Left))
        command = input_.mouseDown(here, pk::ui::mouseClickCount(ImGuiMouseButton_Left));
    else if (active && (io.MouseDelta.x != 0 || io.MouseDelta.y != 0))
        command = input_.mouseDragged(here);
    if (engine) applyViewportCommand(command, *engine);
    // Whenever the button is up the drag is over, also when its release was lost.
    if (!ImGui::IsMouseDown(ImGuiMouseButton_Left)) input_.mouseUp();

    if (hovered && io.MouseWheel != 0 && engine)
        applyViewportCommand(ViewportInputMapper::wheel(io.MouseWheel), *engine);
}

bool InteractiveLookDevView::performDrop(const std::vector<DroppedItem>& items) {
    auto file = acceptedDropFile(items);
    if (!file) return false;
    if (onDropFileURL) onDropFileURL(*file);
    return true;
}

void LookDevViewportView::draw(InteractiveLookDevView& view, ImVec2 size) const {
    view.lookDevEngine = engine;
    view.onDropFileURL = onDropFile;
    view.draw(size);
}

}  // namespace kestrelune
