// Synthesis time at 1024, 2048 and 4096 for a noise preset and for the photo kernel,
// each beside a kernel that only writes the same four maps (the floor of any synthesis:
// four RGBA8 image stores per pixel); the mip chains a synthesis builds beside the
// synthesis alone; synthesize() with the window's previews against its dispatch; and the
// readback of one 4096^2 map.
#include <benchmark/benchmark.h>

#include <chrono>

#include "MarblewickLookDevKit/PBRMaterialForgeEngine.h"
#include "PlatformKit/Gpu/HeadlessDevice.h"
#include "PlatformKit/Gpu/Passes.h"

using namespace lookdev;
using namespace pk::gpu;

namespace {

std::shared_ptr<HeadlessDevice>& device() {
    static auto d = HeadlessDevice::create();
    return d;
}
PBRMaterialForgeEngine& forge() {
    static auto e = PBRMaterialForgeEngine::create(device());
    return *e;
}

const char* kWriteOnly = R"(#version 450
layout(local_size_x = 16, local_size_y = 16) in;
layout(rgba8, binding = 0) uniform writeonly image2D a;
layout(rgba8, binding = 1) uniform writeonly image2D b;
layout(rgba8, binding = 2) uniform writeonly image2D c;
layout(rgba8, binding = 3) uniform writeonly image2D d;
void main() {
    ivec2 p = ivec2(gl_GlobalInvocationID.xy);
    if (p.x >= imageSize(a).x || p.y >= imageSize(a).y) return;
    vec4 v = vec4(vec2(p & 255) / 255.0, 0.5, 1.0);
    imageStore(a, p, v); imageStore(b, p, v.yxzw); imageStore(c, p, v.zyxw); imageStore(d, p, v.wzyx);
}
)";

// Milliseconds of one write-only dispatch over four side^2 maps (mean of three).
double writeOnlyMs(int side) {
    static auto program = device()->makeComputeProgram(kWriteOnly, "write_only_baseline");
    std::shared_ptr<Texture> maps[4];
    for (auto& m : maps) m = device()->makeTexture({PixelFormat::rgba8Unorm, side, side, 1, 1, usageShaderRead | usageShaderWrite});
    double total = 0;
    for (int run = 0; run < 4; ++run) {
        double s = device()->run([&] {
            auto t0 = std::chrono::steady_clock::now();
            {
                ComputePass pass(*device());
                pass.setProgram(*program);
                for (uint32_t i = 0; i < 4; ++i) pass.setImage(i, *maps[i], ImageAccess::writeOnly);
                pass.dispatchThreads(uint32_t(side), uint32_t(side));
            }
            device()->finish();
            return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
        });
        if (run > 0) total += s;  // the first run pays for compilation
    }
    return total / 3;
}

void report(benchmark::State& state, double synthMsSum, int side) {
    const double synthMs = synthMsSum / double(state.iterations());
    const double baseMs = writeOnlyMs(side);
    state.counters["synth_ms"] = synthMs;
    state.counters["write_only_ms"] = baseMs;
    state.counters["ratio"] = synthMs / baseMs;
}

