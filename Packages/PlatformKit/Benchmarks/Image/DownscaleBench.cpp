// A map preview: 1024^2 and 4096^2 RGBA down to 220^2 with the area filter, beside the
// Lanczos-3 resize previews used to take, on the same pixels in the same run.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "PlatformKit/Image/Downscale.h"
#include "PlatformKit/Image/Image.h"

using namespace pk::image;

namespace {

RgbaImage noisyMap(int side) {
    RgbaImage im = RgbaImage::blank(side, side);
    uint32_t r = 7;
    for (size_t i = 0; i < im.bytes.size(); ++i) {
        r = r * 1664525u + 1013904223u;
        im.bytes[i] = (i & 3) == 3 ? 255 : uint8_t(r >> 24);
    }
    return im;
}

void BM_PreviewAreaFilter(benchmark::State& state) {
    const RgbaImage map = noisyMap(int(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(downscaledBox(map, 220, 220));
}
BENCHMARK(BM_PreviewAreaFilter)->Arg(1024)->Arg(4096)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PreviewLanczosBaseline(benchmark::State& state) {
    const RgbaImage map = noisyMap(int(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(resized(map, 220, 220, ResizeQuality::high));
}
BENCHMARK(BM_PreviewLanczosBaseline)->Arg(1024)->Arg(4096)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
