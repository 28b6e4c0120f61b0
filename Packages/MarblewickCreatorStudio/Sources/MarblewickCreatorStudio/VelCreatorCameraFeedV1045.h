#pragma once
// The facecam's camera: opens the first camera that can capture (640 × 480) on its own
// capture thread and turns every frame into a finished picture: mirrored when asked, the
// person cut out of the room by segmentation with the room made transparent or blurred,
// or the frame left whole. Finished frames go to the frame handler on the capture thread.
// Set-up, start, stop and all frame work run in order on that one thread. Whatever throws
// there (the camera, the segmenter, a handler) falls back to no camera: the camera is
// dropped, so the next start opens one afresh, the start that opened it hears
// (false, kNoCameraStatus) once more, and the thread goes on.
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "MarblewickCreatorStudio/VelFacecamBackgroundModeV1045.h"
#include "PlatformKit/Capture/FrameSource.h"
#include "PlatformKit/Vision/PersonSegmenter.h"

namespace creator {

class VelCreatorCameraFeedV1045 {
public:
    using FrameImage = pk::capture::FrameImage;
    // success, and a status text meant for the user as it stands.
    using Completion = std::function<void(bool success, const std::string& status)>;
    using FrameHandler = std::function<void(const FrameImage& frame)>;

    static constexpr const char* kLiveStatus = "Live Camera Active";
    static constexpr const char* kRestrictedStatus = "Camera restricted \u2014 using Studio Preview";
    static constexpr const char* kDeniedStatus = "Camera permission denied \u2014 using Studio Preview";
    static constexpr const char* kNoCameraStatus = "No front camera detected \u2014 using Studio Preview";
    static constexpr int kWidth = 640;
    static constexpr int kHeight = 480;
    static constexpr double kBlurSigma = 14;

    struct Environment {
        std::shared_ptr<pk::capture::CameraDeviceProvider> devices;  // the V4L2 cameras when empty
        // The cascade-seeded tracking segmenter when empty, made on the capture thread when
        // first needed.
        std::shared_ptr<pk::vision::PersonSegmenter> segmenter;
    };

    VelCreatorCameraFeedV1045();
    explicit VelCreatorCameraFeedV1045(Environment env);
    // Stops the camera and the capture thread; set-ups still queued never run and never
    // report.
    ~VelCreatorCameraFeedV1045();
    VelCreatorCameraFeedV1045(const VelCreatorCameraFeedV1045&) = delete;
    VelCreatorCameraFeedV1045& operator=(const VelCreatorCameraFeedV1045&) = delete;

    // From any thread; applies from the next frame.
    void updateSettings(VelFacecamBackgroundModeV1045 bgMode, bool mirrored);
    VelFacecamBackgroundModeV1045 backgroundMode() const;
    bool isMirrored() const;

    // Opens the camera the first time (a failed attempt is retried by the next start),
    // starts it when it is not running and reports once, on the capture thread. When the
    // capture thread cannot be started it reports (false, kNoCameraStatus) at once, on the
    // caller's thread.
    void start(Completion completion);
    // Stops the camera when it runs; it stays open, so the next start only resumes it.
    void stop();

    // Receives every finished frame, on the capture thread. From any thread.
    void setOnFrameReady(FrameHandler handler);

    // What the capture thread has done so far (for tests and diagnostics).
    bool isConfigured() const { return configured_.load(); }
    bool isRunning() const { return running_.load(); }
    int configureAttempts() const { return configureAttempts_.load(); }
    // Returns once everything queued before the call has run. Not from the capture thread.
    void waitForQueue();

    // One camera frame, taken at `timestamp` (monotonic seconds), through the processing
    // each captured frame gets, with the current settings. Empty when the frame is not a
    // valid bitmap.
    FrameImage processFrame(const FrameImage& camera, double timestamp);
    // The processing itself: mirror, segment the unmirrored frame (never in fullCamera),
    // mirror and scale the matte, blend over a clear or blurred background. A frame whose
    // segmentation finds nobody comes out whole.
    static FrameImage composite(const FrameImage& camera, double timestamp, VelFacecamBackgroundModeV1045 mode,
                                bool mirrored, pk::vision::PersonSegmenter* segmenter);

private:
    bool post(std::function<void()> task);
    void run();
    void setUp(const Completion& completion);
    void deliver(const FrameImage& frame);
    void serve();
    void fallBackToNoCamera();

    std::shared_ptr<pk::capture::CameraDeviceProvider> devices_;

    mutable std::mutex settingsMutex_;  // guards only the two settings
    VelFacecamBackgroundModeV1045 bgMode_ = VelFacecamBackgroundModeV1045::cutoutNoBackground;
    bool mirrored_ = true;

    std::mutex handlerMutex_;
    FrameHandler onFrameReady_;

    std::mutex segmenterMutex_;  // held through each frame's segmentation
    std::shared_ptr<pk::vision::PersonSegmenter> segmenter_;

    std::mutex queueMutex_;
    std::condition_variable queueCv_;
    std::deque<std::function<void()>> tasks_;
    bool quit_ = false;
    std::thread thread_;

    // Capture thread only (flags readable anywhere).
    std::unique_ptr<pk::capture::FrameSource> source_;
    Completion reportTo_;  // the start that opened the camera, until it is stopped
    std::atomic<bool> configured_{false};
    std::atomic<bool> running_{false};
    std::atomic<int> configureAttempts_{0};
};

}  // namespace creator
