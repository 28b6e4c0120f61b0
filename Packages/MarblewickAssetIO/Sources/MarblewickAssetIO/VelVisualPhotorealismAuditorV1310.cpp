#include "MarblewickAssetIO/VelVisualPhotorealismAuditorV1310.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "MarblewickAssetIO/RealismImageSampling.h"
#include "MarblewickAssetIO/RealismJson.h"
#include "PlatformKit/Foundation/Files.h"
#include "PlatformKit/Foundation/Numbers.h"
#include "PlatformKit/Vision/FeaturePrint.h"

namespace assetio {

using namespace pk::json;
using pk::image::RgbaImage;

namespace {

constexpr int kThumbWidth = 96, kThumbHeight = 54, kUpperRows = 27;
constexpr int kChangedCellThreshold = 88;
constexpr size_t kBlobMinCells = 114;

// Upper half of the 96 x 54 premultiplied thumbnail, each cell the average of the
// source pixels it covers (the nearest pixel where the source is smaller). Rows beyond
// the upper half are never compared, so they are not made.
std::array<uint8_t, kThumbWidth * kUpperRows * 3> upperThumbnail(const RgbaImage& img) {
    std::array<uint8_t, kThumbWidth * kUpperRows * 3> out{};
    if (!img.holdsPixels()) return out;
    const int64_t W = img.width, H = img.height;
    std::array<int64_t, kThumbWidth + 1> colStart{};
    for (int tx = 0; tx <= kThumbWidth; ++tx) colStart[tx] = tx * W / kThumbWidth;
    for (int ty = 0; ty < kUpperRows; ++ty) {
        const int64_t sy0 = std::min(ty * H / kThumbHeight, H - 1);
        const int64_t sy1 = std::max((ty + 1) * H / kThumbHeight, sy0 + 1);
        for (int tx = 0; tx < kThumbWidth; ++tx) {
            const int64_t sx0 = std::min(colStart[tx], W - 1);
            const int64_t sx1 = std::max(colStart[tx + 1], sx0 + 1);
            uint64_t s[3] = {0, 0, 0};
            for (int64_t y = sy0; y < sy1; ++y) {
                for (int64_t x = sx0; x < sx1; ++x) {
                    uint8_t p[3];
                    realism::premultipliedRGB(img, static_cast<int>(x), static_cast<int>(y), p);
                    s[0] += p[0];
                    s[1] += p[1];
                    s[2] += p[2];
                }
            }
            const uint64_t n = static_cast<uint64_t>((sy1 - sy0) * (sx1 - sx0));
            for (int c = 0; c < 3; ++c)
                out[(static_cast<size_t>(ty) * kThumbWidth + tx) * 3 + c] = static_cast<uint8_t>((s[c] + n / 2) / n);
        }
    }
    return out;
}

// 0.15 when either frame has no print (no pixels).
float distance(const std::optional<pk::vision::FeaturePrint>& a, const std::optional<pk::vision::FeaturePrint>& b) {
    if (!a || !b) return 0.15f;
    return pk::vision::featurePrintDistance(*a, *b);
}

}  // namespace

Json VelPhotorealismFrameReportV1310::toJson() const {
    Json j = Json::object();
    j["imageName"] = imageName;
    j["width"] = width;
    j["height"] = height;
    j["meanLuminance"] = doubleNumber(meanLuminance);
    j["dynamicRangeP95MinusP05"] = doubleNumber(dynamicRangeP95MinusP05);
    j["blownOutWhiteFraction"] = doubleNumber(blownOutWhiteFraction);
    j["crushedBlackFraction"] = doubleNumber(crushedBlackFraction);
    j["missingTextureMagentaFraction"] = doubleNumber(missingTextureMagentaFraction);
    j["microTextureGradientScore"] = doubleNumber(microTextureGradientScore);
    j["meanColorSaturation"] = doubleNumber(meanColorSaturation);
    j["violations"] = violations;
    j["passed"] = passed;
    return j;
}

VelPhotorealismFrameReportV1310 VelPhotorealismFrameReportV1310::fromJson(const Json& j) {
    requireObject(j, "VelPhotorealismFrameReportV1310");
    VelPhotorealismFrameReportV1310 r;
    r.imageName = readString(j, "imageName");
    r.width = readInteger<int64_t>(j, "width");
    r.height = readInteger<int64_t>(j, "height");
    r.meanLuminance = readDouble(j, "meanLuminance");
    r.dynamicRangeP95MinusP05 = readDouble(j, "dynamicRangeP95MinusP05");
    r.blownOutWhiteFraction = readDouble(j, "blownOutWhiteFraction");
    r.crushedBlackFraction = readDouble(j, "crushedBlackFraction");
    r.missingTextureMagentaFraction = readDouble(j, "missingTextureMagentaFraction");
    r.microTextureGradientScore = readDouble(j, "microTextureGradientScore");
    r.meanColorSaturation = readDouble(j, "meanColorSaturation");
    r.violations = readStringList(j, "violations");
    r.passed = readBool(j, "passed");
    return r;
}

Json VelTemporalRealismReportV1310::toJson() const {
    Json j = Json::object();
    j["featureDistancePreToImpact"] = floatNumber(featureDistancePreToImpact);
    j["featureDistanceImpactToPost"] = floatNumber(featureDistanceImpactToPost);
    j["largeDeltaBlobCountInUpperImpactZone"] = largeDeltaBlobCountInUpperImpactZone;
    j["frameReports"] = realism::recordList(frameReports);
    j["violations"] = violations;
    j["passed"] = passed;
    return j;
}

VelTemporalRealismReportV1310 VelTemporalRealismReportV1310::fromJson(const Json& j) {
    requireObject(j, "VelTemporalRealismReportV1310");
    VelTemporalRealismReportV1310 r;
    r.featureDistancePreToImpact = readFloat(j, "featureDistancePreToImpact");
    r.featureDistanceImpactToPost = readFloat(j, "featureDistanceImpactToPost");
    r.largeDeltaBlobCountInUpperImpactZone = readInteger<int64_t>(j, "largeDeltaBlobCountInUpperImpactZone");
    r.frameReports = readRecordList<VelPhotorealismFrameReportV1310>(j, "frameReports");
    r.violations = readStringList(j, "violations");
    r.passed = readBool(j, "passed");
    return r;
}

VelPhotorealismFrameReportV1310 VelVisualPhotorealismAuditorV1310::auditFrame(const RgbaImage& cgImage,
                                                                              const std::string& imageName) {
    const int64_t W = realism::imageWidth(cgImage), H = realism::imageHeight(cgImage);
    const bool readable = cgImage.holdsPixels();
    // About 240 samples across the shorter side, and at most about 4096 along the longer
    // one, so a long thin frame cannot ask for a huge grid. A frame without its rows reads
    // as zeros, and every statistic is a fraction of the grid, so 2 x 2 zeros say the same.
    const int64_t shorter = std::min(W, H);
    const int64_t s = std::max({int64_t{1}, shorter / 240, std::max(W, H) / 4096});
    const int64_t NR = readable ? std::max<int64_t>(H / s, 2) : 2;
    const int64_t NC = readable ? std::max<int64_t>(W / s, 2) : 2;

    std::vector<double> grid(static_cast<size_t>(NR * NC));
    double lumaSum = 0, saturationSum = 0;
    int64_t blown = 0, crushed = 0, magenta = 0;
    for (int64_t k = 0; k < NR; ++k) {
        for (int64_t m = 0; m < NC; ++m) {
            uint8_t p[3] = {0, 0, 0};
            if (readable)
                realism::premultipliedRGB(cgImage, static_cast<int>(std::min(s * m, W - 1)),
                                          static_cast<int>(std::min(s * k, H - 1)), p);
            const double R = p[0] / 255.0, G = p[1] / 255.0, B = p[2] / 255.0;
            const double L = realism::luma(R, G, B);
            grid[static_cast<size_t>(k * NC + m)] = L;
            lumaSum += L;
            const double mx = std::max({R, G, B}), mn = std::min({R, G, B});
            if (mx > 0.001) saturationSum += (mx - mn) / mx;
            if (R >= 0.98 && G >= 0.98 && B >= 0.98) ++blown;
            if (L <= 0.015) ++crushed;
            if (R >= 0.85 && G <= 0.15 && B >= 0.85) ++magenta;
        }
    }
    const double N = static_cast<double>(std::max<int64_t>(NR * NC, 1));

    VelPhotorealismFrameReportV1310 r;
    r.imageName = imageName;
    r.width = W;
    r.height = H;
    r.meanLuminance = lumaSum / N;
    r.blownOutWhiteFraction = static_cast<double>(blown) / N;
    r.crushedBlackFraction = static_cast<double>(crushed) / N;
    r.missingTextureMagentaFraction = static_cast<double>(magenta) / N;
    r.meanColorSaturation = saturationSum / N;

    std::vector<double> sorted = grid;
    std::sort(sorted.begin(), sorted.end());
    const size_t n = sorted.size();
    const double p05 = sorted[static_cast<size_t>(static_cast<double>(n - 1) * 0.05)];
    const double p95 = sorted[std::min(n - 1, static_cast<size_t>(static_cast<double>(n - 1) * 0.95))];
    r.dynamicRangeP95MinusP05 = p95 - p05;

    if (NR > 2) {
        double sum = 0;
        int64_t cells = 0;
        auto at = [&](int64_t k, int64_t m) { return grid[static_cast<size_t>(k * NC + m)]; };
        for (int64_t k = 1; k + 1 < NR; ++k) {
            for (int64_t m = 1; m + 1 < NC; ++m) {
                const double TL = at(k - 1, m - 1), TM = at(k - 1, m), TR = at(k - 1, m + 1);
                const double ML = at(k, m - 1), MR = at(k, m + 1);
                const double BL = at(k + 1, m - 1), BM = at(k + 1, m), BR = at(k + 1, m + 1);
                const double gx = (TR + 2 * MR + BR) - (TL + 2 * ML + BL);
                const double gy = (BL + 2 * BM + BR) - (TL + 2 * TM + TR);
                sum += std::sqrt(gx * gx + gy * gy) * 0.25;
                ++cells;
            }
        }
        r.microTextureGradientScore = sum / static_cast<double>(cells < 2 ? 1 : cells);
    }

    auto& v = r.violations;
    if (r.blownOutWhiteFraction > 0.05)
        v.push_back("HIGHLIGHT_BLOWOUT_" + pk::formatFinite("%.1f", r.blownOutWhiteFraction * 100) + "PCT");
    if (r.meanLuminance > 0.72) v.push_back("OVEREXPOSED_WASHED_OUT_FRAME_LUMA_" + pk::formatFinite("%.2f", r.meanLuminance));
    if (r.crushedBlackFraction > 0.8)
        v.push_back("CRUSHED_BLACK_OR_BLANK_FRAME_" + pk::formatFinite("%.1f", r.crushedBlackFraction * 100) + "PCT");
    if (r.dynamicRangeP95MinusP05 < 0.24)
        v.push_back("FLAT_DYNAMIC_RANGE_" + pk::formatFinite("%.2f", r.dynamicRangeP95MinusP05));
    if (r.missingTextureMagentaFraction > 0.02)
        v.push_back("MISSING_TEXTURE_MAGENTA_SHADER_FAULT_" +
                    pk::formatFinite("%.1f", r.missingTextureMagentaFraction * 100) + "PCT");
    if (r.microTextureGradientScore < 0.022)
        v.push_back("FLAT_UNTEXTURED_POLYGONS_GRADIENT_" + pk::formatFinite("%.4f", r.microTextureGradientScore));
    r.passed = v.empty();
    return r;
}

std::optional<VelPhotorealismFrameReportV1310> VelVisualPhotorealismAuditorV1310::auditPNG(
    const std::filesystem::path& url) {
    auto image = pk::image::decodeFile(url, kRealismAuditMaxPixels);
    if (!image) return std::nullopt;
    return auditFrame(*image, pk::lastComponent(url));
}

float VelVisualPhotorealismAuditorV1310::featurePrintDistance(const RgbaImage& a, const RgbaImage& b) {
    return distance(pk::vision::featurePrint(a), pk::vision::featurePrint(b));
}

int64_t VelVisualPhotorealismAuditorV1310::largeDeltaBlobCount(const RgbaImage& a, const RgbaImage& b) {
    const auto ta = upperThumbnail(a), tb = upperThumbnail(b);
    constexpr int cells = kThumbWidth * kUpperRows;
    std::array<bool, cells> changed{}, visited{};
    for (int i = 0; i < cells; ++i) {
        int delta = 0;
        for (int c = 0; c < 3; ++c) delta += std::abs(int(ta[i * 3 + c]) - int(tb[i * 3 + c]));
        changed[i] = delta > kChangedCellThreshold;
    }
    int64_t blobs = 0;
    std::vector<int> stack;
    stack.reserve(cells);
    for (int start = 0; start < cells; ++start) {
        if (!changed[start] || visited[start]) continue;
        size_t size = 0;
        visited[start] = true;
        stack.push_back(start);
        while (!stack.empty()) {
            const int i = stack.back();
            stack.pop_back();
            ++size;
            const int x = i % kThumbWidth, y = i / kThumbWidth;
            const int neighbours[4][2] = {{x - 1, y}, {x + 1, y}, {x, y - 1}, {x, y + 1}};
            for (const auto& nb : neighbours) {
                if (nb[0] < 0 || nb[0] >= kThumbWidth || nb[1] < 0 || nb[1] >= kUpperRows) continue;
                const int j = nb[1] * kThumbWidth + nb[0];
                if (changed[j] && !visited[j]) {
                    visited[j] = true;
                    stack.push_back(j);
                }
            }
        }
        if (size >= kBlobMinCells) ++blobs;
    }
    return blobs;
}

VelTemporalRealismReportV1310 VelVisualPhotorealismAuditorV1310::auditTemporalSequence(
    const RgbaImage& preFrame, const RgbaImage& impactFrame, const RgbaImage& postFrame,
    const std::string& sequenceLabel) {
    VelTemporalRealismReportV1310 r;
    r.frameReports = {auditFrame(preFrame, sequenceLabel + "_T0_pre"),
                      auditFrame(impactFrame, sequenceLabel + "_T1_impact"),
                      auditFrame(postFrame, sequenceLabel + "_T2_post")};
    // Each frame's print is made once; the impact frame's serves both distances.
    const auto prePrint = pk::vision::featurePrint(preFrame);
    const auto impactPrint = pk::vision::featurePrint(impactFrame);
    const auto postPrint = pk::vision::featurePrint(postFrame);
    const float d01 = distance(prePrint, impactPrint);
    const float d12 = distance(impactPrint, postPrint);
    const int64_t blobs = largeDeltaBlobCount(preFrame, impactFrame);
    r.featureDistancePreToImpact = d01;
    r.featureDistanceImpactToPost = d12;
    r.largeDeltaBlobCountInUpperImpactZone = blobs;

    auto& v = r.violations;
    for (const auto& f : r.frameReports) {
        if (f.passed) continue;
        std::string joined;
        for (size_t i = 0; i < f.violations.size(); ++i) joined += (i ? "," : "") + f.violations[i];
        v.push_back(f.imageName + ": " + joined);
    }
    if (d01 < 0.005f) v.push_back("FROZEN_IMPACT_FRAME_NO_VISUAL_CHANGE_D01_" + pk::formatFinite("%.4f", d01));
    if (d01 > 1.35f) v.push_back("TEMPORAL_DISCONTINUITY_OR_CORRUPTION_D01_" + pk::formatFinite("%.3f", d01));
    if (d12 < 0.005f) v.push_back("FROZEN_POST_FRAME_NO_PHYSICS_SETTLE_D12_" + pk::formatFinite("%.4f", d12));
    if (blobs > 3) v.push_back("SUSPICIOUS_DUPLICATE_LARGE_SILHOUETTE_CLUSTER_BLOBS_" + std::to_string(blobs));
    r.passed = v.empty();
    return r;
}

}  // namespace assetio
