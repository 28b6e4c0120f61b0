// A 4 s 1920x1080 turntable at 30 fps with the score: frames per second of the whole
// export (synthetic render + encode), beside render only and encode only, same frames.
// And the video bit rate of real exports (the engine's own frames of the shader ball on
// a headless device) per aspect and length, beside the 16 Mb/s they are meant to hold.
// And a 4 s 1920x1080 turntable of real frames against its frame count times one
// full-resolution offscreen frame, measured first in the same run; beside it the same
// frames drawn, read back and encoded one after another on one thread, as a loop without
// overlap does.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <filesystem>

#include "MarblewickLookDevKit/LookDevMetalEngine.h"
#include "MarblewickLookDevKit/StudioTurntableExporter.h"
#include "PlatformKit/Gpu/HeadlessDevice.h"
#include "PlatformKit/Media/MediaProbe.h"
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

static void BM_TurntableBitRateRealFrames(benchmark::State& state) {
    static auto device = pk::gpu::HeadlessDevice::create();
    static auto engine = LookDevMetalEngine::create(device);
    if (!engine) {
        state.SkipWithError("no engine");
        return;
    }
    const auto aspect = TurntableAspectPreset::allCases[size_t(state.range(0))];
    const double duration = double(state.range(1)) / 10.0;
    double bitRate = 0;
    for (auto _ : state) {
        StudioExporters::exportTurntableMP4(*engine, aspect, duration, 30,
                                            creator::VelMusicIntensityStateV950::combatDrive, kPath);
        const auto probe = pk::media::probeMedia(kPath);
        const auto* video = probe ? probe->first(pk::media::StreamProbe::Kind::video) : nullptr;
        if (!video) {
            state.SkipWithError("no video stream");
            return;
        }
        bitRate = video->bitsPerSecond();
    }
    state.counters["video_Mbps"] = bitRate / 1e6;
    state.counters["of_target"] = bitRate / 16e6;
    state.SetLabel(aspect.rawValue() + ", " + std::to_string(duration).substr(0, 4) + " s");
}
// 0.5 s is a batch clip (30 frames, one second of video).
BENCHMARK(BM_TurntableBitRateRealFrames)
    ->Args({0, 5})
    ->Args({0, 40})
    ->Args({0, 100})
    ->Args({1, 5})
    ->Args({1, 40})
    ->Args({2, 5})
    ->Args({2, 40})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);

namespace {

std::shared_ptr<LookDevMetalEngine> realEngine() {
    static auto device = pk::gpu::HeadlessDevice::create();
    static auto engine = LookDevMetalEngine::create(device);
    return engine;
}

constexpr int64_t kRealFrames = 120;  // 4 s at 30 fps
double gOffscreenFrameSec = 0;         // the baseline, measured first

void reportAgainstFrames(benchmark::State& state, double seconds) {
    state.counters["sec_per_frame"] = seconds / double(kRealFrames);
    if (gOffscreenFrameSec > 0)
        state.counters["x_frames_baseline"] = seconds / (double(kRealFrames) * gOffscreenFrameSec);
}

}  // namespace

static void BM_OffscreenFrame1080pBaseline(benchmark::State& state) {
    auto engine = realEngine();
    if (!engine) {
        state.SkipWithError("no engine");
        return;
    }
    engine->renderOffscreenBGRA(1920, 1080, 0.0f);  // programs and textures warm
    const auto start = std::chrono::steady_clock::now();
    int64_t frames = 0;
    for (auto _ : state) {
        auto f = engine->renderOffscreenBGRA(1920, 1080, float(frames++) * 0.05f);
        benchmark::DoNotOptimize(f->data());
    }
    gOffscreenFrameSec = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() /
                         double(std::max<int64_t>(frames, 1));
    state.counters["sec_per_frame"] = gOffscreenFrameSec;
}
// As many frames as the turntable draws, so both see the same stretch of a busy machine.
BENCHMARK(BM_OffscreenFrame1080pBaseline)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(kRealFrames);

static void BM_TurntableRealFrames4s1080p(benchmark::State& state) {
    auto engine = realEngine();
    if (!engine) {
        state.SkipWithError("no engine");
        return;
    }
    double seconds = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        auto receipt =
            StudioExporters::exportTurntableMP4(*engine, TurntableAspectPreset::cinema16x9, 4.0, 30, std::nullopt, kPath);
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        benchmark::DoNotOptimize(receipt.fileSizeBytes);
    }
    reportAgainstFrames(state, seconds);
}
BENCHMARK(BM_TurntableRealFrames4s1080p)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

static void BM_TurntableRealFramesOneAfterAnother(benchmark::State& state) {
    auto engine = realEngine();
    if (!engine) {
        state.SkipWithError("no engine");
        return;
    }
    double seconds = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        pk::media::VideoEncoderSettings vs;
        vs.width = 1920;
        vs.height = 1080;
        vs.averageBitRate = 16'000'000;
        vs.constantBitRate = true;
        pk::media::Mp4Writer w(kPath, vs, std::nullopt);
        w.start();
        const auto scene = engine->currentSceneState();
        for (int64_t i = 0; i < kRealFrames; ++i) {
            const float yaw = scene.yaw + float(double(i) / double(kRealFrames) * 2.0 * 3.141592653589793);
            auto f = engine->renderOffscreenBGRA(1920, 1080, yaw, scene);
            if (f) w.appendVideoFrame(f->data(), 1920 * 4, i);
        }
        w.finish();
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    reportAgainstFrames(state, seconds);
}
BENCHMARK(BM_TurntableRealFramesOneAfterAnother)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
// The baseline again, after the exports: how far the machine's load moved meanwhile.
BENCHMARK(BM_OffscreenFrame1080pBaseline)
    ->Name("BM_OffscreenFrame1080pBaselineAgain")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(kRealFrames);
