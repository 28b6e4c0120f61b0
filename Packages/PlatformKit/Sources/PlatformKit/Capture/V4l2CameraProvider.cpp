#include "PlatformKit/Capture/V4l2CameraProvider.h"

#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <opencv2/videoio.hpp>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

#include "PlatformKit/Capture/OpenCvFrames.h"
#include "PlatformKit/Foundation/Clock.h"
#include "PlatformKit/Foundation/JobGuard.h"
#include "PlatformKit/Foundation/StudioError.h"

namespace pk::capture {

namespace {

// One open camera. The grab thread reads frames as the driver delivers them and keeps the
// newest; nextFrame hands each frame out at most once. What the grab thread throws (OpenCV,
// memory, a camera that stopped delivering) ends the stream and is thrown again by
// nextFrame, to the reader of the frames.
class OpenCvCameraSource : public FrameSource {
public:
    OpenCvCameraSource(std::unique_ptr<cv::VideoCapture> capture, CameraRequest request)
        : capture_(std::move(capture)), request_(request) {}
    ~OpenCvCameraSource() override {
        stop();
        capture_->release();
    }

    void start() override {
        std::lock_guard lock(controlMutex_);
        if (thread_.joinable()) return;
        {
            std::lock_guard l(mutex_);
            quit_ = false;
            failure_ = nullptr;
        }
        thread_ = std::thread([this] {
            pk::runGuarded("Camera capture", [this] { grabLoop(); }, [this](const pk::JobFailure& f) {
                {
                    std::lock_guard l(mutex_);
                    failure_ = f.exception();
                    started_ = false;
                }
                cv_.notify_all();
            });
        });
    }

    void stop() override {
        std::lock_guard lock(controlMutex_);
        if (!thread_.joinable()) return;
        {
            std::lock_guard l(mutex_);
            quit_ = true;
        }
        cv_.notify_all();
        thread_.join();
        std::lock_guard l(mutex_);
        latest_.reset();
    }

    bool isRunning() const override {
        std::lock_guard l(mutex_);
        return !quit_ && started_;
    }

    std::optional<CameraFrame> nextFrame(double timeoutSeconds) override {
        std::unique_lock lock(mutex_);
        cv_.wait_for(lock, std::chrono::duration<double>(std::max(timeoutSeconds, 0.0)),
                     [&] { return quit_ || failure_ || latest_.has_value(); });
        if (quit_) return std::nullopt;
        if (failure_) std::rethrow_exception(failure_);
        if (!latest_) return std::nullopt;
        std::optional<CameraFrame> out = std::move(latest_);
        latest_.reset();
        return out;
    }

private:
    void grabLoop() {
        {
            std::lock_guard l(mutex_);
            started_ = true;
        }
        cv::Mat mat;
        int64_t index = 0;
        int failures = 0;
        for (;;) {
            {
                std::lock_guard l(mutex_);
                if (quit_) break;
            }
            // read() waits for the driver's next frame, at most about one frame period.
            if (!capture_->read(mat) || mat.empty()) {
                // A camera unplugged mid-stream: stop trying after a while instead of spinning,
                // and end the stream so that its reader hears the camera is gone.
                if (++failures > kFailedReadsBeforeGone)
                    throw StudioError(kCaptureErrorDomain, 1, "The camera stopped delivering frames.");
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
                continue;
            }
            failures = 0;
            CameraFrame frame;
            frame.image = detail::frameFromMat(mat, request_);
            frame.index = index++;
            frame.timestamp = Clock::system()->now();
            if (!frame.image) continue;
            {
                std::lock_guard l(mutex_);
                latest_ = std::move(frame);
            }
            cv_.notify_all();
        }
        std::lock_guard l(mutex_);
        started_ = false;
    }

    std::unique_ptr<cv::VideoCapture> capture_;
    CameraRequest request_;
    std::mutex controlMutex_;  // start and stop
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    std::optional<CameraFrame> latest_;
    std::exception_ptr failure_;  // the grab thread's, until the next start
    bool quit_ = false;
    bool started_ = false;
    std::thread thread_;
};

std::optional<int> videoNodeNumber(const std::string& name) {
    if (name.size() <= 5 || name.compare(0, 5, "video") != 0) return std::nullopt;
    int n = 0;
    const char* first = name.data() + 5;
    const char* last = name.data() + name.size();
    auto [ptr, ec] = std::from_chars(first, last, n);
    if (ec != std::errc() || ptr != last || n < 0) return std::nullopt;
    return n;
}

// 0 when the node is a capture device, else why not (an errno, or ENODEV for a device
// that does not capture video).
int probeCaptureNode(const std::filesystem::path& node) {
    const int fd = ::open(node.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return errno;
    v4l2_capability caps{};
    int result = 0;
    if (::ioctl(fd, VIDIOC_QUERYCAP, &caps) != 0) {
        result = ENODEV;
    } else {
        const uint32_t c = (caps.capabilities & V4L2_CAP_DEVICE_CAPS) ? caps.device_caps : caps.capabilities;
        if (!(c & (V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_VIDEO_CAPTURE_MPLANE))) result = ENODEV;
    }
    ::close(fd);
    return result;
}

}  // namespace

std::unique_ptr<FrameSource> openCvCaptureSource(std::unique_ptr<cv::VideoCapture> capture,
                                                 const CameraRequest& request) {
    return std::make_unique<OpenCvCameraSource>(std::move(capture), request);
}

std::vector<std::filesystem::path> V4l2CameraProvider::deviceNodes() const {
    std::vector<std::pair<int, std::filesystem::path>> found;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(options_.deviceDirectory, ec), end; !ec && it != end; it.increment(ec)) {
        if (auto n = videoNodeNumber(it->path().filename().string())) found.emplace_back(*n, it->path());
    }
    std::sort(found.begin(), found.end());
    std::vector<std::filesystem::path> out;
    for (auto& f : found) out.push_back(std::move(f.second));
    return out;
}

CameraOpenResult V4l2CameraProvider::openCamera(const CameraRequest& request) {
    bool sawRestricted = false, sawDenied = false;
    for (const auto& node : deviceNodes()) {
        const int why = probeCaptureNode(node);
        if (why == EACCES) sawRestricted = true;
        if (why == EPERM) sawDenied = true;
        if (why != 0) continue;
        auto capture = std::make_unique<cv::VideoCapture>();
        if (!capture->open(node.string(), cv::CAP_V4L2)) continue;  // busy or gone meanwhile
        capture->set(cv::CAP_PROP_FRAME_WIDTH, request.width);
        capture->set(cv::CAP_PROP_FRAME_HEIGHT, request.height);
        capture->set(cv::CAP_PROP_BUFFERSIZE, 1);
        CameraOpenResult result;
        result.access = CameraAccess::granted;
        result.deviceName = node.filename().string();
        result.source = openCvCaptureSource(std::move(capture), request);
        return result;
    }
    CameraOpenResult result;
    result.access = sawDenied ? CameraAccess::denied : sawRestricted ? CameraAccess::restricted : CameraAccess::noDevice;
    return result;
}

}  // namespace pk::capture
