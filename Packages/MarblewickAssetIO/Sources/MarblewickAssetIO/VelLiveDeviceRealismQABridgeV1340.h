#pragma once
// Scores one frame captured on a real device: saves it as PNG, runs the text,
// photorealism and anatomical audits, applies a frame-rate and a thermal gate, and saves
// the scorecard as pretty, key-sorted JSON beside the PNG. Runs on the caller's thread;
// no failure reaches the caller (files that cannot be written are passed over).
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "MarblewickAssetIO/VelAnatomicalRealismAuditorV1310.h"
#include "MarblewickAssetIO/VelDeepVisionOCRRealismCriticV1310.h"
#include "MarblewickAssetIO/VelVisualPhotorealismAuditorV1310.h"

namespace assetio {

struct VelLiveDeviceTelemetryV1340 {
    std::string gameTitle;
    std::string bundleID;
    std::string deviceModel;
    std::string osVersion;
    double measuredFPS = 0;
    std::string thermalState;  // a word of currentThermalStateString()
    double physicalFootprintMB = 0;
    std::string capturedAtISO;

    VelLiveDeviceTelemetryV1340() = default;
    VelLiveDeviceTelemetryV1340(std::string gameTitle, std::string bundleID, std::string deviceModel,
                                std::string osVersion, double measuredFPS, std::string thermalState,
                                double physicalFootprintMB, std::string capturedAtISO)
        : gameTitle(std::move(gameTitle)), bundleID(std::move(bundleID)), deviceModel(std::move(deviceModel)),
          osVersion(std::move(osVersion)), measuredFPS(measuredFPS), thermalState(std::move(thermalState)),
          physicalFootprintMB(physicalFootprintMB), capturedAtISO(std::move(capturedAtISO)) {}
    bool operator==(const VelLiveDeviceTelemetryV1340&) const = default;

    pk::json::Json toJson() const;
    static VelLiveDeviceTelemetryV1340 fromJson(const pk::json::Json& j);
};

struct VelLiveDeviceRealismScorecardV1340 {
    VelLiveDeviceTelemetryV1340 telemetry;
    VelDeepVisionOCRReportV1310 ocrReport;
    VelPhotorealismFrameReportV1310 photorealReport;
    VelAnatomicalAuditReportV1310 anatomicalReport;
    bool fpsGatePassed = false;
    bool thermalGatePassed = false;
    bool passedAllLiveDeviceGates = false;
    std::string summaryLine;
    bool operator==(const VelLiveDeviceRealismScorecardV1340&) const = default;

    pk::json::Json toJson() const;
    static VelLiveDeviceRealismScorecardV1340 fromJson(const pk::json::Json& j);
};

inline constexpr const char* kLiveDeviceFramePNGName = "vel_live_device_realism_frame.png";
inline constexpr const char* kLiveDeviceReportJSONName = "vel_live_device_realism_report.json";

struct VelLiveDeviceRealismQABridgeV1340 {
    VelLiveDeviceRealismQABridgeV1340() = delete;

    // "MarblewickRealismQA" in the user's documents folder, created if possible;
    // returned either way.
    static std::filesystem::path qaDirectoryURL();

    // "nominal", "fair", "serious", "critical", or "unknown" when the machine reports no
    // thermal zone with trip points (typical of virtual machines).
    static std::string currentThermalStateString(const std::filesystem::path& thermalRoot = "/sys/class/thermal");

    // A non-finite frame rate fails the frame-rate gate, and a scorecard holding one is
    // not written (JSON has no such number).
    static VelLiveDeviceRealismScorecardV1340 evaluateAndPersistLiveFrame(
        const pk::image::RgbaImage& cgImage, const VelLiveDeviceTelemetryV1340& telemetry,
        const std::vector<VelAnatomicalEventRecordV1310>& anatomicalEvents,
        const std::optional<std::filesystem::path>& outputDirectory, double minFPS,
        const pk::vision::TextRecognizer& recognizer = pk::vision::defaultTextRecognizer());
};

}  // namespace assetio
