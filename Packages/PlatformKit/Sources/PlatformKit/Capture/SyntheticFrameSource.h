#pragma once
// A camera without hardware: frames painted on demand at a steady rate (or one per request
// when the rate is 0), for tests, benchmarks and machines without a camera.
#include <condition_variable>
#include <functional>
#include <mutex>

#include "PlatformKit/Capture/FramePacer.h"
#include "PlatformKit/Capture/FrameSource.h"

namespace pk::capture {

class SyntheticFrameSource : public FrameSource {
public:
    // Paints frame `index` into a transparent bitmap of the source's size.
    using Painter = std::function<void(draw2d::Bitmap& frame, int64_t index)>;
    struct Options {
        int width = 640;
        int height = 480;
        double fps = 30;  // 0: a frame at once on every request
        Painter painter;  // empty: paintStudioPreview
    };

    SyntheticFrameSource() : SyntheticFrameSource(Options{}) {}
    explicit SyntheticFrameSource(Options options);
    void start() override;
    void stop() override;
    bool isRunning() const override;
    std::optional<CameraFrame> nextFrame(double timeoutSeconds) override;

    int64_t framesMade() const;

    // A plain room with a person-like figure (head and shoulders) swaying slowly.
    static void paintStudioPreview(draw2d::Bitmap& frame, int64_t index);

private:
    Options options_;
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    bool running_ = false;
    std::optional<detail::FramePacer> pacer_;  // empty when unpaced
    int64_t made_ = 0;
};

}  // namespace pk::capture
