#pragma once
// A synthesized material: the recipe it was made from and its four GPU maps.
#include <memory>

#include "MarblewickLookDevKit/PBRMaterialParameters.h"
#include "PlatformKit/Gpu/Resources.h"

namespace lookdev {

struct SynthesizedPBRPack {
    // As requested: `resolution` is kept even when the maps were clamped; a photo pack
    // carries the photo's name in `sourcePhotoName`.
    PBRMaterialParameters parameters;
    // Square RGBA8 maps (shared references; the last copy of the pack releases them).
    std::shared_ptr<pk::gpu::Texture> albedo;
    std::shared_ptr<pk::gpu::Texture> normal;    // tangent-space vector mapped to 0..1
    std::shared_ptr<pk::gpu::Texture> orm;       // R ambient occlusion, G roughness, B metalness
    std::shared_ptr<pk::gpu::Texture> emissive;
    double synthesisMs = 0;  // GPU time of the dispatch, rounded to two decimals

    bool operator==(const SynthesizedPBRPack&) const = default;
};

}  // namespace lookdev
