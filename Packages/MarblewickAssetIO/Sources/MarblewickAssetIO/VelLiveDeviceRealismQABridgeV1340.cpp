#include "MarblewickAssetIO/VelLiveDeviceRealismQABridgeV1340.h"

#include <exception>
#include <system_error>

#include "PlatformKit/Foundation/Files.h"
#include "PlatformKit/Foundation/Numbers.h"
#include "PlatformKit/System/ThermalState.h"

namespace assetio {

using namespace pk::json;
namespace fs = std::filesystem;

Json VelLiveDeviceTelemetryV1340::toJson() const {
    Json j = Json::object();
    j["gameTitle"] = gameTitle;
    j["bundleID"] = bundleID;
    j["deviceModel"] = deviceModel;
    j["osVersion"] = osVersion;
    j["measuredFPS"] = doubleNumber(measuredFPS);
    j["thermalState"] = thermalState;
    j["physicalFootprintMB"] = doubleNumber(physicalFootprintMB);
    j["capturedAtISO"] = capturedAtISO;
    return j;
}

VelLiveDeviceTelemetryV1340 VelLiveDeviceTelemetryV1340::fromJson(const Json& j) {
    requireObject(j, "VelLiveDeviceTelemetryV1340");
    return {readString(j, "gameTitle"),    readString(j, "bundleID"),
            readString(j, "deviceModel"),  readString(j, "osVersion"),
            readDouble(j, "measuredFPS"),  readString(j, "thermalState"),
            readDouble(j, "physicalFootprintMB"), readString(j, "capturedAtISO")};
}

Json VelLiveDeviceRealismScorecardV1340::toJson() const {
    Json j = Json::object();
    j["telemetry"] = telemetry.toJson();
    j["ocrReport"] = ocrReport.toJson();
    j["photorealReport"] = photorealReport.toJson();
    j["anatomicalReport"] = anatomicalReport.toJson();
    j["fpsGatePassed"] = fpsGatePassed;
    j["thermalGatePassed"] = thermalGatePassed;
    j["passedAllLiveDeviceGates"] = passedAllLiveDeviceGates;
    j["summaryLine"] = summaryLine;
    return j;
}

VelLiveDeviceRealismScorecardV1340 VelLiveDeviceRealismScorecardV1340::fromJson(const Json& j) {
    requireObject(j, "VelLiveDeviceRealismScorecardV1340");
    VelLiveDeviceRealismScorecardV1340 s;
    s.telemetry = VelLiveDeviceTelemetryV1340::fromJson(field(j, "telemetry"));
    s.ocrReport = VelDeepVisionOCRReportV1310::fromJson(field(j, "ocrReport"));
    s.photorealReport = VelPhotorealismFrameReportV1310::fromJson(field(j, "photorealReport"));
    s.anatomicalReport = VelAnatomicalAuditReportV1310::fromJson(field(j, "anatomicalReport"));
    s.fpsGatePassed = readBool(j, "fpsGatePassed");
    s.thermalGatePassed = readBool(j, "thermalGatePassed");
    s.passedAllLiveDeviceGates = readBool(j, "passedAllLiveDeviceGates");
    s.summaryLine = readString(j, "summaryLine");
    return s;
}

fs::path VelLiveDeviceRealismQABridgeV1340::qaDirectoryURL() {
    const fs::path dir = pk::documentsDirectory() / "MarblewickRealismQA";
    std::error_code ec;
    fs::create_directories(dir, ec);
    return dir;
}

std::string VelLiveDeviceRealismQABridgeV1340::currentThermalStateString(const fs::path& thermalRoot) {
    switch (pk::system::currentThermalState(thermalRoot).rawValue()) {
        case 0: return "nominal";
        case 1: return "fair";
        case 2: return "serious";
        case 3: return "critical";
        default: return "unknown";
    }
}

VelLiveDeviceRealismScorecardV1340 VelLiveDeviceRealismQABridgeV1340::evaluateAndPersistLiveFrame(
    const pk::image::RgbaImage& cgImage, const VelLiveDeviceTelemetryV1340& telemetry,
    const std::vector<VelAnatomicalEventRecordV1310>& anatomicalEvents, const std::optional<fs::path>& outputDirectory,
    double minFPS, const pk::vision::TextRecognizer& recognizer) {
    // qaDirectoryURL() creates its folder itself.
    const fs::path folder = outputDirectory ? *outputDirectory : qaDirectoryURL();
    if (outputDirectory) {
        std::error_code ec;
        fs::create_directories(folder, ec);
    }

    const fs::path framePath = folder / kLiveDeviceFramePNGName;
    try {
        pk::atomicWrite(framePath, pk::image::encodePng(cgImage));  // never a cut-off frame over the last one
    } catch (const std::exception&) {
        // The audits work on the frame in memory and go on; an older frame must not stay
        // behind as if it were this one.
        pk::removeFileOnly(framePath);
    }

    VelLiveDeviceRealismScorecardV1340 s;
    s.telemetry = telemetry;
    s.ocrReport = VelDeepVisionOCRRealismCriticV1310::auditImage(cgImage, kLiveDeviceFramePNGName, true,
                                                                 kRealismMinTextContrast, kRealismMaxCentralClutter,
                                                                 recognizer);
    s.photorealReport = VelVisualPhotorealismAuditorV1310::auditFrame(cgImage, kLiveDeviceFramePNGName);
    s.anatomicalReport = VelAnatomicalRealismAuditorV1310::audit(anatomicalEvents);
    s.thermalGatePassed = telemetry.thermalState == "nominal" || telemetry.thermalState == "fair";
    s.fpsGatePassed = minFPS <= telemetry.measuredFPS;  // false when either is NaN
    s.passedAllLiveDeviceGates = s.ocrReport.passed && s.photorealReport.passed && s.anatomicalReport.passed &&
                                 s.fpsGatePassed && s.thermalGatePassed;
    s.summaryLine = "[" + telemetry.gameTitle + "] " + telemetry.deviceModel + " | " +
                    pk::formatFinite("%.1f", telemetry.measuredFPS) + " FPS (" + telemetry.thermalState +
                    ") | Blowout=" + pk::formatFinite("%.1f", s.photorealReport.blownOutWhiteFraction * 100) +
                    "% | Detail=" + pk::formatFinite("%.3f", s.photorealReport.microTextureGradientScore) +
                    " | OCR(overlaps=" + std::to_string(s.ocrReport.overlapPairs) +
                    ",leaks=" + std::to_string(s.ocrReport.forbiddenJargonLeaks.size()) +
                    ") | Anat=" + (s.anatomicalReport.passed ? "CLEAN" : "FAIL") + " -> " +
                    (s.passedAllLiveDeviceGates ? "PASS" : "FAIL");

    const fs::path reportPath = folder / kLiveDeviceReportJSONName;
    std::string json;
    try {
        json = dump(s.toJson(), Style::pretty);
    } catch (const std::exception&) {
        // A non-finite number has no JSON form. An older report must not stay beside the
        // new frame as if it described it.
        pk::removeFileOnly(reportPath);
        return s;
    }
    try {
        pk::writeInPlace(reportPath, std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(json.data()), json.size()));
    } catch (const std::exception&) {
        // The scorecard is the result; a report that cannot be written is passed over.
    }
    return s;
}

}  // namespace assetio
