// Realism audits at frame sizes a game ships: the text critic on a 1920 x 1080 frame with
// HUD text and on a blank one (beside the bare recognizer on the same text frame), and
// the photorealism audit of a 3840 x 2160 frame beside a plain premultiplied copy of it.
#include <benchmark/benchmark.h>

#include <random>

#include "MarblewickAssetIO/RealismTextLayout.h"
#include "MarblewickAssetIO/VelDeepVisionOCRRealismCriticV1310.h"
#include "MarblewickAssetIO/VelVisualPhotorealismAuditorV1310.h"
#include "PlatformKit/Draw2D/Canvas.h"

using namespace assetio;
using pk::image::RgbaImage;

namespace {

const RgbaImage& hudFrame() {
    static const RgbaImage frame = [] {
        auto bitmap = pk::draw2d::Bitmap::create(1920, 1080);
        pk::draw2d::Canvas canvas(*bitmap, pk::draw2d::Origin::bottomLeft);
        canvas.setFillColor({0.1, 0.12, 0.16, 1});
        canvas.fill({0, 0, 1920, 1080});
        const auto font = pk::draw2d::Font::named("HelveticaNeue-Bold", 36);
        canvas.drawText("SCORE 12400", font, {1, 1, 1, 1}, {60, 1000});
        canvas.drawText("WAVE 7 OF 12", font, {1, 1, 1, 1}, {1500, 1000});
        canvas.drawText("Press E to open the gate", font, {1, 0.9, 0.6, 1}, {700, 120});
        canvas.drawText("AMMO 24 / 96", font, {1, 1, 1, 1}, {60, 60});
        canvas.flush();
        return realism::frameFromBitmap(*bitmap);
    }();
    return frame;
}

const RgbaImage& blankFrame() {
    static const RgbaImage frame = [] {
        RgbaImage img = RgbaImage::blank(1920, 1080);
        for (size_t i = 3; i < img.bytes.size(); i += 4) img.bytes[i] = 255;
        return img;
    }();
    return frame;
}

const RgbaImage& frame4K() {
    static const RgbaImage frame = [] {
        RgbaImage img = RgbaImage::blank(3840, 2160);
        std::mt19937 rng(3);
        for (size_t i = 0; i < img.bytes.size(); i += 4) {
            img.bytes[i] = static_cast<uint8_t>(rng());
            img.bytes[i + 1] = static_cast<uint8_t>(rng());
            img.bytes[i + 2] = static_cast<uint8_t>(rng());
            img.bytes[i + 3] = 255;
        }
        return img;
    }();
    return frame;
}

void BM_OCRAuditTextFrame1080p(benchmark::State& state) {
    const RgbaImage& frame = hudFrame();
    for (auto _ : state) {
        auto r = VelDeepVisionOCRRealismCriticV1310::auditImage(frame, "hud", true, kRealismMinTextContrast,
                                                              kRealismMaxCentralClutter);
        benchmark::DoNotOptimize(r.recognizedCount);
        state.counters["boxes"] = static_cast<double>(r.recognizedCount);
    }
}

void BM_RecognizerOnlyTextFrame1080p(benchmark::State& state) {
    const RgbaImage& frame = hudFrame();
    for (auto _ : state) {
        auto lines = pk::vision::defaultTextRecognizer().recognize(frame);
        benchmark::DoNotOptimize(lines.data());
    }
}

void BM_OCRAuditBlankFrame1080p(benchmark::State& state) {
    const RgbaImage& frame = blankFrame();
    for (auto _ : state) {
        auto r = VelDeepVisionOCRRealismCriticV1310::auditImage(frame, "blank", true, kRealismMinTextContrast,
                                                              kRealismMaxCentralClutter);
        benchmark::DoNotOptimize(r.passed);
    }
}

void BM_PhotorealismAuditFrame4K(benchmark::State& state) {
    const RgbaImage& frame = frame4K();
    for (auto _ : state) {
        auto r = VelVisualPhotorealismAuditorV1310::auditFrame(frame, "4k");
        benchmark::DoNotOptimize(r.meanLuminance);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(frame.bytes.size()));
}

void BM_PremultipliedCopy4KBaseline(benchmark::State& state) {
    const RgbaImage& frame = frame4K();
    for (auto _ : state) {
        auto pixels = VelDeepVisionOCRRealismCriticV1310::rgba8Pixels(frame);
        benchmark::DoNotOptimize(pixels.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(frame.bytes.size()));
}

}  // namespace

BENCHMARK(BM_OCRAuditTextFrame1080p)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RecognizerOnlyTextFrame1080p)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OCRAuditBlankFrame1080p)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PhotorealismAuditFrame4K)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PremultipliedCopy4KBaseline)->Unit(benchmark::kMillisecond);
