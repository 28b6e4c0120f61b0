#pragma once
// The live viewport: each frame the engine draws into the view's area (its resolved
// frame shown as an image), and the mouse steers the engine's camera: drag to orbit,
// scroll to zoom, double-click to reset (by the platform's click count, so it holds at
// any frame rate). Files dropped on the window arrive through performDrop(). The view
// holds no studio state and never keeps the engine alive.
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

#include "KestreluneStudio/StudioEngine.h"
#include "KestreluneStudio/ViewportInputMapper.h"
#include "PlatformKit/Ui/ImGui.h"

namespace kestrelune {

class InteractiveLookDevView {
public:
    std::weak_ptr<StudioEngine> lookDevEngine;
    std::function<void(const std::filesystem::path&)> onDropFileURL;

    // Draws at the cursor of the current ImGui window, `size` points large (the window's
    // viewport clear colour where no frame is drawn), and handles the mouse over it.
    // Reported to the probe as "viewport".
    void draw(ImVec2 size);
    // A whole drop (SDL reports drops for the window): true when the drop was taken,
    // also when no callback is set.
    bool performDrop(const std::vector<DroppedItem>& items);
    // The window lost focus: a release may never come.
    void cancelDrag() { input_.mouseUp(); }

    const ViewportInputMapper& input() const { return input_; }

private:
    ViewportInputMapper input_;
};

// What the window places for its viewport each frame: the engine and what to do with a
// dropped file. Every draw hands both to the view; the last ones count.
struct LookDevViewportView {
    std::shared_ptr<StudioEngine> engine;
    std::function<void(const std::filesystem::path&)> onDropFile;

    void draw(InteractiveLookDevView& view, ImVec2 size) const;
};

}  // namespace kestrelune
