#include "PlatformKit/Vision/PersonSegmenter.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/objdetect.hpp>

#include <algorithm>
#include <cmath>

namespace pk::vision {

struct FaceSeededPersonSegmenter::Impl {
    Options options;
    cv::CascadeClassifier cascade;
    bool cascadeLoaded = false;
    cv::Mat previous;  // the last foreground (0/255) at working size
    std::optional<FaceBox> previousSeed;  // in frame pixels
    std::optional<FaceBox> lastFace;
    int missed = 0;
    cv::Mat bgdModel, fgdModel;

    cv::Mat frameMat(const draw2d::BitmapView& v) const { return cv::Mat(v.height, v.width, CV_8UC4, v.data, v.bytesPerRow); }
};

FaceSeededPersonSegmenter::FaceSeededPersonSegmenter() : FaceSeededPersonSegmenter(Options{}) {}

FaceSeededPersonSegmenter::FaceSeededPersonSegmenter(Options options) : impl_(std::make_unique<Impl>()) {
    impl_->options = std::move(options);
    impl_->options.workingWidth = std::clamp(impl_->options.workingWidth, 32, 1024);
    impl_->options.detectionWidth = std::clamp(impl_->options.detectionWidth, 64, 2048);
    impl_->options.firstIterations = std::clamp(impl_->options.firstIterations, 1, 10);
    impl_->options.followIterations = std::clamp(impl_->options.followIterations, 1, 10);
    std::error_code ec;
    if (std::filesystem::is_regular_file(impl_->options.cascadeFile, ec)) {
        try {
            impl_->cascadeLoaded = impl_->cascade.load(impl_->options.cascadeFile.string());
        } catch (const cv::Exception&) {
            impl_->cascadeLoaded = false;
        }
    }
}

FaceSeededPersonSegmenter::~FaceSeededPersonSegmenter() = default;

bool FaceSeededPersonSegmenter::hasFaceDetector() const { return impl_->cascadeLoaded; }

void FaceSeededPersonSegmenter::reset() {
    impl_->previous.release();
    impl_->previousSeed.reset();
    impl_->lastFace.reset();
    impl_->missed = 0;
}

std::vector<FaceBox> FaceSeededPersonSegmenter::detectFaces(const draw2d::BitmapView& frame) {
    std::vector<FaceBox> faces;
    if (!impl_->cascadeLoaded || !frame.isValid()) return faces;
    const double s = std::min(1.0, double(impl_->options.detectionWidth) / double(frame.width));
    const cv::Size size(std::max(1, int(std::lround(frame.width * s))), std::max(1, int(std::lround(frame.height * s))));
    cv::Mat small, gray;
    cv::resize(impl_->frameMat(frame), small, size, 0, 0, cv::INTER_AREA);
    cv::cvtColor(small, gray, cv::COLOR_BGRA2GRAY);
    cv::equalizeHist(gray, gray);
    std::vector<cv::Rect> found;
    try {
        impl_->cascade.detectMultiScale(gray, found, 1.1, 4, 0, cv::Size(24, 24));
    } catch (const cv::Exception&) {
        return faces;
    }
    std::sort(found.begin(), found.end(), [](const cv::Rect& a, const cv::Rect& b) { return a.area() > b.area(); });
    for (const auto& r : found) faces.push_back({r.x / s, r.y / s, r.width / s, r.height / s});
    return faces;
}

std::optional<GrayMask> FaceSeededPersonSegmenter::segment(const draw2d::BitmapView& frame) {
    auto faces = detectFaces(frame);
    Impl& m = *impl_;
    if (!faces.empty()) {
        m.lastFace = faces.front();
        m.missed = 0;
    } else if (m.lastFace && m.missed < m.options.missedFramesKept) {
        ++m.missed;
    } else {
        reset();
        return std::nullopt;
    }
    return segment(frame, *m.lastFace);
}

namespace {

cv::Point pt(double x, double y, double s) { return cv::Point(int(std::lround(x * s)), int(std::lround(y * s))); }

}  // namespace

std::optional<GrayMask> FaceSeededPersonSegmenter::segment(const draw2d::BitmapView& frame, const FaceBox& face) {
    Impl& m = *impl_;
    if (!frame.isValid()) return std::nullopt;
    // A face far larger than the frame or far off it is no face of this frame; bounding it
    // also keeps every point below in int range.
    const double w = frame.width, h = frame.height;
    const auto within = [](double v, double lo, double hi) { return v > lo && v <= hi; };  // false for NaN
    if (!within(face.width, 1, 4 * w) || !within(face.height, 1, 4 * h) || !within(face.x, -4 * w, 4 * w) ||
        !within(face.y, -4 * h, 4 * h))
        return std::nullopt;
    const double s = std::min(1.0, double(m.options.workingWidth) / double(frame.width));
    const cv::Size size(std::max(8, int(std::lround(frame.width * s))), std::max(8, int(std::lround(frame.height * s))));
    cv::Mat small, bgr;
    cv::resize(m.frameMat(frame), small, size, 0, 0, cv::INTER_AREA);
    cv::cvtColor(small, bgr, cv::COLOR_BGRA2BGR);

    // Head and shoulders: a band around the head widening below the chin to the shoulders,
    // down to the bottom of the frame (the usual framing of a facecam).
    const double fx = face.x, fy = face.y, fw = face.width, fh = face.height;
    const double bottom = double(frame.height) + fh;
    const double chin = fy + fh, shoulders = chin + 0.35 * fh;
    const std::vector<cv::Point> region = {
        pt(fx - 0.45 * fw, fy - 0.35 * fh, s),     pt(fx + 1.45 * fw, fy - 0.35 * fh, s),
        pt(fx + 1.45 * fw, chin, s),               pt(fx + 2.3 * fw, shoulders, s),
        pt(fx + 2.3 * fw, bottom, s),              pt(fx - 1.3 * fw, bottom, s),
        pt(fx - 1.3 * fw, shoulders, s),           pt(fx - 0.45 * fw, chin, s),
    };
    cv::Mat labels(size, CV_8UC1, cv::Scalar(cv::GC_BGD));
    cv::Mat inside(size, CV_8UC1, cv::Scalar(0));
    cv::fillPoly(inside, std::vector<std::vector<cv::Point>>{region}, cv::Scalar(255));

    // The previous mask tells GrabCut where the person probably is, as long as the face has
    // not jumped (a new person, or a cut).
    bool follow = false;
    if (!m.previous.empty() && m.previous.size() == size && m.previousSeed) {
        const double dx = (m.previousSeed->x + m.previousSeed->width / 2) - (fx + fw / 2);
        const double dy = (m.previousSeed->y + m.previousSeed->height / 2) - (fy + fh / 2);
        follow = std::hypot(dx, dy) < 0.5 * fw && std::abs(m.previousSeed->width - fw) < 0.35 * fw;
    }
    if (follow) {
        labels.setTo(cv::Scalar(cv::GC_PR_BGD), inside);
        cv::Mat prevFg = (m.previous > 127) & inside;
        labels.setTo(cv::Scalar(cv::GC_PR_FGD), prevFg);
    } else {
        labels.setTo(cv::Scalar(cv::GC_PR_FGD), inside);
    }
    // Certain foreground: the middle of the face and the chest below it.
    cv::Mat core(size, CV_8UC1, cv::Scalar(0));
    cv::ellipse(core, pt(fx + fw / 2, fy + fh / 2, s), cv::Size(std::max(1, int(0.25 * fw * s)), std::max(1, int(0.3 * fh * s))),
                0, 0, 360, cv::Scalar(255), cv::FILLED);
    cv::rectangle(core, pt(fx + 0.15 * fw, chin + 0.3 * fh, s), pt(fx + 0.85 * fw, chin + 1.2 * fh, s), cv::Scalar(255),
                  cv::FILLED);
    labels.setTo(cv::Scalar(cv::GC_FGD), core);

    const int background = cv::countNonZero((labels == cv::GC_BGD) | (labels == cv::GC_PR_BGD));
    const int foreground = cv::countNonZero((labels == cv::GC_FGD) | (labels == cv::GC_PR_FGD));
    if (foreground == 0) return std::nullopt;  // the face lies outside the frame
    cv::Mat fg;
    if (background < 64) {
        // The person fills the frame: nothing to learn the background from.
        fg = inside | core;
    } else {
        try {
            cv::grabCut(bgr, labels, cv::Rect(), m.bgdModel, m.fgdModel,
                        follow ? m.options.followIterations : m.options.firstIterations, cv::GC_INIT_WITH_MASK);
        } catch (const cv::Exception&) {
            reset();
            return std::nullopt;
        }
        fg = (labels & 1) * 255;  // GC_FGD and GC_PR_FGD are the odd labels
        // Keep only the pieces connected to the certain foreground: room patches that happen
        // to share the person's colours stay out.
        cv::morphologyEx(fg, fg, cv::MORPH_OPEN, cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(3, 3)));
        cv::Mat components;
        const int count = cv::connectedComponents(fg, components, 8, CV_32S);
        if (count > 2) {
            std::vector<uint8_t> keep(size_t(count), 0);
            for (int y = 0; y < size.height; ++y) {
                const uint8_t* c = core.ptr<uint8_t>(y);
                const int* lab = components.ptr<int>(y);
                for (int x = 0; x < size.width; ++x)
                    if (c[x] && lab[x] > 0) keep[size_t(lab[x])] = 1;
            }
            for (int y = 0; y < size.height; ++y) {
                uint8_t* f = fg.ptr<uint8_t>(y);
                const int* lab = components.ptr<int>(y);
                for (int x = 0; x < size.width; ++x)
                    if (f[x] && !keep[size_t(lab[x])]) f[x] = 0;
            }
        }
    }
    m.previous = fg.clone();
    m.previousSeed = face;

    // A slight feather, so the edge blends over a pixel or two once scaled up.
    cv::Mat soft;
    cv::GaussianBlur(fg, soft, cv::Size(3, 3), 0.8, 0.8, cv::BORDER_REPLICATE);
    GrayMask out = GrayMask::filled(size.width, size.height, 0);
    for (int y = 0; y < size.height; ++y) std::copy_n(soft.ptr<uint8_t>(y), size.width, &out.values[size_t(y) * size.width]);
    return out;
}

}  // namespace pk::vision
