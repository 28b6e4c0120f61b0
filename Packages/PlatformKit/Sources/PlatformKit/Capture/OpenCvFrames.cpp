#include "PlatformKit/Capture/OpenCvFrames.h"

#include <opencv2/imgproc.hpp>

namespace pk::capture::detail {

FrameImage frameFromMat(const cv::Mat& image, const std::optional<CameraRequest>& size) {
    if (image.empty() || image.depth() != CV_8U) return nullptr;
    const int channels = image.channels();
    if (channels != 1 && channels != 3 && channels != 4) return nullptr;
    cv::Mat src = image;
    if (size && size->width > 0 && size->height > 0 && (image.cols != size->width || image.rows != size->height)) {
        const bool shrinking = size->width < image.cols || size->height < image.rows;
        cv::resize(image, src, cv::Size(size->width, size->height), 0, 0, shrinking ? cv::INTER_AREA : cv::INTER_LINEAR);
    }
    auto bitmap = draw2d::Bitmap::create(src.cols, src.rows);
    if (!bitmap) return nullptr;
    // Camera pixels are opaque, so premultiplied and straight BGRA are the same bytes.
    cv::Mat out(src.rows, src.cols, CV_8UC4, bitmap->data(), bitmap->bytesPerRow());
    if (channels == 1) cv::cvtColor(src, out, cv::COLOR_GRAY2BGRA);
    else if (channels == 3) cv::cvtColor(src, out, cv::COLOR_BGR2BGRA);
    else src.copyTo(out);
    if (channels == 4) out.forEach<cv::Vec4b>([](cv::Vec4b& p, const int*) { p[3] = 255; });
    return std::make_shared<const draw2d::Bitmap>(std::move(*bitmap));
}

}  // namespace pk::capture::detail
