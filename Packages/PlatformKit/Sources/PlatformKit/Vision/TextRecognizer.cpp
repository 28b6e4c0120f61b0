#include "PlatformKit/Vision/TextRecognizer.h"

#include "PlatformKit/Foundation/StudioError.h"
#include "PlatformKit/Vision/TesseractTextRecognizer.h"

namespace pk::vision {

FakeTextRecognizer FakeTextRecognizer::failing(std::string reason) {
    FakeTextRecognizer f;
    f.fails_ = true;
    f.reason_ = std::move(reason);
    return f;
}

std::vector<RecognizedTextLine> FakeTextRecognizer::recognize(const pk::image::RgbaImage&) const {
    if (fails_) throw StudioError(kVisionErrorDomain, engineUnavailable, reason_);
    return lines_;
}

const TextRecognizer& defaultTextRecognizer() {
    static const TesseractTextRecognizer recognizer("eng");
    return recognizer;
}

}  // namespace pk::vision
