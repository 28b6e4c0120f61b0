#include "KestreluneStudio/KestreluneStudioApp.h"

#include <SDL2/SDL.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "KestreluneStudio/InteractiveLookDevView.h"
#include "KestreluneStudio/LiveStudioEngine.h"
#include "KestreluneStudio/StudioMenuCommands.h"
#include "KestreluneStudio/StudioViewModel.h"
#include "KestreluneStudio/StudioWindowContent.h"
#include "KestreluneStudio/Window/StudioMainView.h"
#include "PlatformKit/Audio/AudioOutput.h"
#include "PlatformKit/Foundation/MainQueue.h"
#include "PlatformKit/Gpu/WindowDevice.h"
#include "PlatformKit/Media/ScreenRecorder.h"
#include "PlatformKit/Ui/FilePanels.h"
#include "PlatformKit/Ui/SdlWindowHost.h"
#include "PlatformKit/Ui/UiFonts.h"
#include "PlatformKit/Ui/UiPalette.h"

namespace kestrelune {

namespace {

// Stops the process at once, before any window is shown.
[[noreturn]] void fatalStartError(const std::string& reason, int line) {
    std::fprintf(stderr, "Fatal error: %s: file KestreluneStudioApp.cpp, line %d\n", kStudioFatalMessage, line);
    if (!reason.empty()) std::fprintf(stderr, "(%s)\n", reason.c_str());
    std::fflush(stderr);
    std::_Exit(EXIT_FAILURE);
}

// Collects the files of one drop: SDL sends them one by one between a begin and a
// complete event, for the whole window.
class DropCollector {
public:
    void begin() {
        items_.clear();
        collecting_ = true;
    }
    // True when the item makes a drop of its own (no begin event came first).
    bool add(DroppedItem item) {
        items_.push_back(std::move(item));
        return !collecting_;
    }
    std::vector<DroppedItem> finish() {
        collecting_ = false;
        return std::move(items_);
    }

private:
    std::vector<DroppedItem> items_;
    bool collecting_ = false;
};

KeyChord chordOf(const SDL_KeyboardEvent& key) {
    const Uint16 mod = key.keysym.mod;
    KeyChord chord;
    chord.key = static_cast<char32_t>(key.keysym.sym);
    chord.ctrl = (mod & KMOD_CTRL) != 0;
    chord.shift = (mod & KMOD_SHIFT) != 0;
    chord.alt = (mod & KMOD_ALT) != 0;
    chord.super = (mod & KMOD_GUI) != 0;
    return chord;
}

class KestreluneStudioApp {
public:
    int run(const StudioAppDriver& driver) {
        start();
        loop(driver);
        shutdown();
        return 0;
    }

private:
    void start() {
        pk::ui::WindowOptions options;
        options.title = kStudioWindowTitle;
        options.width = kStudioMinimumWidth;
        options.height = kStudioMinimumHeight;
        options.minWidth = kStudioMinimumWidth;
        options.minHeight = kStudioMinimumHeight;
        options.hidden = true;  // shown once the engine stands
        std::string error;
        host_ = pk::ui::SdlWindowHost::create(options, &error);
        if (!host_) fatalStartError(error, __LINE__);
        try {
            device_ = pk::gpu::WindowDevice::adoptCurrentContext();
        } catch (const std::exception& e) {
            fatalStartError(e.what(), __LINE__);
        }
        pk::MainQueue::main().adoptCurrentThread();
        renderer_ = lookdev::LookDevMetalEngine::create(device_, pk::Clock::system(), &pk::MainQueue::main());
        if (!renderer_) fatalStartError("the renderer could not be built on " + device_->info().renderer, __LINE__);

        // The sizes and weights the window uses, built before the first frame.
        auto& ui = host_->ui();
        for (float size : {11.0f, 12.0f, 13.0f}) {
            ui.font(size);
            ui.font(size, pk::ui::FontWeight::medium);
            ui.font(size, pk::ui::FontWeight::semibold);
        }
        StudioMainView::prepareFonts(ui);

        panels_ = std::make_shared<pk::ui::ImGuiFilePanels>();
        engine_ = std::make_shared<LiveStudioEngine>(renderer_);
        viewModel_ =
            std::make_unique<StudioViewModel>(StudioServices{engine_,
                                                             std::make_shared<LiveStudioExportSuite>(renderer_),
                                                             StudioScorePreview::live(),
                                                             panels_,
                                                             {},
                                                             &pk::MainQueue::main(),
                                                             [this] { device_->drainJobs(); }});
        content_ = makeStudioWindowContent(*viewModel_, viewport_);

        SDL_ShowWindow(host_->window());
        SDL_RaiseWindow(host_->window());
    }

