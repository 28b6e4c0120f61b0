#include "PlatformKit/Draw2D/Canvas.h"

#include <climits>
#include <cmath>

#include "PlatformKit/Draw2D/FontFace.h"
#include "PlatformKit/Foundation/StudioError.h"
#include "PlatformKit/Foundation/Text.h"

namespace pk::draw2d {

namespace {

cairo_pattern_t* solid(const RGBA& c) { return cairo_pattern_create_rgba(c.red, c.green, c.blue, c.alpha); }

void addStops(cairo_pattern_t* p, const std::vector<GradientStop>& stops) {
    for (const auto& s : stops)
        cairo_pattern_add_color_stop_rgba(p, s.offset, s.color.red, s.color.green, s.color.blue, s.color.alpha);
}

// Holds one reference.
struct PatternRef {
    cairo_pattern_t* p = nullptr;
    PatternRef() = default;
    explicit PatternRef(cairo_pattern_t* adopt) : p(adopt) {}
    PatternRef(const PatternRef& o) : p(o.p ? cairo_pattern_reference(o.p) : nullptr) {}
    PatternRef& operator=(const PatternRef& o) {
        if (this != &o) {
            PatternRef copy(o);
            std::swap(p, copy.p);
        }
        return *this;
    }
    ~PatternRef() {
        if (p) cairo_pattern_destroy(p);
    }
};

struct Paints {
    PatternRef fill;
    PatternRef stroke;
};

}  // namespace

struct Canvas::State {
    cairo_surface_t* surface = nullptr;
    cairo_t* cr = nullptr;
    int width = 0;
    int height = 0;
    Origin origin = Origin::topLeft;
    Paints paints;
    std::vector<Paints> saved;

