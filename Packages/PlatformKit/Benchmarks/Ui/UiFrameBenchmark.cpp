// Headless frame build of an inspector-like column made with the kit, beside the same
// number of ImGui's own controls in the same context.
#include <benchmark/benchmark.h>

#include <functional>

#include "PlatformKit/Ui/UiContext.h"
#include "PlatformKit/Ui/UiWidgets.h"

using namespace pk::ui;

namespace {

constexpr int kRows = 40;

void runFrames(benchmark::State& state, const std::function<void()>& body) {
    UiContext ctx;
    auto frame = [&] {
        ctx.beginHeadlessFrame(FrameInput{1600, 1000});
        ImGui::SetNextWindowPos(ImVec2(0, 0));
        ImGui::SetNextWindowSize(ImVec2(308, 1000));
        ImGui::Begin("inspector", nullptr, ImGuiWindowFlags_NoDecoration);
        body();
        ImGui::End();
        ctx.endFrame();
    };
    frame();
    frame();  // fonts asked for in the first frame are built before the second
    for (auto _ : state) frame();
    state.SetItemsProcessed(state.iterations() * kRows * 3);
}

void BM_KitInspectorFrame(benchmark::State& state) {
    std::vector<float> values(kRows, 0.5f);
    runFrames(state, [&] {
        for (int i = 0; i < kRows; ++i) {
            std::string id = std::to_string(i);
            inspectorSlider("s" + id, "Roughness Bias", values[size_t(i)], -0.4f, 0.4f);
            valueRow("Triangles", "12,480");
            secondaryButton("b" + id, "Export Universal OBJ...", "cube.transparent");
        }
    });
}

void BM_PlainImGuiFrame(benchmark::State& state) {
    std::vector<float> values(kRows, 0.5f);
    runFrames(state, [&] {
        for (int i = 0; i < kRows; ++i) {
            ImGui::PushID(i);
            ImGui::SliderFloat("Roughness Bias", &values[size_t(i)], -0.4f, 0.4f, "%.2f", ImGuiSliderFlags_NoRoundToFormat);
            ImGui::Text("Triangles %s", "12,480");
            ImGui::Button("Export Universal OBJ...", ImVec2(-FLT_MIN, 0));
            ImGui::PopID();
        }
    });
}

void BM_RadialSwatchRender(benchmark::State& state) {
    RadialGradientSpec spec{{pk::Color{0.96, 0.68, 0.18, 1}, pk::Color{0.96, 0.68, 0.18, 0.32}, pk::Color{0, 0, 0, 0.85}},
                            0.35f, 0.30f, 4, 56};
    for (auto _ : state) benchmark::DoNotOptimize(RadialSwatchCache::render(spec, 100, 56));
    state.SetBytesProcessed(state.iterations() * 100 * 56 * 4);
}

void BM_SwatchCopyBaseline(benchmark::State& state) {
    std::vector<uint8_t> src(100 * 56 * 4, 7);
    for (auto _ : state) {
        std::vector<uint8_t> dst(src);
        benchmark::DoNotOptimize(dst.data());
    }
    state.SetBytesProcessed(state.iterations() * 100 * 56 * 4);
}

}  // namespace

BENCHMARK(BM_KitInspectorFrame);
BENCHMARK(BM_PlainImGuiFrame);
BENCHMARK(BM_RadialSwatchRender);
BENCHMARK(BM_SwatchCopyBaseline);
