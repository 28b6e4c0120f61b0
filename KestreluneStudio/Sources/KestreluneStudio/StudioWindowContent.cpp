#include "KestreluneStudio/StudioWindowContent.h"

#include <algorithm>
#include <cmath>

#include "KestreluneStudio/InteractiveLookDevView.h"
#include "KestreluneStudio/StudioViewModel.h"
#include "PlatformKit/Ui/UiWidgets.h"

namespace kestrelune {

namespace {

using namespace pk::ui;

class LiveViewportContent final : public StudioWindowContent {
public:
    LiveViewportContent(StudioViewModel& vm, InteractiveLookDevView& viewport) : vm_(vm), viewport_(viewport) {}

    void draw(ImVec2 origin, ImVec2 size) override {
        ImGui::SetNextWindowPos(origin);
        ImGui::SetNextWindowSize(size);
        ImGui::PushStyleVar(ImGuiStyleVar_WindowPadding, ImVec2(0, 0));
        ImGui::PushStyleVar(ImGuiStyleVar_WindowBorderSize, 0);
        ImGui::Begin("##studioContent", nullptr,
                     ImGuiWindowFlags_NoDecoration | ImGuiWindowFlags_NoMove | ImGuiWindowFlags_NoSavedSettings |
                         ImGuiWindowFlags_NoBringToFrontOnFocus | ImGuiWindowFlags_NoScrollWithMouse);
        ImGui::PopStyleVar(2);

        StudioViewModel& vm = vm_;
        LookDevViewportView{vm.sharedEngine(), [&vm](const std::filesystem::path& url) { vm.handleDroppedFile(url); }}
            .draw(viewport_, size);
        drawBanner(origin, size);
        ImGui::End();
    }

private:
    // One line at the top right: the last outcome, and a running render's progress.
    void drawBanner(ImVec2 origin, ImVec2 size) {
        std::string line;
        if (*vm_.isExporting) {
            const double p = std::clamp(std::isfinite(*vm_.exportProgress) ? *vm_.exportProgress : 0.0, 0.0, 1.0);
            line = *vm_.exportLabel + "  " + std::to_string(static_cast<int>(p * 100.0)) + "%";
        } else if (vm_.statusBanner->has_value()) {
            line = **vm_.statusBanner;
        }
        if (line.empty()) return;
        LabelStyle style;
        style.font = FontSpec{12, FontWeight::medium};
        style.paddingH = 12;
        style.paddingV = 7;
        style.shape = Shape::capsuleShape();
        style.fill = UiPalette::ultraThinMaterial;
        style.stroke = white(0.12);
        const ImVec2 measured = measureLabel(line, {}, style);
        ImGui::SetCursorScreenPos(ImVec2(origin.x + size.x - measured.x - 14, origin.y + 14));
        label("statusBanner", line, {}, style);
    }

    StudioViewModel& vm_;
    InteractiveLookDevView& viewport_;
};

}  // namespace

std::unique_ptr<StudioWindowContent> makeStudioWindowContent(StudioViewModel& vm, InteractiveLookDevView& viewport) {
    return std::make_unique<LiveViewportContent>(vm, viewport);
}

}  // namespace kestrelune
