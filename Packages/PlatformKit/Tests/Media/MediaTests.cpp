// MP4 writing read back through libavformat: streams, profile, timestamps, key frames,
// colour of the first frame and the audio track.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <random>
#include <thread>

#include "PlatformKit/Foundation/Files.h"
#include "PlatformKit/Media/MediaProbe.h"
#include "PlatformKit/Media/Mp4Writer.h"

using namespace pk::media;
namespace fs = std::filesystem;

namespace {

fs::path outDir() {
    const fs::path d = fs::path(KS_TEST_OUTPUT_DIR) / "media";
    fs::create_directories(d);
    return d;
}

// Four quadrants in BGRA: red, green / blue, grey. A swapped R/B, a wrong matrix or
// flipped rows all show in the decoded first frame.
struct Rgb {
    int r, g, b;
};
constexpr Rgb kQuad[4] = {{220, 30, 40}, {30, 200, 60}, {40, 50, 210}, {128, 128, 128}};

std::vector<uint8_t> quadrantFrame(int w, int h, int stride, int shift = 0) {
    std::vector<uint8_t> px(size_t(stride) * h, 0xEE);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const Rgb c = kQuad[(y < h / 2 ? 0 : 2) + (x < w / 2 ? 0 : 1)];
            uint8_t* p = &px[size_t(y) * stride + size_t(x) * 4];
            p[0] = uint8_t((c.b + shift) & 255);
            p[1] = uint8_t(c.g);
            p[2] = uint8_t(c.r);
            p[3] = 255;
        }
    return px;
}

double rms(const std::vector<float>& x, size_t from, size_t to, int ch, int channels) {
    double s = 0;
    size_t n = 0;
    for (size_t i = from; i < to; ++i, ++n) s += double(x[i * channels + ch]) * x[i * channels + ch];
    return std::sqrt(s / double(std::max<size_t>(n, 1)));
}

}  // namespace

TEST(Mp4Writer, VideoAndAudioFromTwoThreadsReadBackAsWritten) {
    const fs::path file = outDir() / "roundtrip.mp4";
    VideoEncoderSettings vs;
    vs.width = 64;
    vs.height = 48;
    vs.fps = 30;
    vs.averageBitRate = 2'000'000;
    vs.maxKeyFrameInterval = 10;
    vs.sceneCutKeyFrames = false;
    Mp4Writer w(file, vs, AudioEncoderSettings{});
    ASSERT_TRUE(w.hasAudio());
    EXPECT_EQ(w.status(), Mp4Writer::Status::created);
    w.start();
    EXPECT_EQ(w.status(), Mp4Writer::Status::writing);

    std::thread video([&] {
        const int stride = 64 * 4 + 32;  // padded rows
        for (int i = 0; i <= 30; ++i) {
            if (i == 7) continue;  // a skipped frame leaves a gap
            auto px = quadrantFrame(64, 48, stride);
            w.appendVideoFrame(px.data(), stride, i);
        }
        w.finishVideo();
    });
    std::thread audio([&] {
        const int n = 44100;
        std::vector<float> s(size_t(n) * 2);
        for (int i = 0; i < n; ++i) {
            s[2 * i] = 0.5f * std::sin(float(2.0 * M_PI * 440.0 * i / 44100.0));
            s[2 * i + 1] = 0.0f;
        }
        for (int c = 0; c < n; c += 4096) {
            const int k = std::min(4096, n - c);
            w.appendAudio(std::span<const float>(s).subspan(size_t(c) * 2, size_t(k) * 2), c);
        }
        w.finishAudio();
    });
    video.join();
    audio.join();
    w.finish();
    EXPECT_EQ(w.status(), Mp4Writer::Status::completed);

    const auto probe = probeMedia(file);
    ASSERT_TRUE(probe.has_value());
    ASSERT_EQ(probe->streams.size(), 2u);
    const StreamProbe* v = probe->first(StreamProbe::Kind::video);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->codecName, "h264");
    EXPECT_EQ(v->profileName, "High");
    EXPECT_EQ(v->width, 64);
    EXPECT_EQ(v->height, 48);
    EXPECT_EQ(v->pixelFormat, "yuv420p");
    EXPECT_EQ(v->colorSpace, "bt709");
    EXPECT_EQ(v->colorPrimaries, "bt709");
    EXPECT_EQ(v->colorTransfer, "bt709");
    EXPECT_EQ(v->colorRange, "tv");
    ASSERT_EQ(v->packetCount, 30);
    for (int k = 0, i = 0; i <= 30; ++i) {
        if (i == 7) continue;
        EXPECT_NEAR(v->presentationTimes[size_t(k++)], i / 30.0, 1e-6) << i;
    }
    EXPECT_EQ(v->keyFrames, (std::vector<int64_t>{0, 10, 20}));
    EXPECT_NEAR(v->durationSeconds, 31 / 30.0, 1e-3);

    const StreamProbe* a = probe->first(StreamProbe::Kind::audio);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->codecName, "aac");
    EXPECT_EQ(a->profileName, "LC");
    EXPECT_EQ(a->sampleRate, 44100);
    EXPECT_EQ(a->channels, 2);
    EXPECT_NEAR(a->durationSeconds, 1.0, 0.03);

    const auto pcm = decodeAudio(file);
    ASSERT_TRUE(pcm.has_value());
    EXPECT_EQ(pcm->channels, 2);
    const size_t frames = pcm->interleaved.size() / 2;
    EXPECT_NEAR(double(frames), 44100.0, 1100.0);
    EXPECT_NEAR(rms(pcm->interleaved, 4410, 39690, 0, 2), 0.5 / std::sqrt(2.0), 0.02);
    EXPECT_LT(rms(pcm->interleaved, 4410, 39690, 1, 2), 0.01);

    const auto img = decodeFirstVideoFrameRGB(file);
    ASSERT_TRUE(img.has_value());
    ASSERT_EQ(img->width, 64);
    ASSERT_EQ(img->height, 48);
    const int probes[4][2] = {{8, 8}, {56, 8}, {8, 40}, {56, 40}};
    for (int q = 0; q < 4; ++q) {
        const uint8_t* p = img->at(probes[q][0], probes[q][1]);
        EXPECT_NEAR(p[0], kQuad[q].r, 6) << "quadrant " << q;
        EXPECT_NEAR(p[1], kQuad[q].g, 6) << "quadrant " << q;
        EXPECT_NEAR(p[2], kQuad[q].b, 6) << "quadrant " << q;
    }
}

