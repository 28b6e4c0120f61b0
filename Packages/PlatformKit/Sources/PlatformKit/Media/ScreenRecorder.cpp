#include "PlatformKit/Media/ScreenRecorder.h"

extern "C" {
#include <libavcodec/avcodec.h>
}
#include <SDL2/SDL_thread.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>

#include "PlatformKit/Audio/AudioOutput.h"
#include "PlatformKit/Audio/Microphone.h"
#include "PlatformKit/Foundation/Files.h"
#include "PlatformKit/Foundation/JobGuard.h"
#include "PlatformKit/Media/Mp4Writer.h"

namespace pk::media {

namespace {

constexpr int kSampleRate = audio::kMixSampleRate;
// The audio written while recording trails the clock by this much, so blocks still on
// their way from the audio thread land in place rather than after silence.
constexpr double kAudioLatency = 0.15;
constexpr size_t kMaxQueuedFrames = 3;
constexpr int kMaxSide = 16384;

StudioError recorderError(int code, const std::string& text) { return StudioError(ScreenRecorder::kErrorDomain, code, text); }

// Samples on their way from an audio thread to the recorder's thread. Closed, it drops
// what it is given.
class AudioFifo {
public:
    explicit AudioFifo(int channels) : channels_(channels) {}

    void open() {
        std::lock_guard lock(mutex_);
        samples_.clear();
        open_ = true;
    }
    void close() {
        std::lock_guard lock(mutex_);
        open_ = false;
        samples_.clear();
    }
    void push(const float* s, size_t count) {
        std::lock_guard lock(mutex_);
        if (!open_) return;
        // Never more than a few seconds: a stalled recorder must not eat memory.
        const size_t cap = size_t(kSampleRate) * size_t(channels_) * 4;
        if (samples_.size() + count > cap) return;
        samples_.insert(samples_.end(), s, s + count);
    }
    // Adds up to `frames` frames into the stereo `out`; a source that ran ahead of the
    // clock by more than a moment loses its oldest samples (the two clocks drift).
    void mixInto(float* out, int64_t frames, bool flush) {
        std::lock_guard lock(mutex_);
        const int64_t have = int64_t(samples_.size()) / channels_;
        size_t from = 0;
        if (!flush && have - frames > int64_t(0.3 * kSampleRate)) from = size_t(have - frames - int64_t(0.05 * kSampleRate));
        const int64_t take = std::min<int64_t>(frames, have - int64_t(from));
        const float* s = samples_.data() + from * size_t(channels_);
        for (int64_t i = 0; i < take; ++i) {
            const float l = s[size_t(i) * channels_];
            const float r = channels_ > 1 ? s[size_t(i) * channels_ + 1] : l;
            out[2 * i] += l;
            out[2 * i + 1] += r;
        }
        samples_.erase(samples_.begin(), samples_.begin() + ptrdiff_t((from + size_t(take)) * size_t(channels_)));
    }

private:
    const int channels_;
    std::mutex mutex_;
    std::vector<float> samples_;
    bool open_ = false;
};

std::atomic<uint64_t> gStagingCounter{0};

bool libx264Installed() { return avcodec_find_encoder_by_name("libx264") != nullptr; }

// Moves the finished movie into place; across file systems through a copy that is renamed
// in the target folder, so a half-copied file never carries the final name.
void moveIntoPlace(const std::filesystem::path& from, const std::filesystem::path& to) {
    if (to.has_parent_path()) createDirectories(to.parent_path());
    std::error_code ec;
    std::filesystem::rename(from, to, ec);
    if (!ec) return;
    if (ec.value() != EXDEV) throwErrno(ec.value(), "Saving the recording as " + to.string());
    std::filesystem::path partial = to;
    partial += ".partial";
    std::filesystem::copy_file(from, partial, std::filesystem::copy_options::overwrite_existing, ec);
    if (!ec) std::filesystem::rename(partial, to, ec);
    if (ec) {
        const int err = ec.value();
        std::filesystem::remove(partial, ec);
        throwErrno(err, "Saving the recording as " + to.string());
    }
    std::filesystem::remove(from, ec);
}

}  // namespace

struct ScreenRecorder::Session {
    explicit Session(std::filesystem::path path) : staging(std::move(path)) {}
    // A session that goes without being saved takes its sound sources and its file along.
    ~Session() { stopSound(); }
    // No more sound from here on: the tap and the microphone are gone.
    void stopSound() {
        if (tap) audio::AudioOutput::shared().removeTap(tap);
        tap = 0;
        if (mic) mic->stop();
        mic.reset();
    }

