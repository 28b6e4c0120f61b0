#include "MarblewickAssetIO/VelUniversalRealismTestSuiteV1310.h"

#include <algorithm>
#include <exception>

#include "MarblewickAssetIO/RealismJson.h"
#include "PlatformKit/Foundation/Files.h"

namespace assetio {

using namespace pk::json;

Json VelUniversalRealismSuiteReportV1310::toJson() const {
    Json j = Json::object();
    j["gameTitle"] = gameTitle;
    j["harnessVersion"] = harnessVersion;
    j["anatomicalReport"] = anatomicalReport.toJson();
    j["ocrReports"] = realism::recordList(ocrReports);
    j["frameReports"] = realism::recordList(frameReports);
    if (temporalReport) j["temporalReport"] = temporalReport->toJson();
    j["selfTestTrapsPassed"] = selfTestTrapsPassed;
    j["realismScore100"] = realismScore100;
    j["passedAllRealismGates"] = passedAllRealismGates;
    return j;
}

VelUniversalRealismSuiteReportV1310 VelUniversalRealismSuiteReportV1310::fromJson(const Json& j) {
    requireObject(j, "VelUniversalRealismSuiteReportV1310");
    VelUniversalRealismSuiteReportV1310 r;
    r.gameTitle = readString(j, "gameTitle");
    r.harnessVersion = readString(j, "harnessVersion");
    r.anatomicalReport = VelAnatomicalAuditReportV1310::fromJson(field(j, "anatomicalReport"));
    r.ocrReports = readRecordList<VelDeepVisionOCRReportV1310>(j, "ocrReports");
    r.frameReports = readRecordList<VelPhotorealismFrameReportV1310>(j, "frameReports");
    if (const Json* t = optionalField(j, "temporalReport")) r.temporalReport = VelTemporalRealismReportV1310::fromJson(*t);
    r.selfTestTrapsPassed = readBool(j, "selfTestTrapsPassed");
    r.realismScore100 = readInteger<int64_t>(j, "realismScore100");
    r.passedAllRealismGates = readBool(j, "passedAllRealismGates");
    return r;
}

VelUniversalRealismSuiteReportV1310 VelUniversalRealismTestSuiteV1310::runFullSuite(
    const std::string& gameTitle, const std::vector<VelAnatomicalEventRecordV1310>& anatomicalEvents,
    const std::vector<std::filesystem::path>& ocrPNGURLs, const std::vector<std::filesystem::path>& photorealPNGURLs,
    const std::optional<VelRealismFrameTripleV1310>& temporalFrames,
    const std::optional<std::filesystem::path>& outputJSONURL, const pk::vision::TextRecognizer& recognizer) {
    VelUniversalRealismSuiteReportV1310 r;
    r.gameTitle = gameTitle;
    r.anatomicalReport = VelAnatomicalRealismAuditorV1310::audit(anatomicalEvents);

    const auto anatomyTrap = VelAnatomicalRealismAuditorV1310::runHeadDuplicationTrapSelfTest();
    const auto textTrap = VelDeepVisionOCRRealismCriticV1310::runSelfTestTrapCheck(recognizer);
    r.selfTestTrapsPassed =
        textTrap.caughtDefects && anatomyTrap.caughtMultiHeadBug && anatomyTrap.caughtMutualExclusionBug;

    // Files that cannot be decoded are left out.
    for (const auto& url : ocrPNGURLs)
        if (auto report = VelDeepVisionOCRRealismCriticV1310::auditPNG(url, true, recognizer))
            r.ocrReports.push_back(std::move(*report));
    for (const auto& url : photorealPNGURLs)
        if (auto report = VelVisualPhotorealismAuditorV1310::auditPNG(url)) r.frameReports.push_back(std::move(*report));
    if (temporalFrames)
        r.temporalReport = VelVisualPhotorealismAuditorV1310::auditTemporalSequence(
            temporalFrames->pre, temporalFrames->impact, temporalFrames->post, gameTitle);

    const bool anatomyGate = r.anatomicalReport.passed;
    const bool ocrGate = !r.ocrReports.empty() &&
                         std::all_of(r.ocrReports.begin(), r.ocrReports.end(), [](const auto& o) { return o.passed; });
    const bool frameGate = !r.frameReports.empty() && std::all_of(r.frameReports.begin(), r.frameReports.end(),
                                                                  [](const auto& f) { return f.passed; });
    const bool temporalGate = !r.temporalReport || r.temporalReport->passed;
    const bool trapGate = r.selfTestTrapsPassed;
    r.realismScore100 = 30 * anatomyGate + 25 * ocrGate + 20 * frameGate + 15 * temporalGate + 10 * trapGate;
    r.passedAllRealismGates = anatomyGate && ocrGate && frameGate && temporalGate && trapGate;

    if (outputJSONURL) {
        try {
            pk::atomicWrite(*outputJSONURL, dump(r.toJson(), Style::pretty));
        } catch (const std::exception&) {
            // The report is the result; a file that cannot be written is not reported.
        }
    }
    return r;
}

}  // namespace assetio
