// Our LZFSE encoder and decoder beside the reference codec on the same inputs. Every
// iteration runs ours and then the reference on the same bytes, so both see the same
// machine; the time shown is ours, and the counters give the reference's time over
// ours (refTime/ours: above 1 means faster than the reference) and our stream's size
// over the reference's. A plain copy of each input is the floor.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>

#include "../../Tests/Compression/LzfseTestSupport.h"
#include "PlatformKit/Foundation/Files.h"

using namespace lzfsetest;

namespace {

// Real text: this package's own sources in a fixed order, cut to 180 KB.
std::vector<uint8_t> sourceText(size_t n) {
    std::vector<std::filesystem::path> files;
    for (const auto& e : std::filesystem::recursive_directory_iterator(KS_PLATFORMKIT_SOURCES))
        if (e.is_regular_file()) files.push_back(e.path());
    std::sort(files.begin(), files.end());
    std::vector<uint8_t> out;
    for (const auto& f : files) {
        if (const auto b = pk::readFile(f)) out.insert(out.end(), b->begin(), b->end());
        if (out.size() >= n) break;
    }
    out.resize(std::min(out.size(), n));
    return out;
}

struct Input {
    const char* name;
    std::vector<uint8_t> bytes;
};

const std::vector<Input>& inputs() {
    static const std::vector<Input> all = {
        {"text4K", text(4096)},
        {"text180K", text(180 * 1000)},
        {"sources180K", sourceText(180 * 1000)},
        {"random300K", randomBytes(300 * 1024)},
        {"zeros1M", std::vector<uint8_t>(1 << 20, 0)},
        {"heroMesh", mwmsFile()},
        {"text2.4M", text(2400 * 1024)},
        // Below 4 KiB: LZVN blocks.
        {"text1000", text(1000)},
        {"text4095", text(4095)},
        {"heroMesh2K", mwmsFile(4, 6)},
    };
    return all;
}

double seconds(std::chrono::steady_clock::time_point a, std::chrono::steady_clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

void report(benchmark::State& state, const Input& in, double ours, double theirs, size_t ourBytes, size_t theirBytes) {
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(in.bytes.size()));
    state.counters["refTime/ours"] = theirs / ours;
    state.counters["size/ref"] = double(ourBytes) / double(theirBytes);
    state.counters["packedBytes"] = double(ourBytes);
    state.SetLabel(in.name);
}

void BM_Encode(benchmark::State& state) {
    if (!haveOracle()) {
        state.SkipWithError("reference codec not built");
        return;
    }
    const Input& in = inputs()[size_t(state.range(0))];
    std::vector<uint8_t> out(in.bytes.size() + 4096), ref(in.bytes.size() + 4096);
    size_t n = 0, m = 0;
    double ours = 0, theirs = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(n = pk::compression::lzfseEncodeBuffer(out, in.bytes));
        const auto t1 = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(m = oracleEncodeInto(ref, in.bytes));
        const auto t2 = std::chrono::steady_clock::now();
        ours += seconds(t0, t1);
        theirs += seconds(t1, t2);
        state.SetIterationTime(seconds(t0, t1));
    }
    report(state, in, ours, theirs, n, m);
}

// Each decoder reads its own encoder's stream (as in use), and also the other one's.
void BM_Decode(benchmark::State& state) {
    if (!haveOracle()) {
        state.SkipWithError("reference codec not built");
        return;
    }
    const Input& in = inputs()[size_t(state.range(0))];
    const auto packed = encode(in.bytes);
    const auto theirPacked = oracleEncode(in.bytes, in.bytes.size() + 4096);
    std::vector<uint8_t> out(in.bytes.size());
    double ours = 0, theirs = 0, oursOnTheirs = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(pk::compression::lzfseDecodeBuffer(out, packed));
        const auto t1 = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(oracleDecode(theirPacked, out));
        const auto t2 = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(pk::compression::lzfseDecodeBuffer(out, theirPacked));
        const auto t3 = std::chrono::steady_clock::now();
        ours += seconds(t0, t1);
        theirs += seconds(t1, t2);
        oursOnTheirs += seconds(t2, t3);
        state.SetIterationTime(seconds(t0, t1));
    }
    report(state, in, ours, theirs, packed.size(), theirPacked.size());
    state.counters["refTime/oursOnRefStream"] = theirs / oursOnTheirs;
}

void BM_MemcpyBaseline(benchmark::State& state) {
    const Input& in = inputs()[size_t(state.range(0))];
    std::vector<uint8_t> out(in.bytes.size());
    for (auto _ : state) {
        std::memcpy(out.data(), in.bytes.data(), in.bytes.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(in.bytes.size()));
    state.SetLabel(in.name);
}

}  // namespace

BENCHMARK(BM_Encode)->DenseRange(0, 9)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Decode)->DenseRange(0, 9)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MemcpyBaseline)->DenseRange(0, 9)->Unit(benchmark::kMicrosecond);
