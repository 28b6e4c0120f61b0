#include "MarblewickAssetIO/VelDeepVisionOCRRealismCriticV1310.h"

#include <algorithm>
#include <cstring>
#include <exception>

#include "MarblewickAssetIO/RealismImageSampling.h"
#include "MarblewickAssetIO/RealismJson.h"
#include "MarblewickAssetIO/RealismTextLayout.h"
#include "PlatformKit/Draw2D/Bitmap.h"
#include "PlatformKit/Draw2D/Canvas.h"
#include "PlatformKit/Foundation/Files.h"
#include "PlatformKit/Foundation/Numbers.h"
#include "PlatformKit/Foundation/Text.h"

namespace assetio {

using namespace pk::json;
using pk::image::RgbaImage;

namespace {

// Central play zone and safe-area margin, normalised.
constexpr double kZoneMinX = 0.26, kZoneMaxX = 0.74, kZoneMinY = 0.28, kZoneMaxY = 0.72;
constexpr double kZoneArea = 0.48 * 0.44;
constexpr double kSafeMargin = 0.005;
constexpr double kOverlapRatio = 0.02;

// Reads the frame where the box lies, as premultiplied bytes, without converting the
// whole frame: a box contributes at most about 27 x 55 samples.
double estimatedContrast(const RgbaImage& image, const pk::vision::RecognizedTextLine& b) {
    const int W = realism::imageWidth(image), H = realism::imageHeight(image);
    if (W == 0 || H == 0) return 1.0;
    // Truncation saturates first, so NaN or huge boxes land on the frame's border.
    auto trunc = [](double v) { return pk::truncToInt64(v); };
    const int64_t w = W, h = H;
    const int64_t x0 = std::clamp<int64_t>(trunc(b.x * W), 0, w - 1);
    const int64_t x1 = std::max(std::min(w, trunc((b.x + b.width) * W)), x0 + 1);
    const int64_t y0 = std::clamp<int64_t>(trunc((1.0 - (b.y + b.height)) * H), 0, h - 1);
    const int64_t y1 = std::max(std::min(h, trunc((1.0 - b.y) * H)), y0 + 1);
    const int64_t rowStride = (y1 - y0) > 13 ? (y1 - y0) / 14 : 1;
    const int64_t colStride = (x1 - x0) > 27 ? (x1 - x0) / 28 : 1;
    const bool readable = image.holdsPixels();
    std::vector<double> samples;
    samples.reserve(static_cast<size_t>(((y1 - y0) / rowStride + 1) * ((x1 - x0) / colStride + 1)));
    for (int64_t y = y0; y < y1; y += rowStride) {
        for (int64_t x = x0; x < x1; x += colStride) {
            if (!readable) {
                samples.push_back(0.0);
                continue;
            }
            uint8_t p[3];
            realism::premultipliedRGB(image, static_cast<int>(x), static_cast<int>(y), p);
            samples.push_back(realism::luma(p[0] / 255.0, p[1] / 255.0, p[2] / 255.0));
        }
    }
    if (samples.size() < 4) return 4.5;
    std::sort(samples.begin(), samples.end());
    const size_t n = samples.size();
    const double dark = samples[static_cast<size_t>(static_cast<double>(n - 1) * 0.08)];
    const double light = samples[std::min(n - 1, static_cast<size_t>(static_cast<double>(n - 1) * 0.92))];
    return (light + 0.05) / (dark + 0.05);
}

bool overlapsZone(const VelDeepOCRBoxV1310& b) {
    return std::min(b.x + b.width, kZoneMaxX) > std::max(b.x, kZoneMinX) &&
           std::min(b.y + b.height, kZoneMaxY) > std::max(b.y, kZoneMinY);
}

// Words of upper-cased text: runs of letters, marks and numbers.
bool containsWholeWord(const std::string& upper, std::string_view word) {
    std::string current;
    for (char32_t cp : pk::codePoints(upper)) {
        if (pk::isLetterMarkOrNumber(cp)) {
            pk::appendUtf8(current, cp);
            continue;
        }
        if (current == word) return true;
        current.clear();
    }
    return current == word;
}

}  // namespace

Json VelDeepOCRBoxV1310::toJson() const {
    Json j = Json::object();
    j["text"] = text;
    j["x"] = doubleNumber(x);
    j["y"] = doubleNumber(y);
    j["width"] = doubleNumber(width);
    j["height"] = doubleNumber(height);
    j["estimatedContrastRatio"] = doubleNumber(estimatedContrastRatio);
    j["overlapsCentralPlayZone"] = overlapsCentralPlayZone;
    return j;
}

VelDeepOCRBoxV1310 VelDeepOCRBoxV1310::fromJson(const Json& j) {
    requireObject(j, "VelDeepOCRBoxV1310");
    VelDeepOCRBoxV1310 b;
    b.text = readString(j, "text");
    b.x = readDouble(j, "x");
    b.y = readDouble(j, "y");
    b.width = readDouble(j, "width");
    b.height = readDouble(j, "height");
    b.estimatedContrastRatio = readDouble(j, "estimatedContrastRatio");
    b.overlapsCentralPlayZone = readBool(j, "overlapsCentralPlayZone");
    return b;
}

Json VelDeepVisionOCRReportV1310::toJson() const {
    Json j = Json::object();
    j["imageName"] = imageName;
    j["recognizedCount"] = recognizedCount;
    j["overlapPairs"] = overlapPairs;
    j["safeAreaViolations"] = safeAreaViolations;
    j["lowContrastBoxes"] = lowContrastBoxes;
    j["minContrastRatio"] = doubleNumber(minContrastRatio);
    j["centralViewportClutterFraction"] = doubleNumber(centralViewportClutterFraction);
    j["forbiddenJargonLeaks"] = forbiddenJargonLeaks;
    j["recognizedStrings"] = recognizedStrings;
    j["passed"] = passed;
    return j;
}

VelDeepVisionOCRReportV1310 VelDeepVisionOCRReportV1310::fromJson(const Json& j) {
    requireObject(j, "VelDeepVisionOCRReportV1310");
    VelDeepVisionOCRReportV1310 r;
    r.imageName = readString(j, "imageName");
    r.recognizedCount = readInteger<int64_t>(j, "recognizedCount");
    r.overlapPairs = readInteger<int64_t>(j, "overlapPairs");
    r.safeAreaViolations = readInteger<int64_t>(j, "safeAreaViolations");
    r.lowContrastBoxes = readInteger<int64_t>(j, "lowContrastBoxes");
    r.minContrastRatio = readDouble(j, "minContrastRatio");
    r.centralViewportClutterFraction = readDouble(j, "centralViewportClutterFraction");
    r.forbiddenJargonLeaks = readStringList(j, "forbiddenJargonLeaks");
    r.recognizedStrings = readStringList(j, "recognizedStrings");
    r.passed = readBool(j, "passed");
    return r;
}

std::vector<uint8_t> VelDeepVisionOCRRealismCriticV1310::rgba8Pixels(const RgbaImage& cgImage) {
    const int W = realism::imageWidth(cgImage), H = realism::imageHeight(cgImage);
    if (W == 0 || H == 0) return {};
    if (static_cast<int64_t>(W) * H > pk::draw2d::kMaxBitmapPixels) return {};
    // Tightly packed zeros; the rows are copied in (dropping any padding) only when the
    // frame holds them all.
    RgbaImage out = RgbaImage::blank(W, H);
    if (cgImage.holdsPixels()) {
        for (int y = 0; y < H; ++y) std::memcpy(out.row(y), cgImage.row(y), out.stride);
        pk::image::premultiplyAlpha(out);
    }
    return std::move(out.bytes);
}

VelDeepVisionOCRReportV1310 VelDeepVisionOCRRealismCriticV1310::auditImage(
    const RgbaImage& cgImage, const std::string& imageName, bool enforceConsumerCopyCleanliness,
    double minRequiredContrast, double maxCentralClutterFraction, const pk::vision::TextRecognizer& recognizer) {
    std::vector<pk::vision::RecognizedTextLine> lines;
    bool recognizerRan = true;
    try {
        lines = recognizer.recognize(cgImage);
    } catch (const std::exception&) {
        recognizerRan = false;
    }

    std::vector<VelDeepOCRBoxV1310> boxes;
    boxes.reserve(lines.size());
    for (const auto& line : lines) {
        VelDeepOCRBoxV1310 b;
        b.text = line.text;
        b.x = line.x;
        b.y = line.y;
        b.width = line.width;
        b.height = line.height;
        b.estimatedContrastRatio = estimatedContrast(cgImage, line);
        b.overlapsCentralPlayZone = overlapsZone(b);
        boxes.push_back(std::move(b));
    }

    VelDeepVisionOCRReportV1310 r;
    r.imageName = imageName;
    r.recognizedCount = static_cast<int64_t>(boxes.size());
    r.overlapPairs = realism::overlappingPairs(boxes, kOverlapRatio);
    double clutter = 0.0;
    r.minContrastRatio = boxes.empty() ? 21.0 : boxes.front().estimatedContrastRatio;
    for (const auto& b : boxes) {
        if (realism::outsideMargin(b, kSafeMargin)) ++r.safeAreaViolations;
        if (b.estimatedContrastRatio < minRequiredContrast) ++r.lowContrastBoxes;
        r.minContrastRatio = std::min(r.minContrastRatio, b.estimatedContrastRatio);
        if (b.overlapsCentralPlayZone)
            clutter += std::max(0.0, std::min(b.x + b.width, kZoneMaxX) - std::max(b.x, kZoneMinX)) *
                       std::max(0.0, std::min(b.y + b.height, kZoneMaxY) - std::max(b.y, kZoneMinY));
    }
    r.centralViewportClutterFraction = boxes.empty() ? 0.0 : std::min(clutter / kZoneArea, 1.0);

    if (enforceConsumerCopyCleanliness) {
        for (const auto& b : boxes) {
            const std::string upper = pk::toUpper(b.text);
            for (std::string_view term : expandedForbiddenConsumerTerms) {
                const bool hit = term == "NAN" ? containsWholeWord(upper, term)
                                               : upper.find(term) != std::string::npos;
                if (hit) r.forbiddenJargonLeaks.push_back(std::string(term) + " in '" + b.text + "'");
            }
        }
    }
    for (const auto& b : boxes) r.recognizedStrings.push_back(b.text);
    r.passed = recognizerRan && r.overlapPairs == 0 && r.safeAreaViolations == 0 && r.lowContrastBoxes == 0 &&
               r.centralViewportClutterFraction <= maxCentralClutterFraction && r.forbiddenJargonLeaks.empty();
    return r;
}

std::optional<VelDeepVisionOCRReportV1310> VelDeepVisionOCRRealismCriticV1310::auditPNG(
    const std::filesystem::path& url, bool enforceConsumerCopyCleanliness,
    const pk::vision::TextRecognizer& recognizer) {
    auto image = pk::image::decodeFile(url, kRealismAuditMaxPixels);
    if (!image) return std::nullopt;
    return auditImage(*image, pk::lastComponent(url), enforceConsumerCopyCleanliness, kRealismMinTextContrast,
                      kRealismMaxCentralClutter, recognizer);
}

VelDeepVisionOCRTrapResultV1310 VelDeepVisionOCRRealismCriticV1310::runSelfTestTrapCheck(
    const pk::vision::TextRecognizer& recognizer) {
    auto bitmap = pk::draw2d::Bitmap::create(960, 320, 3840);
    if (!bitmap) {
        VelDeepVisionOCRTrapResultV1310 failed;
        failed.report.imageName = "trap";
        failed.report.minContrastRatio = 1.0;
        return failed;
    }
    {
        using namespace pk::draw2d;
        Canvas canvas(*bitmap, Origin::bottomLeft);
        canvas.setFillColor({0.08, 0.09, 0.12, 1});
        canvas.fill({0, 0, 960, 320});
        const Font font = Font::named("HelveticaNeue-Bold", 40);
        canvas.drawText("INTERNAL METAL 4 DEBUG TODO", font, {1, 1, 1, 1}, {40, 200});
        canvas.drawText("LOW CONTRAST HUD", font, {0.18, 0.19, 0.22, 1}, {40, 80});
        canvas.flush();
    }
    const RgbaImage frame = realism::frameFromBitmap(*bitmap);
    VelDeepVisionOCRTrapResultV1310 result;
    result.report = auditImage(frame, "synthetic_v1310_ocr_trap", true, kRealismMinTextContrast,
                               kRealismMaxCentralClutter, recognizer);
    result.caughtDefects = !result.report.passed && !result.report.forbiddenJargonLeaks.empty();
    return result;
}

}  // namespace assetio
