#include "PlatformKit/Vision/PersonSegmenter.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/objdetect.hpp>
#include <opencv2/video/tracking.hpp>

#include <algorithm>
#include <cmath>

#include "PlatformKit/Vision/MatteCompositing.h"

namespace pk::vision {

namespace {

using Kind = PersonSeed::Kind;

constexpr int kMinWorkingSide = 16;  // smaller frames hold nobody the cascades could find

struct Cascade {
    cv::CascadeClassifier classifier;
    bool loaded = false;

    void load(const std::filesystem::path& file) {
        std::error_code ec;
        if (!std::filesystem::is_regular_file(file, ec)) return;
        try {
            loaded = classifier.load(file.string());
        } catch (const cv::Exception&) {
            loaded = false;
        }
    }

    // Finds within `roi` of `image`, mirrored first when `flipped` (the profile cascade
    // knows faces looking one way only); boxes come back in `image` coordinates.
    std::vector<cv::Rect> find(const cv::Mat& image, cv::Rect roi, bool flipped, cv::Size minSize, cv::Size maxSize,
                               int neighbours) {
        std::vector<cv::Rect> found;
        roi &= cv::Rect(0, 0, image.cols, image.rows);
        if (!loaded || roi.width < minSize.width || roi.height < minSize.height) return found;
        cv::Mat view;
        if (flipped)
            cv::flip(image(roi), view, 1);  // into a copy of its own: the frame is searched again
        else
            view = image(roi);
        try {
            classifier.detectMultiScale(view, found, 1.1, neighbours, 0, minSize, maxSize);
        } catch (const cv::Exception&) {
            found.clear();
        }
        for (cv::Rect& r : found) {
            if (flipped) r.x = roi.width - r.x - r.width;
            r.x += roi.x;
            r.y += roi.y;
        }
        std::sort(found.begin(), found.end(), [](const cv::Rect& a, const cv::Rect& b) { return a.area() > b.area(); });
        return found;
    }
};

// A box in working pixels, as doubles.
struct Box {
    double x = 0, y = 0, w = 0, h = 0;
    double cx() const { return x + w / 2; }
    double cy() const { return y + h / 2; }
};

struct Seed {
    Kind kind;
    Box box;  // what the cascade found
};

// The face-sized box at the head that a seed stands for: what the head-and-shoulders
// region and the next search are laid out from.
Box headOf(const Seed& s) {
    const Box& b = s.box;
    switch (s.kind) {
        case Kind::frontalFace: return b;
        // A profile box sits on the face; the rest of the head lies behind it.
        case Kind::profileFacingLeft: return {b.x + 0.15 * b.w, b.y, b.w, b.h};
        case Kind::profileFacingRight: return {b.x - 0.15 * b.w, b.y, b.w, b.h};
        // The upper-body window holds head and shoulders; the face, about a quarter of the
        // shoulders' width, is in its upper middle.
        case Kind::upperBody: return {b.x + 0.365 * b.w, b.y + 0.24 * b.h, 0.27 * b.w, 0.33 * b.h};
    }
    return b;
}

cv::Point pt(double x, double y) { return cv::Point(int(std::lround(x)), int(std::lround(y))); }

// Head and shoulders below a face-sized head box, down past the bottom of the frame (the
// usual framing of a facecam). `possible` is a generous band around the head widening
// below the chin; `likely`, inside it, holds only what is the person in nearly any framing
// (the head, the neck, the chest below the shoulders' slope), so that GrabCut's first
// colour model of the person is not half room.
struct HeadAndShoulders {
    cv::Mat likely, possible;
};

HeadAndShoulders headAndShoulders(cv::Size size, const Box& f) {
    const double chin = f.y + f.h, shoulders = chin + 0.35 * f.h, bottom = size.height + f.h;
    const auto polygon = [&](const std::vector<cv::Point>& points) {
        cv::Mat m(size, CV_8UC1, cv::Scalar(0));
        cv::fillPoly(m, std::vector<std::vector<cv::Point>>{points}, cv::Scalar(255));
        return m;
    };
    HeadAndShoulders t;
    t.possible = polygon({
        pt(f.x - 0.45 * f.w, f.y - 0.35 * f.h), pt(f.x + 1.45 * f.w, f.y - 0.35 * f.h), pt(f.x + 1.45 * f.w, chin),
        pt(f.x + 2.3 * f.w, shoulders),         pt(f.x + 2.3 * f.w, bottom),             pt(f.x - 1.3 * f.w, bottom),
        pt(f.x - 1.3 * f.w, shoulders),         pt(f.x - 0.45 * f.w, chin),
    });
    const double cx = f.cx(), chest = chin + 0.6 * f.h, broad = chin + 1.4 * f.h;
    t.likely = polygon({
        pt(cx - 0.2 * f.w, chin), pt(cx + 0.2 * f.w, chin), pt(cx + 0.2 * f.w, chest), pt(cx + 0.5 * f.w, chest),
        pt(cx + 1.2 * f.w, broad), pt(cx + 1.2 * f.w, bottom), pt(cx - 1.2 * f.w, bottom), pt(cx - 1.2 * f.w, broad),
        pt(cx - 0.5 * f.w, chest), pt(cx - 0.2 * f.w, chest),
    });
    cv::ellipse(t.likely, pt(cx, f.y + 0.4 * f.h), cv::Size(std::max(1, int(0.45 * f.w)), std::max(1, int(0.6 * f.h))), 0,
                0, 360, cv::Scalar(255), cv::FILLED);
    t.likely &= t.possible;
    return t;
}

// Where the person surely is: the middle of the face. A frontal box is tight on the face;
// the others are less sure of where it lies.
cv::Mat certainCore(cv::Size size, const Seed& s) {
    const Box f = headOf(s);
    const double k = s.kind == Kind::frontalFace ? 1.0 : 0.7;
    cv::Mat m(size, CV_8UC1, cv::Scalar(0));
    cv::ellipse(m, pt(f.cx(), f.cy()), cv::Size(std::max(1, int(0.22 * k * f.w)), std::max(1, int(0.28 * k * f.h))), 0, 0,
                360, cv::Scalar(255), cv::FILLED);
    return m;
}

cv::Mat disc(int radius) { return cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(2 * radius + 1, 2 * radius + 1)); }

// Fills the small holes the person encloses, which GrabCut gave to the room for sharing
// its colours (an eye, a mouth, a dark nostril): background that does not reach the
// frame's border. A large one is room seen through a gap (under an arm) and stays.
void fillSmallHoles(cv::Mat& fg) {
    cv::Mat outside(fg.rows + 2, fg.cols + 2, CV_8UC1, cv::Scalar(0));
    fg.copyTo(outside(cv::Rect(1, 1, fg.cols, fg.rows)));
    cv::floodFill(outside, cv::Point(0, 0), cv::Scalar(128));
    const cv::Mat holes = outside(cv::Rect(1, 1, fg.cols, fg.rows)) == 0;
    cv::Mat labels, stats, centres;
    const int count = cv::connectedComponentsWithStats(holes, labels, stats, centres, 4, CV_32S);
    if (count <= 1) return;
    const int largest = std::max(16, cv::countNonZero(fg) / 50);
    std::vector<uint8_t> fill(size_t(count), 0);
    for (int i = 1; i < count; ++i) fill[size_t(i)] = stats.at<int>(i, cv::CC_STAT_AREA) <= largest;
    for (int y = 0; y < fg.rows; ++y) {
        uint8_t* f = fg.ptr<uint8_t>(y);
        const int* lab = labels.ptr<int>(y);
        for (int x = 0; x < fg.cols; ++x)
            if (fill[size_t(lab[x])]) f[x] = 255;
    }
}

// Keeps the pieces of `fg` that touch `anchor`, or the largest piece when nothing does.
void keepConnected(cv::Mat& fg, const cv::Mat& anchor) {
    cv::Mat components;
    const int count = cv::connectedComponents(fg, components, 8, CV_32S);
    if (count <= 2) return;
    std::vector<uint8_t> keep(size_t(count), 0);
    std::vector<int64_t> area(size_t(count), 0);
    bool anchored = false;
    for (int y = 0; y < fg.rows; ++y) {
        const int* lab = components.ptr<int>(y);
        const uint8_t* a = anchor.empty() ? nullptr : anchor.ptr<uint8_t>(y);
        for (int x = 0; x < fg.cols; ++x) {
            if (lab[x] <= 0) continue;
            ++area[size_t(lab[x])];
            if (a && a[x]) keep[size_t(lab[x])] = 1, anchored = true;
        }
    }
    if (!anchored) keep[size_t(std::max_element(area.begin() + 1, area.end()) - area.begin())] = 1;
    for (int y = 0; y < fg.rows; ++y) {
        uint8_t* f = fg.ptr<uint8_t>(y);
        const int* lab = components.ptr<int>(y);
        for (int x = 0; x < fg.cols; ++x)
            if (f[x] && !keep[size_t(lab[x])]) f[x] = 0;
    }
}

// How the person's colours and the room's are spread, as 16 × 16 × 16 histograms of the
// frames in which a cascade saw the person: the judge of whether a region followed without
// a detection is still them.
class ColourModel {
public:
    void learn(const cv::Mat& bgr, const cv::Mat& fg) {
        std::vector<float> person(kBins, 0), room(kBins, 0);
        double personCount = 0, roomCount = 0;
        for (int y = 0; y < bgr.rows; ++y) {
            const cv::Vec3b* c = bgr.ptr<cv::Vec3b>(y);
            const uint8_t* f = fg.ptr<uint8_t>(y);
            for (int x = 0; x < bgr.cols; ++x) {
                if (f[x]) {
                    person[bin(c[x])] += 1;
                    personCount += 1;
                } else {
                    room[bin(c[x])] += 1;
                    roomCount += 1;
                }
            }
        }
        if (personCount == 0 || roomCount == 0) return;
        // Earlier frames fade out over a few detections.
        const float keep = learned_ ? 0.6f : 0.0f;
        for (size_t i = 0; i < kBins; ++i) {
            person_[i] = keep * person_[i] + (1 - keep) * float(person[i] / personCount);
            room_[i] = keep * room_[i] + (1 - keep) * float(room[i] / roomCount);
        }
        learned_ = true;
    }