    PartialOutput staging;  // before the writer, which closes the file first
    std::unique_ptr<Mp4Writer> writer;
    int width = 0, height = 0;
    std::vector<uint8_t> converted;
    int64_t audioWritten = 0;
    std::optional<StudioError> failure;
    uint64_t tap = 0;
    std::unique_ptr<audio::Microphone> mic;
};

struct ScreenRecorder::AudioPipes {
    std::shared_ptr<AudioFifo> game = std::make_shared<AudioFifo>(2);
    std::shared_ptr<AudioFifo> voice = std::make_shared<AudioFifo>(1);
};

ScreenRecorder& ScreenRecorder::shared() {
    static ScreenRecorder* recorder = new ScreenRecorder();  // runs until the process ends
    return *recorder;
}

ScreenRecorder::ScreenRecorder(Options options) : options_(std::move(options)), audio_(std::make_shared<AudioPipes>()) {
    options_.fps = std::clamp(options_.fps, 1, 120);
    options_.maxLongSide = std::clamp(options_.maxLongSide, 16, kMaxSide);
    clock_ = options_.clock ? options_.clock : Clock::system();
    available_ = options_.encoderAvailable ? options_.encoderAvailable() : libx264Installed();
    // The worker starts with the first task: a studio that never records keeps no thread.
}

ScreenRecorder::~ScreenRecorder() {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    cv_.notify_all();
    if (worker_.joinable()) worker_.join();
    session_.reset();  // never stopped: nobody asked for the file, so it is not kept
}

bool ScreenRecorder::isAvailable() const { return available_; }

bool ScreenRecorder::isRecording() const {
    std::lock_guard lock(mutex_);
    return phase_ == Phase::recording;
}

void ScreenRecorder::setMicrophoneEnabled(bool on) {
    std::lock_guard lock(mutex_);
    micEnabled_ = on;
}

bool ScreenRecorder::isMicrophoneEnabled() const {
    std::lock_guard lock(mutex_);
    return micEnabled_;
}

void ScreenRecorder::setCameraEnabled(bool on) {
    std::lock_guard lock(mutex_);
    cameraEnabled_ = on;
}

bool ScreenRecorder::isCameraEnabled() const {
    std::lock_guard lock(mutex_);
    return cameraEnabled_;
}

void ScreenRecorder::post(std::function<void()> task) {
    {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
        // Every frame and reply goes through a task first, so this is the one place the
        // worker is needed.
        if (!worker_.joinable()) worker_ = std::thread([this] { run(); });
    }
    cv_.notify_all();
}

void ScreenRecorder::startRecording(Handler handler) {
    auto reply = [handler](std::optional<StudioError> e) {
        if (handler) handler(std::move(e));
    };
    std::unique_lock lock(mutex_);
    if (!available_) {
        lock.unlock();
        post([reply] { reply(recorderError(unavailable, "No H.264 encoder (libx264) is installed, so the screen cannot be recorded.")); });
        return;
    }
    if (phase_ != Phase::idle) {
        lock.unlock();
        post([reply] { reply(recorderError(busy, "A screen recording is already running.")); });
        return;
    }
    phase_ = Phase::starting;
    haveFirstFrame_ = false;
    sessionFailed_ = false;
    lastPts_ = -1;
    frames_.clear();
    lock.unlock();
    post([this, reply] { beginSession(reply); });
}

void ScreenRecorder::stopRecording(const std::filesystem::path& output, Handler handler) {
    auto reply = [handler](std::optional<StudioError> e) {
        if (handler) handler(std::move(e));
    };
    std::unique_lock lock(mutex_);
    if (phase_ != Phase::starting && phase_ != Phase::recording) {
        lock.unlock();
        post([reply] { reply(recorderError(notRecording, "No screen recording is running.")); });
        return;
    }
    phase_ = Phase::stopping;
    const double stopTime = clock_->now();
    lock.unlock();
    post([this, output, stopTime, reply] { endSession(output, stopTime, reply); });
}

std::optional<int64_t> ScreenRecorder::duePts(double now) const {
    if (phase_ != Phase::recording || sessionFailed_ || frames_.size() >= kMaxQueuedFrames) return std::nullopt;
    if (!haveFirstFrame_) return 0;
    const int64_t pts = std::llround((now - startTime_) * double(options_.fps));
    if (pts <= lastPts_) return std::nullopt;
    return pts;
}

bool ScreenRecorder::wantsFrame() const {
    std::lock_guard lock(mutex_);
    return duePts(clock_->now()).has_value();
}

bool ScreenRecorder::acceptFrame(int width, int height, size_t bytesPerRow, size_t byteCount, int64_t& pts) {
    if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) return false;
    if (bytesPerRow < size_t(width) * 4 || byteCount < bytesPerRow * size_t(height - 1) + size_t(width) * 4) return false;
    const double now = clock_->now();
    auto due = duePts(now);
    if (!due) return false;
    if (!haveFirstFrame_) {
        // Both tracks start with the first frame; sound from before it is not kept.
        haveFirstFrame_ = true;
        startTime_ = now;
        audio_->game->open();
        audio_->voice->open();
    }
    lastPts_ = *due;
    pts = *due;
    return true;
}