TEST(Mp4Writer, KeyFrameIntervalAndSceneCutSwitch) {
    struct Case {
        int keyint;
        bool sceneCut;
        std::vector<int64_t> expected;  // empty: more than one key frame, not fixed
    };
    for (const Case& c : {Case{30, false, {0}}, Case{8, false, {0, 8, 16, 24}}, Case{30, true, {}}}) {
        const fs::path file = outDir() / ("keys" + std::to_string(c.keyint) + (c.sceneCut ? "cut" : "") + ".mp4");
        VideoEncoderSettings vs;
        vs.width = 32;
        vs.height = 32;
        vs.maxKeyFrameInterval = c.keyint;
        vs.sceneCutKeyFrames = c.sceneCut;
        Mp4Writer w(file, vs, std::nullopt);
        w.start();
        // Every third frame is an entirely new picture: a scene cut.
        for (int i = 0; i < 30; ++i) {
            auto px = quadrantFrame(32, 32, 128, (i / 3) * 71);
            for (size_t k = 0; k < px.size(); k += 4) px[k + 1] = uint8_t(((i / 3) * 97 + int(k) * 13) & 255);
            w.appendVideoFrame(px.data(), 128, i);
        }
        w.finish();
        const auto probe = probeMedia(file);
        ASSERT_TRUE(probe.has_value());
        EXPECT_EQ(probe->streams.size(), 1u);
        const StreamProbe* v = probe->first(StreamProbe::Kind::video);
        ASSERT_NE(v, nullptr);
        EXPECT_EQ(v->packetCount, 30);
        if (c.expected.empty()) EXPECT_GT(v->keyFrames.size(), 1u);
        else EXPECT_EQ(v->keyFrames, c.expected) << c.keyint;
    }
}

TEST(Mp4Writer, ConstantBitRateHoldsTheAverageOnShortPlainAndBusyClips) {
    // Plain frames leave ABR far below the average, busy ones far above it on a short
    // clip; held, both land on it, measured as the video's own bytes over its length.
    struct Case {
        const char* content;
        int frames;
    };
    const int w = 320, h = 240;
    const int64_t rate = 1'000'000;
    for (const Case& c : {Case{"plain", 15}, Case{"plain", 90}, Case{"busy", 15}, Case{"busy", 90}}) {
        SCOPED_TRACE(std::string(c.content) + " " + std::to_string(c.frames) + " frames");
        const fs::path file = outDir() / "constant-rate.mp4";
        VideoEncoderSettings vs;
        vs.width = w;
        vs.height = h;
        vs.averageBitRate = rate;
        vs.constantBitRate = true;
        Mp4Writer writer(file, vs, std::nullopt);
        writer.start();
        std::mt19937 rng(11);
        for (int i = 0; i < c.frames; ++i) {
            auto px = quadrantFrame(w, h, w * 4);
            if (std::string(c.content) == "busy")
                for (size_t k = 0; k < px.size(); k += 4) px[k] = uint8_t(rng()), px[k + 1] = uint8_t(rng() >> 8);
            writer.appendVideoFrame(px.data(), w * 4, i);
        }
        writer.finish();
        const auto probe = probeMedia(file);
        ASSERT_TRUE(probe.has_value());
        const StreamProbe* v = probe->first(StreamProbe::Kind::video);
        ASSERT_NE(v, nullptr);
        EXPECT_EQ(v->profileName, "High");
        EXPECT_EQ(v->packetCount, c.frames);
        EXPECT_NEAR(v->bitsPerSecond(), double(rate), 0.05 * double(rate));
        if (std::string(c.content) == "plain") {
            // The filler that makes up the rate does not disturb decoding.
            const auto img = decodeFirstVideoFrameRGB(file);
            ASSERT_TRUE(img.has_value());
            EXPECT_NEAR(img->at(8, 8)[0], kQuad[0].r, 6);
            EXPECT_NEAR(img->at(w - 8, h - 8)[2], kQuad[3].b, 6);
        }
    }
}

