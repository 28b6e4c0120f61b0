// PNG encode of a 4096^2 map (default and fast level) and decode of a 12 MP JPEG and a
// 12 MP LZW TIFF, each beside a memcpy of the same pixel bytes (the TIFF also beside
// OpenImageIO reading the same bytes).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "PlatformKit/Image/Image.h"
#include <OpenImageIO/filesystem.h>
#include <OpenImageIO/imageio.h>

using namespace pk::image;

namespace {
// A material-like map: smooth gradients with fine noise, so compression has real work.
std::vector<uint8_t> makeMap(int w, int h) {
    std::vector<uint8_t> v(size_t(w) * h * 4);
    uint32_t r = 1;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            r = r * 1664525u + 1013904223u;
            uint8_t* p = &v[(size_t(y) * w + x) * 4];
            p[0] = uint8_t(128 + 100 * std::sin(x * 0.01f) + (r >> 29));
            p[1] = uint8_t(128 + 100 * std::cos(y * 0.013f) + ((r >> 26) & 3));
            p[2] = uint8_t((x ^ y) & 255);
            p[3] = 255;
        }
    return v;
}

void memcpyOf(benchmark::State& state, size_t bytes) {
    std::vector<uint8_t> a(bytes, 3), b(bytes);
    for (auto _ : state) {
        std::memcpy(b.data(), a.data(), bytes);
        benchmark::DoNotOptimize(b.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
}

void BM_MemcpyBaseline_4096Map(benchmark::State& state) { memcpyOf(state, size_t(4096) * 4096 * 4); }
BENCHMARK(BM_MemcpyBaseline_4096Map)->Unit(benchmark::kMillisecond);

void BM_PngEncode4096(benchmark::State& state) {
    static const auto map = makeMap(4096, 4096);
    const int level = int(state.range(0));
    size_t size = 0;
    for (auto _ : state) {
        auto png = encodePng(map.data(), 4096, 4096, 4096 * 4, ChannelOrder::rgba, {level});
        size = png.size();
        benchmark::DoNotOptimize(png.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(map.size()));
    state.counters["png_MiB"] = double(size) / (1 << 20);
}
BENCHMARK(BM_PngEncode4096)->Arg(6)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_MemcpyBaseline_12MP(benchmark::State& state) { memcpyOf(state, size_t(4000) * 3000 * 4); }
BENCHMARK(BM_MemcpyBaseline_12MP)->Unit(benchmark::kMillisecond);

void BM_JpegDecode12MP(benchmark::State& state) {
    static const std::vector<unsigned char> jpeg = [] {
        auto rgba = makeMap(4000, 3000);
        std::vector<unsigned char> out;
        OIIO::Filesystem::IOVecOutput proxy(out);
        auto o = OIIO::ImageOutput::create("x.jpg");
        OIIO::ImageSpec spec(4000, 3000, 3, OIIO::TypeDesc::UINT8);
        spec.attribute("Compression", "jpeg:90");
        o->set_ioproxy(&proxy);
        std::vector<uint8_t> rgb(size_t(4000) * 3000 * 3);
        for (size_t i = 0, j = 0; i < rgba.size(); i += 4, j += 3) std::memcpy(&rgb[j], &rgba[i], 3);
        o->open("x.jpg", spec);
        o->write_image(OIIO::TypeDesc::UINT8, rgb.data());
        o->close();
        return out;
    }();
    for (auto _ : state) {
        auto img = decodeMemory(jpeg);
        if (!img) state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(img);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(4000) * 3000 * 4);
}
BENCHMARK(BM_JpegDecode12MP)->Unit(benchmark::kMillisecond);

// 12 MP RGBA, LZW with the horizontal predictor, in 32-row strips: what photo tools write.
const std::vector<unsigned char>& tiff12MP() {
    static const std::vector<unsigned char> tiff = [] {
        auto rgba = makeMap(4000, 3000);
        std::vector<unsigned char> out;
        OIIO::Filesystem::IOVecOutput proxy(out);
        auto o = OIIO::ImageOutput::create("x.tif");
        OIIO::ImageSpec spec(4000, 3000, 4, OIIO::TypeDesc::UINT8);
        spec.attribute("compression", "lzw");
        spec.attribute("tiff:RowsPerStrip", 32);
        spec.attribute("oiio:UnassociatedAlpha", 1);
        o->set_ioproxy(&proxy);
        o->open("x.tif", spec);
        o->write_image(OIIO::TypeDesc::UINT8, rgba.data());
        o->close();
        return out;
    }();
    return tiff;
}

void BM_TiffDecode12MP(benchmark::State& state) {
    const auto& tiff = tiff12MP();
    for (auto _ : state) {
        auto img = decodeMemory(tiff);
        if (!img) state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(img);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(4000) * 3000 * 4);
}
BENCHMARK(BM_TiffDecode12MP)->Unit(benchmark::kMillisecond);

void BM_TiffOiioRead12MP(benchmark::State& state) {
    const auto& tiff = tiff12MP();
    std::vector<uint8_t> pixels(size_t(4000) * 3000 * 4);
    for (auto _ : state) {
        OIIO::Filesystem::IOMemReader reader(const_cast<unsigned char*>(tiff.data()), tiff.size());
        OIIO::ImageSpec config;
        config.attribute("oiio:UnassociatedAlpha", 1);
        auto in = OIIO::ImageInput::create("tiff", false, &config);
        OIIO::ImageSpec spec;
        const bool ok = in && in->set_ioproxy(&reader) && in->open("x.tif", spec, config) &&
                        in->read_image(0, 0, 0, 4, OIIO::TypeDesc::UINT8, pixels.data());
        if (!ok) state.SkipWithError("read failed");
        benchmark::DoNotOptimize(pixels.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(4000) * 3000 * 4);
}
BENCHMARK(BM_TiffOiioRead12MP)->Unit(benchmark::kMillisecond);
}  // namespace
