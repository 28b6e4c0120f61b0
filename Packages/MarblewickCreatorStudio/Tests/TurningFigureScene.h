#pragma once
// A facecam shot made here: a head-and-shoulders figure in front of a furnished room
// (striped wallpaper, a bookshelf of coloured spines, a window, a plant), with camera
// noise and a slight lens blur. The figure's head turns about its vertical axis: eyes,
// brows, nose, mouth and ears move across the head and foreshorten, the hair covers more
// of it as it turns away, and the nose stands out of the outline in profile. Drawn face
// on, it is a face to OpenCV's frontal cascade; half turned, to the profile cascade. The
// figure's true mask (coverage 0…255) is drawn with the same shapes.
//
// `poseAt` is a 30 fps take: face on, a turn to a profile facing the picture's right, a
// turn through face on to the other profile, back to face on, and the figure walking out
// to the right, then the empty room.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "PlatformKit/Draw2D/Bitmap.h"
#include "PlatformKit/Draw2D/Canvas.h"
#include "PlatformKit/Vision/MatteCompositing.h"

namespace creator_test {

struct FigurePose {
    double centerX = 0.5;  // of the frame's width
    double yaw = 0;        // radians; positive turns the nose towards the picture's right
};

struct FigureShot {
    pk::draw2d::Bitmap frame;
    std::vector<uint8_t> truth;  // the figure's coverage, rows top first
};

class TurningFigureScene {
public:
    static constexpr double kFps = 30;
    static constexpr double kLeaveStart = 3.3;  // the figure starts walking out
    static constexpr double kOutAt = 3.8;       // and is wholly out of the picture
    static constexpr double kEnd = 4.8;
    static constexpr double kHalfPi = 1.5707963267948966;

    // Face on until 0.3 s, profile right by 0.8 s (held to 1.2 s), profile left by 2.0 s
    // (held to 2.4 s), face on by 2.9 s; out between kLeaveStart and kOutAt.
    static FigurePose poseAt(double t) {
        const auto ease = [](double a, double b, double t0, double t1, double t) {
            const double u = std::clamp((t - t0) / (t1 - t0), 0.0, 1.0);
            return a + (b - a) * u * u * (3 - 2 * u);
        };
        FigurePose p;
        p.yaw = t < 1.2 ? ease(0, kHalfPi, 0.3, 0.8, t) : t < 2.4 ? ease(kHalfPi, -kHalfPi, 1.2, 2.0, t) : ease(-kHalfPi, 0, 2.4, 2.9, t);
        p.centerX = 0.5 + 0.012 * std::sin(2.1 * t) + ease(0, 1.0, kLeaveStart, kOutAt, t);
        return p;
    }

    TurningFigureScene(int width, int height) : room_(*pk::draw2d::Bitmap::create(width, height)) { paintRoom(); }

    int width() const { return room_.width(); }
    int height() const { return room_.height(); }

    FigureShot shot(const FigurePose& pose, uint32_t noiseSeed) const {
        using namespace pk::draw2d;
        Bitmap frame = room_;
        Bitmap truth = *Bitmap::create(width(), height());
        const double u = height() / 720.0;
        const double cx = pose.centerX * width(), cy = 300 * u, rx = 92 * u, ry = 122 * u;
        {
            Canvas c(frame);
            body(c, cx, u, {0.15, 0.31, 0.47, 1}, {0.75, 0.53, 0.41, 1});
            Canvas t(truth);
            body(t, cx, u, {1, 1, 1, 1}, {1, 1, 1, 1});
        }
        head(frame, truth, cx, cy, rx, ry, pose.yaw);
        {
            Canvas c(frame);
            features(c, truth, cx, cy, rx, ry, u, pose.yaw);
        }
        FigureShot out{*pk::vision::gaussianBlurClamped(frame.view(), 0.7), {}};
        addNoise(out.frame, noiseSeed);
        out.truth.resize(size_t(width()) * size_t(height()));
        for (int y = 0; y < height(); ++y)
            for (int x = 0; x < width(); ++x) out.truth[size_t(y) * size_t(width()) + size_t(x)] = truth.pixel(x, y).a;
        return out;
    }

private:
    static constexpr pk::draw2d::RGBA kSkin{0.82, 0.61, 0.49, 1};
    static constexpr pk::draw2d::RGBA kHair{0.2, 0.14, 0.11, 1};