    // The share of the region's pixels whose colour is more the person's than the room's;
    // a colour neither was seen in counts against the person.
    double personShare(const cv::Mat& bgr, const cv::Mat& region) const {
        if (!learned_) return 0;
        int64_t theirs = 0, all = 0;
        for (int y = 0; y < bgr.rows; ++y) {
            const cv::Vec3b* c = bgr.ptr<cv::Vec3b>(y);
            const uint8_t* r = region.ptr<uint8_t>(y);
            for (int x = 0; x < bgr.cols; ++x) {
                if (!r[x]) continue;
                const size_t i = bin(c[x]);
                theirs += person_[i] > room_[i];
                ++all;
            }
        }
        return all ? double(theirs) / double(all) : 0;
    }

    void clear() {
        std::fill(person_.begin(), person_.end(), 0.0f);
        std::fill(room_.begin(), room_.end(), 0.0f);
        learned_ = false;
    }

private:
    static constexpr size_t kBins = 16 * 16 * 16;
    static size_t bin(const cv::Vec3b& c) { return size_t(c[0] >> 4) * 256 + size_t(c[1] >> 4) * 16 + size_t(c[2] >> 4); }

    std::vector<float> person_ = std::vector<float>(kBins, 0), room_ = std::vector<float>(kBins, 0);
    bool learned_ = false;
};

}  // namespace