void ScreenRecorder::submitFrame(const uint8_t* pixels, int width, int height, size_t bytesPerRow, FrameLayout layout) {
    if (!pixels || height <= 0) return;
    {
        std::lock_guard lock(mutex_);
        if (!duePts(clock_->now())) return;
    }
    submitFrame(std::vector<uint8_t>(pixels, pixels + bytesPerRow * size_t(height)), width, height, bytesPerRow, layout);
}

void ScreenRecorder::submitFrame(std::vector<uint8_t>&& pixels, int width, int height, size_t bytesPerRow,
                                 FrameLayout layout) {
    {
        std::lock_guard lock(mutex_);
        int64_t pts = 0;
        if (!acceptFrame(width, height, bytesPerRow, pixels.size(), pts)) return;
        frames_.push_back(Frame{std::move(pixels), width, height, bytesPerRow, layout, pts});
    }
    cv_.notify_all();
}

bool ScreenRecorder::waitUntilIdle(double timeoutSeconds) {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, std::chrono::duration<double>(std::max(timeoutSeconds, 0.0)), [&] {
        return tasks_.empty() && !busyWorker_ && (phase_ == Phase::idle || phase_ == Phase::recording);
    });
}

void ScreenRecorder::run() {
    // Each task and each round of encoding is guarded on its own (see failed()); this
    // catches what the loop itself could throw.
    runGuarded("Screen recorder", [this] { runLoop(); });
    // SDL keeps per-thread data for threads it did not start (the microphone was opened
    // here): release it before the thread ends.
    SDL_TLSCleanup();
}

void ScreenRecorder::runLoop() {
    std::unique_lock lock(mutex_);
    for (;;) {
        if (!tasks_.empty()) {
            auto task = std::move(tasks_.front());
            tasks_.pop_front();
            busyWorker_ = true;
            lock.unlock();
            runGuarded("Screen recorder", task, [this](const JobFailure& f) { failed(f); });
            lock.lock();
            busyWorker_ = false;
            cv_.notify_all();
            continue;
        }
        if (quit_) return;
        if (phase_ == Phase::recording && session_) {
            lock.unlock();
            runGuarded(
                "Screen recorder",
                [this] {
                    encodePending();
                    pumpAudio(clock_->now() - kAudioLatency, false);
                },
                [this](const JobFailure& f) { failed(f); });
            lock.lock();
            cv_.wait_for(lock, std::chrono::milliseconds(20), [&] { return quit_ || !tasks_.empty() || !frames_.empty(); });
        } else {
            cv_.wait(lock, [&] { return quit_ || !tasks_.empty(); });
        }
    }
}