    void paintRoom() {
        using namespace pk::draw2d;
        Canvas c(room_);
        const double w = width(), h = height(), u = h / 720.0;
        c.setFillLinearGradient({0, 0}, {0, h}, {{0, {0.71, 0.67, 0.59, 1}}, {1, {0.6, 0.57, 0.5, 1}}});
        c.fill({0, 0, w, h});
        c.setFillColor({0.45, 0.42, 0.37, 0.14});
        for (double x = 0; x < w; x += 72 * u) c.fill({x, 0, 36 * u, h});
        // A bookshelf of spines in many colours.
        c.setFillColor({0.39, 0.27, 0.16, 1});
        c.fill({40 * u, 90 * u, 300 * u, 560 * u});
        uint32_t state = 12345;
        const auto next = [&state] {
            state = state * 1664525u + 1013904223u;
            return double(state >> 8) / double(1u << 24);
        };
        for (int shelf = 0; shelf < 4; ++shelf) {
            const double base = (225 + shelf * 135) * u;
            for (double x = 55 * u; x < 320 * u;) {
                const double bw = (14 + 22 * next()) * u, bh = (80 + 40 * next()) * u;
                c.setFillColor({0.12 + 0.78 * next(), 0.12 + 0.78 * next(), 0.12 + 0.78 * next(), 1});
                c.fill({x, base - bh, bw, bh});
                x += bw + 2 * u;
            }
            c.setFillColor({0.31, 0.22, 0.12, 1});
            c.fill({40 * u, base, 300 * u, 12 * u});
        }
        // A window with its frame and cross.
        c.setFillColor({0.86, 0.92, 0.96, 1});
        c.fill({930 * u, 70 * u, 300 * u, 330 * u});
        c.setFillColor({0.35, 0.31, 0.27, 1});
        for (const Rect& r : {Rect{924 * u, 64 * u, 312 * u, 12 * u}, Rect{924 * u, 394 * u, 312 * u, 12 * u},
                              Rect{924 * u, 64 * u, 12 * u, 342 * u}, Rect{1224 * u, 64 * u, 12 * u, 342 * u},
                              Rect{1075 * u, 70 * u, 10 * u, 330 * u}, Rect{930 * u, 230 * u, 300 * u, 10 * u}})
            c.fill(r);
        // A plant in a pot.
        for (int i = 0; i < 14; ++i) {
            c.saveState();
            c.translate((960 + 160 * next()) * u, (450 + 140 * next()) * u);
            c.rotate(3.14159 * next());
            c.setFillColor({0.15 + 0.12 * next(), 0.45 + 0.25 * next(), 0.16 + 0.12 * next(), 1});
            c.fillEllipse({-40 * u, -18 * u, 80 * u, 36 * u});
            c.restoreState();
        }
        c.setFillColor({0.6, 0.31, 0.2, 1});
        c.fill({990 * u, 600 * u, 110 * u, 120 * u});
    }

    // Shoulders cut by the bottom edge, and the neck.
    static void body(pk::draw2d::Canvas& c, double cx, double u, const pk::draw2d::RGBA& shirt,
                     const pk::draw2d::RGBA& neck) {
        c.setFillColor(neck);
        c.fill({cx - 48 * u, 380 * u, 96 * u, 200 * u});
        c.setFillColor(shirt);
        c.fillEllipse({cx - 300 * u, 520 * u, 600 * u, 340 * u});
        c.fill({cx - 300 * u, 690 * u, 600 * u, 40 * u});
    }

    // The head, pixel by pixel: skin where the surface faces the camera, hair over the
    // crown and wherever the head has turned away, shaded by the surface's slant.
    static void head(pk::draw2d::Bitmap& frame, pk::draw2d::Bitmap& truth, double cx, double cy, double rx, double ry,
                     double yaw) {
        const double hairline = cy - 0.55 * ry;
        for (int y = std::max(0, int(cy - ry) - 1); y <= std::min(frame.height() - 1, int(cy + ry) + 1); ++y) {
            const double dy = (y + 0.5 - cy) / ry;
            if (std::abs(dy) >= 1) continue;
            const double half = rx * std::sqrt(1 - dy * dy);
            for (int x = std::max(0, int(cx - half) - 1); x <= std::min(frame.width() - 1, int(cx + half) + 1); ++x) {
                const double cover = std::clamp(half - std::abs(x + 0.5 - cx) + 0.5, 0.0, 1.0);
                if (cover <= 0) continue;
                const double psi = std::asin(std::clamp((x + 0.5 - cx) / half, -1.0, 1.0));
                const double phi = psi - yaw;  // the point's angle on the head, 0 at the nose
                const bool hair = std::abs(phi) > 1.2 || y < hairline + 12 * (ry / 122) * std::cos(phi);
                const pk::draw2d::RGBA& c = hair ? kHair : kSkin;
                const double shade = 0.75 + 0.25 * std::cos(psi);
                uint8_t* p = frame.data() + size_t(y) * frame.bytesPerRow() + size_t(x) * 4;
                const double rgb[3] = {c.blue, c.green, c.red};
                for (int k = 0; k < 3; ++k) p[k] = uint8_t(std::lround(p[k] * (1 - cover) + 255 * rgb[k] * shade * cover));
                uint8_t* t = truth.data() + size_t(y) * truth.bytesPerRow() + size_t(x) * 4;
                const uint8_t v = std::max(t[3], uint8_t(std::lround(255 * cover)));
                t[0] = t[1] = t[2] = t[3] = v;
            }
        }
    }

