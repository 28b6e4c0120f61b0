#pragma once
// Inside Draw2D only: the cairo side of a Font.
#include <cairo-ft.h>
#include <cairo.h>
#include <fontconfig/fontconfig.h>

#include <string>

#include "PlatformKit/Draw2D/Font.h"

namespace pk::draw2d {

struct Font::Face {
    Face(FcPattern* matched, cairo_font_face_t* face, std::string family, FontWeight weight)
        : matched(matched), cairoFace(face), family(std::move(family)), weight(weight) {}
    ~Face();
    Face(const Face&) = delete;
    Face& operator=(const Face&) = delete;

    FcPattern* matched;
    cairo_font_face_t* cairoFace;
    std::string family;
    FontWeight weight;
};

// Resolution-independent outlines: no hinting, grey anti-aliasing, unhinted metrics.
cairo_font_options_t* textFontOptions();

}  // namespace pk::draw2d
