#pragma once
// Text recognition behind one interface: the Tesseract engine in production, a fixed
// list of lines in unit tests. Boxes are normalised to 0..1 of the image size with the
// origin at the LOWER left (y is the bottom edge), as the audits expect.
#include <string>
#include <vector>

#include "PlatformKit/Image/Image.h"

namespace pk::vision {

struct RecognizedTextLine {
    std::string text;  // best candidate, UTF-8, without the trailing line break
    double x = 0, y = 0, width = 0, height = 0;
    bool operator==(const RecognizedTextLine&) const = default;
};

class TextRecognizer {
public:
    virtual ~TextRecognizer() = default;
    // Text in reading order, one result per visually separate run of a line. Throws
    // StudioError("PlatformKit.Vision", ...) when the recognizer cannot run at all (engine
    // or language data missing): callers must not read that as "no text".
    virtual std::vector<RecognizedTextLine> recognize(const pk::image::RgbaImage& image) const = 0;
};

// Returns the same lines for every image; or fails as an engine without data would.
class FakeTextRecognizer final : public TextRecognizer {
public:
    FakeTextRecognizer() = default;
    explicit FakeTextRecognizer(std::vector<RecognizedTextLine> lines) : lines_(std::move(lines)) {}
    static FakeTextRecognizer failing(std::string reason = "no language data");

    std::vector<RecognizedTextLine> recognize(const pk::image::RgbaImage& image) const override;

private:
    std::vector<RecognizedTextLine> lines_;
    bool fails_ = false;
    std::string reason_;
};

// The process-wide Tesseract recognizer (English).
const TextRecognizer& defaultTextRecognizer();

inline constexpr const char* kVisionErrorDomain = "PlatformKit.Vision";
enum VisionErrorCode : int { engineUnavailable = 1, recognitionFailed = 2 };

}  // namespace pk::vision
