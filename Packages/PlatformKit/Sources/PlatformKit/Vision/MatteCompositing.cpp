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

GrayMask guidedUpsampledMatte(const GrayMask& coarse, const draw2d::BitmapView& frame,
                              const draw2d::BitmapView* coarseGuide) {
    if (!coarse.isValid() || !frame.isValid() || coarse.width > frame.width || coarse.height > frame.height) return {};
    const int w = coarse.width, h = coarse.height, W = frame.width, H = frame.height;
    cv::Mat small;
    if (coarseGuide) {
        if (!coarseGuide->isValid() || coarseGuide->width != w || coarseGuide->height != h) return {};
        small = wrap(*coarseGuide);
    } else {
        cv::resize(wrap(frame), small, cv::Size(w, h), 0, 0, cv::INTER_AREA);
    }
    const cv::Mat p = wrap(coarse);

    // The filter's window (radius r) and the second averaging of its coefficients each reach
    // r coarse pixels: beyond 2r from any change of the coarse matte the result is the
    // coarse value exactly, so only that band is worked out.
    constexpr int r = 2, reach = 2 * r;
    // Regularisation on colours in 0…1: small enough that a clear colour edge decides the
    // matte, large enough that sensor noise in a flat region does not.
    constexpr float eps = 1e-3f;
    // Where one window holds three colours that no linear function tells apart (dark hair
    // and skin against a wall between them in brightness) the filter leaves a shallow ramp
    // several pixels wide; a mild contrast about one half keeps such edges as narrow as the
    // frame's own.
    constexpr float contrast = 1.5f;
    cv::Mat dilated, eroded;
    const cv::Mat square = cv::getStructuringElement(cv::MORPH_RECT, cv::Size(2 * reach + 1, 2 * reach + 1));
    cv::dilate(p, dilated, square);
    cv::erode(p, eroded, square);
    const cv::Mat band = dilated != eroded;

    GrayMask out = GrayMask::filled(W, H, 0);
    const double sx = double(w) / double(W), sy = double(h) / double(H);
    std::vector<int> nearestX(static_cast<size_t>(W));
    for (int X = 0; X < W; ++X) nearestX[size_t(X)] = std::min(w - 1, int((X + 0.5) * sx));

    // Coefficients over the band and the pixels the bilinear taps reach; none when the
    // coarse matte has no edge at all.
    const cv::Rect changes = cv::boundingRect(band);
    const cv::Rect area = changes.empty() ? cv::Rect()
                                          : cv::Rect(changes.x - reach - 1, changes.y - reach - 1,
                                                     changes.width + 2 * reach + 2, changes.height + 2 * reach + 2) &
                                                cv::Rect(0, 0, w, h);
    struct Coefficients {
        float b, g, r, offset;
    };
    std::vector<Coefficients> coef(static_cast<size_t>(area.area()));
    if (!area.empty()) {
        std::vector<cv::Mat> bgra;
        cv::Mat guide, P;
        small(area).convertTo(guide, CV_32FC4, 1.0 / 255.0);
        cv::split(guide, bgra);
        p(area).convertTo(P, CV_32F, 1.0 / 255.0);
        const auto box = [](const cv::Mat& src) {
            cv::Mat dst;
            cv::boxFilter(src, dst, CV_32F, cv::Size(2 * r + 1, 2 * r + 1), cv::Point(-1, -1), true,
                          cv::BORDER_REPLICATE);
            return dst;
        };
        const cv::Mat& B = bgra[0];
        const cv::Mat& G = bgra[1];
        const cv::Mat& R = bgra[2];
        const cv::Mat mB = box(B), mG = box(G), mR = box(R), mP = box(P);
        const cv::Mat vBB = box(B.mul(B)) - mB.mul(mB), vBG = box(B.mul(G)) - mB.mul(mG),
                      vBR = box(B.mul(R)) - mB.mul(mR);
        const cv::Mat vGG = box(G.mul(G)) - mG.mul(mG), vGR = box(G.mul(R)) - mG.mul(mR),
                      vRR = box(R.mul(R)) - mR.mul(mR);
        const cv::Mat cB = box(B.mul(P)) - mB.mul(mP), cG = box(G.mul(P)) - mG.mul(mP),
                      cR = box(R.mul(P)) - mR.mul(mP);
        cv::Mat aB(area.size(), CV_32F), aG(area.size(), CV_32F), aR(area.size(), CV_32F), b0(area.size(), CV_32F);
        for (int y = 0; y < area.height; ++y)
            for (int x = 0; x < area.width; ++x) {
                // a = (Σ + εI)⁻¹ cov(I, p) by the adjugate of the symmetric 3 × 3 matrix, in
                // double: Σ + εI is positive definite but may be close to singular.
                const double s00 = vBB.at<float>(y, x) + eps, s01 = vBG.at<float>(y, x), s02 = vBR.at<float>(y, x);
                const double s11 = vGG.at<float>(y, x) + eps, s12 = vGR.at<float>(y, x);
                const double s22 = vRR.at<float>(y, x) + eps;
                const double i00 = s11 * s22 - s12 * s12, i01 = s02 * s12 - s01 * s22, i02 = s01 * s12 - s02 * s11;
                const double i11 = s00 * s22 - s02 * s02, i12 = s01 * s02 - s00 * s12, i22 = s00 * s11 - s01 * s01;
                const double det = s00 * i00 + s01 * i01 + s02 * i02;
                const double c0 = cB.at<float>(y, x), c1 = cG.at<float>(y, x), c2 = cR.at<float>(y, x);
                const double a0 = (i00 * c0 + i01 * c1 + i02 * c2) / det;
                const double a1 = (i01 * c0 + i11 * c1 + i12 * c2) / det;
                const double a2 = (i02 * c0 + i12 * c1 + i22 * c2) / det;
                aB.at<float>(y, x) = float(a0);
                aG.at<float>(y, x) = float(a1);
                aR.at<float>(y, x) = float(a2);
                b0.at<float>(y, x) = float(mP.at<float>(y, x) - a0 * mB.at<float>(y, x) - a1 * mG.at<float>(y, x) -
                                           a2 * mR.at<float>(y, x));
            }
        const cv::Mat maB = box(aB), maG = box(aG), maR = box(aR), mb = box(b0);
        for (int y = 0; y < area.height; ++y)
            for (int x = 0; x < area.width; ++x)
                coef[size_t(y) * size_t(area.width) + size_t(x)] = {maB.at<float>(y, x), maG.at<float>(y, x),
                                                                    maR.at<float>(y, x), mb.at<float>(y, x)};
    }

    // Bilinear taps into the coefficients, clamped to the area (the band lies well inside).
    struct Tap {
        int i0 = 0, i1 = 0;
        float f = 0;
    };
    const auto tap = [](double at, int lo, int count) {
        if (count <= 0) return Tap{};
        const double c = std::clamp(at, double(lo), double(lo + count - 1));
        const int i = int(c);  // c ≥ lo ≥ 0, so this is the floor
        return Tap{i - lo, std::min(i + 1, lo + count - 1) - lo, float(c - i)};
    };
    std::vector<Tap> tapX(static_cast<size_t>(W));
    for (int X = 0; X < W; ++X) tapX[size_t(X)] = tap((X + 0.5) * sx - 0.5, area.x, area.width);
    for (int Y = 0; Y < H; ++Y) {
        const int yn = std::min(h - 1, int((Y + 0.5) * sy));
        const uint8_t* src = p.ptr<uint8_t>(yn);
        const uint8_t* inBand = band.ptr<uint8_t>(yn);
        uint8_t* dst = &out.values[size_t(Y) * size_t(W)];
        const uint8_t* pixel = frame.row(Y);
        const Tap ty = tap((Y + 0.5) * sy - 0.5, area.y, area.height);
        const size_t row0 = size_t(ty.i0) * size_t(area.width), row1 = size_t(ty.i1) * size_t(area.width);
        for (int X = 0; X < W; ++X) {
            const int xn = nearestX[size_t(X)];
            if (!inBand[xn]) {
                dst[X] = src[xn];
                continue;
            }
            const Tap& tx = tapX[size_t(X)];
            const Coefficients &c00 = coef[row0 + size_t(tx.i0)], &c01 = coef[row0 + size_t(tx.i1)];
            const Coefficients &c10 = coef[row1 + size_t(tx.i0)], &c11 = coef[row1 + size_t(tx.i1)];
            const auto mix = [&](float Coefficients::*field) {
                const float top = c00.*field + (c01.*field - c00.*field) * tx.f;
                const float bottom = c10.*field + (c11.*field - c10.*field) * tx.f;
                return top + (bottom - top) * ty.f;
            };
            const uint8_t* c = pixel + size_t(X) * 4;
            const float q = mix(&Coefficients::b) * (c[0] / 255.0f) + mix(&Coefficients::g) * (c[1] / 255.0f) +
                            mix(&Coefficients::r) * (c[2] / 255.0f) + mix(&Coefficients::offset);
            dst[X] = uint8_t(std::clamp((q - 0.5f) * contrast + 0.5f, 0.0f, 1.0f) * 255.0f + 0.5f);
        }
    }
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
