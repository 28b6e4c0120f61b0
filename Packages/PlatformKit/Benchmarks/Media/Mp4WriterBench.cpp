// H.264 encoding of 1920x1080 BGRA frames (conversion included) beside a plain copy of
// the same frame bytes.
#include <benchmark/benchmark.h>

#include <cstring>
#include <filesystem>

#include "PlatformKit/Media/Mp4Writer.h"

using namespace pk::media;

namespace {
std::vector<uint8_t> gradientFrame(int w, int h, int t) {
    std::vector<uint8_t> px(size_t(w) * h * 4);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = &px[(size_t(y) * w + x) * 4];
            p[0] = uint8_t(x + t);
            p[1] = uint8_t(y);
            p[2] = uint8_t((x + y) / 8);
            p[3] = 255;
        }
    return px;
}
}  // namespace

static void BM_EncodeFrames1080p(benchmark::State& state) {
    const auto path = std::filesystem::temp_directory_path() / "pk_media_bench.mp4";
    VideoEncoderSettings vs;
    vs.width = 1920;
    vs.height = 1080;
    Mp4Writer w(path, vs, std::nullopt);
    w.start();
    std::vector<std::vector<uint8_t>> frames;
    for (int i = 0; i < 8; ++i) frames.push_back(gradientFrame(1920, 1080, i * 5));
    int64_t pts = 0;
    for (auto _ : state) {
        const auto& f = frames[size_t(pts % 8)];
        w.appendVideoFrame(f.data(), 1920 * 4, pts++);
    }
    w.finish();
    state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    std::filesystem::remove(path);
}
BENCHMARK(BM_EncodeFrames1080p)->Unit(benchmark::kMillisecond)->UseRealTime();

static void BM_BaselineCopyFrame1080p(benchmark::State& state) {
    std::vector<uint8_t> src(size_t(1920) * 1080 * 4, 7), dst(src.size());
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), src.size());
        benchmark::ClobberMemory();
    }
    state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_BaselineCopyFrame1080p)->Unit(benchmark::kMillisecond)->UseRealTime();
