#pragma once
// What the window shows under its menu bar, drawn once per frame: the studio's main window
// (top bar, browser, viewport pane with the live viewport, inspector).
#include <memory>

#include "PlatformKit/Ui/ImGui.h"

namespace kestrelune {

class InteractiveLookDevView;
class StudioViewModel;

class StudioWindowContent {
public:
    virtual ~StudioWindowContent() = default;
    // The area below the menu bar, in points.
    virtual void draw(ImVec2 origin, ImVec2 size) = 0;
};

std::unique_ptr<StudioWindowContent> makeStudioWindowContent(StudioViewModel& vm, InteractiveLookDevView& viewport);

}  // namespace kestrelune
