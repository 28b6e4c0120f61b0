// A 4 s 1920x1080 turntable at 30 fps with the score: frames per second of the whole
// export (synthetic render + encode), beside render only and encode only, same frames.
#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>

#include "MarblewickLookDevKit/StudioTurntableExporter.h"
#include "PlatformKit/Media/Mp4Writer.h"

using namespace lookdev;

namespace {

// Stands in for the GPU: a pattern that turns with the yaw, so every frame differs.
class SyntheticRenderer : public LookDevOffscreenRenderer {
public:
    std::optional<std::vector<uint8_t>> renderOffscreenBGRA(int64_t w, int64_t h, std::optional<float> yaw,
                                                            const std::optional<LookDevSceneState>&) override {
        std::vector<uint8_t> px(size_t(w * h * 4));
        const float c = std::cos(yaw.value_or(0)), s = std::sin(yaw.value_or(0));
        for (int64_t y = 0; y < h; ++y) {
            uint8_t* row = &px[size_t(y * w * 4)];
            const float fy = float(y - h / 2);
            for (int64_t x = 0; x < w; ++x) {
                const float fx = float(x - w / 2);
                const float u = fx * c - fy * s, v = fx * s + fy * c;
                row[4 * x] = uint8_t(int(u * 0.25f) & 255);
                row[4 * x + 1] = uint8_t(int(v * 0.25f) & 255);
                row[4 * x + 2] = uint8_t((x + y) >> 4);
                row[4 * x + 3] = 255;
            }
        }
        return px;
    }
    LookDevSceneState currentSceneState() const override { return {}; }
};

const std::filesystem::path kPath = std::filesystem::temp_directory_path() / "lookdev_turntable_bench.mp4";

}  // namespace

static void BM_TurntableExport4s1080p(benchmark::State& state) {
    SyntheticRenderer r;
    for (auto _ : state) {
        auto receipt = StudioExporters::exportTurntableMP4(r, TurntableAspectPreset::cinema16x9, 4.0, 30,
                                                           creator::VelMusicIntensityStateV950::combatDrive, kPath);
        benchmark::DoNotOptimize(receipt.fileSizeBytes);
    }
    state.counters["fps"] = benchmark::Counter(120.0 * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_TurntableExport4s1080p)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

static void BM_RenderOnly120Frames(benchmark::State& state) {
    SyntheticRenderer r;
    for (auto _ : state) {
        for (int i = 0; i < 120; ++i) {
            auto f = r.renderOffscreenBGRA(1920, 1080, float(i) * 0.05f, std::nullopt);
            benchmark::DoNotOptimize(f->data());
        }
    }
    state.counters["fps"] = benchmark::Counter(120.0 * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RenderOnly120Frames)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

static void BM_EncodeOnly120Frames(benchmark::State& state) {
    SyntheticRenderer r;
    std::vector<std::vector<uint8_t>> frames;
    for (int i = 0; i < 120; ++i) frames.push_back(*r.renderOffscreenBGRA(1920, 1080, float(i) * 0.05f, std::nullopt));
    for (auto _ : state) {
        pk::media::VideoEncoderSettings vs;
        vs.width = 1920;
        vs.height = 1080;
        pk::media::Mp4Writer w(kPath, vs, std::nullopt);
        w.start();
        for (int i = 0; i < 120; ++i) w.appendVideoFrame(frames[size_t(i)].data(), 1920 * 4, i);
        w.finish();
    }
    state.counters["fps"] = benchmark::Counter(120.0 * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_EncodeOnly120Frames)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