    // A feature at angle phi on the head shows at cx + rx sin(phi + yaw), narrowed by the
    // cosine; it is hidden once it has turned too far.
    static void features(pk::draw2d::Canvas& c, pk::draw2d::Bitmap& truth, double cx, double cy, double rx, double ry,
                         double u, double yaw) {
        using namespace pk::draw2d;
        const auto place = [&](double phi, double& x, double& facing) {
            x = cx + 0.97 * rx * std::sin(phi + yaw);
            facing = std::cos(phi + yaw);
            return facing > 0.2;
        };
        const auto ellipse = [&](double x, double y, double w, double h, const RGBA& col) {
            c.setFillColor(col);
            c.fillEllipse({x - w, y - h, 2 * w, 2 * h});
        };
        const double eyeY = cy - 0.12 * ry;
        double x = 0, f = 0;
        for (double side : {-1.0, 1.0}) {
            if (!place(side * 0.42, x, f)) continue;
            ellipse(x, eyeY, 22 * u * f, 10 * u, {0.94, 0.94, 0.92, 1});
            ellipse(x + 4 * u * std::sin(yaw), eyeY, 9 * u * f, 9 * u, {0.18, 0.16, 0.16, 1});
            ellipse(x, eyeY - 26 * u, 28 * u * f, 7 * u, kHair);
        }
        for (double side : {-1.0, 1.0})
            if (place(side * kHalfPi, x, f)) ellipse(x, cy, 14 * u * f + 2 * u, 26 * u, {0.75, 0.53, 0.41, 1});
        // The nose: a shaded ridge, and in profile a tip that stands out of the outline.
        const double ridge = cx + 0.97 * rx * std::sin(yaw), s = std::sin(yaw), k = std::cos(yaw);
        const double tip = cx + (0.97 * rx + 26 * u * std::abs(s)) * s;
        const auto polygon = [](Canvas& target, const std::vector<Point>& points, const RGBA& col) {
            target.setFillColor(col);
            target.beginPath();
            target.moveTo(points.front());
            for (size_t i = 1; i < points.size(); ++i) target.lineTo(points[i]);
            target.closePath();
            target.fillPath();
        };
        if (std::abs(s) > 0.05) {
            const std::vector<Point> outline = {{ridge, eyeY}, {tip, cy + 0.27 * ry}, {ridge, cy + 0.34 * ry}};
            polygon(c, outline, {0.78, 0.57, 0.45, 1});
            Canvas t(truth);
            polygon(t, outline, {1, 1, 1, 1});
        }
        polygon(c,
                {{ridge - 7 * u, eyeY + 5 * u}, {ridge + 7 * u, eyeY + 5 * u}, {tip + 12 * u * k, cy + 0.3 * ry},
                 {tip - 12 * u * k, cy + 0.3 * ry}},
                {0.71, 0.5, 0.39, 1});
        for (double side : {-1.0, 1.0}) ellipse(tip + side * 8 * u * k, cy + 0.31 * ry, 5 * u * k + u, 4 * u, {0.35, 0.24, 0.2, 1});
        if (place(0, x, f)) ellipse(x, cy + 0.56 * ry, 30 * u * f, 9 * u, {0.59, 0.27, 0.27, 1});
    }

    // Sensor noise of about 3 levels, the same for every run of one seed.
    static void addNoise(pk::draw2d::Bitmap& frame, uint32_t seed) {
        uint32_t state = seed * 2654435761u + 1;
        for (int y = 0; y < frame.height(); ++y) {
            uint8_t* p = frame.data() + size_t(y) * frame.bytesPerRow();
            for (int x = 0; x < frame.width() * 4; ++x) {
                if (x % 4 == 3) continue;
                state ^= state << 13;
                state ^= state >> 17;
                state ^= state << 5;
                // The sum of three uniform bytes is near-Gaussian: mean 382.5, sd ≈ 128.
                const int n = int(state & 255) + int((state >> 8) & 255) + int((state >> 16) & 255) - 382;
                p[x] = uint8_t(std::clamp(int(p[x]) + n * 3 / 128, 0, 255));
            }
        }
    }

    pk::draw2d::Bitmap room_;
};

}  // namespace creator_test
