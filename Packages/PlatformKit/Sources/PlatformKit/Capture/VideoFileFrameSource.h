#pragma once
// Frames of a video file as if a camera delivered them: at the file's own rate (or as
// fast as asked), looping at the end, decoded through OpenCV's FFmpeg backend.
#include <filesystem>
#include <memory>
#include <mutex>

#include "PlatformKit/Capture/FrameSource.h"

namespace pk::capture {

class VideoFileFrameSource : public FrameSource {
public:
    struct Options {
        bool loop = true;
        bool paced = true;                     // false: the next frame on every request
        std::optional<CameraRequest> resizeTo;  // frames keep the file's size when empty
    };

    // Empty when the file cannot be opened or shows no frame.
    static std::unique_ptr<VideoFileFrameSource> open(const std::filesystem::path& path, Options options);
    static std::unique_ptr<VideoFileFrameSource> open(const std::filesystem::path& path) { return open(path, Options{}); }
    ~VideoFileFrameSource() override;

    void start() override;
    void stop() override;
    bool isRunning() const override;
    std::optional<CameraFrame> nextFrame(double timeoutSeconds) override;

    double framesPerSecond() const;
    int width() const;
    int height() const;

private:
    struct Impl;
    explicit VideoFileFrameSource(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace pk::capture
