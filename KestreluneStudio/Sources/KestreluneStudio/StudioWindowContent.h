#pragma once
// What the window shows under its menu bar, drawn once per frame. For now the live
// viewport filling the window with the status banner over its top right corner; the
// studio's main window takes this place (makeStudioWindowContent is the one spot).
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
