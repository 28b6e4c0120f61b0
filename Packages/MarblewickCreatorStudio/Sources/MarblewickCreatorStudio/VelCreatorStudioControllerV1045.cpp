#include "MarblewickCreatorStudio/VelCreatorStudioControllerV1045.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "MarblewickCreatorStudio/VelViralAutoClipper9x16V1030.h"
#include "PlatformKit/Foundation/Files.h"
#include "PlatformKit/Foundation/Numbers.h"
#include "PlatformKit/Foundation/Workspace.h"

namespace creator {

using Controller = VelCreatorStudioControllerV1045;

namespace {

// Camera frames come faster than a stalled main loop drains: only the newest one waits.
struct FrameMailbox {
    std::mutex mutex;
    Controller::FrameImage pending;
    bool posted = false;
};

}  // namespace

VelCreatorStudioControllerV1045::VelCreatorStudioControllerV1045() : VelCreatorStudioControllerV1045(Environment{}) {}

VelCreatorStudioControllerV1045::VelCreatorStudioControllerV1045(Environment env)
    : queue_(env.queue ? env.queue : &pk::MainQueue::main()),
      clock_(env.clock ? std::move(env.clock) : queue_->clock()),
      feed_(env.cameraFeed ? std::move(env.cameraFeed) : std::make_shared<VelCreatorCameraFeedV1045>()),
      recorder_(env.recorder ? std::move(env.recorder)
                             : std::shared_ptr<pk::media::ScreenRecorder>(&pk::media::ScreenRecorder::shared(),
                                                                          [](pk::media::ScreenRecorder*) {})),
      clipsDirectory_(env.clipsDirectory ? std::move(env.clipsDirectory)
                                         : [] { return VelViralAutoClipper9x16V1030::defaultClipsDirectory(); }),
      revealFile_(env.revealFile ? std::move(env.revealFile)
                                 : [](const std::filesystem::path& p) { pk::revealInFileBrowser(p); }) {
    // Every write of these two reaches the feed; the observer runs just before the store,
    // so the new value is taken from the argument and the other from the property.
    backgroundMode.observe([this](const VelFacecamBackgroundModeV1045& m) { feed_->updateSettings(m, isMirrored.get()); });
    isMirrored.observe([this](const bool& m) { feed_->updateSettings(backgroundMode.get(), m); });
    feed_->updateSettings(backgroundMode.get(), isMirrored.get());  // a feed given in may hold others

    auto mailbox = std::make_shared<FrameMailbox>();
    std::weak_ptr<int> alive = alive_;
    pk::MainQueue* queue = queue_;
    feed_->setOnFrameReady([this, mailbox, alive, queue](const FrameImage& frame) {
        {
            std::lock_guard lock(mailbox->mutex);
            mailbox->pending = frame;
            if (mailbox->posted) return;
            mailbox->posted = true;
        }
        queue->post([this, mailbox, alive] {
            FrameImage f;
            {
                std::lock_guard lock(mailbox->mutex);
                f = std::move(mailbox->pending);
                mailbox->posted = false;
            }
            if (alive.lock() && f) latestCameraFrame = f;
        });
    });
}

VelCreatorStudioControllerV1045::~VelCreatorStudioControllerV1045() {
    feed_->setOnFrameReady(nullptr);
    feed_->stop();
    stopClock();
    // A recording still starting or running is saved: the recorder finishes it on its own
    // thread after the controller is gone.
    if (transition_ == Transition::starting || (isRecording.get() && transition_ != Transition::stopping))
        recorder_->stopRecording(recordingPath(recordingTitle_), nullptr);
    alive_.reset();
}

void VelCreatorStudioControllerV1045::hop(std::function<void()> fn) {
    std::weak_ptr<int> alive = alive_;
    queue_->post([alive, fn = std::move(fn)] {
        if (alive.lock()) fn();
    });
}

double VelCreatorStudioControllerV1045::clampScale(double value) { return std::min(std::max(value, kMinScale), kMaxScale); }

VelFacecamSize VelCreatorStudioControllerV1045::clampOffset(VelFacecamSize p, VelFacecamSize c) {
    const double mx = std::max(c.width * 0.44, 40.0), my = std::max(c.height * 0.42, 40.0);
    return {std::min(std::max(p.width, -mx), mx), std::min(std::max(p.height, -my), my)};
}

std::string VelCreatorStudioControllerV1045::formatRecordingTime(int64_t ticks) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%02lld:%02lld", static_cast<long long>(ticks / 240),
                  static_cast<long long>((ticks / 4) % 60));
    return buf;
}

