#pragma once
// A borderless, transparent child window at a screen rectangle, drawn above the items of
// the window it is opened in. Controls floated over content that handles the mouse itself
// (a viewport that orbits on drag) get the pointer first while it is over them, and the
// content keeps it everywhere else. The enclosing window's layout cursor and content size
// are left as they were, so floating a region never moves or scrolls what follows.
#include <string_view>

#include "PlatformKit/Ui/ImGui.h"

namespace pk::ui {

class FloatingRegion {
public:
    // `id` is local to the current ImGui id scope. Draw the region's contents between
    // construction and destruction, in screen coordinates.
    FloatingRegion(std::string_view id, ImVec2 min, ImVec2 max);
    ~FloatingRegion();
    FloatingRegion(const FloatingRegion&) = delete;
    FloatingRegion& operator=(const FloatingRegion&) = delete;

    ImVec2 min() const { return min_; }
    ImVec2 max() const { return max_; }
    // The pointer is over this region (and nothing drawn above it).
    bool isHovered() const;

private:
    ImGuiWindow* parent_ = nullptr;
    ImVec2 cursor_, cursorMax_, idealMax_;
    ImVec2 min_, max_;
};

}  // namespace pk::ui
