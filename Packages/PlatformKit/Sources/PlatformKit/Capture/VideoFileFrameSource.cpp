#include "PlatformKit/Capture/VideoFileFrameSource.h"

#include <opencv2/videoio.hpp>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <thread>

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
    double startTime = 0;
    int64_t decoded = 0;  // frames taken from the file since start, looping included

    bool readNext(cv::Mat& out) {
        if (capture.read(out) && !out.empty()) return true;
        if (!options.loop) return false;
        // Rewind by reopening: seeking back is not reliable for every container.
        capture.release();
        if (!capture.open(path.string(), cv::CAP_FFMPEG)) return false;
        return capture.read(out) && !out.empty();
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
    return std::unique_ptr<VideoFileFrameSource>(new VideoFileFrameSource(std::move(impl)));
}

void VideoFileFrameSource::start() {
    std::lock_guard lock(impl_->mutex);
    if (impl_->running) return;
    impl_->running = true;
    impl_->startTime = Clock::system()->now() - double(impl_->decoded) / impl_->fps;
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
            const double period = 1.0 / m.fps;
            const double now = Clock::system()->now();
            const int64_t due = std::max(m.decoded, int64_t(std::floor((now - m.startTime) / period)));
            const double dueTime = m.startTime + double(due) * period;
            if (dueTime > now) {
                const double wait = dueTime - now;
                if (wait > timeoutSeconds) {
                    m.cv.wait_for(lock, std::chrono::duration<double>(std::max(timeoutSeconds, 0.0)), [&] { return !m.running; });
                    return std::nullopt;
                }
                if (m.cv.wait_for(lock, std::chrono::duration<double>(wait), [&] { return !m.running; })) return std::nullopt;
            }
            // A late reader gets the frame of now, as a camera would show it.
            skip = due - m.decoded;
        }
    }
    cv::Mat mat;
    for (int64_t i = 0; i < skip; ++i)
        if (!m.readNext(mat)) return std::nullopt;
    if (!m.readNext(mat)) return std::nullopt;
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
