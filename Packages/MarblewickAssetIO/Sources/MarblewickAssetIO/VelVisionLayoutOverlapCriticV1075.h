#pragma once
// The earlier, simpler screen-text critic: a frame fails when recognized text boxes
// overlap each other, come within 0.2 % of the frame edge, or (when asked) show
// developer jargon. Stateless; runs on the caller's thread and never throws.
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

struct VelVisionTextBoxV1075 {
    std::string text;
    double x = 0, y = 0, width = 0, height = 0;  // normalised, origin at the lower left
    bool operator==(const VelVisionTextBoxV1075&) const = default;

    pk::json::Json toJson() const;
    static VelVisionTextBoxV1075 fromJson(const pk::json::Json& j);
};

struct VelVisionCriticReportV1075 {
    std::string imageName;
    int64_t recognizedTextCount = 0;
    int64_t overlapPairsDetected = 0;
    int64_t edgeClippedBoxes = 0;
    std::vector<std::string> forbiddenJargonLeaks;
    bool passedCleanLayoutGate = false;
    std::vector<std::string> recognizedStrings;
    bool operator==(const VelVisionCriticReportV1075&) const = default;

    pk::json::Json toJson() const;
    static VelVisionCriticReportV1075 fromJson(const pk::json::Json& j);
};

struct VelVisionLayoutTrapResultV1075 {
    bool caughtOverlapOrLeak = false;
    VelVisionCriticReportV1075 report;
};

struct VelVisionLayoutOverlapCriticV1075 {
    VelVisionLayoutOverlapCriticV1075() = delete;

    // Matched as substrings of the upper-cased text, in this order.
    static constexpr std::array<std::string_view, 7> forbiddenConsumerTerms = {
        "TTFT", "TOK/S", "THERMALSTATE", "METAL 4", "SWIFTUI", "SENTINEL", "XCODE"};

    // A recognizer that cannot run on the frame fails the gate with zero boxes.
    static VelVisionCriticReportV1075 auditImage(
        const pk::image::RgbaImage& cgImage, const std::string& imageName, bool enforceConsumerCopyCleanliness,
        const pk::vision::TextRecognizer& recognizer = pk::vision::defaultTextRecognizer());
    // Empty when the file cannot be decoded.
    static std::optional<VelVisionCriticReportV1075> auditPNG(
        const std::filesystem::path& url, bool enforceConsumerCopyCleanliness,
        const pk::vision::TextRecognizer& recognizer = pk::vision::defaultTextRecognizer());
    static VelVisionLayoutTrapResultV1075 runSelfTestTrapCheck(
        const pk::vision::TextRecognizer& recognizer = pk::vision::defaultTextRecognizer());
};

}  // namespace assetio
