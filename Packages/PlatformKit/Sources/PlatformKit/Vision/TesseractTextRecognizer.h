#pragma once
// Tesseract 5: LSTM engine, dictionaries not loaded (no language correction), automatic
// page segmentation (full-page layout analysis), one result per visually separate run of
// text: a line is cut where its words stand far apart. Each thread keeps its own engine,
// since a Tesseract instance is not safe to share, and the engine works on the calling
// thread only (it starts no threads of its own).
#include <optional>
#include <string>

#include "PlatformKit/Vision/TextRecognizer.h"

namespace pk::vision {

class TesseractTextRecognizer final : public TextRecognizer {
public:
    // dataPath: folder holding "<language>.traineddata"; empty = Tesseract's own search
    // (TESSDATA_PREFIX, then the compiled-in folder).
    explicit TesseractTextRecognizer(std::string language = "eng", std::string dataPath = {});

    std::vector<RecognizedTextLine> recognize(const pk::image::RgbaImage& image) const override;

    // Empty when an engine starts with this language and data; else the reason.
    std::optional<std::string> loadFailure() const;

    const std::string& language() const { return language_; }

private:
    std::string language_;
    std::string dataPath_;
};

}  // namespace pk::vision
