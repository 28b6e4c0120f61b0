#pragma once
// One call that runs every realism audit of a game build (anatomical events, text in
// screenshots, photorealism of screenshots, optionally one pre / impact / post
// sequence) plus the auditors' own trap self-tests, and condenses them into five gates,
// a score out of 100 and one pass flag; optionally written as pretty, key-sorted JSON.
// Runs on the caller's thread and never throws.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "MarblewickAssetIO/VelAnatomicalRealismAuditorV1310.h"
#include "MarblewickAssetIO/VelDeepVisionOCRRealismCriticV1310.h"
#include "MarblewickAssetIO/VelVisualPhotorealismAuditorV1310.h"

namespace assetio {

inline constexpr const char* kRealismHarnessVersionV1310 = "MarblewickVel-RealismHarness-v1310.0";

struct VelUniversalRealismSuiteReportV1310 {
    std::string gameTitle;
    std::string harnessVersion = kRealismHarnessVersionV1310;
    VelAnatomicalAuditReportV1310 anatomicalReport;
    std::vector<VelDeepVisionOCRReportV1310> ocrReports;
    std::vector<VelPhotorealismFrameReportV1310> frameReports;
    std::optional<VelTemporalRealismReportV1310> temporalReport;  // key left out when absent
    bool selfTestTrapsPassed = false;
    int64_t realismScore100 = 0;
    bool passedAllRealismGates = false;
    bool operator==(const VelUniversalRealismSuiteReportV1310&) const = default;

    pk::json::Json toJson() const;
    static VelUniversalRealismSuiteReportV1310 fromJson(const pk::json::Json& j);
};

// The pre / impact / post frames of one hit, borrowed for the call.
struct VelRealismFrameTripleV1310 {
    const pk::image::RgbaImage& pre;
    const pk::image::RgbaImage& impact;
    const pk::image::RgbaImage& post;
};

struct VelUniversalRealismTestSuiteV1310 {
    VelUniversalRealismTestSuiteV1310() = delete;

    // Screenshots that cannot be decoded are left out; an empty list fails its gate.
    // A JSON file that cannot be encoded or written is not reported.
    static VelUniversalRealismSuiteReportV1310 runFullSuite(
        const std::string& gameTitle, const std::vector<VelAnatomicalEventRecordV1310>& anatomicalEvents,
        const std::vector<std::filesystem::path>& ocrPNGURLs,
        const std::vector<std::filesystem::path>& photorealPNGURLs,
        const std::optional<VelRealismFrameTripleV1310>& temporalFrames,
        const std::optional<std::filesystem::path>& outputJSONURL,
        const pk::vision::TextRecognizer& recognizer = pk::vision::defaultTextRecognizer());
};

}  // namespace assetio
