#include "MarblewickLookDevKit/StudioTurntableExporter.h"

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>

#include "PlatformKit/Foundation/Clock.h"
#include "PlatformKit/Foundation/Files.h"
#include "PlatformKit/Foundation/JobGuard.h"
#include "PlatformKit/Foundation/Numbers.h"
#include "PlatformKit/Foundation/StudioError.h"
#include "PlatformKit/Media/Mp4Writer.h"

namespace lookdev {

namespace fs = std::filesystem;
using pk::media::Mp4Writer;

pk::json::OrderedJson TurntableExportReceipt::toJson() const {
    pk::json::OrderedJson j = pk::json::OrderedJson::object();
    j["videoPath"] = videoPath;
    j["width"] = width;
    j["height"] = height;
    j["frameCount"] = frameCount;
    j["durationSeconds"] = pk::json::doubleNumber(durationSeconds);
    j["fileSizeBytes"] = fileSizeBytes;
    j["includesAudioScore"] = includesAudioScore;
    j["renderElapsedSec"] = pk::json::doubleNumber(renderElapsedSec);
    return j;
}

TurntableExportReceipt TurntableExportReceipt::fromJson(const pk::json::OrderedJson& j) {
    using namespace pk::json;
    requireObject(j, "TurntableExportReceipt");
    TurntableExportReceipt r;
    r.videoPath = readString(j, "videoPath");
    r.width = readInteger<int64_t>(j, "width");
    r.height = readInteger<int64_t>(j, "height");
    r.frameCount = readInteger<int64_t>(j, "frameCount");
    r.durationSeconds = readDouble(j, "durationSeconds");
    r.fileSizeBytes = readInteger<int64_t>(j, "fileSizeBytes");
    r.includesAudioScore = readBool(j, "includesAudioScore");
    r.renderElapsedSec = readDouble(j, "renderElapsedSec");
    return r;
}

namespace StudioExporters {

namespace {

constexpr int kAudioRate = 44100;
constexpr int64_t kAudioChunk = 4096;
// Beyond this many frames (or score samples) a length is not a turntable any more.
constexpr double kMaxCount = 2147483648.0;

pk::StudioError exportError(int code, const char* text) { return pk::StudioError(kErrorDomain, code, text); }

// Frames read back and waiting for the encoder. Two are enough to keep it busy while the
// next is drawn, and they bound what a slow encoder holds in memory.
constexpr size_t kFramesInFlight = 2;

struct ReadFrame {
    int64_t index = 0;
    std::vector<uint8_t> bgra;
};

// From the drawing thread to the encoder thread. Once closed (by either side), push
// drops the frame and pop gives what is left, then nothing.
class FrameQueue {
public:
    explicit FrameQueue(size_t capacity) : capacity_(capacity) {}
    void push(ReadFrame frame) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return closed_ || frames_.size() < capacity_; });
        if (closed_) return;
        frames_.push_back(std::move(frame));
        changed_.notify_all();
    }
    std::optional<ReadFrame> pop() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return closed_ || !frames_.empty(); });
        if (frames_.empty()) return std::nullopt;
        ReadFrame frame = std::move(frames_.front());
        frames_.pop_front();
        changed_.notify_all();
        return frame;
    }
    void close() {
        std::lock_guard lock(mutex_);
        closed_ = true;
        changed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<ReadFrame> frames_;
    size_t capacity_;
    bool closed_ = false;
};

std::vector<int16_t> scoreChunk(const std::vector<float>& l, const std::vector<float>& r, int64_t c, int64_t k) {
    const int64_t n = int64_t(l.size());
    std::vector<int16_t> out(size_t(k) * 2);
    for (int64_t j = c; j < c + k; ++j) {
        // 0.25 s linear fade-in, 0.35 s linear fade-out.
        const float fadeIn = std::min(float(j) / (float(kAudioRate) * 0.25f), 1.0f);
        const float fadeOut = float(n - j) / (float(kAudioRate) * 0.35f);
        const float g = std::clamp(std::min(fadeIn, fadeOut), 0.0f, 1.0f);
        const size_t o = size_t(j - c) * 2;
        out[o] = int16_t(std::clamp(g * l[size_t(j)] * 32767.0f, -32767.0f, 32767.0f));
        out[o + 1] = int16_t(std::clamp(g * r[size_t(j)] * 32767.0f, -32767.0f, 32767.0f));
    }
    return out;
}

}  // namespace

