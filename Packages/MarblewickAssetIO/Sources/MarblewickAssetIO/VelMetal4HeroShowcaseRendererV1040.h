#pragma once
// Offscreen proof of the hero kit: loads the six canonical hero meshes, draws the ones
// that loaded on a lit studio floor from a fixed camera into a 1600 x 900 image, writes
// it as an opaque PNG and returns the audit of every hero that loaded. Carries its own
// small shading programs, independent of the viewport renderer.
#include <array>
#include <filesystem>
#include <memory>
#include <vector>

#include "MarblewickAssetIO/VelBlenderHeroKitCatalogV1040.h"
#include "PlatformKit/Math/Math.h"

namespace pk::gpu {
class Device;
class JobQueue;
class RenderPipeline;
class Texture;
}  // namespace pk::gpu

namespace assetio {

// The per-draw uniform block (binding 1 of both programs); column-major matrices.
struct HeroUniforms {
    pk::float4x4 mvp{1.0f};
    pk::float4x4 model{1.0f};
    pk::float4 camPos{0.0f};
    pk::float4 sunDir{0.0f};
};
static_assert(sizeof(HeroUniforms) == 160);

struct VelHeroPlacementV1040 {
    pk::float3 position;
    float rotationY;
    float scale;
};

class VelMetal4HeroShowcaseRendererV1040 {
public:
    static constexpr int kWidth = 1600;
    static constexpr int kHeight = 900;
    static constexpr std::array<float, 4> kClearColor = {0.04f, 0.06f, 0.11f, 1.0f};
    static const pk::float3 kEye, kTarget, kUp;
    static const pk::float4 kCamPos, kSunDir;
    // The n-th hero that loads takes row n, whatever its place in the canonical list.
    static const std::array<VelHeroPlacementV1040, 6> placements;

    // Compiles the programs and builds both pipelines; null when any step fails.
    static std::unique_ptr<VelMetal4HeroShowcaseRendererV1040> create(std::shared_ptr<pk::gpu::Device> device);

    const std::shared_ptr<pk::gpu::Device>& device() const { return device_; }
    // Work is submitted to the device's owner thread through this queue.
    const std::shared_ptr<pk::gpu::JobQueue>& commandQueue() const { return commandQueue_; }

    // Loads the kit from the bundle's resource folder, renders and writes the PNG to
    // `outputURL`; returns the audits of the heroes that loaded, in canonical order.
    // Never throws and does not report whether the image was written.
    std::vector<VelHeroKitAuditV1040> auditAndRenderShowcaseProof(const std::filesystem::path& outputURL) const;
    // The same with the kit looked up in another resource folder.
    std::vector<VelHeroKitAuditV1040> auditAndRenderShowcaseProof(const std::filesystem::path& outputURL,
                                                                  const std::filesystem::path& resourceFolder) const;

    // Right-handed view matrix; the camera looks down its -z.
    static pk::float4x4 makeLookAt(pk::float3 eye, pk::float3 target, pk::float3 up);
    // Clip depth 0 at the near plane and 1 at the far plane.
    static pk::float4x4 makePerspective(float fovDeg, float aspect, float near, float far);
    // Uniform scale, then rotation about Y, then translation.
    static pk::float4x4 makeTRS(pk::float3 pos, float rotY, float scale);

    // Reads an 8-bit colour texture back and writes it as an opaque PNG (alpha forced to
    // 255); false for an empty or non-8-bit texture, a failed readback or a failed write.
    static bool writeBGRA8TextureToPNG(pk::gpu::Device& device, const pk::gpu::Texture& texture,
                                       const std::filesystem::path& outputURL);

private:
    VelMetal4HeroShowcaseRendererV1040() = default;

    std::shared_ptr<pk::gpu::Device> device_;
    std::shared_ptr<pk::gpu::JobQueue> commandQueue_;
    // Depth test less-or-equal with writes on is part of each pipeline's state.
    std::shared_ptr<pk::gpu::RenderPipeline> pipeline_;
    std::shared_ptr<pk::gpu::RenderPipeline> floorPipeline_;
};

}  // namespace assetio
