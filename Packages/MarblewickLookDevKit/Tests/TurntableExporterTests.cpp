// Turntable MP4s from a recording fake renderer, decoded back with libavformat.
#include <gtest/gtest.h>

#include <cmath>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <stdexcept>

#include <unistd.h>

#include "MarblewickLookDevKit/StudioTurntableExporter.h"
#include "PlatformKit/Foundation/Files.h"
#include "PlatformKit/Foundation/StudioError.h"
#include "PlatformKit/Media/MediaProbe.h"
#include "RefusedThreadStarts.h"

using namespace lookdev;
using creator::VelMusicIntensityStateV950;
using pk::media::StreamProbe;
namespace fs = std::filesystem;

namespace {

fs::path outDir() {
    const fs::path d = fs::path(KS_TEST_OUTPUT_DIR) / "turntable";
    fs::create_directories(d);
    return d;
}

// Quadrants red, green / blue, grey: a swapped R/B, a wrong matrix or flipped rows
// all show in the first decoded frame.
struct Rgb {
    int r, g, b;
};
constexpr Rgb kQuad[4] = {{210, 40, 30}, {40, 190, 70}, {30, 60, 200}, {128, 128, 128}};

class RecordingRenderer : public LookDevOffscreenRenderer {
public:
    std::optional<std::vector<uint8_t>> renderOffscreenBGRA(int64_t w, int64_t h, std::optional<float> yaw,
                                                            const std::optional<LookDevSceneState>& state) override {
        std::lock_guard lock(mutex);
        const int64_t index = int64_t(yaws.size());
        yaws.push_back(yaw.value_or(NAN));
        states.push_back(state);
        if (auto t = throwing.find(index); t != throwing.end()) std::rethrow_exception(t->second);
        if (failing.count(index)) return std::nullopt;
        if (wrongSize.count(index)) return std::vector<uint8_t>(16, 0);
        if (frame.size() != size_t(w * h * 4)) {
            frame.assign(size_t(w * h * 4), 0);
            for (int64_t y = 0; y < h; ++y)
                for (int64_t x = 0; x < w; ++x) {
                    const Rgb c = kQuad[(y < h / 2 ? 0 : 2) + (x < w / 2 ? 0 : 1)];
                    uint8_t* p = &frame[size_t((y * w + x) * 4)];
                    p[0] = uint8_t(c.b);
                    p[1] = uint8_t(c.g);
                    p[2] = uint8_t(c.r);
                    p[3] = 255;
                }
        }
        // Live edits after the export began must not reach later frames.
        live.yaw += 10.0f;
        live.distance = 7.0f;
        return frame;
    }
    LookDevSceneState currentSceneState() const override {
        std::lock_guard lock(mutex);
        return live;
    }

    mutable std::mutex mutex;
    LookDevSceneState live;
    std::vector<float> yaws;
    std::vector<std::optional<LookDevSceneState>> states;
    std::set<int64_t> failing, wrongSize;
    std::map<int64_t, std::exception_ptr> throwing;
    std::vector<uint8_t> frame;
};

double rms(const std::vector<float>& x, size_t from, size_t to) {
    double s = 0;
    for (size_t i = from; i < to; ++i) s += double(x[i]) * x[i];
    return std::sqrt(s / double(std::max<size_t>(to - from, 1)));
}

}  // namespace

