// Offscreen frame time beside a clear-only frame of the same size, and the Radiance
// decoder beside a plain read of the same bytes.
#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <cstring>
#include <filesystem>

#include "MarblewickLookDevKit/LookDevMetalEngine.h"
#include "PlatformKit/Foundation/Files.h"
#include "PlatformKit/Gpu/HeadlessDevice.h"
#include "PlatformKit/Gpu/Passes.h"

namespace {

std::shared_ptr<pk::gpu::HeadlessDevice> device() {
    static auto d = pk::gpu::HeadlessDevice::create();
    return d;
}

// CPU seconds of every thread of the process (the software rasteriser's workers
// included): on a machine shared with other work this moves far less than wall time.
double processCpuSeconds() {
    rusage r{};
    getrusage(RUSAGE_SELF, &r);
    return double(r.ru_utime.tv_sec + r.ru_stime.tv_sec) + 1e-6 * double(r.ru_utime.tv_usec + r.ru_stime.tv_usec);
}

struct CpuCounter {
    benchmark::State& state;
    double start = processCpuSeconds();
    ~CpuCounter() {
        state.counters["cpu_ms"] = benchmark::Counter(1e3 * (processCpuSeconds() - start) / double(state.iterations()));
    }
};

std::shared_ptr<lookdev::LookDevMetalEngine> engine() {
    static auto e = lookdev::LookDevMetalEngine::create(device());
    return e;
}

void BM_OffscreenFrame(benchmark::State& state) {
    const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
    auto e = engine();
    e->renderOffscreenBGRA(w, h);  // compiles the programs' variants for this target outside the timing
    CpuCounter cpu{state};
    for (auto _ : state) benchmark::DoNotOptimize(e->renderOffscreenBGRA(w, h));
    state.SetLabel("scene");
}

void BM_ClearOnlyFrame(benchmark::State& state) {
    const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
    auto& dev = *device();
    CpuCounter cpu{state};
    for (auto _ : state) {
        auto bytes = dev.run([&] {
            const pk::gpu::FramebufferDesc fb = lookdev::LookDevMetalEngine::makeViewportTargetTextures(dev, w, h);
            auto target = dev.makeFramebuffer(fb);
            pk::gpu::RenderPassDesc desc;
            desc.clearColor = std::array<float, 4>{0.04f, 0.045f, 0.06f, 1.0f};
            desc.clearDepth = 1.0f;
            {
                pk::gpu::RenderPass pass(dev, *target, desc);
                pass.end();
            }
            return dev.readback(*fb.resolve, pk::gpu::ByteOrder::bgra);
        });
        benchmark::DoNotOptimize(bytes);
    }
    state.SetLabel("baseline: clear + resolve + readback");
}

// An 8192 × 4096 run-length file: every channel of every row one run per 127 pixels.
std::vector<uint8_t> rleFile() {
    const int w = 8192, h = 4096;
    std::string header = "#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y 4096 +X 8192\n";
    std::vector<uint8_t> out(header.begin(), header.end());
    for (int y = 0; y < h; ++y) {
        out.insert(out.end(), {2, 2, static_cast<uint8_t>(w >> 8), static_cast<uint8_t>(w & 0xFF)});
        for (int c = 0; c < 4; ++c)
            for (int x = 0; x < w; x += 127) {
                const int run = std::min(127, w - x);
                out.push_back(static_cast<uint8_t>(128 + run));
                out.push_back(static_cast<uint8_t>(c == 3 ? 128 : (x + y) & 0xFF));
            }
    }
    return out;
}

void BM_RadianceDecode8K(benchmark::State& state) {
    static const auto file = rleFile();
    for (auto _ : state) benchmark::DoNotOptimize(lookdev::HDRIEnvironmentLoader::decodeRadiance(file));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 8192 * 4096 * 8);
}

void BM_RadianceReadBytesBaseline(benchmark::State& state) {
    static const auto file = rleFile();
    const auto path = std::filesystem::temp_directory_path() / "ks-bench-8k.hdr";
    pk::atomicWrite(path, file);
    for (auto _ : state) benchmark::DoNotOptimize(pk::readFile(path));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(file.size()));
    std::filesystem::remove(path);
}

}  // namespace

// The default viewport pane sizes (small and large window) and the exporters' 1080p.
#define KS_VIEWPORT_SIZES ->Args({622, 576})->Args({1042, 856})->Args({1920, 1080})
BENCHMARK(BM_OffscreenFrame) KS_VIEWPORT_SIZES->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ClearOnlyFrame) KS_VIEWPORT_SIZES->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RadianceDecode8K)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_RadianceReadBytesBaseline)->Unit(benchmark::kMillisecond)->Iterations(3);