void ScreenRecorder::beginSession(Handler handler) {
    std::optional<StudioError> failure;
    runGuarded(
        "Screen recorder", [&] { session_ = openSession(); },
        [&](const JobFailure& f) { failure = f.asError(kErrorDomain, recordingFailed); });
    {
        std::lock_guard lock(mutex_);
        // A stop asked for meanwhile is queued behind: after a failed start it reports
        // "nothing recorded".
        if (phase_ == Phase::starting) phase_ = failure ? Phase::idle : Phase::recording;
    }
    handler(std::move(failure));
}

std::unique_ptr<ScreenRecorder::Session> ScreenRecorder::openSession() {
    const std::filesystem::path dir = options_.stagingDirectory.empty() ? temporaryDirectory() : options_.stagingDirectory;
    auto session = std::make_unique<Session>(dir / ("kestrelune-recording-" + std::to_string(::getpid()) + "-" +
                                                    std::to_string(gStagingCounter.fetch_add(1)) + ".mp4"));
    bool wantMic;
    {
        std::lock_guard lock(mutex_);
        wantMic = micEnabled_ && options_.microphone;
    }
    createDirectories(dir);
    if (options_.gameAudio) {
        std::weak_ptr<AudioFifo> game = audio_->game;
        session->tap = audio::AudioOutput::shared().addTap([game](std::span<const float> s, int) {
            if (auto g = game.lock()) g->push(s.data(), s.size());
        });
    }
    if (wantMic) {
        // No microphone (or none this user may open) records the studio's sound alone.
        runGuarded(
            "Screen recorder microphone",
            [&] {
                session->mic = std::make_unique<audio::Microphone>();
                std::weak_ptr<AudioFifo> voice = audio_->voice;
                session->mic->start({double(kSampleRate), 1}, 441, [voice](const audio::Microphone::Block& b) {
                    if (auto v = voice.lock()) v->push(b.interleaved.data(), b.interleaved.size());
                });
            },
            [&](const JobFailure&) { session->mic.reset(); });
    }
    return session;
}

