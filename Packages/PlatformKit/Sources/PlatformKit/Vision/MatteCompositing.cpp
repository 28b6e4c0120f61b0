#include "PlatformKit/Vision/MatteCompositing.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

#include "PlatformKit/Draw2D/Compositing.h"

namespace pk::vision {

namespace {

cv::Mat wrap(const draw2d::BitmapView& v) { return cv::Mat(v.height, v.width, CV_8UC4, v.data, v.bytesPerRow); }
cv::Mat wrap(draw2d::Bitmap& b) { return cv::Mat(b.height(), b.width(), CV_8UC4, b.data(), b.bytesPerRow()); }
cv::Mat wrap(const GrayMask& m) {
    return cv::Mat(m.height, m.width, CV_8UC1, const_cast<uint8_t*>(m.values.data()), size_t(m.width));
}

}  // namespace

GrayMask GrayMask::filled(int width, int height, uint8_t value) {
    GrayMask m;
    if (width <= 0 || height <= 0) return m;
    m.width = width;
    m.height = height;
    m.values.assign(size_t(width) * size_t(height), value);
    return m;
}

std::optional<draw2d::Bitmap> mirroredHorizontally(const draw2d::BitmapView& image) {
    if (!image.isValid()) return std::nullopt;
    auto out = draw2d::Bitmap::create(image.width, image.height);
    if (!out) return std::nullopt;
    cv::Mat dst = wrap(*out);
    cv::flip(wrap(image), dst, 1);
    return out;
}

GrayMask mirroredHorizontally(const GrayMask& mask) {
    if (!mask.isValid()) return {};
    GrayMask out = GrayMask::filled(mask.width, mask.height, 0);
    cv::Mat dst = wrap(out);
    cv::flip(wrap(mask), dst, 1);
    return out;
}

GrayMask resizedMask(const GrayMask& mask, int width, int height) {
    if (!mask.isValid() || width <= 0 || height <= 0) return {};
    if (mask.width == width && mask.height == height) return mask;
    GrayMask out = GrayMask::filled(width, height, 0);
    cv::Mat dst = wrap(out);
    cv::resize(wrap(mask), dst, cv::Size(width, height), 0, 0, cv::INTER_LINEAR);
    return out;
}

std::optional<draw2d::Bitmap> gaussianBlurClamped(const draw2d::BitmapView& image, double sigma) {
    if (!image.isValid() || !std::isfinite(sigma) || sigma < 0) return std::nullopt;
    auto out = draw2d::Bitmap::create(image.width, image.height);
    if (!out) return std::nullopt;
    cv::Mat src = wrap(image), dst = wrap(*out);
    if (sigma < 0.3) {
        src.copyTo(dst);
        return out;
    }
    // Shrinking by f with area filtering is itself a blur of about f/√12 pixels; the rest
    // of sigma is blurred at the small size, where the kernel is f times narrower.
    const int factor = std::clamp(int(sigma / 3.5), 1, 8);
    const int sw = std::max(1, image.width / factor), sh = std::max(1, image.height / factor);
    if (factor == 1 || sw < 4 || sh < 4) {
        cv::GaussianBlur(src, dst, cv::Size(0, 0), sigma, sigma, cv::BORDER_REPLICATE);
        return out;
    }
    cv::Mat small;
    cv::resize(src, small, cv::Size(sw, sh), 0, 0, cv::INTER_AREA);
    const double shrinkSigma = double(factor) / std::sqrt(12.0);
    const double rest = std::sqrt(std::max(sigma * sigma - shrinkSigma * shrinkSigma, 0.01)) / double(factor);
    cv::GaussianBlur(small, small, cv::Size(0, 0), rest, rest, cv::BORDER_REPLICATE);
    cv::resize(small, dst, dst.size(), 0, 0, cv::INTER_LINEAR);
    return out;
}

std::optional<draw2d::Bitmap> blendWithMatte(const draw2d::BitmapView& image, const draw2d::BitmapView* background,
                                             const GrayMask& matte) {
    if (!image.isValid() || !matte.isValid() || matte.width != image.width || matte.height != image.height)
        return std::nullopt;
    if (background && (!background->isValid() || background->width != image.width || background->height != image.height))
        return std::nullopt;
    auto out = draw2d::Bitmap::create(image.width, image.height);
    if (!out) return std::nullopt;
    const int w = image.width;
    for (int y = 0; y < image.height; ++y)
        draw2d::blendRow(image.row(y), background ? background->row(y) : nullptr, &matte.values[size_t(y) * size_t(w)],
                         out->data() + size_t(y) * out->bytesPerRow(), w);
    return out;
}

}  // namespace pk::vision
