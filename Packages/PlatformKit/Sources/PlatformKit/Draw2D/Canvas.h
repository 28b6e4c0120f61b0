#pragma once
// A 2D drawing context over a bitmap (Cairo underneath). Drawing code works in the
// canvas's own coordinates: with Origin::bottomLeft, y runs upwards from the bottom edge
// and the flip is part of the canvas's transform, so images and text still come out
// upright. Paths, fills, strokes, gradients, images and single lines of text.
#include <memory>
#include <string_view>
#include <vector>

#include "PlatformKit/Draw2D/Bitmap.h"
#include "PlatformKit/Draw2D/Font.h"

namespace pk::draw2d {

// Straight (not premultiplied) components in 0..1, device RGB.
struct RGBA {
    double red = 0, green = 0, blue = 0, alpha = 1;
    bool operator==(const RGBA&) const = default;
};

struct Point {
    double x = 0, y = 0;
    bool operator==(const Point&) const = default;
};

struct Rect {
    double x = 0, y = 0, width = 0, height = 0;
    bool operator==(const Rect&) const = default;
};

struct GradientStop {
    double offset = 0;
    RGBA color;
};

enum class Origin { topLeft, bottomLeft };
enum class FillRule { nonZero, evenOdd };
enum class LineCap { butt, round, square };
enum class LineJoin { miter, round, bevel };
enum class Interpolation { nearest, bilinear, best };

class Canvas {
public:
    // Throws StudioError("Draw2D") when the view is not a valid bitmap. The pixels are
    // drawn in place; they are complete after flush() or destruction.
    explicit Canvas(const BitmapView& target, Origin origin = Origin::topLeft);
    explicit Canvas(Bitmap& target, Origin origin = Origin::topLeft) : Canvas(target.view(), origin) {}
    ~Canvas();
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    int width() const;
    int height() const;
    Origin origin() const;

    // Graphics state: transform, colours, line style, clip.
    void saveState();
    void restoreState();
    void translate(double dx, double dy);
    void scale(double sx, double sy);
    void rotate(double radians);

    void setFillColor(const RGBA& c);
    void setStrokeColor(const RGBA& c);
    // Gradients replace the fill colour until the next setFillColor.
    void setFillLinearGradient(Point start, Point end, const std::vector<GradientStop>& stops);
    void setFillRadialGradient(Point center, double radius, const std::vector<GradientStop>& stops);
    void setLineWidth(double width);
    void setLineCap(LineCap cap);
    void setLineJoin(LineJoin join);
    void setAntialias(bool on);

    // The current path, emptied by every fill and stroke.
    void beginPath();
    void moveTo(Point p);
    void lineTo(Point p);
    void curveTo(Point c1, Point c2, Point end);
    void closePath();
    void addRect(const Rect& r);
    void addEllipse(const Rect& in);
    void addRoundedRect(const Rect& r, double radius);
    void fillPath(FillRule rule = FillRule::nonZero);
    void strokePath();
    // Intersects the clip with the current path, then empties the path.
    void clipToPath(FillRule rule = FillRule::nonZero);

    void fill(const Rect& r);
    void fillEllipse(const Rect& in);
    void fillRoundedRect(const Rect& r, double radius);
    void stroke(const Rect& r);
    void strokeEllipse(const Rect& in);
    void clipTo(const Rect& r);
    // Sets the pixels of r to transparent (ignores the fill colour).
    void clear(const Rect& r);

    // Draws the image stretched into `dest`, once (not tiled), upright whatever the origin.
    void drawImage(const BitmapView& image, const Rect& dest, Interpolation quality = Interpolation::bilinear);
    void drawImage(const Bitmap& image, const Rect& dest, Interpolation quality = Interpolation::bilinear) {
        drawImage(image.view(), dest, quality);
    }

    // One line of text (no wrapping, no truncation) with its baseline starting at
    // `baseline`, glyphs upright, in the current transform.
    void drawText(std::string_view utf8, const Font& font, const RGBA& color, Point baseline);

    // Finishes pending drawing into the bitmap's memory.
    void flush();

private:
    struct State;
    std::unique_ptr<State> s_;
};

}  // namespace pk::draw2d
