#pragma once
// Reads a media file back for tests and checks: its streams with codec, profile, size,
// colour tags, packet timestamps and key frames; the first video frame as RGB; the
// decoded audio. Each returns nothing when the file cannot be read.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace pk::media {

struct StreamProbe {
    enum class Kind { video, audio, other };
    Kind kind = Kind::other;
    std::string codecName;    // "h264", "aac"
    std::string profileName;  // "High", "LC"; empty when unknown
    int width = 0, height = 0;
    std::string pixelFormat;  // "yuv420p"
    std::string colorSpace, colorPrimaries, colorTransfer, colorRange;  // "bt709", "tv"
    int sampleRate = 0, channels = 0;
    int64_t bitRate = 0;
    int64_t packetCount = 0;
    int64_t packetBytes = 0;  // the stream's data in the file: all its packets' sizes
    // Presentation times in seconds, in presentation order.
    std::vector<double> presentationTimes;
    // Positions (in presentation order) of the key frames.
    std::vector<int64_t> keyFrames;
    // Time base of the stream's timestamps.
    int timeBaseNum = 0, timeBaseDen = 1;
    double durationSeconds = 0;
    // packetBytes over durationSeconds, in bit/s (0 without a duration).
    double bitsPerSecond() const { return durationSeconds > 0 ? double(packetBytes) * 8.0 / durationSeconds : 0.0; }
};

struct MediaProbe {
    std::string formatName;
    double durationSeconds = 0;
    std::vector<StreamProbe> streams;
    const StreamProbe* first(StreamProbe::Kind kind) const;
};

std::optional<MediaProbe> probeMedia(const std::filesystem::path& path);

struct RGBImage {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;  // rows top to bottom, 3 bytes per pixel
    // R, G, B of the pixel at (x, y).
    const uint8_t* at(int x, int y) const { return &rgb[(size_t(y) * size_t(width) + size_t(x)) * 3]; }
};

// The first decoded video frame, converted with the matrix and range the stream is
// tagged with (BT.601 when untagged), as a player would show it.
std::optional<RGBImage> decodeFirstVideoFrameRGB(const std::filesystem::path& path);

struct DecodedAudio {
    int sampleRate = 0, channels = 0;
    std::vector<float> interleaved;
};
// The first audio stream decoded to interleaved floats, at most maxSeconds of it.
std::optional<DecodedAudio> decodeAudio(const std::filesystem::path& path, double maxSeconds = 3600);

}  // namespace pk::media
