// Frame sources and the camera provider, without a camera: synthetic frames, a video file
// written here, and a device folder of our own.
#include <gtest/gtest.h>

#include <unistd.h>

#include <opencv2/videoio.hpp>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <thread>

#include "PlatformKit/Capture/SyntheticFrameSource.h"
#include "PlatformKit/Capture/V4l2CameraProvider.h"
#include "PlatformKit/Capture/VideoFileFrameSource.h"
#include "PlatformKit/Foundation/StudioError.h"
#include "PlatformKit/Media/Mp4Writer.h"

using namespace pk::capture;
namespace fs = std::filesystem;

namespace {

fs::path outDir(const std::string& name) {
    const fs::path d = fs::path(KS_TEST_OUTPUT_DIR) / "capture" / name;
    fs::remove_all(d);
    fs::create_directories(d);
    return d;
}

// Frame i is a flat grey of level 20 + 20·i, so the decoded order shows in any pixel.
fs::path writeGreyRamp(const fs::path& file, int frames) {
    pk::media::VideoEncoderSettings vs;
    vs.width = 64;
    vs.height = 48;
    vs.fps = 30;
    vs.maxKeyFrameInterval = 1;
    pk::media::Mp4Writer writer(file, vs, std::nullopt);
    writer.start();
    std::vector<uint8_t> px(64 * 48 * 4);
    for (int i = 0; i < frames; ++i) {
        const uint8_t v = uint8_t(20 + 20 * i);
        for (size_t p = 0; p < px.size(); p += 4) px[p] = px[p + 1] = px[p + 2] = v, px[p + 3] = 255;
        writer.appendVideoFrame(px.data(), 64 * 4, i);
    }
    writer.finish();
    return file;
}

int centreGrey(const CameraFrame& f) { return f.image->pixel(f.image->width() / 2, f.image->height() / 2).g; }

}  // namespace

TEST(SyntheticFrameSource, PacedFramesSkipWhatALateReaderMissedAndStopEndsThem) {
    SyntheticFrameSource src({64, 48, 100, {}});
    EXPECT_FALSE(src.nextFrame(0.01)) << "no frames before start";
    src.start();
    auto first = src.nextFrame(1.0);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->image->width(), 64);
    EXPECT_EQ(first->image->pixel(0, 0).a, 255);
    std::this_thread::sleep_for(std::chrono::milliseconds(120));
    auto late = src.nextFrame(1.0);
    ASSERT_TRUE(late);
    EXPECT_GE(late->index, first->index + 8) << "the late reader gets the frame of now, not a queued one";
    src.stop();
    EXPECT_FALSE(src.nextFrame(0.05));

    SyntheticFrameSource unpaced({8, 8, 0, [](pk::draw2d::Bitmap& b, int64_t i) { b.data()[0] = uint8_t(i); }});
    unpaced.start();
    for (int64_t i = 0; i < 3; ++i) EXPECT_EQ(unpaced.nextFrame(0)->image->data()[0], i);
}

TEST(VideoFileFrameSource, DeliversTheFileInOrderLoopsAndResizes) {
    const fs::path dir = outDir("file");
    const fs::path file = writeGreyRamp(dir / "ramp.mp4", 6);
    auto src = VideoFileFrameSource::open(file, {true, false, std::nullopt});
    ASSERT_TRUE(src);
    EXPECT_EQ(src->width(), 64);
    EXPECT_NEAR(src->framesPerSecond(), 30, 0.01);
    src->start();
    std::vector<int> greys;
    for (int i = 0; i < 8; ++i) {
        auto f = src->nextFrame(1.0);
        ASSERT_TRUE(f) << i;
        EXPECT_EQ(f->image->pixel(3, 3).a, 255);
        greys.push_back(centreGrey(*f));
    }
    for (int i = 0; i < 8; ++i) EXPECT_NEAR(greys[size_t(i)], 20 + 20 * (i % 6), 6) << "frame " << i << " (looped after 6)";

    auto once = VideoFileFrameSource::open(file, {false, false, CameraRequest{32, 24}});
    ASSERT_TRUE(once);
    once->start();
    int count = 0;
    while (auto f = once->nextFrame(0.5)) {
        EXPECT_EQ(f->image->width(), 32);
        EXPECT_EQ(f->image->height(), 24);
        ++count;
    }
    EXPECT_EQ(count, 6) << "without looping the file ends";

    std::ofstream(dir / "not-a-video.mp4") << "plain text";
    EXPECT_FALSE(VideoFileFrameSource::open(dir / "not-a-video.mp4"));
    EXPECT_FALSE(VideoFileFrameSource::open(dir / "missing.mp4"));
}