TEST(TurntableExporter, WritesHighProfileVideoWithTheScoreAndAReceipt) {
    RecordingRenderer r;
    const fs::path file = outDir() / "nested" / "folder" / "turntable.mp4";
    fs::remove_all(outDir() / "nested");
    std::vector<double> progress;
    const auto receipt = StudioExporters::exportTurntableMP4(r, TurntableAspectPreset::square1x1, 1.5, 30,
                                                             VelMusicIntensityStateV950::combatDrive, file,
                                                             [&](double p) { progress.push_back(p); });
    EXPECT_EQ(receipt.videoPath, file.string());
    EXPECT_EQ(receipt.width, 1080);
    EXPECT_EQ(receipt.height, 1080);
    EXPECT_EQ(receipt.frameCount, 45);
    EXPECT_EQ(receipt.durationSeconds, 1.5);
    EXPECT_EQ(receipt.fileSizeBytes, int64_t(fs::file_size(file)));
    EXPECT_TRUE(receipt.includesAudioScore);
    EXPECT_GE(receipt.renderElapsedSec, 0.0);
    EXPECT_DOUBLE_EQ(receipt.renderElapsedSec, std::round(receipt.renderElapsedSec * 100) / 100);
    ASSERT_EQ(progress.size(), 45u);
    for (size_t k = 0; k < 45; ++k) EXPECT_DOUBLE_EQ(progress[k], double(k + 1) / 45.0);
    EXPECT_EQ(creator::VelSoundVel4AdaptiveMusicEngineV950::shared().currentState(),
              VelMusicIntensityStateV950::combatDrive)
        << "rendering the score sets the live state";

    const auto probe = pk::media::probeMedia(file);
    ASSERT_TRUE(probe.has_value());
    ASSERT_EQ(probe->streams.size(), 2u);
    const StreamProbe* v = probe->first(StreamProbe::Kind::video);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->codecName, "h264");
    EXPECT_EQ(v->profileName, "High");
    EXPECT_EQ(v->width, 1080);
    EXPECT_EQ(v->height, 1080);
    EXPECT_EQ(v->colorSpace, "bt709");
    ASSERT_EQ(v->packetCount, 45);
    for (size_t i = 0; i < 45; ++i) EXPECT_NEAR(v->presentationTimes[i], double(i) / 30.0, 1e-6) << i;
    EXPECT_NEAR(v->durationSeconds, 1.5, 1e-3);
    EXPECT_EQ(v->keyFrames.front(), 0);

    const StreamProbe* a = probe->first(StreamProbe::Kind::audio);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->codecName, "aac");
    EXPECT_EQ(a->channels, 2);
    EXPECT_EQ(a->sampleRate, 44100);
    EXPECT_NEAR(a->durationSeconds, 1.5, 0.03);
    const auto pcm = pk::media::decodeAudio(file);
    ASSERT_TRUE(pcm.has_value());
    std::vector<float> left;
    for (size_t i = 0; i < pcm->interleaved.size(); i += 2) left.push_back(pcm->interleaved[i]);
    ASSERT_GT(left.size(), 44100u);
    EXPECT_LT(rms(left, 0, 300), 0.01) << "the score fades in from silence";
    EXPECT_GT(rms(left, 22050, 33075), 0.05);

    const auto img = pk::media::decodeFirstVideoFrameRGB(file);
    ASSERT_TRUE(img.has_value());
    const int at[4][2] = {{200, 200}, {880, 200}, {200, 880}, {880, 880}};
    for (int q = 0; q < 4; ++q) {
        const uint8_t* p = img->at(at[q][0], at[q][1]);
        EXPECT_NEAR(p[0], kQuad[q].r, 6) << "quadrant " << q;
        EXPECT_NEAR(p[1], kQuad[q].g, 6) << "quadrant " << q;
        EXPECT_NEAR(p[2], kQuad[q].b, 6) << "quadrant " << q;
    }

    const auto back = TurntableExportReceipt::fromJson(receipt.toJson());
    EXPECT_EQ(back, receipt);
    std::vector<std::string> keys;
    const auto json = receipt.toJson();
    for (const auto& [k, _] : json.items()) keys.push_back(k);
    EXPECT_EQ(keys, (std::vector<std::string>{"videoPath", "width", "height", "frameCount", "durationSeconds",
                                              "fileSizeBytes", "includesAudioScore", "renderElapsedSec"}));
}

TEST(TurntableExporter, EveryAspectLandsAtTheAverageBitRate) {
    // Plain quadrants are the easy end of what a render gives: the average alone leaves a
    // one-second clip of them far below 16 Mb/s. (Busy frames, which it overshoots, are
    // the writer's own test.) The sound track is not counted.
    struct Case {
        TurntableAspectPreset aspect;
        std::optional<VelMusicIntensityStateV950> music;
    };
    for (const Case& c : {Case{TurntableAspectPreset::cinema16x9, std::nullopt},
                          Case{TurntableAspectPreset::vertical9x16, VelMusicIntensityStateV950::combatDrive},
                          Case{TurntableAspectPreset::square1x1, std::nullopt}}) {
        SCOPED_TRACE(c.aspect.rawValue());
        RecordingRenderer r;
        const fs::path file = outDir() / "rate.mp4";
        StudioExporters::exportTurntableMP4(r, c.aspect, 1.0, 30, c.music, file);
        const auto probe = pk::media::probeMedia(file);
        ASSERT_TRUE(probe.has_value());
        const StreamProbe* v = probe->first(StreamProbe::Kind::video);
        ASSERT_NE(v, nullptr);
        EXPECT_EQ(v->profileName, "High");
        EXPECT_EQ(v->pixelFormat, "yuv420p");
        EXPECT_NEAR(v->bitsPerSecond(), 16e6, 1.6e6);
    }
}

