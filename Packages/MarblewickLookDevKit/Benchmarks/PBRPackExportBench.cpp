// A 4096^2 PBR pack synthesized by the real kernels and written to disk (read back,
// encoded, written atomically, manifest), each iteration beside its baseline: the same
// four maps encoded one after another with libpng at zlib level 6 through OpenImageIO,
// the way packs were written before. Counters: both wall times and their ratio, the CPU
// time of all the pack's threads and its ratio to the baseline (what the wall ratio
// tends to when cores are busy elsewhere), the pack's size against the level-6 files
// and the worst single file's size ratio.
#include <benchmark/benchmark.h>

#include <OpenImageIO/filesystem.h>
#include <OpenImageIO/imageio.h>

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <filesystem>

#include "MarblewickLookDevKit/PBRMaterialForgeEngine.h"
#include "MarblewickLookDevKit/PBRPackExporter.h"
#include "PlatformKit/Gpu/HeadlessDevice.h"

using namespace lookdev;
namespace fs = std::filesystem;

namespace {

std::shared_ptr<pk::gpu::HeadlessDevice>& device() {
    static auto d = pk::gpu::HeadlessDevice::create();
    return d;
}

double seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// CPU seconds of every thread of the process so far.
double processCpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

size_t level6PngSize(const pk::image::RgbaImage& image) {
    std::vector<unsigned char> out;
    OIIO::Filesystem::IOVecOutput proxy(out);
    auto writer = OIIO::ImageOutput::create("map.png");
    OIIO::ImageSpec spec(image.width, image.height, 4, OIIO::TypeDesc::UINT8);
    spec.alpha_channel = 3;
    spec.attribute("png:compressionLevel", 6);
    spec.attribute("oiio:UnassociatedAlpha", 1);
    writer->set_ioproxy(&proxy);
    writer->open("map.png", spec);
    writer->write_image(OIIO::TypeDesc::UINT8, image.bytes.data(), 4, OIIO::stride_t(image.stride));
    writer->close();
    return out.size();
}

void BM_PBRPack4096BesideSerialLevel6(benchmark::State& state) {
    const auto preset = PBRMaterialPreset::Case(state.range(0));
    auto forge = PBRMaterialForgeEngine::create(device());
    PBRMaterialParameters p;
    p.preset = preset;
    p.resolution = 4096;
    const auto pack = forge->synthesize(p);
    if (!pack) {
        state.SkipWithError("synthesis failed");
        return;
    }
    const std::shared_ptr<pk::gpu::Texture> maps[4] = {pack->albedo, pack->normal, pack->orm, pack->emissive};
    std::vector<pk::image::RgbaImage> images;
    for (const auto& m : maps) images.push_back(*PBRMaterialForgeEngine::makeCGImage(*device(), *m));
    const fs::path folder = fs::temp_directory_path() / "lookdev_pbrpack_bench";

    double baseline = 0, packTime = 0, packCpu = 0, baselineBytes = 0, packBytes = 0, worstFile = 0;
    for (auto _ : state) {
        auto t0 = std::chrono::steady_clock::now();
        size_t level6[4];
        for (int i = 0; i < 4; ++i) level6[i] = level6PngSize(images[size_t(i)]);
        baseline += seconds(t0);

        t0 = std::chrono::steady_clock::now();
        const double cpu0 = processCpuSeconds();
        const auto files = StudioExporters::exportPBRPack(*device(), *pack, folder);
        const double t = seconds(t0);
        packCpu += processCpuSeconds() - cpu0;
        packTime += t;
        state.SetIterationTime(t);

        baselineBytes = packBytes = 0;
        for (int i = 0; i < 4; ++i) {
            const double size = double(fs::file_size(files[size_t(i)]));
            baselineBytes += double(level6[i]);
            packBytes += size;
            worstFile = std::max(worstFile, size / double(level6[i]));
        }
    }
    fs::remove_all(folder);
    state.counters["serial_level6_s"] = baseline / double(state.iterations());
    state.counters["pack_s"] = packTime / double(state.iterations());
    state.counters["time_ratio"] = packTime / baseline;
    state.counters["pack_cpu_s"] = packCpu / double(state.iterations());
    state.counters["cpu_ratio"] = packCpu / baseline;
    state.counters["size_ratio"] = packBytes / baselineBytes;
    state.counters["worst_file_ratio"] = worstFile;
    state.SetLabel(PBRMaterialPreset(preset).title());
}
BENCHMARK(BM_PBRPack4096BesideSerialLevel6)
    ->Arg(PBRMaterialPreset::wetUrbanAsphalt)
    ->Arg(PBRMaterialPreset::carbonFiberTwill)
    ->Arg(PBRMaterialPreset::volcanicMossBasalt)
    ->Arg(PBRMaterialPreset::luminousCircuitCarbon)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

}  // namespace