struct CascadeSeededPersonSegmenter::Impl {
    Options options;
    Cascade frontal, profile, upperBody;

    // This frame at working size (GrabCut, flow, the coarse matte) and, equalised, at the
    // cascades' size.
    cv::Size frameSize, size, detectSize;
    cv::Mat smallBgra, bgr, gray, equalized;

    // The person followed from frame to frame.
    bool tracking = false;
    cv::Mat mask;  // the last foreground (0/255) that had support
    Box head;      // face-sized box at the head
    cv::Mat previousGray;
    cv::Mat bgdModel, fgdModel;  // GrabCut's colour models, kept between frames
    ColourModel colours;
    std::optional<double> lostSince;
    double lastTimestamp = 0;
    int acquisitionPass = 0;
    std::optional<Kind> lastSeed;  // what found the person in the last frame
    std::optional<Seed> found;     // what the last frame's whole-frame search found
    int fallbackTurn = 0;

    void forget() {
        tracking = false;
        mask.release();
        previousGray.release();
        bgdModel.release();
        fgdModel.release();
        colours.clear();
        lostSince.reset();
        lastSeed.reset();
        found.reset();
    }

    // The working copies of the frame; false when it is too small to hold anybody.
    bool prepare(const draw2d::BitmapView& frame) {
        const cv::Size fs(frame.width, frame.height);
        if (fs != frameSize) {
            forget();
            frameSize = fs;
            const auto fit = [&](int width) {
                const double s = std::min(1.0, double(width) / double(frame.width));
                return cv::Size(std::clamp(int(std::lround(frame.width * s)), 1, frame.width),
                                std::clamp(int(std::lround(frame.height * s)), 1, frame.height));
            };
            size = fit(options.workingWidth);
            detectSize = fit(options.detectionWidth);
        }
        if (std::min({size.width, size.height, detectSize.width, detectSize.height}) < kMinWorkingSide) return false;
        const cv::Mat full(frame.height, frame.width, CV_8UC4, frame.data, frame.bytesPerRow);
        const auto shrink = [&](cv::Size to, cv::Mat& out) {
            if (to == fs)
                full.copyTo(out);
            else
                cv::resize(full, out, to, 0, 0, cv::INTER_AREA);
        };
        shrink(size, smallBgra);
        cv::cvtColor(smallBgra, bgr, cv::COLOR_BGRA2BGR);
        cv::cvtColor(smallBgra, gray, cv::COLOR_BGRA2GRAY);
        if (detectSize == size) {
            cv::equalizeHist(gray, equalized);
        } else {
            cv::Mat detectBgra, detectGray;
            shrink(detectSize, detectBgra);
            cv::cvtColor(detectBgra, detectGray, cv::COLOR_BGRA2GRAY);
            cv::equalizeHist(detectGray, equalized);
        }
        return true;
    }