TEST(TurntableExporter, FrameCountsAndYawsOfOneTurnFromOneStateCopy) {
    struct Case {
        double duration;
        int64_t fps;
        int64_t frames;
    };
    for (const Case& c : {Case{4.0, 30, 120}, Case{0.5, 30, 30}, Case{-2.0, 30, 30}, Case{0.0, 30, 30},
                          Case{1.0, 24, 30}, Case{2.5, 24, 60}}) {
        RecordingRenderer r;
        r.live.yaw = 0.58f;
        r.live.distance = 4.0f;
        const fs::path file = outDir() / "yaws.mp4";
        const auto receipt = StudioExporters::exportTurntableMP4(r, TurntableAspectPreset::cinema16x9, c.duration,
                                                                 c.fps, std::nullopt, file);
        EXPECT_EQ(receipt.frameCount, c.frames) << c.duration << " s at " << c.fps;
        EXPECT_FALSE(receipt.includesAudioScore);
        ASSERT_EQ(r.yaws.size(), size_t(c.frames));
        for (int64_t i = 0; i < c.frames; ++i) {
            const float expected = 0.58f + float(double(i) / double(c.frames) * 2.0 * 3.141592653589793);
            ASSERT_EQ(r.yaws[size_t(i)], expected) << i;
            ASSERT_TRUE(r.states[size_t(i)].has_value());
            ASSERT_EQ(r.states[size_t(i)]->distance, 4.0f) << "frame " << i << " saw a live edit";
        }
        if (c.frames == 120) {
            EXPECT_NEAR(double(r.yaws[119] - 0.58f), 357.0 * M_PI / 180.0, 1e-5);
        }
        const auto probe = pk::media::probeMedia(file);
        ASSERT_TRUE(probe.has_value());
        ASSERT_EQ(probe->streams.size(), 1u) << "no music, no audio track";
        EXPECT_EQ(probe->streams[0].packetCount, c.frames);
        EXPECT_NEAR(probe->streams[0].presentationTimes.back(), double(c.frames - 1) / double(c.fps), 1e-6);
    }
}

TEST(TurntableExporter, FailedFramesLeaveGapsAndProgressStillReachesOne) {
    RecordingRenderer r;
    r.failing = {0, 5};
    r.wrongSize = {17};
    const fs::path file = outDir() / "gaps.mp4";
    std::vector<double> progress;
    const auto receipt = StudioExporters::exportTurntableMP4(r, TurntableAspectPreset::vertical9x16, 1.0, 30,
                                                             std::nullopt, file, [&](double p) { progress.push_back(p); });
    EXPECT_EQ(receipt.frameCount, 30);
    ASSERT_EQ(progress.size(), 30u);
    EXPECT_DOUBLE_EQ(progress.back(), 1.0);
    const auto probe = pk::media::probeMedia(file);
    ASSERT_TRUE(probe.has_value());
    const StreamProbe* v = probe->first(StreamProbe::Kind::video);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->width, 1080);
    EXPECT_EQ(v->height, 1920);
    ASSERT_EQ(v->packetCount, 27);
    std::vector<double> expected;
    for (int i = 0; i < 30; ++i)
        if (i != 0 && i != 5 && i != 17) expected.push_back(i / 30.0);
    for (size_t k = 0; k < expected.size(); ++k) EXPECT_NEAR(v->presentationTimes[k], expected[k], 1e-6) << k;
}

