#pragma once
// Image statistics that betray an unconvincing render (blown highlights, washed-out or
// crushed frames, flat range, missing-texture magenta, surfaces without micro-texture),
// and a pre / impact / post check that the impact changes the picture, does not jump like
// a corruption, keeps moving afterwards and spawns no cluster of large duplicated
// silhouettes. Stateless; runs on the caller's thread and never throws.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "PlatformKit/Foundation/Json.h"
#include "PlatformKit/Image/Image.h"

namespace assetio {

struct VelPhotorealismFrameReportV1310 {
    std::string imageName;
    int64_t width = 0;
    int64_t height = 0;
    double meanLuminance = 0;
    double dynamicRangeP95MinusP05 = 0;
    double blownOutWhiteFraction = 0;
    double crushedBlackFraction = 0;
    double missingTextureMagentaFraction = 0;
    double microTextureGradientScore = 0;
    double meanColorSaturation = 0;
    std::vector<std::string> violations;
    bool passed = false;
    bool operator==(const VelPhotorealismFrameReportV1310&) const = default;

    pk::json::Json toJson() const;
    static VelPhotorealismFrameReportV1310 fromJson(const pk::json::Json& j);
};

struct VelTemporalRealismReportV1310 {
    float featureDistancePreToImpact = 0;
    float featureDistanceImpactToPost = 0;
    int64_t largeDeltaBlobCountInUpperImpactZone = 0;
    std::vector<VelPhotorealismFrameReportV1310> frameReports;  // pre, impact, post
    std::vector<std::string> violations;
    bool passed = false;
    bool operator==(const VelTemporalRealismReportV1310&) const = default;

    pk::json::Json toJson() const;
    static VelTemporalRealismReportV1310 fromJson(const pk::json::Json& j);
};

struct VelVisualPhotorealismAuditorV1310 {
    VelVisualPhotorealismAuditorV1310() = delete;

    static VelPhotorealismFrameReportV1310 auditFrame(const pk::image::RgbaImage& cgImage,
                                                      const std::string& imageName);
    // Empty when the file cannot be decoded.
    static std::optional<VelPhotorealismFrameReportV1310> auditPNG(const std::filesystem::path& url);
    static VelTemporalRealismReportV1310 auditTemporalSequence(const pk::image::RgbaImage& preFrame,
                                                              const pk::image::RgbaImage& impactFrame,
                                                              const pk::image::RgbaImage& postFrame,
                                                              const std::string& sequenceLabel);

    // Feature-print distance (0 for identical pictures); 0.15 when either image has no
    // print (no pixels).
    static float featurePrintDistance(const pk::image::RgbaImage& a, const pk::image::RgbaImage& b);
    // Connected regions of at least 114 strongly changed cells in the upper half of
    // 96 x 54 thumbnails of the two frames.
    static int64_t largeDeltaBlobCount(const pk::image::RgbaImage& a, const pk::image::RgbaImage& b);
};

}  // namespace assetio