    // Working pixels per frame pixel, and per cascade pixel.
    double scale() const { return double(size.width) / double(frameSize.width); }
    cv::Point2d detectToWorking() const {
        return {double(size.width) / double(detectSize.width), double(size.height) / double(detectSize.height)};
    }

    std::optional<Seed> first(Kind kind, const std::vector<cv::Rect>& found) const {
        if (found.empty()) return std::nullopt;
        const cv::Rect& r = found.front();
        const cv::Point2d k = detectToWorking();
        return Seed{kind, {r.x * k.x, r.y * k.y, r.width * k.x, r.height * k.y}};
    }

    // Faces are looked for at a tenth of the frame's width and up: a facecam frames its
    // person closely, and the smallest scales cost the most.
    cv::Size smallestFace() const {
        const int s = std::max(20, detectSize.width / 10);
        return {s, s};
    }

    // The upper-body cascade mistakes furniture for small bodies: a facecam's person is wide.
    cv::Size smallestBody() const { return {detectSize.width / 4, detectSize.width / 5}; }

    std::optional<Seed> frontalIn(cv::Rect roi, cv::Size minSize, cv::Size maxSize) {
        return first(Kind::frontalFace, frontal.find(equalized, roi, false, minSize, maxSize, 3));
    }
    std::optional<Seed> profileIn(cv::Rect roi, cv::Size minSize, cv::Size maxSize, bool facingRight) {
        // The cascade knows faces looking to the left of the picture; a mirrored copy shows
        // it the others.
        return first(facingRight ? Kind::profileFacingRight : Kind::profileFacingLeft,
                     profile.find(equalized, roi, facingRight, minSize, maxSize, 3));
    }
    std::optional<Seed> upperBodyIn(cv::Rect roi, cv::Size minSize, cv::Size maxSize) {
        return first(Kind::upperBody, upperBody.find(equalized, roi, false, minSize, maxSize, 3));
    }

