// 60 s of score at 44.1 kHz: synthesis time against the 60 s it lasts (realTimeFactor
// = seconds of audio per second of work), beside filling the same two arrays.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

#include "MarblewickCreatorStudio/VelSoundVel4AdaptiveMusicEngineV950.h"

using namespace creator;

static void BM_Synthesize60sScore(benchmark::State& state) {
    VelSoundVel4AdaptiveMusicEngineV950 engine;
    for (auto _ : state) {
        auto buf = engine.synthesizeStemBuffer(VelMusicIntensityStateV950::heroicBossBrass, 60.0, 44100.0);
        benchmark::DoNotOptimize(buf.samplesL.data());
    }
    state.counters["realTimeFactor"] =
        benchmark::Counter(60.0 * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Synthesize60sScore)->Unit(benchmark::kMillisecond)->UseRealTime();

static void BM_BaselineFill60sBuffers(benchmark::State& state) {
    for (auto _ : state) {
        std::vector<float> l(2646000, 0.25f), r(2646000, -0.25f);
        benchmark::DoNotOptimize(l.data());
        benchmark::DoNotOptimize(r.data());
    }
    state.counters["realTimeFactor"] =
        benchmark::Counter(60.0 * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_BaselineFill60sBuffers)->Unit(benchmark::kMillisecond)->UseRealTime();
