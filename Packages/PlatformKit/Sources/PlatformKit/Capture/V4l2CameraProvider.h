#pragma once
// The machine's cameras: the /dev/video<N> nodes in number order, the first one whose
// driver says it captures video is opened through OpenCV's V4L2 backend at the requested
// size. A grab thread keeps only the latest frame, so a slow consumer never sees old ones.
#include <filesystem>
#include <memory>
#include <vector>

#include "PlatformKit/Capture/FrameSource.h"

namespace cv {
class VideoCapture;
}

namespace pk::capture {

inline constexpr const char* kCaptureErrorDomain = "PlatformKit.Capture";
// Reads in a row that bring no frame before a camera counts as gone (unplugged): about a
// second of retrying.
inline constexpr int kFailedReadsBeforeGone = 100;

// The source each opened camera streams from: a grab thread reading the open capture.
// When kFailedReadsBeforeGone reads in a row bring nothing, the stream ends and nextFrame
// throws a StudioError (kCaptureErrorDomain, 1), as for anything else that ends it.
std::unique_ptr<FrameSource> openCvCaptureSource(std::unique_ptr<cv::VideoCapture> capture,
                                                 const CameraRequest& request);

class V4l2CameraProvider : public CameraDeviceProvider {
public:
    struct Options {
        std::filesystem::path deviceDirectory = "/dev";
    };

    V4l2CameraProvider() : V4l2CameraProvider(Options{}) {}
    explicit V4l2CameraProvider(Options options) : options_(std::move(options)) {}

    // Tries the devices in order. When none opens: restricted if one refused this user
    // (EACCES), denied if a policy refused it (EPERM), else no device.
    CameraOpenResult openCamera(const CameraRequest& request) override;

    // The video<N> nodes of the folder, lowest N first.
    std::vector<std::filesystem::path> deviceNodes() const;

private:
    Options options_;
};

}  // namespace pk::capture