    // While nobody is followed: one cascade over the whole frame per frame, in turn, so an
    // empty room costs one detector's time and a person is found within four frames.
    std::optional<Seed> acquire() {
        const cv::Rect all(0, 0, detectSize.width, detectSize.height);
        const cv::Size face = smallestFace(), body = smallestBody(), none;
        for (int tries = 0; tries < 4; ++tries) {
            const int pass = acquisitionPass++ % 4;
            switch (pass) {
                case 0:
                    if (frontal.loaded) return frontalIn(all, face, none);
                    break;
                case 1:
                    if (profile.loaded) return profileIn(all, face, none, false);
                    break;
                case 2:
                    if (profile.loaded) return profileIn(all, face, none, true);
                    break;
                default:
                    if (upperBody.loaded) return upperBodyIn(all, body, none);
                    break;
            }
        }
        return std::nullopt;
    }

    // While a person is followed: the cascades look only near the head, at sizes near the
    // head's, which costs a fraction of a full search. The frontal one runs every frame;
    // when it finds nothing, one other kind does: the one that found the person last frame,
    // or else the next in turn, so a turned head is found again within three frames.
    std::optional<Seed> searchNear(const Box& head) {
        const cv::Point2d k = detectToWorking();
        const Box f{head.x / k.x, head.y / k.y, head.w / k.x, head.h / k.y};
        const auto sized = [](double side) {
            const int s = std::max(1, int(std::lround(side)));
            return cv::Size(s, s);
        };
        const cv::Rect around(pt(f.x - 0.6 * f.w, f.y - 0.5 * f.h), pt(f.x + 1.6 * f.w, f.y + 1.5 * f.h));
        const cv::Size lo = sized(std::max(0.7 * f.w, 20.0)), hi = sized(1.45 * f.w);
        if (auto s = frontalIn(around, lo, hi)) return s;
        static constexpr Kind others[] = {Kind::profileFacingLeft, Kind::profileFacingRight, Kind::upperBody};
        const Kind kind = lastSeed && *lastSeed != Kind::frontalFace ? *lastSeed : others[fallbackTurn++ % 3];
        if (kind != Kind::upperBody) return profileIn(around, lo, hi, kind == Kind::profileFacingRight);
        const cv::Rect body(pt(f.x - 2.5 * f.w, f.y - 1.2 * f.h), pt(f.x + 3.5 * f.w, f.y + 3.5 * f.h));
        const cv::Size bodyLo(int(1.8 * f.w), int(1.5 * f.w)), bodyHi(int(4.5 * f.w), int(3.7 * f.w));
        return upperBodyIn(body, bodyLo, bodyHi);
    }

    // A seed that lies on the followed head continues the track; one elsewhere starts anew.
    static bool agrees(const Seed& s, const Box& followed) {
        const Box n = headOf(s);
        const double tolerance = s.kind == Kind::upperBody ? 1.0 : 0.6;
        const double ratio = n.w / std::max(followed.w, 1.0);
        return std::hypot(n.cx() - followed.cx(), n.cy() - followed.cy()) < tolerance * followed.w && ratio > 0.55 &&
               ratio < 1.8;
    }

    // The last matte moved along with the person: the median motion of the corners inside
    // it, tracked by pyramidal Lucas-Kanade from the last frame to this one. Unmoved when
    // too few corners can be followed.
    cv::Mat carried(const cv::Mat& last, Box& f) {
        if (previousGray.size() != gray.size()) return last;
        const cv::Rect bounds = cv::boundingRect(last);
        if (bounds.empty()) return last;
        cv::Mat inner;
        cv::erode(last, inner, disc(2));
        std::vector<cv::Point2f> from, to;
        cv::goodFeaturesToTrack(previousGray(bounds), from, 80, 0.01, 4, inner(bounds));
        if (from.size() < 8) return last;
        for (cv::Point2f& p : from) p += cv::Point2f(float(bounds.x), float(bounds.y));
        std::vector<uint8_t> status;
        std::vector<float> error;
        cv::calcOpticalFlowPyrLK(previousGray, gray, from, to, status, error, cv::Size(15, 15), 2);
        std::vector<float> dx, dy;
        for (size_t i = 0; i < from.size(); ++i)
            if (status[i]) {
                dx.push_back(to[i].x - from[i].x);
                dy.push_back(to[i].y - from[i].y);
            }
        if (dx.size() < 8) return last;
        const auto median = [](std::vector<float>& v) {
            std::nth_element(v.begin(), v.begin() + std::ptrdiff_t(v.size() / 2), v.end());
            return double(v[v.size() / 2]);
        };
        const double mx = median(dx), my = median(dy);
        // A jump of a fifth of the frame between two frames is no motion of the person.
        if (std::hypot(mx, my) > 0.2 * size.width || std::hypot(mx, my) < 0.5) return last;
        const cv::Matx23d shift(1, 0, mx, 0, 1, my);
        cv::Mat moved;
        cv::warpAffine(last, moved, shift, last.size(), cv::INTER_NEAREST, cv::BORDER_CONSTANT, cv::Scalar(0));
        f.x += mx;
        f.y += my;
        return moved;
    }

