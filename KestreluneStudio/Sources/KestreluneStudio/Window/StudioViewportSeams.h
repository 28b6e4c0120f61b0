#pragma once
// What the application hands the main window for its viewport pane: the interactive live
// viewport, and the creator overlay that lies over the viewport while the facecam is on.
// The window decides where and when; these draw and handle their own input.
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "PlatformKit/Ui/ImGui.h"

namespace kestrelune {

class StudioEngine;

// The live viewport: each frame the engine's picture in the given area, mouse input that
// steers the engine's camera, and files dropped on it handed to `onDropFile`.
class StudioLiveViewport {
public:
    virtual ~StudioLiveViewport() = default;
    // Draws at the cursor of the current ImGui window, `size` points large. The window
    // passes its current engine and drop callback every frame; the last ones count.
    virtual void draw(const std::shared_ptr<StudioEngine>& engine,
                      std::function<void(const std::filesystem::path&)> onDropFile, ImVec2 size) = 0;
};

// The three texts the creator overlay carries (the headline and badge go into clips only).
struct StudioCreatorOverlayTexts {
    std::string gameTitle;
    std::string highlightHeadline;
    std::string statBadge;
    bool operator==(const StudioCreatorOverlayTexts&) const = default;
};

// One creator overlay with all of its state (position, scale, toolbar, camera). The window
// makes one when the facecam flag turns on and destroys it when the flag turns off, so
// turning the flag on again starts from the overlay's defaults.
class StudioCreatorOverlay {
public:
    virtual ~StudioCreatorOverlay() = default;
    // Draws over the viewport area [min, max] (screen points), above the heads-up display.
    virtual void draw(ImVec2 min, ImVec2 max) = 0;
};

using StudioCreatorOverlayFactory = std::function<std::unique_ptr<StudioCreatorOverlay>(const StudioCreatorOverlayTexts&)>;

}  // namespace kestrelune