TEST(TurntableExporter, RefusalsReplacementAndCancellation) {
    const fs::path dir = outDir() / "faults";
    fs::remove_all(dir);
    fs::create_directories(dir);

    // Lengths that cannot be counted are refused before any file is made.
    for (auto [dur, fps] : {std::pair{NAN, int64_t(30)}, {INFINITY, 30}, {-INFINITY, 30}, {1e300, 30},
                            {1e9, 30}, {4.0, 0}, {4.0, -30}}) {
        RecordingRenderer r;
        try {
            StudioExporters::exportTurntableMP4(r, TurntableAspectPreset::square1x1, dur, fps, std::nullopt,
                                                dir / "refused.mp4");
            ADD_FAILURE() << dur << " s at " << fps << " accepted";
        } catch (const pk::StudioError& e) {
            EXPECT_EQ(e.domain, "MarblewickLookDevKit");
            EXPECT_EQ(e.code, 203);
        }
        EXPECT_TRUE(r.yaws.empty());
        EXPECT_FALSE(fs::exists(dir / "refused.mp4"));
    }
    {
        // A score longer than the synthesizer can count is refused too.
        RecordingRenderer r;
        EXPECT_THROW(StudioExporters::exportTurntableMP4(r, TurntableAspectPreset::square1x1, 60000.0, 1,
                                                         VelMusicIntensityStateV950::coastalSerene, dir / "long.mp4"),
                     pk::StudioError);
    }

    // A folder where the file should go is left alone, contents and all.
    fs::create_directories(dir / "taken.mp4" / "inner");
    pk::atomicWrite(dir / "taken.mp4" / "inner" / "keep.txt", std::string_view("precious"));
    {
        RecordingRenderer r;
        EXPECT_THROW(StudioExporters::exportTurntableMP4(r, TurntableAspectPreset::square1x1, 1.0, 30, std::nullopt,
                                                         dir / "taken.mp4"),
                     pk::StudioError);
        EXPECT_TRUE(fs::exists(dir / "taken.mp4" / "inner" / "keep.txt"));
    }

    // No frame at all is a failure, not a receipt.
    {
        RecordingRenderer r;
        for (int i = 0; i < 30; ++i) r.failing.insert(i);
        try {
            StudioExporters::exportTurntableMP4(r, TurntableAspectPreset::square1x1, 1.0, 30, std::nullopt,
                                                dir / "empty.mp4");
            ADD_FAILURE() << "a video without frames was reported as written";
        } catch (const pk::StudioError& e) {
            EXPECT_EQ(e.code, 202);
            EXPECT_EQ(e.description, "MP4 export failed.");
        }
    }

    // A second export to the same path replaces the first.
    const fs::path same = dir / "same.mp4";
    {
        RecordingRenderer r;
        StudioExporters::exportTurntableMP4(r, TurntableAspectPreset::square1x1, 1.0, 30,
                                            VelMusicIntensityStateV950::victoryResolve, same);
        ASSERT_EQ(pk::media::probeMedia(same)->streams.size(), 2u);
        RecordingRenderer r2;
        const auto receipt =
            StudioExporters::exportTurntableMP4(r2, TurntableAspectPreset::square1x1, 1.0, 30, std::nullopt, same);
        EXPECT_EQ(pk::media::probeMedia(same)->streams.size(), 1u);
        EXPECT_EQ(receipt.fileSizeBytes, int64_t(fs::file_size(same)));
    }

    // Cancelling stops at the next frame, removes the partial file and throws.
    {
        RecordingRenderer r;
        ExportCancelToken token;
        try {
            StudioExporters::exportTurntableMP4(
                r, TurntableAspectPreset::square1x1, 4.0, 30, VelMusicIntensityStateV950::tensionPulse,
                dir / "cancelled.mp4", [&](double p) { if (p >= 3.0 / 120.0) token.cancel(); }, &token);
            ADD_FAILURE() << "a cancelled export returned";
        } catch (const pk::StudioError& e) {
            EXPECT_EQ(e.code, 204);
        }
        EXPECT_EQ(r.yaws.size(), 3u);
        EXPECT_FALSE(fs::exists(dir / "cancelled.mp4"));
    }
}

