// Voice path throughput. Each case reports samples per second and the multiple of real
// time at 16 kHz (one voice); the memcpy case is the floor of touching the same bytes.
#include <benchmark/benchmark.h>

#include <cstring>

#include "MarblewickCreatorStudio/VelIMAADPCMVoiceCodecV1170.h"
#include "MarblewickCreatorStudio/VelSpatialProximityVoiceDSPV1020.h"

using namespace creator;

namespace {
constexpr size_t kBlock = 1024;  // one microphone block

std::vector<float> voice() { return VelSpatialProximityVoiceDSPV1020::generateTestVoiceWave(420, kBlock / 16000.0f, 16000); }

void report(benchmark::State& state, size_t samplesPerIteration) {
    const double samples = static_cast<double>(state.iterations()) * static_cast<double>(samplesPerIteration);
    state.counters["samples/s"] = benchmark::Counter(samples, benchmark::Counter::kIsRate);
    state.counters["x_realtime_16k"] = benchmark::Counter(samples / 16000.0, benchmark::Counter::kIsRate);
}
}  // namespace

static void BM_BaselineMemcpyBlock(benchmark::State& state) {
    const auto in = voice();
    std::vector<float> out(in.size());
    for (auto _ : state) {
        std::memcpy(out.data(), in.data(), in.size() * sizeof(float));
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    report(state, kBlock);
}
BENCHMARK(BM_BaselineMemcpyBlock);

static void BM_AdpcmEncode(benchmark::State& state) {
    const auto in = voice();
    for (auto _ : state) benchmark::DoNotOptimize(VelIMAADPCMVoiceCodecV1170::encodeFloat32Packet(in, 16000));
    report(state, kBlock);
}
BENCHMARK(BM_AdpcmEncode);

static void BM_AdpcmDecode(benchmark::State& state) {
    const auto packet = VelIMAADPCMVoiceCodecV1170::encodeFloat32Packet(voice(), 16000);
    for (auto _ : state) benchmark::DoNotOptimize(VelIMAADPCMVoiceCodecV1170::decodeToFloat32(packet));
    report(state, kBlock);
}
BENCHMARK(BM_AdpcmDecode);

static void BM_Spatialise(benchmark::State& state) {
    const auto in = voice();
    for (auto _ : state)
        benchmark::DoNotOptimize(VelSpatialProximityVoiceDSPV1020::spatializeMonoVoice(
            in, 16000, {0, 1.7f, -14}, {1, 0, 0}, {5.2f, 0.7f, -14}, {0, 0, 0}, 2, 0.24f, 32));
    report(state, kBlock);
}
BENCHMARK(BM_Spatialise);
