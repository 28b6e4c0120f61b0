#include "MarblewickAssetIO/VelVisionLayoutOverlapCriticV1075.h"

#include <algorithm>
#include <exception>

#include "MarblewickAssetIO/RealismImageSampling.h"
#include "MarblewickAssetIO/RealismJson.h"
#include "MarblewickAssetIO/RealismTextLayout.h"
#include "PlatformKit/Draw2D/Bitmap.h"
#include "PlatformKit/Draw2D/Canvas.h"
#include "PlatformKit/Foundation/Files.h"
#include "PlatformKit/Foundation/Text.h"

namespace assetio {

using namespace pk::json;
using pk::image::RgbaImage;

namespace {
constexpr double kOverlapRatio = 0.02;
constexpr double kEdgeBand = 0.002;
}  // namespace

Json VelVisionTextBoxV1075::toJson() const {
    Json j = Json::object();
    j["text"] = text;
    j["x"] = doubleNumber(x);
    j["y"] = doubleNumber(y);
    j["width"] = doubleNumber(width);
    j["height"] = doubleNumber(height);
    return j;
}

VelVisionTextBoxV1075 VelVisionTextBoxV1075::fromJson(const Json& j) {
    requireObject(j, "VelVisionTextBoxV1075");
    return {readString(j, "text"), readDouble(j, "x"), readDouble(j, "y"), readDouble(j, "width"),
            readDouble(j, "height")};
}

Json VelVisionCriticReportV1075::toJson() const {
    Json j = Json::object();
    j["imageName"] = imageName;
    j["recognizedTextCount"] = recognizedTextCount;
    j["overlapPairsDetected"] = overlapPairsDetected;
    j["edgeClippedBoxes"] = edgeClippedBoxes;
    j["forbiddenJargonLeaks"] = forbiddenJargonLeaks;
    j["passedCleanLayoutGate"] = passedCleanLayoutGate;
    j["recognizedStrings"] = recognizedStrings;
    return j;
}

VelVisionCriticReportV1075 VelVisionCriticReportV1075::fromJson(const Json& j) {
    requireObject(j, "VelVisionCriticReportV1075");
    VelVisionCriticReportV1075 r;
    r.imageName = readString(j, "imageName");
    r.recognizedTextCount = readInteger<int64_t>(j, "recognizedTextCount");
    r.overlapPairsDetected = readInteger<int64_t>(j, "overlapPairsDetected");
    r.edgeClippedBoxes = readInteger<int64_t>(j, "edgeClippedBoxes");
    r.forbiddenJargonLeaks = readStringList(j, "forbiddenJargonLeaks");
    r.passedCleanLayoutGate = readBool(j, "passedCleanLayoutGate");
    r.recognizedStrings = readStringList(j, "recognizedStrings");
    return r;
}

VelVisionCriticReportV1075 VelVisionLayoutOverlapCriticV1075::auditImage(
    const RgbaImage& cgImage, const std::string& imageName, bool enforceConsumerCopyCleanliness,
    const pk::vision::TextRecognizer& recognizer) {
    std::vector<VelVisionTextBoxV1075> boxes;
    bool recognizerRan = true;
    try {
        for (auto& line : recognizer.recognize(cgImage))
            boxes.push_back({std::move(line.text), line.x, line.y, line.width, line.height});
    } catch (const std::exception&) {
        recognizerRan = false;
    }

    VelVisionCriticReportV1075 r;
    r.imageName = imageName;
    r.recognizedTextCount = static_cast<int64_t>(boxes.size());
    r.overlapPairsDetected = realism::overlappingPairs(boxes, kOverlapRatio);
    for (const auto& b : boxes)
        if (realism::outsideMargin(b, kEdgeBand)) ++r.edgeClippedBoxes;
    if (enforceConsumerCopyCleanliness) {
        for (const auto& b : boxes) {
            const std::string upper = pk::toUpper(b.text);
            for (std::string_view term : forbiddenConsumerTerms)
                if (upper.find(term) != std::string::npos)
                    r.forbiddenJargonLeaks.push_back(std::string(term) + " in '" + b.text + "'");
        }
    }
    for (const auto& b : boxes) r.recognizedStrings.push_back(b.text);
    r.passedCleanLayoutGate =
        recognizerRan && r.overlapPairsDetected == 0 && r.edgeClippedBoxes == 0 && r.forbiddenJargonLeaks.empty();
    return r;
}

std::optional<VelVisionCriticReportV1075> VelVisionLayoutOverlapCriticV1075::auditPNG(
    const std::filesystem::path& url, bool enforceConsumerCopyCleanliness,
    const pk::vision::TextRecognizer& recognizer) {
    auto image = pk::image::decodeFile(url, kRealismAuditMaxPixels);
    if (!image) return std::nullopt;
    return auditImage(*image, pk::lastComponent(url), enforceConsumerCopyCleanliness, recognizer);
}

VelVisionLayoutTrapResultV1075 VelVisionLayoutOverlapCriticV1075::runSelfTestTrapCheck(
    const pk::vision::TextRecognizer& recognizer) {
    auto bitmap = pk::draw2d::Bitmap::create(960, 240, 3840);
    if (!bitmap) {
        VelVisionLayoutTrapResultV1075 failed;
        failed.report.imageName = "trap";
        return failed;
    }
    {
        using namespace pk::draw2d;
        Canvas canvas(*bitmap, Origin::bottomLeft);
        canvas.setFillColor({0.05, 0.07, 0.12, 1});
        canvas.fill({0, 0, 960, 240});
        canvas.drawText("INTERNAL TTFT METAL 4 DEBUG", Font::named("HelveticaNeue-Bold", 42), {1, 1, 1, 1}, {60, 110});
        canvas.flush();
    }
    const RgbaImage frame = realism::frameFromBitmap(*bitmap);
    VelVisionLayoutTrapResultV1075 result;
    result.report = auditImage(frame, "synthetic_jargon_trap", true, recognizer);
    result.caughtOverlapOrLeak = !result.report.passedCleanLayoutGate && !result.report.forbiddenJargonLeaks.empty();
    return result;
}

}  // namespace assetio
