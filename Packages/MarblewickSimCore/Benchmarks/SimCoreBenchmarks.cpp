// Arena step throughput against one float sin/cos pair per step (the least trig a step
// does), and snapshot JSON coding against the JSON library alone and a plain memcpy.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "MarblewickSimCore/SimGrimtideArenaKernel.h"
#include "MarblewickSimCore/SimWorldSnapshot.h"

using namespace simcore;

namespace {

void BM_ArenaStep(benchmark::State& state) {
    SimGrimtideArenaKernel k;
    float t = 0.0f;
    for (auto _ : state) {
        k.step(0.016f, std::sin(t), 0.3f, 0.001f);
        t += 0.01f;
        benchmark::DoNotOptimize(k.playerPos);
    }
    state.counters["steps/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ArenaStep);

void BM_BaselineSinCos(benchmark::State& state) {
    float yaw = 0.0f, t = 0.0f;
    for (auto _ : state) {
        yaw += 0.001f;
        float s = std::sin(yaw), c = std::cos(yaw), u = std::sin(t);
        t += 0.01f;
        benchmark::DoNotOptimize(s);
        benchmark::DoNotOptimize(c);
        benchmark::DoNotOptimize(u);
    }
    state.counters["steps/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_BaselineSinCos);

SimWorldSnapshot bigSnapshot() {
    SimWorldSnapshot s;
    s.schemaVersion = 1010;
    s.gameID = "Teacup Convoy";
    s.tick = 123456789;
    for (int i = 0; i < 200; ++i) {
        SimCargoBody b("Parcel " + std::to_string(i), {i * 0.37, 1.25 + i * 0.01, -i * 1.1}, 10 + i, 1000 + i * 7.5, 2.4);
        for (int j = 0; j < 5; ++j) b.step(1.0 / 60, 9.81, {{0.1, 1.0, 0.2}}, 0);
        s.cargo.push_back(b);
    }
    for (int i = 0; i < 200; ++i)
        s.chips.push_back(SimPlacedChip{"chip-" + std::to_string(i), SimChipModuleKind::allCases[i % 8], i / 16, i % 16, 1 + i % 3});
    return s;
}

void setBytes(benchmark::State& state, size_t n) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * n));
}

void BM_SnapshotEncode(benchmark::State& state) {
    const auto s = bigSnapshot();
    size_t n = 0;
    for (auto _ : state) {
        std::string bytes = s.encodeDeterministicJSON();
        n = bytes.size();
        benchmark::DoNotOptimize(bytes);
    }
    setBytes(state, n);
}
BENCHMARK(BM_SnapshotEncode);

void BM_SnapshotDecode(benchmark::State& state) {
    const std::string bytes = bigSnapshot().encodeDeterministicJSON();
    for (auto _ : state) benchmark::DoNotOptimize(SimWorldSnapshot::decodeDeterministicJSON(bytes));
    setBytes(state, bytes.size());
}
BENCHMARK(BM_SnapshotDecode);

void BM_BaselineJsonDump(benchmark::State& state) {
    const auto j = bigSnapshot().toJson();
    size_t n = 0;
    for (auto _ : state) {
        std::string bytes = j.dump();
        n = bytes.size();
        benchmark::DoNotOptimize(bytes);
    }
    setBytes(state, n);
}
BENCHMARK(BM_BaselineJsonDump);

void BM_BaselineJsonParse(benchmark::State& state) {
    const std::string bytes = bigSnapshot().encodeDeterministicJSON();
    for (auto _ : state) benchmark::DoNotOptimize(nlohmann::json::parse(bytes));
    setBytes(state, bytes.size());
}
BENCHMARK(BM_BaselineJsonParse);

void BM_BaselineMemcpy(benchmark::State& state) {
    const std::string bytes = bigSnapshot().encodeDeterministicJSON();
    std::vector<char> out(bytes.size());
    for (auto _ : state) {
        std::memcpy(out.data(), bytes.data(), bytes.size());
        benchmark::ClobberMemory();
    }
    setBytes(state, bytes.size());
}
BENCHMARK(BM_BaselineMemcpy);

}  // namespace
