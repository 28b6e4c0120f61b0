// Pack archive: packing with verification of 200 hero meshes of 256 KiB, of the same
// bytes as one entry, and of one 256 KiB mesh alone, each iteration beside the codec's
// own encode of the same bytes into a buffer made once (encodeTime/pack; the goal is at
// least 0.5) and a durable write of an archive's
// worth of bytes (atomicWriteMs: the fsync floor every pack pays); and extracting one
// entry of the 200-entry archive beside decoding and digesting its blob in memory.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <string>

#include "../Tests/MWMeshTestWriter.h"
#include "MarblewickAssetIO/VelMWPakBinaryArchiveStreamerV1085.h"
#include "PlatformKit/Compression/Lzfse.h"
#include "PlatformKit/Foundation/Files.h"

namespace fs = std::filesystem;
using S = assetio::VelMWPakBinaryArchiveStreamerV1085;

namespace {

constexpr size_t kEntryBytes = 256 * 1024;

// A hero mesh of about 256 KiB: a wavy grid in strips of 64 columns (so that local
// indices fit 8 bits), shaped and placed differently for every index.
std::vector<uint8_t> heroMesh(int index) {
    constexpr uint32_t kColumns = 64;
    mwmesh_test::File f;
    const float phase = 0.37f * float(index), scale = 1.0f + 0.01f * float(index);
    uint32_t row = 0;
    while (true) {
        const size_t bytes = 20 + 32 * f.meshlets.size() + 48 * f.vertices.size() + f.indexBytes.size();
        if (bytes + 48 * 2 * kColumns + 32 + 6 * kColumns > kEntryBytes) break;
        const uint32_t base = static_cast<uint32_t>(f.vertices.size());
        for (uint32_t r = 0; r < 2; ++r)
            for (uint32_t c = 0; c < kColumns; ++c) {
                const float x = scale * float(c), z = scale * float(row + r);
                const float y = 0.3f * std::sin(0.2f * x + phase) * std::cos(0.15f * z - phase);
                f.vertices.push_back(mwmesh_test::vertex(x, y, z, 0.0f, 1.0f, 0.0f));
            }
        f.meshlets.push_back({base, static_cast<uint32_t>(f.indexBytes.size()), 2 * (kColumns - 1)});
        for (uint32_t c = 0; c + 1 < kColumns; ++c) {
            const uint8_t a = uint8_t(c), b = uint8_t(c + 1), d = uint8_t(c + kColumns), e = uint8_t(c + 1 + kColumns);
            for (uint8_t i : {a, d, b, b, d, e}) f.indexBytes.push_back(i);
        }
        row += 2;
    }
    auto bytes = f.bytes();
    bytes.resize(kEntryBytes, 0);  // the same size for every entry
    return bytes;
}

struct Corpus {
    std::vector<fs::path> files;
    std::vector<std::vector<uint8_t>> contents;
    fs::path whole;  // all 200 meshes back to back in one file
    std::vector<uint8_t> wholeContent;
};

fs::path benchDir() { return pk::temporaryDirectory() / "kestrelune-bench-mwpak"; }

const Corpus& corpus() {
    static const Corpus c = [] {
        Corpus k;
        for (int i = 0; i < 200; ++i) {
            k.contents.push_back(heroMesh(i));
            k.files.push_back(benchDir() / ("Hero_" + std::to_string(i) + ".mwmesh"));
            pk::atomicWrite(k.files.back(), k.contents.back());
            k.wholeContent.insert(k.wholeContent.end(), k.contents.back().begin(), k.contents.back().end());
        }
        k.whole = benchDir() / "AllHeroes.mwmesh";
        pk::atomicWrite(k.whole, k.wholeContent);
        return k;
    }();
    return c;
}

double seconds(std::chrono::steady_clock::time_point a, std::chrono::steady_clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

// range(0): 0 = 200 meshes, 1 = the same bytes as one entry, 2 = one mesh.
void BM_PackAndVerify(benchmark::State& state) {
    const Corpus& c = corpus();
    std::vector<fs::path> files;
    std::vector<const std::vector<uint8_t>*> contents;
    const int kind = int(state.range(0));
    if (kind == 0) {
        files = c.files;
        for (const auto& b : c.contents) contents.push_back(&b);
    } else if (kind == 1) {
        files = {c.whole};
        contents = {&c.wholeContent};
    } else {
        files = {c.files[0]};
        contents = {&c.contents[0]};
    }
    size_t raw = 0;
    for (const auto* b : contents) raw += b->size();
    const fs::path archive = benchDir() / "out" / "bench.mwpak";
    const fs::path plain = benchDir() / "out" / "plain.bin";
    size_t largest = 0;
    for (const auto* b : contents) largest = std::max(largest, b->size());
    std::vector<uint8_t> encoded(pk::compression::lzfseEncodeBound(largest));
    double pack = 0, encode = 0, write = 0;
    bool verified = true;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        const auto receipt = S::packFilesToMWPak(files, archive, nullptr);
        const auto t1 = std::chrono::steady_clock::now();
        size_t packed = 0;
        for (const auto* b : contents) packed += pk::compression::lzfseEncodeBuffer(encoded, *b);
        const auto t2 = std::chrono::steady_clock::now();
        pk::atomicWrite(plain, std::vector<uint8_t>(packed, 0x5A));
        const auto t3 = std::chrono::steady_clock::now();
        verified = verified && receipt.allSHA256Verified && receipt.entryCount == int64_t(files.size());
        pack += seconds(t0, t1);
        encode += seconds(t1, t2);
        write += seconds(t2, t3);
        state.SetIterationTime(seconds(t0, t1));
    }
    if (!verified) state.SkipWithError("archive did not verify");
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(raw));
    state.SetLabel(kind == 0 ? "200 x 256 KiB" : kind == 1 ? "1 x 50 MiB" : "1 x 256 KiB");
    state.counters["encodeTime/pack"] = encode / pack;
    state.counters["atomicWriteMs"] = 1000.0 * write / double(state.iterations());
}

void BM_ExtractOneOf200(benchmark::State& state) {
    const Corpus& c = corpus();
    const fs::path archive = benchDir() / "out" / "extract.mwpak";
    S::packFilesToMWPak(c.files, archive, nullptr);
    const std::string name = "Hero_199";
    const auto blob = S::lzfseCompress(c.contents.back());
    double extract = 0, decode = 0;
    bool same = true;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        const auto bytes = S::extractEntryData(name, archive);
        const auto t1 = std::chrono::steady_clock::now();
        const auto plain = S::lzfseDecompress(*blob, kEntryBytes);
        benchmark::DoNotOptimize(S::hexDigest(S::sha256(*plain)));
        const auto t2 = std::chrono::steady_clock::now();
        same = same && bytes == c.contents.back();
        extract += seconds(t0, t1);
        decode += seconds(t1, t2);
        state.SetIterationTime(seconds(t0, t1));
    }
    if (!same) state.SkipWithError("extracted bytes differ");
    state.counters["decodeTime/extract"] = decode / extract;
    state.counters["archiveMiB"] = double(fs::file_size(archive)) / 1048576.0;
}

}  // namespace

BENCHMARK(BM_PackAndVerify)->DenseRange(0, 2)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExtractOneOf200)->UseManualTime()->Unit(benchmark::kMillisecond);