    void loop(const StudioAppDriver& driver) {
        StudioAppFrame frame;
        frame.window = host_->window();
        frame.viewModel = viewModel_.get();
        frame.panels = panels_.get();
        frame.probe = &host_->ui().probe();
        std::vector<uint8_t> pixels;
        while (host_->pollEvents([this](const SDL_Event& e) { handle(e); })) {
            // Renders on other threads wait for the GPU jobs and reports queued here.
            device_->drainJobs();
            pk::MainQueue::main().drain();
            if (SDL_GetWindowFlags(host_->window()) & SDL_WINDOW_MINIMIZED) {
                SDL_Delay(16);
                continue;
            }
            // A screen recording (the facecam's) takes the finished frames it asks for.
            auto& recorder = pk::media::ScreenRecorder::shared();
            const bool record = recorder.wantsFrame();
            const bool capture = frame.captureNextFrame || record;
            host_->renderFrame([this] { build(); }, pk::ui::UiPalette::windowBackground, capture ? &pixels : nullptr);
            device_->drainJobs();
            if (record && !pixels.empty()) {
                int w = 0, h = 0;
                host_->drawableSize(w, h);
                if (frame.captureNextFrame)  // the driver reads these pixels too
                    recorder.submitFrame(pixels.data(), w, h, size_t(w) * 4, pk::media::FrameLayout::rgbaTopFirst);
                else
                    recorder.submitFrame(std::move(pixels), w, h, size_t(w) * 4, pk::media::FrameLayout::rgbaTopFirst);
            }
            if (driver.afterFrame) {
                frame.pixels = frame.captureNextFrame ? &pixels : nullptr;
                frame.captureNextFrame = false;
                host_->drawableSize(frame.width, frame.height);
                driver.afterFrame(frame);
                ++frame.index;
            }
        }
    }

    void build() {
        const float bar = drawStudioMenuBar(*viewModel_, [this] { host_->requestClose(); });
        const ImVec2 display = ImGui::GetIO().DisplaySize;
        content_->draw(ImVec2(0, bar), ImVec2(display.x, std::max(display.y - bar, 1.0f)));
        panels_->draw();
    }

    void handle(const SDL_Event& e) {
        switch (e.type) {
            case SDL_KEYDOWN: {
                if (e.key.repeat) break;
                const KeyChord chord = chordOf(e.key);
                // Quit closes as the close box does, also over a panel; other commands wait
                // while a panel shows, as panels are modal.
                if (isQuitChord(chord))
                    host_->requestClose();
                else if (const StudioMenuCommand* c = studioMenuCommandFor(chord); c && !panels_->isPresenting())
                    ((*viewModel_).*(c->operation))();
                break;
            }
            case SDL_DROPBEGIN:
                drops_.begin();
                break;
            case SDL_DROPFILE:
            case SDL_DROPTEXT: {
                DroppedItem item{e.type == SDL_DROPFILE,
                                 e.drop.file ? std::filesystem::path(e.drop.file) : std::filesystem::path()};
                SDL_free(e.drop.file);
                if (drops_.add(std::move(item))) drop(drops_.finish());
                break;
            }
            case SDL_DROPCOMPLETE:
                drop(drops_.finish());
                break;
            case SDL_WINDOWEVENT:
                if (e.window.event == SDL_WINDOWEVENT_SHOWN) SDL_RaiseWindow(host_->window());
                if (e.window.event == SDL_WINDOWEVENT_FOCUS_LOST) viewport_.cancelDrag();
                break;
            default:
                break;
        }
    }

    void drop(const std::vector<DroppedItem>& items) {
        if (panels_->isPresenting()) return;
        viewport_.performDrop(items);
    }

    void shutdown() {
        // Renders in flight first: they wait for GPU jobs only this thread runs.
        viewModel_->cancelAndJoinExports();
        // The window first: a facecam overlay cancels a clip being written and waits for
        // it (the partial file goes), and stops and saves a running recording, which then
        // finishes writing while the studio's sound is still there.
        content_.reset();
        pk::media::ScreenRecorder::shared().waitUntilIdle(10);
        if (*viewModel_->isPreviewingMusic) viewModel_->toggleMusicPreview();
        pk::audio::AudioOutput::shared().close();
        viewModel_.reset();
        engine_.reset();
        renderer_.reset();
        device_.reset();  // runs what is queued and releases the GPU objects
        panels_.reset();
        host_.reset();
        SDL_Quit();
    }

    std::unique_ptr<pk::ui::SdlWindowHost> host_;
    std::shared_ptr<pk::gpu::WindowDevice> device_;
    std::shared_ptr<lookdev::LookDevMetalEngine> renderer_;
    std::shared_ptr<LiveStudioEngine> engine_;
    std::shared_ptr<pk::ui::ImGuiFilePanels> panels_;
    std::unique_ptr<StudioViewModel> viewModel_;
    InteractiveLookDevView viewport_;
    std::unique_ptr<StudioWindowContent> content_;
    DropCollector drops_;
};

}  // namespace

int runKestreluneStudio(const StudioAppDriver& driver) {
    KestreluneStudioApp app;
    return app.run(driver);
}

}  // namespace kestrelune
