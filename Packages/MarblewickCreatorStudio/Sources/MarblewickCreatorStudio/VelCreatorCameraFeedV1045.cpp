#include "MarblewickCreatorStudio/VelCreatorCameraFeedV1045.h"

#include <pthread.h>

#include <future>
#include <system_error>
#include <utility>

#include "PlatformKit/Capture/V4l2CameraProvider.h"
#include "PlatformKit/Foundation/JobGuard.h"
#include "PlatformKit/Vision/MatteCompositing.h"

namespace creator {

using Feed = VelCreatorCameraFeedV1045;

VelCreatorCameraFeedV1045::VelCreatorCameraFeedV1045() : VelCreatorCameraFeedV1045(Environment{}) {}

VelCreatorCameraFeedV1045::VelCreatorCameraFeedV1045(Environment env)
    : devices_(env.devices ? std::move(env.devices) : std::make_shared<pk::capture::V4l2CameraProvider>()),
      segmenter_(std::move(env.segmenter)) {}

VelCreatorCameraFeedV1045::~VelCreatorCameraFeedV1045() {
    {
        std::lock_guard lock(queueMutex_);
        quit_ = true;
        tasks_.clear();
    }
    queueCv_.notify_all();
    if (thread_.joinable()) thread_.join();
    if (source_) source_->stop();
}

void VelCreatorCameraFeedV1045::updateSettings(VelFacecamBackgroundModeV1045 bgMode, bool mirrored) {
    std::lock_guard lock(settingsMutex_);
    bgMode_ = bgMode;
    mirrored_ = mirrored;
}

VelFacecamBackgroundModeV1045 VelCreatorCameraFeedV1045::backgroundMode() const {
    std::lock_guard lock(settingsMutex_);
    return bgMode_;
}

bool VelCreatorCameraFeedV1045::isMirrored() const {
    std::lock_guard lock(settingsMutex_);
    return mirrored_;
}

void VelCreatorCameraFeedV1045::setOnFrameReady(FrameHandler handler) {
    std::lock_guard lock(handlerMutex_);
    onFrameReady_ = std::move(handler);
}

bool VelCreatorCameraFeedV1045::post(std::function<void()> task) {
    {
        std::lock_guard lock(queueMutex_);
        if (quit_) return false;
        tasks_.push_back(std::move(task));
        // The thread starts with the first request: a feed nobody starts costs nothing.
        if (!thread_.joinable()) {
            try {
                thread_ = std::thread([this] { run(); });
            } catch (const std::system_error&) {
                // Out of threads: nothing runs the task, so it is not kept. The next request
                // tries to start the thread again.
                tasks_.pop_back();
                return false;
            }
        }
    }
    queueCv_.notify_all();
    return true;
}

void VelCreatorCameraFeedV1045::start(Completion completion) {
    // Refused only when the capture thread cannot be started: without it there is no
    // camera, and the start hears so at once, on the caller's thread.
    if (!post([this, completion] { setUp(completion); }) && completion) completion(false, kNoCameraStatus);
}

void VelCreatorCameraFeedV1045::stop() {
    post([this] {
        reportTo_ = nullptr;  // switched off: a failure from here on is nobody's news
        if (!running_.load()) return;
        source_->stop();
        std::lock_guard lock(queueMutex_);
        running_ = false;
    });
}

void VelCreatorCameraFeedV1045::waitForQueue() {
    auto done = std::make_shared<std::promise<void>>();
    auto f = done->get_future();
    if (post([done] { done->set_value(); })) f.wait();
}

void VelCreatorCameraFeedV1045::setUp(const Completion& completion) {
    reportTo_ = completion;
    if (!configured_.load()) {
        ++configureAttempts_;
        pk::capture::CameraOpenResult result = devices_->openCamera({kWidth, kHeight});
        if (result.access != pk::capture::CameraAccess::granted || !result.source) {
            // Nothing is kept: the next start tries again from the beginning.
            const char* status = result.access == pk::capture::CameraAccess::restricted ? kRestrictedStatus
                                 : result.access == pk::capture::CameraAccess::denied   ? kDeniedStatus
                                                                                        : kNoCameraStatus;
            if (completion) completion(false, status);
            return;
        }
        source_ = std::move(result.source);
        configured_ = true;
    }
    if (!running_.load()) {
        source_->start();
        std::lock_guard lock(queueMutex_);
        running_ = true;
    }
    if (completion) completion(true, kLiveStatus);
}

void VelCreatorCameraFeedV1045::run() {
    pthread_setname_np(pthread_self(), "facecam");
    while (!pk::runGuarded("Camera feed", [this] { serve(); }, [this](const pk::JobFailure&) { fallBackToNoCamera(); })) {
    }
}

void VelCreatorCameraFeedV1045::fallBackToNoCamera() {
    if (source_) pk::runGuarded("Camera feed", [this] { source_->stop(); });
    source_.reset();
    configured_ = false;
    {
        std::lock_guard lock(queueMutex_);
        running_ = false;
    }
    if (Completion report = std::exchange(reportTo_, nullptr)) report(false, kNoCameraStatus);
}

void VelCreatorCameraFeedV1045::serve() {
    for (;;) {
        std::function<void()> task;
        {
            std::unique_lock lock(queueMutex_);
            queueCv_.wait(lock, [&] { return quit_ || !tasks_.empty() || running_.load(); });
            if (quit_) return;
            if (!tasks_.empty()) {
                task = std::move(tasks_.front());
                tasks_.pop_front();
            }
        }
        if (task) {
            task();
            continue;
        }
        // Only the newest frame is ever handed out, so a slow frame never queues others.
        if (auto frame = source_->nextFrame(0.05)) deliver(processFrame(frame->image, frame->timestamp));
    }
}

void VelCreatorCameraFeedV1045::deliver(const FrameImage& frame) {
    if (!frame) return;
    FrameHandler handler;
    {
        std::lock_guard lock(handlerMutex_);
        handler = onFrameReady_;
    }
    if (handler) handler(frame);
}

Feed::FrameImage VelCreatorCameraFeedV1045::processFrame(const FrameImage& camera, double timestamp) {
    VelFacecamBackgroundModeV1045 mode;
    bool mirrored;
    {
        std::lock_guard lock(settingsMutex_);
        mode = bgMode_;
        mirrored = mirrored_;
    }
    if (mode == VelFacecamBackgroundModeV1045::fullCamera) return composite(camera, timestamp, mode, mirrored, nullptr);
    // The segmenter is not thread-safe and carries the previous mask into the next frame,
    // so one frame at a time goes through it.
    std::lock_guard lock(segmenterMutex_);
    if (!segmenter_) segmenter_ = std::make_shared<pk::vision::CascadeSeededPersonSegmenter>();
    return composite(camera, timestamp, mode, mirrored, segmenter_.get());
}

Feed::FrameImage VelCreatorCameraFeedV1045::composite(const FrameImage& camera, double timestamp,
                                                      VelFacecamBackgroundModeV1045 mode, bool mirrored,
                                                      pk::vision::PersonSegmenter* segmenter) {
    using namespace pk::vision;
    if (!camera || !camera->view().isValid()) return nullptr;
    FrameImage image = camera;
    if (mirrored) {
        auto flipped = mirroredHorizontally(camera->view());
        if (!flipped) return nullptr;
        image = std::make_shared<const pk::draw2d::Bitmap>(std::move(*flipped));
    }
    if (mode == VelFacecamBackgroundModeV1045::fullCamera || !segmenter) return image;
    // The person is found in the frame as captured; the matte then follows the mirroring.
    std::optional<GrayMask> mask = segmenter->segment(camera->view(), timestamp);
    if (!mask || !mask->isValid()) return image;
    GrayMask matte = mirrored ? mirroredHorizontally(*mask) : std::move(*mask);
    if (matte.width != image->width() || matte.height != image->height())
        matte = resizedMask(matte, image->width(), image->height());
    std::optional<pk::draw2d::Bitmap> background;
    if (mode == VelFacecamBackgroundModeV1045::studioBlur) {
        background = gaussianBlurClamped(image->view(), kBlurSigma);
        if (!background) return image;
    }
    const pk::draw2d::BitmapView backgroundView = background ? background->view() : pk::draw2d::BitmapView{};
    auto out = blendWithMatte(image->view(), background ? &backgroundView : nullptr, matte);
    if (!out) return image;
    return std::make_shared<const pk::draw2d::Bitmap>(std::move(*out));
}

}  // namespace creator
