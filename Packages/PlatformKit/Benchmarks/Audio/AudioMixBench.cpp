// Cost of one 1024-frame mix block (a loop plus 16 kHz queued voice) beside a plain copy
// of the same bytes; the device has 23 ms per block.
#include <benchmark/benchmark.h>

#include <cstring>

#include "PlatformKit/Audio/LoopPlayer.h"
#include "PlatformKit/Audio/QueuePlayer.h"

using namespace pk::audio;

static void BM_MixLoopAndQueueBlock(benchmark::State& state) {
    LoopPlayer loop;
    loop.scheduleLoop(std::vector<float>(176400, 0.1f), std::vector<float>(176400, -0.1f));
    loop.play();
    QueuePlayer q(16000);
    q.play();
    std::vector<float> voice(372, 0.2f), mix(2048);
    for (auto _ : state) {
        q.enqueue(voice, voice);
        std::fill(mix.begin(), mix.end(), 0.0f);
        loop.mixInto(mix.data(), 1024);
        q.mixInto(mix.data(), 1024);
        benchmark::DoNotOptimize(mix.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * 2048 * 4);
}
BENCHMARK(BM_MixLoopAndQueueBlock);

static void BM_BaselineCopyBlock(benchmark::State& state) {
    std::vector<float> src(2048, 0.1f), dst(2048);
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), 2048 * 4);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * 2048 * 4);
}
BENCHMARK(BM_BaselineCopyBlock);
