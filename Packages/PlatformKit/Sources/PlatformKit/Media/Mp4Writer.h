#pragma once
// Writes an MP4 file: H.264 video (libx264, High profile) from BGRA frames converted to
// BT.709 limited-range 4:2:0 and tagged so, and optionally AAC audio from float samples.
// Timestamps are given by the caller. The video path (appendVideoFrame, finishVideo) and
// the audio path (appendAudio, finishAudio) may each run on a thread of its own; the
// muxer between them is guarded. Every FFmpeg failure is thrown as
// StudioError{"FFmpeg", FFmpeg's error code, what failed + FFmpeg's text}; the first one
// also puts the writer into the failed status and is kept as error().
// The file is written whole or not at all: it is muxed under a hidden name in the
// target's folder and renamed over the target when finish() succeeds; a writer that
// fails or is destroyed unfinished removes that file and leaves the target as it was.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "PlatformKit/Foundation/StudioError.h"

namespace pk::media {

struct VideoEncoderSettings {
    int width = 0;   // even, 2..16384
    int height = 0;  // even, 2..16384
    int fps = 30;    // frames per second; the video time base is 1/fps
    int64_t averageBitRate = 16'000'000;  // bit/s, 1..2^31-1
    // Every clip, short or long, busy or plain, at the average bit rate (x264 ABR held
    // by a VBV at that rate, padded with filler data). Off: ABR alone, which on short
    // clips can land at several times the average.
    bool constantBitRate = false;
    int maxKeyFrameInterval = 0;  // frames; 0 leaves the encoder's own choice
    bool sceneCutKeyFrames = true;
    std::string preset = "medium";  // x264 speed preset
};

struct AudioEncoderSettings {
    int sampleRate = 44100;
    int channels = 2;
    int64_t bitRate = 192'000;
};

class Mp4Writer {
public:
    enum class Status { created, writing, completed, failed };

    // Sets up the container and encoders; nothing is written yet. Throws on bad settings
    // (domain "Media" 1) or an FFmpeg failure.
    Mp4Writer(const std::filesystem::path& path, const VideoEncoderSettings& video,
              const std::optional<AudioEncoderSettings>& audio);
    ~Mp4Writer();
    Mp4Writer(const Mp4Writer&) = delete;
    Mp4Writer& operator=(const Mp4Writer&) = delete;

    bool hasAudio() const;
    // Opens the file and writes the header.
    void start();
    Status status() const;
    std::optional<StudioError> error() const;

    // One frame, rows top to bottom, bytesPerRow ≥ 4 × width, at `pts` in 1/fps units;
    // each frame's pts must be above the previous one (gaps are allowed).
    void appendVideoFrame(const uint8_t* bgra, int64_t bytesPerRow, int64_t pts);
    void finishVideo();

    // Interleaved samples at `ptsSamples` in 1/sampleRate units. A chunk after a gap
    // is preceded by silence; a chunk overlapping the previous one is refused.
    void appendAudio(std::span<const float> interleaved, int64_t ptsSamples);
    // The same from signed 16-bit samples (full scale 32768).
    void appendAudio(std::span<const int16_t> interleaved, int64_t ptsSamples);
    void finishAudio();

    // Finishes what is not finished yet, writes the trailer, closes the file and puts it
    // in place of the target.
    void finish();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Domain "FFmpeg", the code and "<what>: <FFmpeg's text>".
StudioError ffmpegError(int code, const std::string& what);

}  // namespace pk::media
