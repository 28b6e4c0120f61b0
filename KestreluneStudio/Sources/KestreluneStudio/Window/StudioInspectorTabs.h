#pragma once
// The four inspector tabs, each drawn into the inspector's scrolling column as one
// leading-aligned stack. Each reads the view model and calls its operations; none keeps
// state of its own.
#include "PlatformKit/Foundation/Published.h"

namespace kestrelune {

class StudioViewModel;

namespace inspector {

void drawMaterialTab(StudioViewModel& vm);
void drawLightingTab(StudioViewModel& vm);
void drawCinemaTab(StudioViewModel& vm);
void drawPipelineTab(StudioViewModel& vm);

// A slider block for a look setting: each change stores the value, then syncs the scene
// (the engine's update with the view model's scene settings).
void lookSettingSlider(StudioViewModel& vm, const char* title, pk::Published<float>& property, float lo, float hi);

}  // namespace inspector
}  // namespace kestrelune
