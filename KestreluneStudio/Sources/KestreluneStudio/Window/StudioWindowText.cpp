#include "KestreluneStudio/Window/StudioWindowText.h"

#include <cmath>

#include "PlatformKit/Foundation/Numbers.h"

namespace kestrelune {

std::string framesPerSecondText(double fps) {
    // Converting a NaN or infinite double to an integer is undefined; show no number.
    if (!std::isfinite(fps)) return "-- FPS";
    return pk::formatC("%lld FPS", static_cast<long long>(pk::saturatingInt64(pk::roundHalfAway(fps))));
}

std::string triangleCountText(int64_t triangles) { return pk::groupDigits(triangles) + " tris"; }

std::string meshletCountText(int64_t meshlets) {
    return pk::formatC("%lld meshlets", static_cast<long long>(meshlets));
}

std::string lensChipText(creator::VelCinemaLensMMV950 lens) {
    return pk::formatC("%lldmm", static_cast<long long>(pk::saturatingInt64(lens.rawValue())));
}

std::string mapReadoutText(int64_t resolution, double synthesisMs) {
    return pk::formatC("%lld\u00B2 \u00B7 %.1f ms GPU", static_cast<long long>(resolution), synthesisMs);
}

std::string mapStripTitle(const lookdev::PBRMaterialParameters& params) {
    if (params.sourcePhotoName) return *params.sourcePhotoName;
    return params.preset.title();
}

std::string shadingModeLabel(lookdev::ViewportShadingMode mode) {
    switch (mode) {
        case lookdev::ViewportShadingMode::beautyPBR: return "Beauty PBR";
        case lookdev::ViewportShadingMode::albedoOnly: return "Albedo";
        case lookdev::ViewportShadingMode::worldNormals: return "Normals";
        case lookdev::ViewportShadingMode::roughnessMetal: return "ORM";
        case lookdev::ViewportShadingMode::meshletClusters: return "Meshlets";
        case lookdev::ViewportShadingMode::studioClay: return "Clay";
    }
    return "Beauty PBR";
}

std::string assetKindSymbol(const lookdev::StudioAssetItem::SourceKind& kind) {
    using K = lookdev::StudioAssetItem::SourceKind;
    if (kind.is<K::MwmeshFile>()) return "shippingbox.fill";
    if (kind.is<K::ExternalModel>()) return "doc.badge.plus";
    if (kind.is<K::BuiltinShaderBall>()) return "circle.hexagongrid.fill";
    if (kind.is<K::BuiltinRoundedCube>()) return "cube.fill";
    return "infinity";
}

}  // namespace kestrelune
