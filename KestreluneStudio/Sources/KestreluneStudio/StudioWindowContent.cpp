#include "KestreluneStudio/StudioWindowContent.h"

#include "KestreluneStudio/InteractiveLookDevView.h"
#include "KestreluneStudio/StudioViewModel.h"
#include "KestreluneStudio/Window/StudioMainView.h"
#include "MarblewickCreatorStudio/VelCreatorStudioOverlayModifierV1045.h"

namespace kestrelune {

namespace {

// The window's live viewport is the application's interactive view: the main window
// hands it the engine and the drop callback each frame and says where to draw.
class ShellLiveViewport final : public StudioLiveViewport {
public:
    explicit ShellLiveViewport(InteractiveLookDevView& view) : view_(view) {}
    void draw(const std::shared_ptr<StudioEngine>& engine, std::function<void(const std::filesystem::path&)> onDropFile,
              ImVec2 size) override {
        LookDevViewportView{engine, std::move(onDropFile)}.draw(view_, size);
    }

private:
    InteractiveLookDevView& view_;
};

// The creator overlay of the creator-tools package, laid over the viewport area while the
// facecam is on; it owns its controller, camera feed and recording.
class CreatorOverlay final : public StudioCreatorOverlay {
public:
    explicit CreatorOverlay(const StudioCreatorOverlayTexts& texts)
        : overlay_(texts.gameTitle, texts.highlightHeadline, texts.statBadge) {}
    void draw(ImVec2 min, ImVec2 max) override { overlay_.draw(min, ImVec2(max.x - min.x, max.y - min.y)); }

private:
    creator::VelCreatorStudioOverlayModifierV1045 overlay_;
};

class MainWindowContent final : public StudioWindowContent {
public:
    MainWindowContent(StudioViewModel& vm, InteractiveLookDevView& viewport) : live_(viewport), view_(vm) {
        view_.setLiveViewport(&live_);
        view_.setCreatorOverlayFactory(
            [](const StudioCreatorOverlayTexts& texts) { return std::make_unique<CreatorOverlay>(texts); });
    }
    void draw(ImVec2 origin, ImVec2 size) override { view_.draw(origin, size); }

private:
    ShellLiveViewport live_;
    StudioMainView view_;
};

}  // namespace

std::unique_ptr<StudioWindowContent> makeStudioWindowContent(StudioViewModel& vm, InteractiveLookDevView& viewport) {
    return std::make_unique<MainWindowContent>(vm, viewport);
}

}  // namespace kestrelune
