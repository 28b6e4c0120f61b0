#pragma once
// Internal to Capture: OpenCV images to the studio's frame bitmaps. Never included from a
// public header, so OpenCV stays out of every other module.
#include <opencv2/core.hpp>

#include <optional>

#include "PlatformKit/Capture/FrameSource.h"

namespace pk::capture::detail {

// A BGRA bitmap of an 8-bit BGR, BGRA or grey image, resized to `size` when given (area
// filtering when shrinking). Empty for an empty or unsupported image.
FrameImage frameFromMat(const cv::Mat& image, const std::optional<CameraRequest>& size);

}  // namespace pk::capture::detail