std::string VelCreatorStudioControllerV1045::formattedRecordingTime() const {
    return formatRecordingTime(recordingElapsedSeconds.get());
}

std::string VelCreatorStudioControllerV1045::recordingFileName(const std::string& gameTitle, double secondsSince1970) {
    return VelViralAutoClipper9x16V1030::safeFileStem(gameTitle) + "_CreatorRec_" +
           std::to_string(pk::truncToInt64(secondsSince1970)) + ".mp4";
}

std::filesystem::path VelCreatorStudioControllerV1045::recordingPath(const std::string& gameTitle) const {
    return clipsDirectory_() / recordingFileName(gameTitle, clock_->wallSeconds());
}

void VelCreatorStudioControllerV1045::startClock() {
    if (timer_) return;
    std::weak_ptr<int> alive = alive_;
    timer_ = queue_->scheduleRepeating(kClockInterval, [this, alive] {
        if (alive.lock()) tick();
    });
}

void VelCreatorStudioControllerV1045::stopClock() {
    if (!timer_) return;
    timer_->cancel();
    timer_.reset();
}

void VelCreatorStudioControllerV1045::tick() {
    if (isRecording.get()) recordingElapsedSeconds = recordingElapsedSeconds.get() + 1;
    const double t = clock_->wallSeconds();
    // A lively wave between 0.18 and 0.73 while the microphone is in; it does not listen.
    micActivityLevel = isMicIncluded.get() ? std::abs(std::sin(4.7 * t) * std::cos(2.3 * t)) * 0.55 + 0.18 : 0.0;
}

void VelCreatorStudioControllerV1045::toggleCamera() {
    isCameraEnabled = !isCameraEnabled.get();
    if (isCameraEnabled.get()) {
        feed_->start([this, alive = std::weak_ptr<int>(alive_), queue = queue_](bool ok, const std::string& status) {
            queue->post([this, alive, ok, status] {
                if (!alive.lock()) return;
                // A camera switched off before it answered is not live.
                isUsingLiveHardwareCamera = ok && isCameraEnabled.get();
                statusMessage = status;
            });
        });
        startClock();  // at once, whatever the camera answers
    } else {
        feed_->stop();
        isUsingLiveHardwareCamera = false;
        if (!isRecording.get()) stopClock();  // a recording that starts later brings its own
    }
}

void VelCreatorStudioControllerV1045::toggleRecording(const std::string& gameTitle) {
    if (transition_ != Transition::none) return;  // no second start or stop on top of a pending one
    if (isRecording.get()) stopRecording(gameTitle);
    else startRecording(gameTitle);
}

void VelCreatorStudioControllerV1045::startRecording(const std::string& gameTitle) {
    if (!recorder_->isAvailable()) {
        statusMessage = kRecorderUnavailableStatus;
        return;
    }
    recorder_->setMicrophoneEnabled(isMicIncluded.get());
    recorder_->setCameraEnabled(false);
    transition_ = Transition::starting;
    recordingTitle_ = gameTitle;
    std::weak_ptr<int> alive = alive_;
    pk::MainQueue* queue = queue_;
    recorder_->startRecording([this, alive, queue](std::optional<pk::StudioError> error) {
        queue->post([this, alive, error] {
            if (!alive.lock()) return;
            transition_ = Transition::none;
            if (error) {
                statusMessage = "Rec error: " + error->description;
                return;
            }
            isRecording = true;
            recordingElapsedSeconds = 0;
            statusMessage = isMicIncluded.get() ? "REC (Game + Mic + Cam)" : "REC (Game Audio)";
            startClock();
        });
    });
}

void VelCreatorStudioControllerV1045::stopRecording(const std::string& gameTitle) {
    const std::filesystem::path path = recordingPath(gameTitle);
    transition_ = Transition::stopping;
    std::weak_ptr<int> alive = alive_;
    pk::MainQueue* queue = queue_;
    recorder_->stopRecording(path, [this, alive, queue, path](std::optional<pk::StudioError> error) {
        queue->post([this, alive, path, error] {
            if (!alive.lock()) return;
            transition_ = Transition::none;
            isRecording = false;
            if (!isCameraEnabled.get()) stopClock();
            if (error) {
                statusMessage = "Save note: " + error->description;
                return;
            }
            statusMessage = "Saved " + pk::lastComponent(path);
            revealFile_(path);
        });
    });
}

}  // namespace creator
