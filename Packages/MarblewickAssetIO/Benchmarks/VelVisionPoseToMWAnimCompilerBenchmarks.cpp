// Clip encoding of a ten-minute 30 fps capture beside a memcpy of the same clip bytes.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "MarblewickAssetIO/VelVisionPoseToMWAnimCompilerV1265.h"

using namespace assetio;
using Compiler = VelVisionPoseToMWAnimCompilerV1265;

namespace {

constexpr size_t kFrames = 18000;

std::vector<VelVision3DPoseFrameV1265> capture() {
    const auto loop = Compiler::selfTestFrames();
    std::vector<VelVision3DPoseFrameV1265> frames;
    frames.reserve(kFrames);
    for (size_t i = 0; i < kFrames; ++i) frames.push_back(loop[i % loop.size()]);
    return frames;
}

void BM_EncodeClip(benchmark::State& state) {
    const auto frames = capture();
    for (auto _ : state) {
        auto bytes = Compiler::encodeClip(frames, 30.0f);
        benchmark::DoNotOptimize(bytes.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(Compiler::clipByteCount(kFrames)));
}

void BM_MemcpyBaseline(benchmark::State& state) {
    const size_t n = Compiler::clipByteCount(kFrames);
    std::vector<uint8_t> src(n, 7);
    for (auto _ : state) {
        std::vector<uint8_t> dst(n);
        std::memcpy(dst.data(), src.data(), n);
        benchmark::DoNotOptimize(dst.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(n));
}

}  // namespace

BENCHMARK(BM_EncodeClip);
BENCHMARK(BM_MemcpyBaseline);
