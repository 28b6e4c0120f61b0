#pragma once
// Audit of the text a player sees in one rendered frame: every recognized line becomes a
// box with an estimated contrast, and the frame fails when boxes overlap, leave the safe
// area, fall under a contrast minimum, clutter the central play zone or (when asked)
// show developer jargon. Stateless; runs on the caller's thread and never throws.
//
// Frames are straight-alpha RGBA images (pk::image::RgbaImage); boxes are normalised
// with the origin at the lower left, as the recognizer delivers them.
#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "PlatformKit/Foundation/Json.h"
#include "PlatformKit/Image/Image.h"
#include "PlatformKit/Vision/TextRecognizer.h"

namespace assetio {

struct VelDeepOCRBoxV1310 {
    std::string text;  // as recognized (not upper-cased)
    double x = 0, y = 0, width = 0, height = 0;
    double estimatedContrastRatio = 0;
    bool overlapsCentralPlayZone = false;
    bool operator==(const VelDeepOCRBoxV1310&) const = default;

    pk::json::Json toJson() const;
    static VelDeepOCRBoxV1310 fromJson(const pk::json::Json& j);
};

struct VelDeepVisionOCRReportV1310 {
    std::string imageName;
    int64_t recognizedCount = 0;
    int64_t overlapPairs = 0;
    int64_t safeAreaViolations = 0;
    int64_t lowContrastBoxes = 0;
    double minContrastRatio = 21;
    double centralViewportClutterFraction = 0;
    std::vector<std::string> forbiddenJargonLeaks;
    std::vector<std::string> recognizedStrings;
    bool passed = false;
    bool operator==(const VelDeepVisionOCRReportV1310&) const = default;

    pk::json::Json toJson() const;
    static VelDeepVisionOCRReportV1310 fromJson(const pk::json::Json& j);
};

struct VelDeepVisionOCRTrapResultV1310 {
    bool caughtDefects = false;
    VelDeepVisionOCRReportV1310 report;
};

struct VelDeepVisionOCRRealismCriticV1310 {
    VelDeepVisionOCRRealismCriticV1310() = delete;

    // "NAN" is matched as a whole word, every other term as a substring of the
    // upper-cased text.
    static constexpr std::array<std::string_view, 12> expandedForbiddenConsumerTerms = {
        "TTFT", "TOK/S", "THERMALSTATE", "METAL 4", "SWIFTUI", "SENTINEL",
        "XCODE", "TODO", "FIXME", "UNDEFINED", "PLACEHOLDER", "NAN"};

    // A recognizer that cannot run on the frame (engine or language data missing) makes
    // the report fail with zero boxes: an unread frame is not a clean frame.
    static VelDeepVisionOCRReportV1310 auditImage(
        const pk::image::RgbaImage& cgImage, const std::string& imageName, bool enforceConsumerCopyCleanliness,
        double minRequiredContrast, double maxCentralClutterFraction,
        const pk::vision::TextRecognizer& recognizer = pk::vision::defaultTextRecognizer());

    // The first image of the file, named by its last path component, audited with
    // kRealismMinTextContrast and kRealismMaxCentralClutter; empty when it cannot be
    // decoded.
    static std::optional<VelDeepVisionOCRReportV1310> auditPNG(
        const std::filesystem::path& url, bool enforceConsumerCopyCleanliness,
        const pk::vision::TextRecognizer& recognizer = pk::vision::defaultTextRecognizer());

    // Draws a frame with jargon in one line and dim text in another and audits it.
    static VelDeepVisionOCRTrapResultV1310 runSelfTestTrapCheck(
        const pk::vision::TextRecognizer& recognizer = pk::vision::defaultTextRecognizer());

    // width x height x 4 bytes R, G, B, A with colour premultiplied by alpha, rows from
    // the top; all zeros when the image's rows do not hold its pixels.
    static std::vector<uint8_t> rgba8Pixels(const pk::image::RgbaImage& cgImage);
};

// The thresholds shipped frames are held to: auditPNG, the trap check, the realism suite
// and the live-device bridge all audit with these.
inline constexpr double kRealismMinTextContrast = 2.6;
inline constexpr double kRealismMaxCentralClutter = 0.16;

}  // namespace assetio