TurntableExportReceipt exportTurntableMP4(LookDevOffscreenRenderer& engine, TurntableAspectPreset aspect,
                                          double durationSec, int64_t fps,
                                          std::optional<creator::VelMusicIntensityStateV950> musicState,
                                          const fs::path& to, const std::function<void(double)>& onProgress,
                                          const ExportCancelToken* cancel) {
    const auto clock = pk::Clock::system();
    const double start = clock->now();

    // Refuse lengths that cannot be counted before any float-to-integer conversion.
    if (fps <= 0 || fps > 1000) throw exportError(203, "Turntable frame rate must be between 1 and 1000.");
    const double product = durationSec * double(fps);
    if (!std::isfinite(durationSec) || !std::isfinite(product) || product >= kMaxCount ||
        (musicState && durationSec * kAudioRate >= kMaxCount)) {
        throw exportError(203, "Turntable duration must be a finite, countable number of seconds.");
    }
    const int64_t frameCount = std::max<int64_t>(30, int64_t(product));
    const auto dims = aspect.dimensions();
    const int width = int(dims.width), height = int(dims.height);

    // The writer replaces an earlier file only once the new one is complete; a folder of
    // that name is never replaced, so it is refused before any frame is rendered.
    pk::createDirectories(to.parent_path().empty() ? fs::path(".") : to.parent_path());
    if (std::error_code ec; fs::is_directory(fs::symlink_status(to, ec)))
        throw pk::StudioError::fromErrno(EISDIR, "Cannot replace " + to.string());

    pk::media::VideoEncoderSettings vs;
    vs.width = width;
    vs.height = height;
    vs.fps = int(fps);
    vs.averageBitRate = 16'000'000;
    vs.constantBitRate = true;  // every aspect and length at the average, not only long clips
    std::unique_ptr<Mp4Writer> writer;
    if (musicState) {
        try {
            writer = std::make_unique<Mp4Writer>(to, vs, pk::media::AudioEncoderSettings{kAudioRate, 2, 192'000});
        } catch (const pk::StudioError&) {
            writer.reset();  // no audio input: the video goes without sound
        }
    }
    if (!writer) writer = std::make_unique<Mp4Writer>(to, vs, std::nullopt);
    writer->start();

    const LookDevSceneState state = engine.currentSceneState();
    const float baseYaw = state.yaw;

    creator::VelStemBufferV950 score;
    if (writer->hasAudio()) {
        score = creator::VelSoundVel4AdaptiveMusicEngineV950::shared().synthesizeStemBuffer(*musicState, durationSec,
                                                                                           double(kAudioRate));
    }

    std::atomic<bool> cancelled{false};
    // The first exception on any thread fails the export; the others stop at their next
    // frame or chunk.
    std::atomic<bool> failed{false};
    std::mutex failureMutex;
    std::exception_ptr failure;
    const auto fail = [&](const pk::JobFailure& f) {
        failed.store(true);
        std::lock_guard lock(failureMutex);
        if (!failure) failure = f.exception();
    };
    int64_t appended = 0;
    // Frames are drawn and read back here, on the calling thread, which may be the device's
    // owner; the encoder and audio threads do CPU work only, so nothing this thread waits
    // for ever waits on the device.
    FrameQueue frames(kFramesInFlight);
    {
        // Joined on leaving the block. A thread that cannot be started fails the export
        // as one that throws does, so the others stop at their next frame or chunk.
        std::jthread encoder, audio;
        const auto start = [&](std::jthread& thread, auto body) {
            try {
                thread = std::jthread(std::move(body));
            } catch (const std::system_error&) {
                fail(pk::JobFailure(std::current_exception()));
            }
        };
        start(encoder, [&] {
            pk::runGuarded(
                "Turntable video",
                [&] {
                    while (auto frame = frames.pop()) {
                        if (failed.load() || writer->status() != Mp4Writer::Status::writing) break;
                        try {
                            writer->appendVideoFrame(frame->bgra.data(), int64_t(width) * 4, frame->index);
                            ++appended;
                        } catch (const pk::StudioError&) {
                            // The writer keeps the failure; the loop ends on its status.
                        }
                    }
                    frames.close();  // a drawing thread waiting for room goes on
                    try {
                        writer->finishVideo();
                    } catch (const pk::StudioError&) {
                    }
                },
                fail);
            frames.close();
        });
        if (writer->hasAudio() && !failed.load()) {
            start(audio, [&] {
                pk::runGuarded(
                    "Turntable audio",
                    [&] {
                        const int64_t n = int64_t(score.samplesL.size());
                        for (int64_t c = 0; c < n; c += std::min(n - c, kAudioChunk)) {
                            if (cancelled.load() || failed.load() || writer->status() != Mp4Writer::Status::writing)
                                break;
                            const int64_t k = std::min(n - c, kAudioChunk);
                            const auto chunk = scoreChunk(score.samplesL, score.samplesR, c, k);
                            try {
                                writer->appendAudio(std::span<const int16_t>(chunk), c);
                            } catch (const pk::StudioError&) {
                            }
                        }
                        try {
                            writer->finishAudio();
                        } catch (const pk::StudioError&) {
                        }
                    },
                    fail);
            });
        }
        if (!failed.load()) {
            pk::runGuarded(
                "Turntable frames",
                [&] {
                    const size_t frameBytes = size_t(width) * size_t(height) * 4;
                    // Frame i is drawn while frame i - 1 comes back from the device, and
                    // handed to the encoder while frame i + 1 is drawn.
                    std::unique_ptr<PendingOffscreenFrame> inFlight;
                    int64_t inFlightIndex = 0;
                    const auto handOver = [&] {
                        if (!inFlight) return;
                        auto bytes = inFlight->takeBGRA();
                        inFlight.reset();
                        if (bytes && bytes->size() == frameBytes) frames.push({inFlightIndex, std::move(*bytes)});
                    };
                    bool complete = true;
                    for (int64_t i = 0; i < frameCount; ++i) {
                        if (cancel && cancel->isCancelled()) {
                            cancelled.store(true);
                            complete = false;
                            break;
                        }
                        if (failed.load() || writer->status() != Mp4Writer::Status::writing) {
                            complete = false;
                            break;
                        }
                        const double turn = double(i) / double(frameCount) * 2.0 * 3.141592653589793;
                        const float yaw = baseYaw + float(turn);
                        auto next = engine.startOffscreenBGRA(width, height, yaw, state);
                        if (onProgress) onProgress(double(i + 1) / double(frameCount));
                        handOver();
                        inFlight = std::move(next);
                        inFlightIndex = i;
                    }
                    if (complete) handOver();
                },
                fail);
        }
        frames.close();
    }

    const bool withAudio = writer->hasAudio();
    if (failure) throw pk::JobFailure(failure).asError(kErrorDomain, 202);
    if (cancelled.load()) throw exportError(204, "Turntable export was cancelled.");
    if (appended == 0) throw exportError(202, "MP4 export failed.");
    writer->finish();  // throws the writer's own error when it failed; only then is the file replaced
    writer.reset();

    TurntableExportReceipt r;
    r.videoPath = to.string();
    r.width = width;
    r.height = height;
    r.frameCount = frameCount;
    r.durationSeconds = durationSec;
    std::error_code ec;
    const auto size = fs::file_size(to, ec);
    r.fileSizeBytes = ec ? 0 : int64_t(size);
    r.includesAudioScore = withAudio;
    r.renderElapsedSec = pk::roundTo(clock->now() - start, 2);
    return r;
}

}  // namespace StudioExporters

}  // namespace lookdev
