// A 3 s highlight clip at 30 fps: drawing and encoding every frame, beside encoding the
// same number of blank frames with the same encoder settings, and drawing alone.
#include <benchmark/benchmark.h>

#include <filesystem>

#include "MarblewickCreatorStudio/VelViralAutoClipper9x16V1030.h"
#include "PlatformKit/Foundation/Files.h"

using creator::VelViralAutoClipper9x16V1030;
namespace fs = std::filesystem;

namespace {
constexpr int kFps = 30;
constexpr int kFrames = 90;
fs::path benchFile(const char* name) { return pk::temporaryDirectory() / name; }
}  // namespace

static void BM_ClipDrawAndEncode(benchmark::State& state) {
    fs::path out = benchFile("bench_viral_clip.mp4");
    for (auto _ : state) {
        auto r = VelViralAutoClipper9x16V1030::exportVerticalViralClip("Neon Rush", "Triple Kill", "+420 XP", nullptr,
                                                                      out, 3.0, kFps);
        benchmark::DoNotOptimize(r.fileSizeBytes);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kFrames);  // items/s = frames per second
    fs::remove(out);
}
BENCHMARK(BM_ClipDrawAndEncode)->Unit(benchmark::kMillisecond)->UseRealTime();

static void BM_ClipEncodeOnlyBlankFrame(benchmark::State& state) {
    fs::path out = benchFile("bench_viral_blank.mp4");
    auto blank = pk::draw2d::Bitmap::create(1080, 1920);
    for (auto _ : state) {
        pk::media::Mp4Writer writer(out, VelViralAutoClipper9x16V1030::encoderSettings(kFps), std::nullopt);
        writer.start();
        for (int i = 0; i < kFrames; ++i) writer.appendVideoFrame(blank->data(), int64_t(blank->bytesPerRow()), i);
        writer.finish();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kFrames);
    fs::remove(out);
}
BENCHMARK(BM_ClipEncodeOnlyBlankFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

static void BM_ClipDrawOnly(benchmark::State& state) {
    auto frame = pk::draw2d::Bitmap::create(1080, 1920);
    for (auto _ : state) {
        for (int i = 0; i < kFrames; ++i) {
            pk::draw2d::Canvas c(*frame, pk::draw2d::Origin::bottomLeft);
            VelViralAutoClipper9x16V1030::drawFrame(c, i, kFrames, "NEON RUSH", "Triple Kill", "+420 XP", nullptr);
        }
        benchmark::DoNotOptimize(frame->data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kFrames);
}
BENCHMARK(BM_ClipDrawOnly)->Unit(benchmark::kMillisecond)->UseRealTime();
