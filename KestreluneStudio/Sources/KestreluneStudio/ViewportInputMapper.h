#pragma once
// The viewport's mouse and drop input as plain functions of events, kept apart from
// ImGui and SDL so they are tested without a window.
//
// Points are in the view's own coordinates: origin at the bottom left, y up. Window
// coordinates (SDL, ImGui) have y down; viewPoint() converts once, at the boundary.
#include <array>
#include <filesystem>
#include <optional>
#include <string_view>
#include <variant>
#include <vector>

namespace kestrelune {

class StudioEngine;

struct ViewPoint {
    double x = 0, y = 0;
    bool operator==(const ViewPoint&) const = default;
};

// The view's area in window coordinates.
struct ViewRect {
    double x = 0, y = 0, width = 0, height = 0;
};

ViewPoint viewPoint(double windowX, double windowY, const ViewRect& view);

struct OrbitCommand {
    float deltaX = 0, deltaY = 0;
    bool operator==(const OrbitCommand&) const = default;
};
struct ZoomCommand {
    float delta = 0;
    bool operator==(const ZoomCommand&) const = default;
};
struct ResetCameraCommand {
    bool operator==(const ResetCameraCommand&) const = default;
};
using ViewportCommand = std::variant<std::monostate, OrbitCommand, ZoomCommand, ResetCameraCommand>;

// Drag to orbit, double-click to reset. Scrolling needs no state (scroll()).
class ViewportInputMapper {
public:
    // A click count of exactly 2 resets the camera and leaves the drag point alone; any
    // other count starts a drag from here.
    ViewportCommand mouseDown(ViewPoint p, int clickCount);
    // Orbits by the movement since the last point (none without one); remembers p.
    ViewportCommand mouseDragged(ViewPoint p);
    // Also for a release that never arrived (pointer let go elsewhere, focus lost).
    void mouseUp() { lastDragPoint_.reset(); }
    // Zooms by a quarter of the vertical scroll (in points), whatever the phase.
    static ViewportCommand scroll(double scrollingDeltaY);
    // A wheel's travel in notches (fractions from a trackpad), as points of scroll.
    static ViewportCommand wheel(double notches) { return scroll(notches * kScrollPointsPerWheelNotch); }

    // One notch zooms the camera by 36 × 0.25 × 0.08 = 0.72, a tenth of its 1.35 to 8.5
    // distance range; a trackpad's fractions zoom in proportion, so smoothly.
    static constexpr double kScrollPointsPerWheelNotch = 36.0;

    const std::optional<ViewPoint>& lastDragPoint() const { return lastDragPoint_; }

private:
    std::optional<ViewPoint> lastDragPoint_;
};

void applyViewportCommand(const ViewportCommand& command, StudioEngine& engine);

// One item of a drop: a file, or something else (text).
struct DroppedItem {
    bool isFile = true;
    std::filesystem::path path;
};

// The files the studio takes, by lower-case extension: models it imports, the Radiance
// environment it lights with, and photos it forges a material from.
inline constexpr std::array<std::string_view, 5> kModelFileExtensions = {"mwmesh", "usdz", "obj", "stl", "ply"};
inline constexpr std::string_view kEnvironmentFileExtension = "hdr";
inline constexpr std::array<std::string_view, 4> kPhotoFileExtensions = {"png", "jpg", "jpeg", "heic"};

// Extensions a drop may carry, compared after lower-casing: all of the above.
inline constexpr auto kViewportDropExtensions = [] {
    std::array<std::string_view, kModelFileExtensions.size() + 1 + kPhotoFileExtensions.size()> all{};
    size_t n = 0;
    for (std::string_view e : kModelFileExtensions) all[n++] = e;
    all[n++] = kEnvironmentFileExtension;
    for (std::string_view e : kPhotoFileExtensions) all[n++] = e;
    return all;
}();

// The file a drop hands on: the first item, when every item is a file and the first one
// has a listed extension; otherwise the drop is refused.
std::optional<std::filesystem::path> acceptedDropFile(const std::vector<DroppedItem>& items);

}  // namespace kestrelune