void BM_SynthesizePreset(benchmark::State& state) {
    const int side = int(state.range(0));
    PBRMaterialParameters p;
    p.preset = PBRMaterialPreset::volcanicMossBasalt;
    p.resolution = side;
    double sum = 0;
    for (auto _ : state) {
        auto pack = forge().synthesize(p);
        if (!pack) state.SkipWithError("synthesis failed");
        else sum += pack->synthesisMs;
    }
    report(state, sum, side);
}
BENCHMARK(BM_SynthesizePreset)->Arg(1024)->Arg(2048)->Arg(4096)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// The four mip chains are built inside synthesize(), after the timed dispatch; here they
// are built again on the same maps and timed on their own, beside synthesisMs.
void BM_SynthesisWithMipChains(benchmark::State& state) {
    const int side = int(state.range(0));
    PBRMaterialParameters p;
    p.preset = PBRMaterialPreset::carbonFiberTwill;
    p.resolution = side;
    double synthSum = 0, mipSum = 0;
    for (auto _ : state) {
        auto pack = forge().synthesize(p);
        if (!pack) {
            state.SkipWithError("synthesis failed");
            break;
        }
        synthSum += pack->synthesisMs;
        mipSum += device()->run([&] {
            const auto t0 = std::chrono::steady_clock::now();
            for (auto* map : {&pack->albedo, &pack->normal, &pack->orm, &pack->emissive}) device()->generateMipmaps(**map);
            device()->finish();
            return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
        });
    }
    const double n = double(state.iterations());
    state.counters["synth_ms"] = synthSum / n;
    state.counters["mips_ms"] = mipSum / n;
    state.counters["with_mips_ratio"] = (synthSum + mipSum) / synthSum;
}
BENCHMARK(BM_SynthesisWithMipChains)->Arg(1024)->Arg(4096)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// What a resynthesis costs the window: synthesize() and the four 220 previews, timed as
// a whole on the caller's thread, against the dispatch inside it (its synthesisMs).
void BM_SynthesizeWithPreviews(benchmark::State& state) {
    const int side = int(state.range(0));
    PBRMaterialParameters p;
    p.preset = PBRMaterialPreset::volcanicMossBasalt;
    p.resolution = side;
    double wallSum = 0, dispatchSum = 0, synthesizeSum = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        auto pack = forge().synthesize(p);
        const auto t1 = std::chrono::steady_clock::now();
        if (!pack) {
            state.SkipWithError("synthesis failed");
            break;
        }
        auto previews = PBRMaterialForgeEngine::makePreviews(*device(), *pack, 220);
        benchmark::DoNotOptimize(previews);
        const auto t2 = std::chrono::steady_clock::now();
        synthesizeSum += std::chrono::duration<double, std::milli>(t1 - t0).count();
        wallSum += std::chrono::duration<double, std::milli>(t2 - t0).count();
        dispatchSum += pack->synthesisMs;
    }
    const double n = double(state.iterations());
    state.counters["dispatch_ms"] = dispatchSum / n;
    state.counters["synthesize_ms"] = synthesizeSum / n;
    state.counters["with_previews_ms"] = wallSum / n;
    state.counters["synthesize_ratio"] = synthesizeSum / dispatchSum;
    state.counters["with_previews_ratio"] = wallSum / dispatchSum;
}
BENCHMARK(BM_SynthesizeWithPreviews)->Arg(1024)->Arg(4096)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_SynthesizePhoto(benchmark::State& state) {
    const int side = int(state.range(0));
    pk::image::RgbaImage photo = pk::image::RgbaImage::blank(1600, 1200);
    for (size_t i = 0; i < photo.bytes.size(); ++i) photo.bytes[i] = uint8_t((i * 2654435761u) >> 24) | ((i & 3) == 3 ? 255 : 0);
    PBRMaterialParameters p;
    p.resolution = side;
    double sum = 0;
    for (auto _ : state) {
        auto pack = forge().synthesizeFromCGImage(photo, "bench", p);
        if (!pack) state.SkipWithError("synthesis failed");
        else sum += pack->synthesisMs;
    }
    report(state, sum, side);
}
BENCHMARK(BM_SynthesizePhoto)->Arg(1024)->Arg(2048)->Arg(4096)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_ReadbackMap4096(benchmark::State& state) {
    PBRMaterialParameters p;
    p.resolution = 4096;
    auto pack = forge().synthesize(p);
    std::vector<uint8_t> out(size_t(4096) * 4096 * 4);
    for (auto _ : state) {
        device()->readback(*pack->albedo, out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(out.size()));
}
BENCHMARK(BM_ReadbackMap4096)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_MemcpyBaseline4096Map(benchmark::State& state) {
    std::vector<uint8_t> a(size_t(4096) * 4096 * 4, 1), b(a.size());
    for (auto _ : state) {
        std::memcpy(b.data(), a.data(), a.size());
        benchmark::DoNotOptimize(b.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(a.size()));
}
BENCHMARK(BM_MemcpyBaseline4096Map)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
