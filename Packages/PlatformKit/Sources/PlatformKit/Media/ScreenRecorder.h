#pragma once
// Records the application's own frames as an MP4 (H.264 + AAC): the app hands the
// recorder its framebuffer once per drawn frame while the recorder wants one (30 fps); the
// sound track is the studio's own audio output (a tap on the mix) plus the microphone when
// its switch is on. The movie is written to a temporary file and moved to the path given
// when the recording stops. Encoding, audio mixing and the final move run on the
// recorder's own thread; handlers are called there. Whatever throws on that thread (a
// handler included) fails the recording in progress: no frame is wanted any more, its
// stop reports the failure (a StudioError as it is, anything else as recordingFailed with
// its text) and no movie is kept. The thread itself goes on serving.
//
// Hooking it into a main loop (after the frame is drawn, before it is presented):
//     auto& rec = pk::media::ScreenRecorder::shared();
//     if (rec.wantsFrame()) { read back the frame; rec.submitFrame(pixels, w, h, stride, layout); }
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "PlatformKit/Foundation/Clock.h"
#include "PlatformKit/Foundation/JobGuard.h"
#include "PlatformKit/Foundation/StudioError.h"

namespace pk::media {

// How the frame's bytes lie: channel order and which row comes first (glReadPixels
// gives the bottom row first).
enum class FrameLayout { rgbaTopFirst, rgbaBottomFirst, bgraTopFirst, bgraBottomFirst };

class ScreenRecorder {
public:
    using Handler = std::function<void(std::optional<StudioError> error)>;
    static constexpr const char* kErrorDomain = "ScreenRecorder";
    enum ErrorCode : int {
        unavailable = 1,      // no H.264 encoder on this machine
        busy = 2,             // a recording is starting, running or being saved
        notRecording = 3,     // stop without a recording
        nothingRecorded = 4,  // stopped before the first frame arrived
        recordingFailed = 5,  // something on the recorder's thread threw; its text is kept
    };

    struct Options {
        int fps = 30;
        int maxLongSide = 1920;                 // larger frames are scaled down to this
        std::filesystem::path stagingDirectory;  // the temporary folder when empty
        std::function<bool()> encoderAvailable;  // empty: libx264 is installed
        bool gameAudio = true;                   // tap the studio's audio output
        bool microphone = true;                  // capture the microphone when its switch is on
        std::shared_ptr<Clock> clock;            // the system clock when empty
    };

    // The application's recorder (default options); lives to process exit.
    static ScreenRecorder& shared();

    ScreenRecorder() : ScreenRecorder(Options{}) {}
    explicit ScreenRecorder(Options options);
    // A recording still running is abandoned (its temporary file removed); a stop already
    // asked for is finished first.
    ~ScreenRecorder();
    ScreenRecorder(const ScreenRecorder&) = delete;
    ScreenRecorder& operator=(const ScreenRecorder&) = delete;

    bool isAvailable() const;
    // From a successful start until its stop is asked for.
    bool isRecording() const;

    void setMicrophoneEnabled(bool on);
    bool isMicrophoneEnabled() const;
    // Kept for callers that set it; the app's frames already show whatever camera it draws.
    void setCameraEnabled(bool on);
    bool isCameraEnabled() const;

    // Starts a recording; the handler gets nothing on success, else the reason. A stop may
    // be asked for before the handler came: it runs after the start.
    void startRecording(Handler handler);
    // Ends the recording, finishes the movie and moves it to `output` (replacing a file
    // there, creating its folder); the handler gets nothing once the file is in place.
    void stopRecording(const std::filesystem::path& output, Handler handler);

    // The frame tap. True while recording when a frame is due (the first one at once,
    // then one per 1/fps) and the encoder keeps up; never once the recording failed.
    bool wantsFrame() const;
    // A drawn frame, copied. Ignored when not recording or not due. Rows are `bytesPerRow`
    // apart (at least 4 × width); height × bytesPerRow bytes are read.
    void submitFrame(const uint8_t* pixels, int width, int height, size_t bytesPerRow, FrameLayout layout);
    void submitFrame(std::vector<uint8_t>&& pixels, int width, int height, size_t bytesPerRow, FrameLayout layout);

    // Waits until no start or stop is pending (for quitting); false on timeout.
    bool waitUntilIdle(double timeoutSeconds);

private:
    struct Session;
    struct AudioPipes;
    struct Frame {
        std::vector<uint8_t> pixels;
        int width = 0, height = 0;
        size_t bytesPerRow = 0;
        FrameLayout layout = FrameLayout::rgbaTopFirst;
        int64_t pts = 0;
    };
    enum class Phase { idle, starting, recording, stopping };

    void post(std::function<void()> task);
    void run();
    void runLoop();
    void beginSession(Handler handler);
    std::unique_ptr<Session> openSession();
    void endSession(const std::filesystem::path& output, double stopTime, Handler handler);
    std::optional<StudioError> saveSession(const std::filesystem::path& output, double stopTime);
    void encodePending();
    void pumpAudio(double untilTime, bool flush);
    // An exception on the worker thread: fails the recording in progress.
    void failed(const JobFailure& failure);
    void failSession(StudioError error);
    std::optional<int64_t> duePts(double now) const;  // under mutex_
    bool acceptFrame(int width, int height, size_t bytesPerRow, size_t byteCount, int64_t& pts);

    Options options_;
    std::shared_ptr<Clock> clock_;
    bool available_ = false;

    mutable std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<std::function<void()>> tasks_;
    std::deque<Frame> frames_;
    Phase phase_ = Phase::idle;
    bool micEnabled_ = true;
    bool cameraEnabled_ = false;
    bool haveFirstFrame_ = false;
    bool sessionFailed_ = false;  // the session cannot write any more: no frame is wanted
    double startTime_ = 0;  // time of the first frame: zero of both tracks
    int64_t lastPts_ = -1;
    bool busyWorker_ = false;
    bool quit_ = false;

    std::shared_ptr<AudioPipes> audio_;  // filled by audio threads, drained by the worker
    std::unique_ptr<Session> session_;   // worker thread only
    std::thread worker_;
};

}  // namespace pk::media