void ScreenRecorder::encodePending() {
    for (;;) {
        Frame f;
        {
            std::lock_guard lock(mutex_);
            if (frames_.empty()) return;
            f = std::move(frames_.front());
            frames_.pop_front();
        }
        Session& s = *session_;
        if (s.failure) continue;
        try {
            if (!s.writer) {
                const double scale = std::min(1.0, double(options_.maxLongSide) / double(std::max(f.width, f.height)));
                s.width = std::max(2, int(std::floor(f.width * scale)) & ~1);
                s.height = std::max(2, int(std::floor(f.height * scale)) & ~1);
                VideoEncoderSettings vs;
                vs.width = s.width;
                vs.height = s.height;
                vs.fps = options_.fps;
                vs.averageBitRate =
                    std::clamp<int64_t>(int64_t(double(s.width) * s.height * options_.fps * 0.12), 1'500'000, 12'000'000);
                vs.maxKeyFrameInterval = 2 * options_.fps;
                vs.preset = "veryfast";
                s.writer = std::make_unique<Mp4Writer>(s.staging.path(), vs, AudioEncoderSettings{kSampleRate, 2, 160'000});
                s.writer->start();
                s.converted.assign(size_t(s.width) * size_t(s.height) * 4, 0);
            }
            // Nearest-pixel scaling: only a window resized mid-recording or one above the
            // size cap needs it, and those frames go straight to a lossy encoder.
            const bool rgba = f.layout == FrameLayout::rgbaTopFirst || f.layout == FrameLayout::rgbaBottomFirst;
            const bool bottomFirst = f.layout == FrameLayout::rgbaBottomFirst || f.layout == FrameLayout::bgraBottomFirst;
            for (int y = 0; y < s.height; ++y) {
                int sy = int(int64_t(y) * f.height / s.height);
                if (bottomFirst) sy = f.height - 1 - sy;
                const uint8_t* src = f.pixels.data() + size_t(sy) * f.bytesPerRow;
                uint8_t* dst = s.converted.data() + size_t(y) * size_t(s.width) * 4;
                for (int x = 0; x < s.width; ++x) {
                    const uint8_t* p = src + size_t(int64_t(x) * f.width / s.width) * 4;
                    dst[4 * x + 0] = rgba ? p[2] : p[0];
                    dst[4 * x + 1] = p[1];
                    dst[4 * x + 2] = rgba ? p[0] : p[2];
                    dst[4 * x + 3] = 255;
                }
            }
            s.writer->appendVideoFrame(s.converted.data(), int64_t(s.width) * 4, f.pts);
        } catch (const StudioError& e) {
            failSession(e);
        }
    }
}

void ScreenRecorder::pumpAudio(double untilTime, bool flush) {
    Session& s = *session_;
    if (!s.writer || s.failure) return;
    double start;
    {
        std::lock_guard lock(mutex_);
        start = startTime_;
    }
    const int64_t due = int64_t(std::floor((untilTime - start) * kSampleRate));
    const int64_t n = due - s.audioWritten;
    if (n <= 0) return;
    std::vector<float> chunk(size_t(n) * 2, 0.0f);
    audio_->game->mixInto(chunk.data(), n, flush);
    audio_->voice->mixInto(chunk.data(), n, flush);
    for (float& v : chunk) v = std::clamp(v, -1.0f, 1.0f);
    try {
        s.writer->appendAudio(std::span<const float>(chunk), s.audioWritten);
        s.audioWritten += n;
    } catch (const StudioError& e) {
        failSession(e);
    }
}

void ScreenRecorder::failed(const JobFailure& failure) {
    // Whatever threw on this thread, the recording in progress cannot be trusted any more:
    // it fails, and its stop reports why. Without one there is nobody left to tell.
    if (!session_) {
        reportUnhandled("Screen recorder", failure);
        return;
    }
    if (!session_->failure) failSession(failure.asError(kErrorDomain, recordingFailed));
}

void ScreenRecorder::failSession(StudioError error) {
    session_->failure = std::move(error);
    // The app stops reading back frames that could only be dropped; the stop reports why.
    std::lock_guard lock(mutex_);
    sessionFailed_ = true;
    frames_.clear();
}

void ScreenRecorder::endSession(const std::filesystem::path& output, double stopTime, Handler handler) {
    std::optional<StudioError> result;
    if (!session_) {
        // The start failed after this stop was asked for; it already said why.
        result = recorderError(nothingRecorded, "The recording ended before any frame was drawn.");
    } else {
        runGuarded(
            "Screen recorder", [&] { result = saveSession(output, stopTime); },
            [&](const JobFailure& f) { result = f.asError(kErrorDomain, recordingFailed); });
    }
    audio_->game->close();
    audio_->voice->close();
    session_.reset();  // a movie that was not saved goes with it
    {
        std::lock_guard lock(mutex_);
        phase_ = Phase::idle;
        frames_.clear();
        haveFirstFrame_ = false;
    }
    handler(std::move(result));
}

std::optional<StudioError> ScreenRecorder::saveSession(const std::filesystem::path& output, double stopTime) {
    Session& s = *session_;
    s.stopSound();
    encodePending();
    if (s.writer && !s.failure) {
        double videoEnd;
        {
            std::lock_guard lock(mutex_);
            videoEnd = startTime_ + double(lastPts_ + 1) / double(options_.fps);
        }
        pumpAudio(std::max(stopTime, videoEnd), true);
        s.writer->finish();
    }
    s.writer.reset();
    if (s.failure) return s.failure;
    std::error_code ec;
    if (!std::filesystem::exists(s.staging.path(), ec))
        return recorderError(nothingRecorded, "The recording ended before any frame was drawn.");
    try {
        moveIntoPlace(s.staging.path(), output);
    } catch (const StudioError& e) {
        // The movie is kept where it was written: say where.
        s.staging.keep();
        return StudioError(e.domain, e.code, e.description + " (the recording is kept at " + s.staging.path().string() + ")");
    }
    return std::nullopt;
}

}  // namespace pk::media
