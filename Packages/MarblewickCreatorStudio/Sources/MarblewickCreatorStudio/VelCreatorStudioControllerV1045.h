#pragma once
// The creator overlay's state: the facecam bubble's look and place, the camera switch,
// the screen recording with its clock, a microphone meter and a one-line status. Owns the
// camera feed, forwards the background mode and mirroring to it and publishes its frames;
// records the screen into the clips folder; runs one 0.25 s clock on the main queue while
// the camera is on or a recording runs. Main thread only; everything arriving from other
// threads hops to the main queue first and is dropped once the controller is gone.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "MarblewickCreatorStudio/VelCreatorCameraFeedV1045.h"
#include "MarblewickCreatorStudio/VelFacecamBackgroundModeV1045.h"
#include "MarblewickCreatorStudio/VelFacecamShapeV1045.h"
#include "PlatformKit/Foundation/MainQueue.h"
#include "PlatformKit/Foundation/Published.h"
#include "PlatformKit/Media/ScreenRecorder.h"

namespace creator {

// A width and a height in points (offsets and container sizes).
struct VelFacecamSize {
    double width = 0;
    double height = 0;
    bool operator==(const VelFacecamSize&) const = default;
};

class VelCreatorStudioControllerV1045 {
public:
    using FrameImage = pk::capture::FrameImage;

    static constexpr double kClockInterval = 0.25;
    static constexpr double kMinScale = 0.55;
    static constexpr double kMaxScale = 2.2;
    static constexpr const char* kReadyStatus = "Creator Cam Ready";
    // Where the platform would send the user to a privacy setting, Linux has none: the
    // recorder is missing only when no H.264 encoder is installed.
    static constexpr const char* kRecorderUnavailableStatus =
        "Screen Recorder unavailable (install an H.264 encoder: libx264)";

    struct Environment {
        pk::MainQueue* queue = nullptr;                  // the main queue when null
        std::shared_ptr<pk::Clock> clock;                // the queue's clock when empty
        std::shared_ptr<VelCreatorCameraFeedV1045> cameraFeed;  // a new feed when empty
        std::shared_ptr<pk::media::ScreenRecorder> recorder;    // the shared recorder when empty
        std::function<std::filesystem::path()> clipsDirectory;  // the clip exporter's folder when empty
        std::function<void(const std::filesystem::path&)> revealFile;  // the file browser when empty
    };

    VelCreatorStudioControllerV1045();
    explicit VelCreatorStudioControllerV1045(Environment env);
    // Teardown: the camera feed is stopped, the clock cancelled, and a recording that is
    // starting or running is stopped and saved, so nothing is lost and nothing outlives
    // the controller.
    ~VelCreatorStudioControllerV1045();
    VelCreatorStudioControllerV1045(const VelCreatorStudioControllerV1045&) = delete;
    VelCreatorStudioControllerV1045& operator=(const VelCreatorStudioControllerV1045&) = delete;

    pk::Published<bool> isToolbarExpanded{false};
    pk::Published<bool> isCameraEnabled{false};
    pk::Published<VelFacecamBackgroundModeV1045> backgroundMode{VelFacecamBackgroundModeV1045::cutoutNoBackground};
    pk::Published<VelFacecamShapeV1045> frameShape{VelFacecamShapeV1045::freeCutout};
    pk::Published<bool> isMirrored{true};
    pk::Published<bool> isMicIncluded{true};
    pk::Published<bool> isRecording{false};
    pk::Published<int64_t> recordingElapsedSeconds{0};  // clock ticks: quarter seconds, not seconds
    pk::Published<double> micActivityLevel{0.25};
    pk::Published<std::string> statusMessage{std::string(kReadyStatus)};
    pk::Published<FrameImage> latestCameraFrame;
    pk::Published<bool> isUsingLiveHardwareCamera{false};
    pk::Published<VelFacecamSize> offset{VelFacecamSize{-16, -96}};
    pk::Published<double> scale{1.0};

    void toggleCamera();
    // Starts a recording when none runs, else stops it and saves it under a name made from
    // the title. Ignored while a start or a stop is still pending.
    void toggleRecording(const std::string& gameTitle);

    static double clampScale(double value);
    // Each axis to ± max(container × 0.44 (width) or 0.42 (height), 40).
    static VelFacecamSize clampOffset(VelFacecamSize proposed, VelFacecamSize container);
    // "mm:ss" of the clock (4 ticks a second); minutes do not wrap.
    std::string formattedRecordingTime() const;
    static std::string formatRecordingTime(int64_t ticks);
    // "<title, spaces as _>_CreatorRec_<whole seconds>.mp4"; "/" and ".." become "_" so
    // the file stays inside the clips folder.
    static std::string recordingFileName(const std::string& gameTitle, double secondsSince1970);

    // What is running (for the overlay's teardown and for tests).
    bool hasClockTimer() const { return timer_ != nullptr; }
    bool isRecordingTransitionPending() const { return transition_ != Transition::none; }
    VelCreatorCameraFeedV1045& cameraFeed() { return *feed_; }

private:
    enum class Transition { none, starting, stopping };

    void startClock();
    void stopClock();
    void tick();
    void startRecording(const std::string& gameTitle);
    void stopRecording(const std::string& gameTitle);
    std::filesystem::path recordingPath(const std::string& gameTitle) const;
    // Runs fn on the main queue while this controller still exists.
    void hop(std::function<void()> fn);

    pk::MainQueue* queue_;
    std::shared_ptr<pk::Clock> clock_;
    std::shared_ptr<VelCreatorCameraFeedV1045> feed_;
    std::shared_ptr<pk::media::ScreenRecorder> recorder_;
    std::function<std::filesystem::path()> clipsDirectory_;
    std::function<void(const std::filesystem::path&)> revealFile_;
    std::shared_ptr<pk::MainQueue::Timer> timer_;
    Transition transition_ = Transition::none;
    std::string recordingTitle_;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace creator
