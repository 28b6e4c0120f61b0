#pragma once
// The process: start-up (the SDL window with an OpenGL 4.5 core context, the GPU device
// on it, the one engine and the one view model), the main loop, and quitting. Without a
// 4.5 context or an engine the process stops before any window is shown.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct SDL_Window;

namespace pk::ui {
class ImGuiFilePanels;
class UiProbe;
}  // namespace pk::ui

namespace kestrelune {

class StudioViewModel;

// What a driver sees after each frame of the running application (tests drive the real
// application from inside the process with it; the studio itself passes none).
struct StudioAppFrame {
    int64_t index = 0;
    SDL_Window* window = nullptr;
    StudioViewModel* viewModel = nullptr;
    pk::ui::ImGuiFilePanels* panels = nullptr;
    const pk::ui::UiProbe* probe = nullptr;
    // The finished frame (RGBA, top row first) when captureNextFrame was set.
    int width = 0, height = 0;
    const std::vector<uint8_t>* pixels = nullptr;
    bool captureNextFrame = false;  // set by the driver
};

struct StudioAppDriver {
    std::function<void(StudioAppFrame&)> afterFrame;
};

inline constexpr const char* kStudioWindowTitle = "Kestrelune Studio";
inline constexpr int kStudioMinimumWidth = 1180;
inline constexpr int kStudioMinimumHeight = 740;
inline constexpr const char* kStudioFatalMessage = "Kestrelune Studio requires an OpenGL 4.5 GPU.";

// Runs the studio until its window is closed; returns the process status (0).
int runKestreluneStudio(const StudioAppDriver& driver = {});

}  // namespace kestrelune