    ~State() {
        if (cr) cairo_destroy(cr);
        if (surface) {
            cairo_surface_flush(surface);
            cairo_surface_destroy(surface);
        }
    }
};

Canvas::Canvas(const BitmapView& target, Origin origin) : s_(std::make_unique<State>()) {
    if (!target.isValid() || target.bytesPerRow > static_cast<size_t>(INT_MAX))
        throw StudioError("Draw2D", 10, "The bitmap cannot be drawn into");
    s_->surface = cairo_image_surface_create_for_data(target.data, CAIRO_FORMAT_ARGB32, target.width, target.height,
                                                      static_cast<int>(target.bytesPerRow));
    if (cairo_surface_status(s_->surface) != CAIRO_STATUS_SUCCESS)
        throw StudioError("Draw2D", 11, cairo_status_to_string(cairo_surface_status(s_->surface)));
    s_->cr = cairo_create(s_->surface);
    if (cairo_status(s_->cr) != CAIRO_STATUS_SUCCESS)
        throw StudioError("Draw2D", 12, cairo_status_to_string(cairo_status(s_->cr)));
    s_->width = target.width;
    s_->height = target.height;
    s_->origin = origin;
    if (origin == Origin::bottomLeft) {
        cairo_translate(s_->cr, 0, target.height);
        cairo_scale(s_->cr, 1, -1);
    }
    s_->paints.fill = PatternRef(solid({0, 0, 0, 1}));
    s_->paints.stroke = PatternRef(solid({0, 0, 0, 1}));
}

Canvas::~Canvas() = default;

int Canvas::width() const { return s_->width; }
int Canvas::height() const { return s_->height; }
Origin Canvas::origin() const { return s_->origin; }

void Canvas::saveState() {
    cairo_save(s_->cr);
    s_->saved.push_back(s_->paints);
}

void Canvas::restoreState() {
    if (s_->saved.empty()) return;  // unbalanced restore: nothing to go back to
    cairo_restore(s_->cr);
    s_->paints = s_->saved.back();
    s_->saved.pop_back();
}

void Canvas::translate(double dx, double dy) { cairo_translate(s_->cr, dx, dy); }
void Canvas::scale(double sx, double sy) { cairo_scale(s_->cr, sx, sy); }
void Canvas::rotate(double radians) { cairo_rotate(s_->cr, radians); }

void Canvas::setFillColor(const RGBA& c) { s_->paints.fill = PatternRef(solid(c)); }
void Canvas::setStrokeColor(const RGBA& c) { s_->paints.stroke = PatternRef(solid(c)); }

void Canvas::setFillLinearGradient(Point start, Point end, const std::vector<GradientStop>& stops) {
    cairo_pattern_t* p = cairo_pattern_create_linear(start.x, start.y, end.x, end.y);
    addStops(p, stops);
    s_->paints.fill = PatternRef(p);
}

void Canvas::setFillRadialGradient(Point center, double radius, const std::vector<GradientStop>& stops) {
    cairo_pattern_t* p = cairo_pattern_create_radial(center.x, center.y, 0, center.x, center.y, radius);
    addStops(p, stops);
    s_->paints.fill = PatternRef(p);
}

void Canvas::setLineWidth(double width) { cairo_set_line_width(s_->cr, width); }

void Canvas::setLineCap(LineCap cap) {
    cairo_set_line_cap(s_->cr, cap == LineCap::round    ? CAIRO_LINE_CAP_ROUND
                               : cap == LineCap::square ? CAIRO_LINE_CAP_SQUARE
                                                        : CAIRO_LINE_CAP_BUTT);
}

void Canvas::setLineJoin(LineJoin join) {
    cairo_set_line_join(s_->cr, join == LineJoin::round   ? CAIRO_LINE_JOIN_ROUND
                                : join == LineJoin::bevel ? CAIRO_LINE_JOIN_BEVEL
                                                          : CAIRO_LINE_JOIN_MITER);
}

void Canvas::setAntialias(bool on) { cairo_set_antialias(s_->cr, on ? CAIRO_ANTIALIAS_DEFAULT : CAIRO_ANTIALIAS_NONE); }

void Canvas::beginPath() { cairo_new_path(s_->cr); }
void Canvas::moveTo(Point p) { cairo_move_to(s_->cr, p.x, p.y); }
void Canvas::lineTo(Point p) { cairo_line_to(s_->cr, p.x, p.y); }
void Canvas::curveTo(Point c1, Point c2, Point end) { cairo_curve_to(s_->cr, c1.x, c1.y, c2.x, c2.y, end.x, end.y); }
void Canvas::closePath() { cairo_close_path(s_->cr); }
void Canvas::addRect(const Rect& r) { cairo_rectangle(s_->cr, r.x, r.y, r.width, r.height); }

void Canvas::addEllipse(const Rect& in) {
    if (!(in.width > 0) || !(in.height > 0)) return;
    cairo_t* cr = s_->cr;
    cairo_save(cr);
    cairo_translate(cr, in.x + in.width / 2, in.y + in.height / 2);
    cairo_scale(cr, in.width / 2, in.height / 2);
    cairo_new_sub_path(cr);
    cairo_arc(cr, 0, 0, 1, 0, 2 * M_PI);
    cairo_close_path(cr);
    cairo_restore(cr);  // the path stays; only the scaling goes
}

void Canvas::addRoundedRect(const Rect& r, double radius) {
    double rad = std::fmax(0.0, std::fmin(radius, std::fmin(std::fabs(r.width), std::fabs(r.height)) / 2));
    if (rad == 0 || !std::isfinite(rad)) {
        addRect(r);
        return;
    }
    cairo_t* cr = s_->cr;
    double x0 = r.x, y0 = r.y, x1 = r.x + r.width, y1 = r.y + r.height;
    cairo_new_sub_path(cr);
    cairo_arc(cr, x1 - rad, y0 + rad, rad, -M_PI / 2, 0);
    cairo_arc(cr, x1 - rad, y1 - rad, rad, 0, M_PI / 2);
    cairo_arc(cr, x0 + rad, y1 - rad, rad, M_PI / 2, M_PI);
    cairo_arc(cr, x0 + rad, y0 + rad, rad, M_PI, 3 * M_PI / 2);
    cairo_close_path(cr);
}

void Canvas::fillPath(FillRule rule) {
    cairo_set_fill_rule(s_->cr, rule == FillRule::evenOdd ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING);
    cairo_set_source(s_->cr, s_->paints.fill.p);
    cairo_fill(s_->cr);
}

void Canvas::strokePath() {
    cairo_set_source(s_->cr, s_->paints.stroke.p);
    cairo_stroke(s_->cr);
}

void Canvas::clipToPath(FillRule rule) {
    cairo_set_fill_rule(s_->cr, rule == FillRule::evenOdd ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING);
    cairo_clip(s_->cr);
}

void Canvas::fill(const Rect& r) {
    beginPath();
    addRect(r);
    fillPath();
}

void Canvas::fillEllipse(const Rect& in) {
    beginPath();
    addEllipse(in);
    fillPath();
}

void Canvas::fillRoundedRect(const Rect& r, double radius) {
    beginPath();
    addRoundedRect(r, radius);
    fillPath();
}

void Canvas::stroke(const Rect& r) {
    beginPath();
    addRect(r);
    strokePath();
}

void Canvas::strokeEllipse(const Rect& in) {
    beginPath();
    addEllipse(in);
    strokePath();
}

void Canvas::clipTo(const Rect& r) {
    beginPath();
    addRect(r);
    clipToPath();
}

void Canvas::clear(const Rect& r) {
    cairo_t* cr = s_->cr;
    cairo_save(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
    cairo_new_path(cr);
    cairo_rectangle(cr, r.x, r.y, r.width, r.height);
    cairo_fill(cr);
    cairo_restore(cr);
}

void Canvas::drawImage(const BitmapView& image, const Rect& dest, Interpolation quality) {
    if (!image.isValid() || image.bytesPerRow > static_cast<size_t>(INT_MAX)) return;
    if (!(dest.width != 0) || !(dest.height != 0) || !std::isfinite(dest.width) || !std::isfinite(dest.height)) return;
    cairo_surface_t* src = cairo_image_surface_create_for_data(image.data, CAIRO_FORMAT_ARGB32, image.width,
                                                               image.height, static_cast<int>(image.bytesPerRow));
    if (cairo_surface_status(src) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(src);
        return;
    }
    cairo_t* cr = s_->cr;
    cairo_save(cr);
    cairo_new_path(cr);
    cairo_translate(cr, dest.x, dest.y);
    if (s_->origin == Origin::bottomLeft) {
        // The image's top row belongs at the top of dest, which is y + height here.
        cairo_translate(cr, 0, dest.height);
        cairo_scale(cr, dest.width / image.width, -dest.height / image.height);
    } else {
        cairo_scale(cr, dest.width / image.width, dest.height / image.height);
    }
    cairo_set_source_surface(cr, src, 0, 0);
    cairo_pattern_t* pattern = cairo_get_source(cr);
    // Padding, clipped to the image's own rectangle, keeps the edges sharp (no fade to
    // transparent half a pixel in) and draws it exactly once.
    cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);
    cairo_pattern_set_filter(pattern, quality == Interpolation::nearest  ? CAIRO_FILTER_NEAREST
                                      : quality == Interpolation::best ? CAIRO_FILTER_BEST
                                                                       : CAIRO_FILTER_BILINEAR);
    cairo_rectangle(cr, 0, 0, image.width, image.height);
    cairo_fill(cr);
    cairo_restore(cr);
    cairo_surface_finish(src);
    cairo_surface_destroy(src);
}

void Canvas::drawText(std::string_view utf8, const Font& font, const RGBA& color, Point baseline) {
    std::string text = pk::repairUtf8(utf8);
    if (text.empty()) return;
    cairo_t* cr = s_->cr;
    cairo_save(cr);
    cairo_new_path(cr);
    cairo_translate(cr, baseline.x, baseline.y);
    if (s_->origin == Origin::bottomLeft) cairo_scale(cr, 1, -1);  // glyph outlines are y-down
    cairo_set_font_face(cr, font.face().cairoFace);
    cairo_set_font_size(cr, font.size());
    cairo_set_font_options(cr, textFontOptions());
    cairo_set_source_rgba(cr, color.red, color.green, color.blue, color.alpha);
    cairo_move_to(cr, 0, 0);
    cairo_show_text(cr, text.c_str());
    cairo_new_path(cr);
    cairo_restore(cr);
}

void Canvas::flush() { cairo_surface_flush(s_->surface); }

}  // namespace pk::draw2d
