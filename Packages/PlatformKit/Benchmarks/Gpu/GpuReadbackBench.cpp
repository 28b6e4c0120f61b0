// Readback of a 4096 x 4096 RGBA8 texture against a plain memcpy of the same 64 MiB.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "PlatformKit/Gpu/HeadlessDevice.h"

using namespace pk::gpu;

namespace {
constexpr int kSide = 4096;
constexpr size_t kBytes = size_t(kSide) * kSide * 4;

HeadlessDevice& device() {
    static auto d = HeadlessDevice::create();
    return *d;
}

void BM_MemcpyBaseline(benchmark::State& state) {
    std::vector<uint8_t> a(kBytes, 7), b(kBytes);
    for (auto _ : state) {
        std::memcpy(b.data(), a.data(), kBytes);
        benchmark::DoNotOptimize(b.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kBytes));
}
BENCHMARK(BM_MemcpyBaseline)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Readback(benchmark::State& state) {
    const auto order = state.range(0) ? ByteOrder::bgra : ByteOrder::rgba;
    const uint32_t usage = usageShaderRead | (state.range(1) ? usageRenderTarget : 0u);
    auto tex = device().makeTexture({PixelFormat::rgba8Unorm, kSide, kSide, 1, 1, usage});
    std::vector<uint8_t> src(kBytes, 90), out(kBytes);
    device().upload(*tex, src.data(), size_t(kSide) * 4);
    for (auto _ : state) {
        device().readback(*tex, out, order);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kBytes));
}
// (bgra, render target: rows flipped)
BENCHMARK(BM_Readback)->Args({0, 0})->Args({1, 0})->Args({1, 1})->Unit(benchmark::kMillisecond)->UseRealTime();
}  // namespace