    // GrabCut over the part of the frame the labels concern; empty when it failed.
    cv::Mat cut(const cv::Mat& prior, const cv::Mat& allowed, const cv::Mat& core, bool restart, bool learn) {
        const int margin = std::max(4, size.width / 40);
        cv::Rect roi = cv::boundingRect(allowed | prior);
        roi = cv::Rect(roi.x - margin, roi.y - margin, roi.width + 2 * margin, roi.height + 2 * margin) &
              cv::Rect(0, 0, size.width, size.height);
        cv::Mat labels(size, CV_8UC1, cv::Scalar(cv::GC_BGD));
        labels.setTo(cv::Scalar(cv::GC_PR_BGD), allowed);
        labels.setTo(cv::Scalar(cv::GC_PR_FGD), prior);
        if (!core.empty()) labels.setTo(cv::Scalar(cv::GC_FGD), core);
        cv::Mat area = labels(roi).clone();
        const int foreground = cv::countNonZero(area & 1);  // GC_FGD and GC_PR_FGD are the odd labels
        const int background = area.rows * area.cols - foreground;
        cv::Mat fg(size, CV_8UC1, cv::Scalar(0));
        if (foreground < 16) return fg;
        if (background < 64) {
            // The person fills the frame: nothing to learn the room from.
            fg.setTo(cv::Scalar(255), labels & 1);
            return fg;
        }
        const bool haveModels = !bgdModel.empty() && !fgdModel.empty();
        const int mode = restart || !haveModels ? cv::GC_INIT_WITH_MASK
                         : learn                ? cv::GC_EVAL
                                                : cv::GC_EVAL_FREEZE_MODEL;
        // GrabCut's first colour models come from k-means seeded by the thread's random
        // generator: a fixed seed makes the same frames give the same matte.
        cv::RNG& rng = cv::theRNG();
        const uint64_t outside = rng.state;
        rng.state = 0x5eedULL;
        try {
            cv::grabCut(bgr(roi).clone(), area, cv::Rect(), bgdModel, fgdModel, 1, mode);
        } catch (const cv::Exception&) {
            rng.state = outside;
            return {};
        }
        rng.state = outside;
        fg(roi).setTo(cv::Scalar(255), area & 1);
        return fg;
    }

    // OpenCV reports what it cannot do by exceptions; a frame it fails on is a frame with
    // nobody found, and the track starts again.
    std::optional<GrayMask> segmentOrForget(const draw2d::BitmapView& frame, double timestamp, const FaceBox* given) {
        try {
            return segment(frame, timestamp, given);
        } catch (const cv::Exception&) {
            forget();
            return std::nullopt;
        }
    }
    std::optional<GrayMask> segment(const draw2d::BitmapView& frame, double timestamp, const FaceBox* given);
    std::optional<GrayMask> matte(const cv::Mat& fg, const draw2d::BitmapView& frame);
};

CascadeSeededPersonSegmenter::CascadeSeededPersonSegmenter() : CascadeSeededPersonSegmenter(Options{}) {}