TEST(TurntableExporter, AnExceptionOnTheRenderThreadsFailsTheExportAndLeavesTheEarlierFileAsItWas) {
    const fs::path dir = outDir() / "throwing";
    fs::remove_all(dir);
    fs::create_directories(dir);
    struct Case {
        const char* name;
        std::exception_ptr fromRenderer;  // thrown by frame 5
        std::exception_ptr fromProgress;  // thrown after frame 3
        std::optional<VelMusicIntensityStateV950> music;
        int code;
        std::string description;
    };
    const auto make = [](auto e) { return std::make_exception_ptr(e); };
    const Case cases[] = {
        {"progress runtime_error", nullptr, make(std::runtime_error("progress sink closed")),
         VelMusicIntensityStateV950::combatDrive, 202, "progress sink closed"},
        {"renderer bad_alloc", make(std::bad_alloc()), nullptr, VelMusicIntensityStateV950::combatDrive, 202,
         std::bad_alloc().what()},
        {"renderer bad_alloc, silent", make(std::bad_alloc()), nullptr, std::nullopt, 202, std::bad_alloc().what()},
        {"progress throws no std::exception", nullptr, make(42), std::nullopt, 202, "Unknown error."},
        {"renderer StudioError passes as it is", make(pk::StudioError("GPU", 7, "device lost")), nullptr,
         std::nullopt, 7, "device lost"},
    };
    // A good movie from an earlier export, over which every failing one runs.
    const fs::path file = dir / "turn.mp4";
    {
        RecordingRenderer good;
        StudioExporters::exportTurntableMP4(good, TurntableAspectPreset::square1x1, 1.0, 30, std::nullopt, file);
    }
    const auto earlier = pk::readFile(file);
    ASSERT_TRUE(earlier && !earlier->empty());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingRenderer r;
        if (c.fromRenderer) r.throwing[5] = c.fromRenderer;
        int calls = 0;
        try {
            StudioExporters::exportTurntableMP4(r, TurntableAspectPreset::square1x1, 4.0, 30, c.music, file,
                                                [&](double) {
                                                    if (++calls == 3 && c.fromProgress)
                                                        std::rethrow_exception(c.fromProgress);
                                                });
            ADD_FAILURE() << "the export returned";
        } catch (const pk::StudioError& e) {
            EXPECT_EQ(e.code, c.code);
            EXPECT_EQ(e.description, c.description);
            EXPECT_EQ(e.domain, c.code == 202 ? "MarblewickLookDevKit" : "GPU");
        }
        EXPECT_EQ(pk::readFile(file), earlier) << "the earlier movie is left byte for byte";
        size_t files = 0;
        for ([[maybe_unused]] const auto& f : fs::directory_iterator(dir)) ++files;
        EXPECT_EQ(files, 1u) << "no partial file is left beside it";
        EXPECT_LE(r.yaws.size(), 6u) << "the export stopped at the failing frame";
    }
}

// On a system out of threads the export fails with its own error and leaves no file. The
// refusal starts once the writer is open (x264 starts threads of its own there), when the
// export reads the scene.
TEST(TurntableExporter, RenderThreadsThatCannotStartFailTheExport) {
    struct OutOfThreads : RecordingRenderer {
        LookDevSceneState currentSceneState() const override {
            if (!refused) refused.emplace();
            return RecordingRenderer::currentSceneState();
        }
        mutable std::optional<pk::test::RefusedThreadStarts> refused;
    };
    const fs::path dir = outDir() / "no-threads";
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::optional<VelMusicIntensityStateV950> musics[] = {VelMusicIntensityStateV950::combatDrive, std::nullopt};
    for (const auto& music : musics) {
        OutOfThreads r;
        const fs::path file = dir / "turn.mp4";
        try {
            StudioExporters::exportTurntableMP4(r, TurntableAspectPreset::square1x1, 1.0, 30, music, file);
            ADD_FAILURE() << "the export returned";
        } catch (const pk::StudioError& e) {
            EXPECT_EQ(e.code, 202) << e.description;
            EXPECT_NE(e.description.find(std::strerror(EAGAIN)), std::string::npos) << e.description;
        }
        EXPECT_GT(r.refused->refused(), 0);
        EXPECT_TRUE(r.yaws.empty());
        EXPECT_FALSE(fs::exists(file));
    }
}

TEST(TurntableExporter, ATargetThatCannotBeReplacedFailsBeforeAnyFrameAndStaysAsItWas) {
    // /proc takes no new file, so the movie cannot be made beside /proc/version.
    const fs::path file = "/proc/version";
    const auto before = pk::readTextFile(file);
    RecordingRenderer r;
    try {
        StudioExporters::exportTurntableMP4(r, TurntableAspectPreset::square1x1, 1.0, 30, std::nullopt, file);
        ADD_FAILURE() << "exported over " << file;
    } catch (const pk::StudioError& e) {
        EXPECT_EQ(e.domain, "FFmpeg");
        EXPECT_LT(e.code, 0);
    }
    EXPECT_TRUE(r.yaws.empty());
    EXPECT_EQ(pk::readTextFile(file), before);
}