TEST(Mp4Writer, ErrorsCarryTheirOriginAndFailTheWriter) {
    VideoEncoderSettings vs;
    vs.width = 32;
    vs.height = 32;
    for (auto [w, h, fps] : {std::tuple{31, 32, 30}, {32, 0, 30}, {32, 32, 0}, {20000, 32, 30}}) {
        VideoEncoderSettings bad = vs;
        bad.width = w;
        bad.height = h;
        bad.fps = fps;
        try {
            Mp4Writer writer(outDir() / "bad.mp4", bad, std::nullopt);
            ADD_FAILURE() << w << "x" << h << "@" << fps << " accepted";
        } catch (const pk::StudioError& e) {
            EXPECT_EQ(e.domain, "Media");
            EXPECT_EQ(e.code, 1);
        }
    }

    // A file in a folder that does not exist: FFmpeg's own code and text.
    Mp4Writer missing(outDir() / "no-such-folder" / "x.mp4", vs, std::nullopt);
    try {
        missing.start();
        ADD_FAILURE() << "started without a folder";
    } catch (const pk::StudioError& e) {
        EXPECT_EQ(e.domain, "FFmpeg");
        EXPECT_EQ(e.code, -ENOENT);
        EXPECT_NE(e.description.find("No such file or directory"), std::string::npos) << e.description;
    }
    EXPECT_EQ(missing.status(), Mp4Writer::Status::failed);
    ASSERT_TRUE(missing.error().has_value());
    EXPECT_THROW(missing.finish(), pk::StudioError);

    Mp4Writer w(outDir() / "errors.mp4", vs, AudioEncoderSettings{});
    auto px = quadrantFrame(32, 32, 128);
    EXPECT_THROW(w.appendVideoFrame(px.data(), 128, 0), pk::StudioError) << "not started";
    w.start();
    w.appendVideoFrame(px.data(), 128, 3);
    for (int64_t pts : {3, 2}) {
        try {
            w.appendVideoFrame(px.data(), 128, pts);
            ADD_FAILURE() << "pts " << pts << " accepted";
        } catch (const pk::StudioError& e) {
            EXPECT_EQ(e.code, 3);
        }
    }
    EXPECT_THROW(w.appendVideoFrame(px.data(), 64, 9), pk::StudioError) << "short rows";
    std::vector<float> s(2048, 0.1f);
    w.appendAudio(std::span<const float>(s), 5000);
    EXPECT_THROW(w.appendAudio(std::span<const float>(s), 5500), pk::StudioError) << "overlap";
    EXPECT_THROW(w.appendAudio(std::span<const float>(s).first(3), 7000), pk::StudioError) << "half a frame";
    EXPECT_EQ(w.status(), Mp4Writer::Status::writing) << "misuse does not break the file";
    w.finish();
    EXPECT_EQ(w.status(), Mp4Writer::Status::completed);
    const auto probe = probeMedia(outDir() / "errors.mp4");
    ASSERT_TRUE(probe.has_value());
    EXPECT_EQ(probe->first(StreamProbe::Kind::video)->packetCount, 1);

    Mp4Writer silent(outDir() / "silent.mp4", vs, std::nullopt);
    silent.start();
    EXPECT_THROW(silent.appendAudio(std::span<const float>(s), 0), pk::StudioError);
    EXPECT_FALSE(probeMedia(outDir() / "nothing-here.mp4").has_value());
}

TEST(Mp4Writer, TheTargetChangesOnlyWhenANewMovieIsComplete) {
    const fs::path dir = outDir() / "whole";
    fs::remove_all(dir);
    fs::create_directories(dir);
    const fs::path target = dir / "movie.mp4";
    VideoEncoderSettings vs;
    vs.width = 32;
    vs.height = 32;
    auto px = quadrantFrame(32, 32, 128);
    // Frames written, then the writer is finished or left unfinished (destroyed).
    auto write = [&](int frames, bool finish) {
        Mp4Writer w(target, vs, std::nullopt);
        w.start();
        for (int i = 0; i < frames; ++i) w.appendVideoFrame(px.data(), 128, i);
        if (finish) w.finish();
    };
    auto entries = [&] {
        size_t n = 0;
        for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir)) ++n;
        return n;
    };
    write(3, true);
    const auto earlier = pk::readFile(target);
    ASSERT_TRUE(earlier && !earlier->empty());
    write(10, false);
    EXPECT_EQ(pk::readFile(target), earlier) << "abandoned";
    EXPECT_EQ(entries(), 1u);
    write(10, true);
    EXPECT_NE(pk::readFile(target), earlier) << "a complete movie replaces it";
    EXPECT_EQ(entries(), 1u);
}