CascadeSeededPersonSegmenter::CascadeSeededPersonSegmenter(Options options) : impl_(std::make_unique<Impl>()) {
    impl_->options = std::move(options);
    impl_->options.workingWidth = std::clamp(impl_->options.workingWidth, 32, 1024);
    impl_->options.detectionWidth = std::clamp(impl_->options.detectionWidth, 64, 2048);
    if (!(impl_->options.goneSeconds >= 0)) impl_->options.goneSeconds = kGoneSeconds;
    impl_->frontal.load(impl_->options.frontalFaceCascade);
    impl_->profile.load(impl_->options.profileFaceCascade);
    impl_->upperBody.load(impl_->options.upperBodyCascade);
}

CascadeSeededPersonSegmenter::~CascadeSeededPersonSegmenter() = default;

bool CascadeSeededPersonSegmenter::hasFrontalFaceDetector() const { return impl_->frontal.loaded; }
bool CascadeSeededPersonSegmenter::hasProfileFaceDetector() const { return impl_->profile.loaded; }
bool CascadeSeededPersonSegmenter::hasUpperBodyDetector() const { return impl_->upperBody.loaded; }
bool CascadeSeededPersonSegmenter::isTracking() const { return impl_->tracking; }
void CascadeSeededPersonSegmenter::reset() { impl_->forget(); }

std::vector<PersonSeed> CascadeSeededPersonSegmenter::detectSeeds(const draw2d::BitmapView& frame) {
    std::vector<PersonSeed> seeds;
    Impl& m = *impl_;
    try {
        if (!frame.isValid() || !m.prepare(frame)) return seeds;
    } catch (const cv::Exception&) {
        return seeds;
    }
    const cv::Rect all(0, 0, m.detectSize.width, m.detectSize.height);
    const cv::Size face = m.smallestFace(), body = m.smallestBody(), none;
    const double kx = double(frame.width) / m.detectSize.width, ky = double(frame.height) / m.detectSize.height;
    const auto add = [&](Kind kind, const std::vector<cv::Rect>& found) {
        for (const cv::Rect& r : found) seeds.push_back({kind, {r.x * kx, r.y * ky, r.width * kx, r.height * ky}});
    };
    add(Kind::frontalFace, m.frontal.find(m.equalized, all, false, face, none, 3));
    add(Kind::profileFacingLeft, m.profile.find(m.equalized, all, false, face, none, 3));
    add(Kind::profileFacingRight, m.profile.find(m.equalized, all, true, face, none, 3));
    add(Kind::upperBody, m.upperBody.find(m.equalized, all, false, body, none, 3));
    return seeds;
}

std::optional<GrayMask> CascadeSeededPersonSegmenter::segment(const draw2d::BitmapView& frame, double timestamp) {
    return impl_->segmentOrForget(frame, timestamp, nullptr);
}

std::optional<GrayMask> CascadeSeededPersonSegmenter::segment(const draw2d::BitmapView& frame, double timestamp,
                                                              const FaceBox& face) {
    if (!frame.isValid()) return std::nullopt;
    // A face far larger than the frame or far off it is no face of this frame; bounding it
    // also keeps every point below in int range.
    const double w = frame.width, h = frame.height;
    const auto within = [](double v, double lo, double hi) { return v > lo && v <= hi; };  // false for NaN
    if (!within(face.width, 1, 4 * w) || !within(face.height, 1, 4 * h) || !within(face.x, -4 * w, 4 * w) ||
        !within(face.y, -4 * h, 4 * h))
        return std::nullopt;
    return impl_->segmentOrForget(frame, timestamp, &face);
}

