#pragma once
// The material synthesizer: four tileable maps (albedo, normal, ORM, emissive) made in
// one compute dispatch, from a preset recipe or from a photograph, plus readback of maps
// into images (previews, PNG files). Holds nothing mutable after creation; every call
// makes its own textures and waits for the GPU on the caller's thread (through the
// device's owner). Failures give no result, never an exception.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "MarblewickLookDevKit/PBRMapPreviews.h"
#include "MarblewickLookDevKit/PBRMaterialParameters.h"
#include "MarblewickLookDevKit/SynthesizedPBRPack.h"
#include "PlatformKit/Gpu/Device.h"
#include "PlatformKit/Image/Image.h"

namespace lookdev {

// The uniform block of both kernels, bound as inline bytes at binding 0.
struct GPUSynthUniforms {
    uint32_t presetID;
    uint32_t width;
    uint32_t height;
    float tilingScale;
    float reliefStrength;
    float roughnessBias;
    float metallicBias;
    float weathering;
    float emissiveGain;
    float seed;
    float tintR;
    float tintG;
    float tintB;
    float pad0;
};
static_assert(sizeof(GPUSynthUniforms) == 56);
static_assert(offsetof(GPUSynthUniforms, presetID) == 0);
static_assert(offsetof(GPUSynthUniforms, width) == 4);
static_assert(offsetof(GPUSynthUniforms, height) == 8);
static_assert(offsetof(GPUSynthUniforms, tilingScale) == 12);
static_assert(offsetof(GPUSynthUniforms, reliefStrength) == 16);
static_assert(offsetof(GPUSynthUniforms, roughnessBias) == 20);
static_assert(offsetof(GPUSynthUniforms, metallicBias) == 24);
static_assert(offsetof(GPUSynthUniforms, weathering) == 28);
static_assert(offsetof(GPUSynthUniforms, emissiveGain) == 32);
static_assert(offsetof(GPUSynthUniforms, seed) == 36);
static_assert(offsetof(GPUSynthUniforms, tintR) == 40);
static_assert(offsetof(GPUSynthUniforms, tintG) == 44);
static_assert(offsetof(GPUSynthUniforms, tintB) == 48);
static_assert(offsetof(GPUSynthUniforms, pad0) == 52);

class PBRMaterialForgeEngine {
public:
    // Compiles both kernels and runs each once, untimed, so that no later synthesisMs
    // includes first-use compilation. Null when any step fails.
    static std::shared_ptr<PBRMaterialForgeEngine> create(std::shared_ptr<pk::gpu::Device> device);

    const std::shared_ptr<pk::gpu::Device>& device() const { return device_; }

    // Maps carry their full mip chain, made once here from the synthesized level 0
    // (which previews and PNG files read); synthesisMs times the dispatch alone.
    std::optional<SynthesizedPBRPack> synthesize(const PBRMaterialParameters& parameters) const;
    // Decodes the photo (first image); none when it cannot be read. The pack's
    // sourcePhotoName is the file name without its extension.
    std::optional<SynthesizedPBRPack> synthesizeFromPhoto(const std::filesystem::path& imageURL,
                                                          const PBRMaterialParameters& parameters) const;
    // The image is stretched to its own size clamped to 64..2048 per side, premultiplied
    // as a bitmap draw would leave it, and sampled by the photo kernel. None for an image
    // whose bytes do not hold its pixels.
    std::optional<SynthesizedPBRPack> synthesizeFromCGImage(const pk::image::RgbaImage& image,
                                                            const std::string& sourceName,
                                                            const PBRMaterialParameters& parameters) const;

    // A map as an image (RGBA, row 0 at the top); with maxDimension below the larger
    // side it is downscaled (area filter) to truncate(side * maxDimension / larger),
    // at least 1. None when the texture cannot be read.
    static std::optional<pk::image::RgbaImage> makeCGImage(pk::gpu::Device& device, const pk::gpu::Texture& texture,
                                                           std::optional<int> maxDimension = std::nullopt);
    // makeCGImage of each map at `size`, but read from the smallest mip level that still
    // covers the preview, so a 4096 map costs a 256 readback. The maps' chains must be
    // built, as every synthesis leaves them.
    static PBRMapPreviews makePreviews(pk::gpu::Device& device, const SynthesizedPBRPack& pack, int size);
    // The full-size map as a PNG file, written atomically; false on any failure.
    static bool writePNG(pk::gpu::Device& device, const pk::gpu::Texture& texture, const std::filesystem::path& url);

    // Map side for a requested resolution (256..4096) and photo texture size (64..2048).
    static int mapSide(int64_t resolution);
    static int photoSide(int64_t side);

private:
    PBRMaterialForgeEngine() = default;
    std::optional<SynthesizedPBRPack> run(const PBRMaterialParameters& parameters,
                                          const pk::image::RgbaImage* photo) const;

    std::shared_ptr<pk::gpu::Device> device_;
    std::shared_ptr<pk::gpu::Program> synthPipeline_;
    std::shared_ptr<pk::gpu::Program> photoToPBRPipeline_;
    std::shared_ptr<pk::gpu::Sampler> photoSampler_;
};

}  // namespace lookdev
