// Camera frames through the facecam's processing, on one core (the process pins itself to
// the core it starts on, so OpenCV's workers share it): the real segmenter following a
// figure whose head turns face on → profile → other profile → face on (cascades near the
// head, optical flow, GrabCut, guided upsampling of the matte) with the cut-out or the
// blur composited, at 1280 × 720 and at the camera's 640 × 480. Beside it, in the same run:
// the same compositing with a fixed matte (no segmentation) and the plain mirrored frame.
// items/s = frames per second; painting the test frames is not timed.
#include <benchmark/benchmark.h>
#include <sched.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>

#include "../Tests/TurningFigureScene.h"
#include "MarblewickCreatorStudio/VelCreatorCameraFeedV1045.h"

using creator::VelCreatorCameraFeedV1045;
using creator_test::TurningFigureScene;
using Mode = creator::VelFacecamBackgroundModeV1045;

namespace {

const bool kPinned = [] {
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(std::max(0, sched_getcpu()), &one);
    return sched_setaffinity(0, sizeof one, &one) == 0;
}();

// Processor time of the whole process (OpenCV's workers included): a frame's own cost,
// whatever else the machine runs.
double cpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// The turn, looped: 0.3 s (face on) to 2.9 s (face on again), frame after frame.
struct Take {
    TurningFigureScene scene;
    int frame = 0;
    explicit Take(int w, int h) : scene(w, h) {}
    static constexpr double kFrom = 0.3, kTo = 2.9;
    double timestamp() const { return frame / TurningFigureScene::kFps; }
    pk::capture::FrameImage next() {
        const int perLoop = int((kTo - kFrom) * TurningFigureScene::kFps);
        const double t = kFrom + (frame % perLoop) / TurningFigureScene::kFps;
        ++frame;
        return std::make_shared<const pk::draw2d::Bitmap>(
            scene.shot(TurningFigureScene::poseAt(t), uint32_t(frame)).frame);
    }
};

// A fixed matte at the segmenter's working size: compositing without segmentation.
struct FixedMatte : pk::vision::PersonSegmenter {
    pk::vision::GrayMask matte;
    explicit FixedMatte(const pk::capture::FrameImage& frame) {
        pk::vision::CascadeSeededPersonSegmenter s;
        // The first frame only finds the person; the matte comes with the next.
        for (int i = 0; i < 4 && !matte.isValid(); ++i) matte = s.segment(frame->view(), i / 30.0).value_or(matte);
        if (!matte.isValid()) std::abort();
    }
    std::optional<pk::vision::GrayMask> segment(const pk::draw2d::BitmapView&, double) override { return matte; }
};

void segmented(benchmark::State& state, Mode mode, int w, int h) {
    Take take(w, h);
    pk::vision::CascadeSeededPersonSegmenter seg;
    // The first frame finds the person (a cascade over the whole frame, GrabCut from the
    // head-and-shoulders template); every later one follows them.
    double first = 0, worst = 0;
    int64_t cutOut = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const auto frame = take.next();
        const double t = take.timestamp();
        state.ResumeTiming();
        const double start = cpuMs();
        auto out = VelCreatorCameraFeedV1045::composite(frame, t, mode, true, &seg);
        const double ms = cpuMs() - start;
        (take.frame == 1 ? first : worst) = std::max(take.frame == 1 ? first : worst, ms);
        cutOut += seg.isTracking();
        benchmark::DoNotOptimize(out.get());
    }
    state.SetItemsProcessed(int64_t(state.iterations()));
    state.counters["first_ms"] = first;
    state.counters["worst_later_ms"] = worst;
    state.counters["tracked"] = double(cutOut) / double(std::max<int64_t>(1, int64_t(state.iterations())));
    state.counters["one_core"] = kPinned;
}

void fixed(benchmark::State& state, Mode mode, int w, int h) {
    Take take(w, h);
    const auto frame = take.next();
    FixedMatte seg(frame);
    for (auto _ : state) {
        auto out = VelCreatorCameraFeedV1045::composite(frame, 0, mode, true, mode == Mode::fullCamera ? nullptr : &seg);
        benchmark::DoNotOptimize(out.get());
    }
    state.SetItemsProcessed(int64_t(state.iterations()));
}

}  // namespace

static void BM_FullCameraMirrored(benchmark::State& state) { fixed(state, Mode::fullCamera, int(state.range(0)), int(state.range(1))); }
BENCHMARK(BM_FullCameraMirrored)->Args({1280, 720})->Args({640, 480})->Unit(benchmark::kMillisecond);

static void BM_CutoutFixedMatte(benchmark::State& state) {
    fixed(state, Mode::cutoutNoBackground, int(state.range(0)), int(state.range(1)));
}
BENCHMARK(BM_CutoutFixedMatte)->Args({1280, 720})->Args({640, 480})->Unit(benchmark::kMillisecond);

static void BM_BlurFixedMatte(benchmark::State& state) { fixed(state, Mode::studioBlur, int(state.range(0)), int(state.range(1))); }
BENCHMARK(BM_BlurFixedMatte)->Args({1280, 720})->Args({640, 480})->Unit(benchmark::kMillisecond);

static void BM_CutoutSegmentedTurningHead(benchmark::State& state) {
    segmented(state, Mode::cutoutNoBackground, int(state.range(0)), int(state.range(1)));
}
BENCHMARK(BM_CutoutSegmentedTurningHead)->Args({1280, 720})->Args({640, 480})->Unit(benchmark::kMillisecond)->Iterations(156);

static void BM_BlurSegmentedTurningHead(benchmark::State& state) {
    segmented(state, Mode::studioBlur, int(state.range(0)), int(state.range(1)));
}
BENCHMARK(BM_BlurSegmentedTurningHead)->Args({1280, 720})->Args({640, 480})->Unit(benchmark::kMillisecond)->Iterations(156);

// The full search of all four cascades over a frame, which a frame while nobody is
// followed spends a quarter of.
static void BM_AllCascadesWholeFrame(benchmark::State& state) {
    Take take(int(state.range(0)), int(state.range(1)));
    const auto frame = take.next();
    pk::vision::CascadeSeededPersonSegmenter seg;
    for (auto _ : state) benchmark::DoNotOptimize(seg.detectSeeds(frame->view()).size());
    state.SetItemsProcessed(int64_t(state.iterations()));
}
BENCHMARK(BM_AllCascadesWholeFrame)->Args({1280, 720})->Unit(benchmark::kMillisecond);
