// One 640 × 480 camera frame through the facecam's processing: segmented cut-out and blur
// (GrabCut seeded by a known face, following the previous mask as a live feed does) beside
// the same compositing with a fixed matte (no segmentation) and the plain mirrored frame.
// items/s = frames per second. The face cascade on its own is measured too.
#include <benchmark/benchmark.h>

#include "MarblewickCreatorStudio/VelCreatorCameraFeedV1045.h"
#include "PlatformKit/Draw2D/Canvas.h"

using creator::VelCreatorCameraFeedV1045;
using Mode = creator::VelFacecamBackgroundModeV1045;

namespace {

// A webcam-like frame: a room with a desk edge, shoulders cut by the bottom, a head.
pk::capture::FrameImage webcamFrame() {
    auto b = *pk::draw2d::Bitmap::create(640, 480);
    pk::draw2d::Canvas c(b);
    c.setFillColor({0.55, 0.6, 0.52, 1});
    c.fill({0, 0, 640, 480});
    c.setFillColor({0.42, 0.3, 0.22, 1});
    c.fill({0, 380, 640, 100});
    c.setFillColor({0.15, 0.22, 0.6, 1});
    c.fillEllipse({170, 300, 300, 330});
    c.setFillColor({0.85, 0.66, 0.55, 1});
    c.fillEllipse({270, 110, 100, 150});
    c.flush();
    return std::make_shared<const pk::draw2d::Bitmap>(std::move(b));
}

// The real segmenter with the face given, so the run measures GrabCut and compositing.
struct SeededSegmenter : pk::vision::PersonSegmenter {
    pk::vision::FaceSeededPersonSegmenter inner;
    std::optional<pk::vision::GrayMask> segment(const pk::draw2d::BitmapView& f) override {
        return inner.segment(f, pk::vision::FaceBox{270, 120, 100, 130});
    }
};

// A fixed matte at the segmenter's working size: compositing without segmentation.
struct FixedMatte : pk::vision::PersonSegmenter {
    pk::vision::GrayMask matte;
    FixedMatte() {
        SeededSegmenter s;
        matte = *s.segment(webcamFrame()->view());
    }
    std::optional<pk::vision::GrayMask> segment(const pk::draw2d::BitmapView&) override { return matte; }
};

void run(benchmark::State& state, Mode mode, pk::vision::PersonSegmenter* seg) {
    const auto frame = webcamFrame();
    for (auto _ : state) {
        auto out = VelCreatorCameraFeedV1045::composite(frame, mode, true, seg);
        benchmark::DoNotOptimize(out.get());
    }
    state.SetItemsProcessed(int64_t(state.iterations()));
}

}  // namespace

static void BM_FullCameraMirrored(benchmark::State& state) { run(state, Mode::fullCamera, nullptr); }
BENCHMARK(BM_FullCameraMirrored)->Unit(benchmark::kMillisecond);

static void BM_CutoutFixedMatte(benchmark::State& state) {
    FixedMatte seg;
    run(state, Mode::cutoutNoBackground, &seg);
}
BENCHMARK(BM_CutoutFixedMatte)->Unit(benchmark::kMillisecond);

static void BM_BlurFixedMatte(benchmark::State& state) {
    FixedMatte seg;
    run(state, Mode::studioBlur, &seg);
}
BENCHMARK(BM_BlurFixedMatte)->Unit(benchmark::kMillisecond);

static void BM_CutoutSegmented(benchmark::State& state) {
    SeededSegmenter seg;
    run(state, Mode::cutoutNoBackground, &seg);
}
BENCHMARK(BM_CutoutSegmented)->Unit(benchmark::kMillisecond);

static void BM_BlurSegmented(benchmark::State& state) {
    SeededSegmenter seg;
    run(state, Mode::studioBlur, &seg);
}
BENCHMARK(BM_BlurSegmented)->Unit(benchmark::kMillisecond);

static void BM_FaceCascade640(benchmark::State& state) {
    pk::vision::FaceSeededPersonSegmenter seg;
    const auto frame = webcamFrame();
    for (auto _ : state) benchmark::DoNotOptimize(seg.detectFaces(frame->view()).size());
    state.SetItemsProcessed(int64_t(state.iterations()));
}
BENCHMARK(BM_FaceCascade640)->Unit(benchmark::kMillisecond);
