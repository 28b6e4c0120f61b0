#pragma once
// Fonts from the installed families through fontconfig and FreeType. The platform's
// font names ("HelveticaNeue-Bold", "Menlo-Regular", ...) map to the nearest installed
// family, so drawing code keeps the names it was designed with.
#include <memory>
#include <string>
#include <string_view>

namespace pk::draw2d {

enum class FontWeight { light, regular, medium, semibold, bold, heavy };

// Extents of one line of text in points, y up from the baseline (descent is positive
// below the baseline). Ink bounds are relative to the baseline origin.
struct TextMetrics {
    double advance = 0;
    double ascent = 0;
    double descent = 0;
    double inkX = 0, inkY = 0, inkWidth = 0, inkHeight = 0;
};

class Font {
public:
    // A platform font name: family and style separated by '-' ("Helvetica-Bold",
    // "HelveticaNeue-Bold", "Arial-BoldMT", "Menlo-Regular"). Helvetica-like names
    // become Nimbus Sans, then Liberation Sans, then DejaVu Sans; monospaced ones
    // Nimbus Mono PS, Liberation Mono, DejaVu Sans Mono; any other family is asked of
    // fontconfig as it stands, falling back to the sans list.
    static Font named(std::string_view platformName, double size);
    // A family by name (fontconfig's matching, then the sans list when not installed).
    static Font family(std::string_view familyName, double size, FontWeight weight = FontWeight::regular,
                       bool italic = false);

    double size() const { return size_; }
    // The installed family chosen ("Nimbus Sans").
    const std::string& resolvedFamily() const;
    FontWeight weight() const;

    // One line, no wrapping; UTF-8 (ill-formed bytes are repaired first).
    TextMetrics measure(std::string_view utf8) const;
    // Ascent and descent of the face at this size (line metrics).
    double ascent() const;
    double descent() const;

    struct Face;  // the cached fontconfig match and its cairo face
    const Face& face() const { return *face_; }

private:
    Font(std::shared_ptr<const Face> face, double size) : face_(std::move(face)), size_(size) {}
    std::shared_ptr<const Face> face_;
    double size_ = 12;
};

}  // namespace pk::draw2d
