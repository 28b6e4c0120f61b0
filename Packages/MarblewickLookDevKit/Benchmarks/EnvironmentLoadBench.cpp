// A 2048 x 1024 panorama through the environment loader beside the bare decode of the
// same file: the loader should add little beyond decoding.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "MarblewickLookDevKit/HDRIEnvironmentLoader.h"
#include "PlatformKit/Foundation/Files.h"
#include "PlatformKit/Image/Image.h"

namespace fs = std::filesystem;

namespace {

// Made with the image tools the build installs: a smooth sky-like gradient with noise.
fs::path panorama(const std::string& ext) {
    const auto dir = pk::temporaryDirectory() / "kestrelune-bench-environments";
    fs::create_directories(dir);
    const fs::path p = dir / ("pano." + ext);
    if (!fs::exists(p)) {
        const std::string cmd = "oiiotool --pattern fill:top=0.2,0.4,0.9:bottom=0.9,0.7,0.4 2048x1024 3 "
                                "--pattern noise:type=gaussian:mean=0:stddev=0.05 2048x1024 3 --add -o '" +
                                p.string() + "' > /dev/null 2>&1";
        if (std::system(cmd.c_str()) != 0) return {};
    }
    return p;
}

void decodeOnly(benchmark::State& state, const std::string& ext) {
    const auto p = panorama(ext);
    for (auto _ : state) {
        auto image = pk::image::decodeFile(p);
        if (!image) state.SkipWithError("no decodable panorama (oiiotool missing?)");
        benchmark::DoNotOptimize(image);
    }
}

void loadPanorama(benchmark::State& state, const std::string& ext) {
    const auto p = panorama(ext);
    for (auto _ : state) {
        auto env = lookdev::HDRIEnvironmentLoader::decodePanoramicImage(p);
        if (!env) state.SkipWithError("no decodable panorama (oiiotool missing?)");
        benchmark::DoNotOptimize(env);
    }
}

void BM_JpegDecode(benchmark::State& state) { decodeOnly(state, "jpg"); }
void BM_JpegPanoramaLoad(benchmark::State& state) { loadPanorama(state, "jpg"); }
void BM_HeicDecode(benchmark::State& state) { decodeOnly(state, "heic"); }
void BM_HeicPanoramaLoad(benchmark::State& state) { loadPanorama(state, "heic"); }

}  // namespace

BENCHMARK(BM_JpegDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JpegPanoramaLoad)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HeicDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HeicPanoramaLoad)->Unit(benchmark::kMillisecond);