std::optional<GrayMask> CascadeSeededPersonSegmenter::Impl::segment(const draw2d::BitmapView& frame, double timestamp,
                                                                    const FaceBox* given) {
    if (!frame.isValid() || !prepare(frame)) return std::nullopt;
    // A frame without a usable time counts as taken with the one before. After a pause in
    // the frames (segmentation switched off a while) the last matte is stale.
    if (std::isfinite(timestamp)) {
        if (tracking && timestamp - lastTimestamp > options.goneSeconds) forget();
        lastTimestamp = timestamp;
    } else {
        timestamp = lastTimestamp;
    }

    // Follow the last matte into this frame.
    Box followed = head;
    cv::Mat prior = tracking ? carried(mask, followed) : cv::Mat();

    std::optional<Seed> seed;
    if (given) {
        const double s = scale();
        seed = Seed{Kind::frontalFace, {given->x * s, given->y * s, given->width * s, given->height * s}};
    } else if (tracking) {
        seed = searchNear(followed);
    } else if (found) {
        // What the last frame found, found again here or else taken as it was: a frame
        // later the person is still about there, and a cascade may miss one frame.
        seed = searchNear(headOf(*found));
        if (!seed) seed = found;
        found.reset();
    } else {
        // A search of the whole frame takes most of a frame's time: the matte starts with
        // the next frame, from a search near what this one found.
        if ((found = acquire())) lastSeed = found->kind;
        gray.copyTo(previousGray);
        return std::nullopt;
    }
    lastSeed = seed ? std::optional<Kind>(seed->kind) : std::nullopt;
    if (!tracking && !seed) {
        gray.copyTo(previousGray);
        return std::nullopt;
    }

    const bool restart = !tracking || (seed && !agrees(*seed, followed));
    // `anchor`: what of GrabCut's foreground is surely the person's, so that the pieces
    // not joined to it are room that happens to share their colours.
    cv::Mat core, allowed, anchor;
    if (seed) {
        followed = headOf(*seed);
        core = certainCore(size, *seed);
    }
    if (restart) {
        HeadAndShoulders shape = headAndShoulders(size, followed);
        prior = shape.likely;
        allowed = shape.possible;
        anchor = shape.likely;
        bgdModel.release();
        fgdModel.release();
    } else {
        // The person may have moved a little further than the flow said, or shown more of
        // themselves (a nose in profile, a shoulder): the last matte's surroundings are
        // open to them.
        cv::dilate(prior, allowed, disc(std::max(3, size.width / 50)));
        cv::erode(prior, anchor, disc(2));
    }
    if (!core.empty()) anchor |= core;

    cv::Mat fg = cut(prior, allowed, core, restart, seed.has_value());
    if (fg.empty()) {
        forget();
        return std::nullopt;
    }
    // Specks go; notches in the outline a few pixels wide close: a mouth or an eye at the
    // edge of a turned face whose colour the room also has would otherwise bite into it.
    cv::morphologyEx(fg, fg, cv::MORPH_OPEN, disc(1));
    cv::morphologyEx(fg, fg, cv::MORPH_CLOSE, disc(2));
    keepConnected(fg, anchor);
    fillSmallHoles(fg);
    gray.copyTo(previousGray);

    // Without a seed the track holds while GrabCut, judging by the person's colours as last
    // seen, still keeps most of the region carried over, and what it keeps has mostly the
    // person's colours rather than the room's: when they leave, the room that shows in
    // their place is not theirs.
    const int64_t kept = cv::countNonZero(fg), carriedArea = cv::countNonZero(prior);
    const bool supported = seed || (kept >= std::max<int64_t>(64, int64_t(size.area()) / 200) &&
                                    2 * kept >= carriedArea && colours.personShare(bgr, fg) >= 0.5);
    if (seed) colours.learn(bgr, fg);
    if (supported) {
        tracking = true;
        mask = fg;
        head = followed;
        lostSince.reset();
        return matte(fg, frame);
    }
    // Unsupported: the track goes on from where the matte was carried, for a while.
    if (!lostSince || *lostSince > timestamp) lostSince = timestamp;
    if (!(timestamp - *lostSince < options.goneSeconds)) {
        forget();
        return std::nullopt;
    }
    mask = prior;
    head = followed;
    return matte(kept > 0 ? fg : prior, frame);
}

std::optional<GrayMask> CascadeSeededPersonSegmenter::Impl::matte(const cv::Mat& fg, const draw2d::BitmapView& frame) {
    GrayMask coarse = GrayMask::filled(size.width, size.height, 0);
    for (int y = 0; y < size.height; ++y)
        std::copy_n(fg.ptr<uint8_t>(y), size.width, &coarse.values[size_t(y) * size_t(size.width)]);
    const draw2d::BitmapView guide{smallBgra.data, smallBgra.cols, smallBgra.rows, smallBgra.step[0]};
    GrayMask out = guidedUpsampledMatte(coarse, frame, &guide);
    if (!out.isValid()) return std::nullopt;
    return out;
}

}  // namespace pk::vision
