#include "PlatformKit/Capture/SyntheticFrameSource.h"

#include <cmath>

#include "PlatformKit/Draw2D/Canvas.h"
#include "PlatformKit/Foundation/Clock.h"

namespace pk::capture {

namespace {
double monotonicNow() { return Clock::system()->now(); }
}  // namespace

SyntheticFrameSource::SyntheticFrameSource(Options options) : options_(std::move(options)) {
    if (!options_.painter) options_.painter = &SyntheticFrameSource::paintStudioPreview;
    if (options_.fps > 0) pacer_.emplace(options_.fps);
}

void SyntheticFrameSource::start() {
    std::lock_guard lock(mutex_);
    if (running_) return;
    running_ = true;
    made_ = 0;
    if (pacer_) pacer_->restart(0);
}

void SyntheticFrameSource::stop() {
    {
        std::lock_guard lock(mutex_);
        running_ = false;
    }
    cv_.notify_all();
}

bool SyntheticFrameSource::isRunning() const {
    std::lock_guard lock(mutex_);
    return running_;
}

int64_t SyntheticFrameSource::framesMade() const {
    std::lock_guard lock(mutex_);
    return made_;
}

std::optional<CameraFrame> SyntheticFrameSource::nextFrame(double timeoutSeconds) {
    int64_t index = 0;
    {
        std::unique_lock lock(mutex_);
        if (!running_) return std::nullopt;
        if (pacer_) {
            // Frames whose time passed while nobody asked are skipped.
            const auto due = pacer_->waitForDue(lock, cv_, running_, made_, timeoutSeconds);
            if (!due) return std::nullopt;
            index = *due;
        } else {
            index = made_;
        }
        made_ = index + 1;
    }
    auto bitmap = draw2d::Bitmap::create(options_.width, options_.height);
    if (!bitmap) return std::nullopt;
    options_.painter(*bitmap, index);
    CameraFrame frame;
    frame.image = std::make_shared<const draw2d::Bitmap>(std::move(*bitmap));
    frame.index = index;
    frame.timestamp = monotonicNow();
    return frame;
}

void SyntheticFrameSource::paintStudioPreview(draw2d::Bitmap& frame, int64_t index) {
    using namespace draw2d;
    Canvas c(frame, Origin::topLeft);
    const double w = frame.width(), h = frame.height();
    c.setFillLinearGradient({0, 0}, {0, h}, {{0, {0.30, 0.33, 0.36, 1}}, {1, {0.18, 0.20, 0.22, 1}}});
    c.fill({0, 0, w, h});
    const double sway = std::sin(double(index) * 0.05) * w * 0.06;
    const double cx = w * 0.5 + sway;
    c.setFillColor({0.16, 0.36, 0.62, 1});
    c.fillEllipse({cx - w * 0.3, h * 0.68, w * 0.6, h * 0.6});  // shoulders, cut by the bottom
    c.setFillColor({0.86, 0.68, 0.56, 1});
    c.fillEllipse({cx - w * 0.11, h * 0.26, w * 0.22, h * 0.36});  // head
}

}  // namespace pk::capture
