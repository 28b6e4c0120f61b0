#include "KestreluneStudio/Window/StudioInspectorTexts.h"

#include <algorithm>
#include <cmath>

#include "KestreluneStudio/StudioTexts.h"
#include "PlatformKit/Foundation/Numbers.h"

namespace kestrelune::inspector {

std::string progressPercent(double fraction) {
    if (!std::isfinite(fraction)) return "--";
    const double clamped = std::clamp(fraction, 0.0, 1.0);
    return pk::formatC("%lld", static_cast<long long>(pk::truncToInt64(clamped * 100.0)));
}

std::string exportProgressText(const std::string& label, double fraction) {
    return label + " " + progressPercent(fraction) + "%";
}

ValueRows auditRows(const lookdev::AssetAuditSummary& a) {
    return {
        {"Format", a.formatLabel},
        {"Vertices", pk::groupDigits(a.vertexCount)},
        {"Triangles", pk::groupDigits(a.triangleCount)},
        {"Meshlets", pk::formatC("%lld", static_cast<long long>(a.meshletCount))},
        {"Floor Grounding", pk::formatC("Y = %.3f m (%s)", double(a.minY), a.groundedOK ? "PASS" : "OFFSET")},
        {"Embedded Map", a.hasEmbeddedTexture ? "Preserved" : "Vertex PBR"},
        {"Dimensions", pk::formatC("%.2f \u00D7 %.2f \u00D7 %.2f m", double(a.boundsSize.x), double(a.boundsSize.y),
                                   double(a.boundsSize.z))},
    };
}

ValueRows archiveReceiptRows(const assetio::VelMWPakStreamReceiptV1085& r) {
    return {
        {"Packed Assets", pk::formatC("%lld", static_cast<long long>(r.entryCount))},
        {"LZFSE Reduction", compressionReductionText(r.compressionSavingsPct)},
        {"SHA-256 Check", r.allSHA256Verified ? "Verified" : "Failed"},
        {"GPU Direct I/O", pk::formatC("%.0f MB/s (%.2f ms)", r.mtlIOBandwidthMBps, r.mtlIOLatencyMs)},
    };
}

}  // namespace kestrelune::inspector
