// Drawing a full 1080 × 1920 frame (fills, an ellipse, three text lines) beside a plain
// memset of the same bytes.
#include <benchmark/benchmark.h>

#include <cstring>

#include "PlatformKit/Draw2D/Canvas.h"

using namespace pk::draw2d;

static void BM_MemsetFrame(benchmark::State& state) {
    auto b = Bitmap::create(1080, 1920);
    for (auto _ : state) {
        std::memset(b->data(), 0x40, b->byteCount());
        benchmark::DoNotOptimize(b->data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(b->byteCount()));
}
BENCHMARK(BM_MemsetFrame);

static void BM_DrawFrame(benchmark::State& state) {
    auto b = Bitmap::create(1080, 1920);
    Font title = Font::named("HelveticaNeue-Bold", 56);
    for (auto _ : state) {
        Canvas c(*b, Origin::bottomLeft);
        c.setFillColor({0.05, 0.08, 0.14, 1});
        c.fill({0, 0, 1080, 1920});
        c.setFillColor({0.09, 0.16, 0.28, 1});
        c.fill({60, 360, 960, 1180});
        c.setFillColor({1, 0.78, 0.14, 0.96});
        c.fillEllipse({420, 880, 240, 240});
        c.drawText("MARBLEWICK HIGHLIGHT", title, {1, 1, 1, 1}, {64, 1710});
        c.drawText("Triple combo", title, {1, 1, 1, 1}, {64, 1600});
        c.drawText("+420 XP", title, {1, 0.84, 0.18, 1}, {64, 150});
        c.flush();
        benchmark::DoNotOptimize(b->data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(b->byteCount()));
}
BENCHMARK(BM_DrawFrame);