TEST(VideoFileFrameSource, PacedReaderSkipsWhatItMissedButCarriesOnAfterAPause) {
    const fs::path file = writeGreyRamp(outDir("paced") / "ramp.mp4", 6);
    auto src = VideoFileFrameSource::open(file);
    ASSERT_TRUE(src);
    src->start();
    auto first = src->nextFrame(1.0);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->index, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    auto late = src->nextFrame(1.0);
    ASSERT_TRUE(late);
    EXPECT_GE(late->index, 3) << "a late reader gets the frame of now";
    EXPECT_NEAR(centreGrey(*late), 20 + 20 * (late->index % 6), 6) << "skipped frames still count, across the loop";
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    auto resumed = src->nextFrame(1.0);
    ASSERT_TRUE(resumed);
    EXPECT_EQ(resumed->index, late->index + 1) << "after a long pause the file carries on instead of decoding it all";
    EXPECT_NEAR(centreGrey(*resumed), 20 + 20 * (resumed->index % 6), 6);
}

// A capture that stops delivering frames (here a file at its end, as a camera unplugged
// mid-stream reads) ends the stream: its reader is told instead of waiting for frames.
TEST(OpenCvCaptureSource, ACaptureThatStopsDeliveringEndsTheStreamForItsReader) {
    const fs::path file = writeGreyRamp(outDir("unplugged") / "ramp.mp4", 3);
    auto capture = std::make_unique<cv::VideoCapture>(file.string());
    ASSERT_TRUE(capture->isOpened());
    auto src = openCvCaptureSource(std::move(capture), {64, 48});
    src->start();
    int frames = 0;
    std::optional<pk::StudioError> ended;
    for (int i = 0; i < 100 && !ended; ++i) {
        try {
            if (src->nextFrame(0.1)) ++frames;
        } catch (const pk::StudioError& e) {
            ended = e;
        }
    }
    EXPECT_GE(frames, 1);
    ASSERT_TRUE(ended) << "the reader heard the stream end";
    EXPECT_EQ(ended->domain, kCaptureErrorDomain);
    EXPECT_EQ(ended->code, 1);
    EXPECT_FALSE(src->isRunning());
    src->stop();
}

TEST(V4l2CameraProvider, ListsVideoNodesInNumberOrderAndReportsNoDeviceWhenNoneCaptures) {
    const fs::path dir = outDir("dev");
    for (const char* name : {"video10", "video1", "video0", "videox", "video-1", "video", "vbi0"})
        std::ofstream(dir / name) << "";
    V4l2CameraProvider provider({dir});
    const auto nodes = provider.deviceNodes();
    ASSERT_EQ(nodes.size(), 3u);
    EXPECT_EQ(nodes[0].filename(), "video0");
    EXPECT_EQ(nodes[1].filename(), "video1");
    EXPECT_EQ(nodes[2].filename(), "video10");
    auto result = provider.openCamera({});
    EXPECT_EQ(result.access, CameraAccess::noDevice) << "plain files are not capture devices";
    EXPECT_FALSE(result.source);

    if (::geteuid() != 0) {  // root opens anything, so only a user sees the refusal
        fs::permissions(dir / "video0", fs::perms::none);
        EXPECT_EQ(provider.openCamera({}).access, CameraAccess::restricted);
    }
    EXPECT_EQ(V4l2CameraProvider({dir / "missing"}).openCamera({}).access, CameraAccess::noDevice);
}
