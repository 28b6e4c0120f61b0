#include "PlatformKit/Capture/VideoFileFrameSource.h"

#include <opencv2/videoio.hpp>

#include <cmath>
#include <condition_variable>

#include "PlatformKit/Capture/FramePacer.h"
#include "PlatformKit/Capture/OpenCvFrames.h"
#include "PlatformKit/Foundation/Clock.h"

namespace pk::capture {

struct VideoFileFrameSource::Impl {
    std::filesystem::path path;
    Options options;
    cv::VideoCapture capture;
    double fps = 30;
    int width = 0, height = 0;

    mutable std::mutex mutex;  // running and the pacing clock; decoding runs in nextFrame's caller
    std::condition_variable cv;
    bool running = false;
    std::optional<detail::FramePacer> pacer;  // set once the rate is known
    int64_t decoded = 0;  // frames taken from the file since start, looping included

    // The next frame of the file into `out`, or past it without converting when `out` is null.
    bool advance(cv::Mat* out) {
        const auto take = [&] { return out ? capture.read(*out) && !out->empty() : capture.grab(); };
        if (take()) return true;
        if (!options.loop) return false;
        // Rewind by reopening: seeking back is not reliable for every container.
        capture.release();
        if (!capture.open(path.string(), cv::CAP_FFMPEG)) return false;
        return take();
    }
};

VideoFileFrameSource::VideoFileFrameSource(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
VideoFileFrameSource::~VideoFileFrameSource() { stop(); }

std::unique_ptr<VideoFileFrameSource> VideoFileFrameSource::open(const std::filesystem::path& path, Options options) {
    auto impl = std::make_unique<Impl>();
    impl->path = path;
    impl->options = options;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return nullptr;
    if (!impl->capture.open(path.string(), cv::CAP_FFMPEG)) return nullptr;
    const double fps = impl->capture.get(cv::CAP_PROP_FPS);
    impl->fps = std::isfinite(fps) && fps > 0 && fps <= 1000 ? fps : 30.0;
    impl->width = int(impl->capture.get(cv::CAP_PROP_FRAME_WIDTH));
    impl->height = int(impl->capture.get(cv::CAP_PROP_FRAME_HEIGHT));
    if (impl->width <= 0 || impl->height <= 0) return nullptr;
    // A reader back from a pause longer than a second carries on where it was rather than
    // decoding everything it missed.
    impl->pacer.emplace(impl->fps, int64_t(std::ceil(impl->fps)));
    return std::unique_ptr<VideoFileFrameSource>(new VideoFileFrameSource(std::move(impl)));
}

void VideoFileFrameSource::start() {
    std::lock_guard lock(impl_->mutex);
    if (impl_->running) return;
    impl_->running = true;
    impl_->pacer->restart(impl_->decoded);
}

void VideoFileFrameSource::stop() {
    {
        std::lock_guard lock(impl_->mutex);
        impl_->running = false;
    }
    impl_->cv.notify_all();
}

bool VideoFileFrameSource::isRunning() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->running;
}

double VideoFileFrameSource::framesPerSecond() const { return impl_->fps; }
int VideoFileFrameSource::width() const { return impl_->width; }
int VideoFileFrameSource::height() const { return impl_->height; }

std::optional<CameraFrame> VideoFileFrameSource::nextFrame(double timeoutSeconds) {
    Impl& m = *impl_;
    int64_t skip = 0;
    {
        std::unique_lock lock(m.mutex);
        if (!m.running) return std::nullopt;
        if (m.options.paced) {
            const auto due = m.pacer->waitForDue(lock, m.cv, m.running, m.decoded, timeoutSeconds);
            if (!due) return std::nullopt;
            // A late reader gets the frame of now, as a camera would show it.
            skip = *due - m.decoded;
        }
    }
    cv::Mat mat;
    for (int64_t i = 0; i < skip; ++i)
        if (!m.advance(nullptr)) return std::nullopt;
    if (!m.advance(&mat)) return std::nullopt;
    CameraFrame frame;
    frame.image = detail::frameFromMat(mat, m.options.resizeTo);
    if (!frame.image) return std::nullopt;
    {
        std::lock_guard lock(m.mutex);
        m.decoded += skip + 1;
        frame.index = m.decoded - 1;
    }
    frame.timestamp = Clock::system()->now();
    return frame;
}

}  // namespace pk::capture
