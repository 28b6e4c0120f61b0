#include "KestreluneStudio/ViewportInputMapper.h"

#include <algorithm>

#include "KestreluneStudio/StudioEngine.h"
#include "PlatformKit/Foundation/Files.h"

namespace kestrelune {

ViewPoint viewPoint(double windowX, double windowY, const ViewRect& view) {
    return {windowX - view.x, (view.y + view.height) - windowY};
}

ViewportCommand ViewportInputMapper::mouseDown(ViewPoint p, int clickCount) {
    if (clickCount == 2) return ResetCameraCommand{};
    lastDragPoint_ = p;
    return {};
}

ViewportCommand ViewportInputMapper::mouseDragged(ViewPoint p) {
    ViewportCommand command;
    if (lastDragPoint_) {
        // Differences in double precision, then single; the vertical one negated after.
        const float dx = static_cast<float>(p.x - lastDragPoint_->x);
        const float dy = -static_cast<float>(p.y - lastDragPoint_->y);
        command = OrbitCommand{dx, dy};
    }
    lastDragPoint_ = p;
    return command;
}

ViewportCommand ViewportInputMapper::scroll(double scrollingDeltaY) {
    return ZoomCommand{static_cast<float>(scrollingDeltaY) * 0.25f};
}

void applyViewportCommand(const ViewportCommand& command, StudioEngine& engine) {
    if (const auto* orbit = std::get_if<OrbitCommand>(&command))
        engine.orbitBy(orbit->deltaX, orbit->deltaY);
    else if (const auto* zoom = std::get_if<ZoomCommand>(&command))
        engine.zoomBy(zoom->delta);
    else if (std::holds_alternative<ResetCameraCommand>(command))
        engine.resetCamera();
}

std::optional<std::filesystem::path> acceptedDropFile(const std::vector<DroppedItem>& items) {
    if (items.empty()) return std::nullopt;
    if (std::any_of(items.begin(), items.end(), [](const DroppedItem& i) { return !i.isFile; })) return std::nullopt;
    const std::string ext = pk::lowerExtension(items.front().path);
    if (std::find(kViewportDropExtensions.begin(), kViewportDropExtensions.end(), ext) == kViewportDropExtensions.end())
        return std::nullopt;
    return items.front().path;
}

}  // namespace kestrelune
