// Our LZFSE encoder and decoder beside the reference codec on the same inputs, and a
// plain copy of the same bytes as the floor. Counters: compressed size and ratio.
#include <benchmark/benchmark.h>

#include <cstring>

#include "../../Tests/Compression/LzfseTestSupport.h"

using namespace lzfsetest;

namespace {

const std::vector<uint8_t>& input(int which) {
    static const std::vector<uint8_t> inputs[] = {text(2400 * 1024), mwmsFile(), randomBytes(300 * 1024)};
    return inputs[which];
}
const char* inputName(int which) { return which == 0 ? "text2.4M" : which == 1 ? "mwms" : "random300k"; }

void report(benchmark::State& state, const std::vector<uint8_t>& in, size_t packed) {
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(in.size()));
    state.counters["packedBytes"] = double(packed);
    state.counters["ratio"] = double(in.size()) / double(packed);
    state.SetLabel(inputName(int(state.range(0))));
}

void BM_EncodeOurs(benchmark::State& state) {
    const auto& in = input(int(state.range(0)));
    std::vector<uint8_t> out(in.size() + 4096);
    size_t n = 0;
    for (auto _ : state) benchmark::DoNotOptimize(n = pk::compression::lzfseEncodeBuffer(out, in));
    report(state, in, n);
}

void BM_EncodeReference(benchmark::State& state) {
    if (!haveOracle()) {
        state.SkipWithError("reference codec not built");
        return;
    }
    const auto& in = input(int(state.range(0)));
    std::vector<uint8_t> out;
    for (auto _ : state) benchmark::DoNotOptimize(out = oracleEncode(in, in.size() + 4096));
    report(state, in, out.size());
}

void BM_DecodeOurs(benchmark::State& state) {
    const auto& in = input(int(state.range(0)));
    const auto packed = encode(in);
    std::vector<uint8_t> out(in.size());
    for (auto _ : state) benchmark::DoNotOptimize(pk::compression::lzfseDecodeBuffer(out, packed));
    report(state, in, packed.size());
}

void BM_DecodeReference(benchmark::State& state) {
    if (!haveOracle()) {
        state.SkipWithError("reference codec not built");
        return;
    }
    const auto& in = input(int(state.range(0)));
    const auto packed = oracleEncode(in, in.size() + 4096);
    std::vector<uint8_t> out(in.size());
    for (auto _ : state) benchmark::DoNotOptimize(oracleDecode(packed, out));
    report(state, in, packed.size());
}

void BM_MemcpyBaseline(benchmark::State& state) {
    const auto& in = input(int(state.range(0)));
    std::vector<uint8_t> out(in.size());
    for (auto _ : state) {
        std::memcpy(out.data(), in.data(), in.size());
        benchmark::ClobberMemory();
    }
    report(state, in, in.size());
}

}  // namespace

BENCHMARK(BM_EncodeOurs)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodeReference)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeOurs)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeReference)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MemcpyBaseline)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
