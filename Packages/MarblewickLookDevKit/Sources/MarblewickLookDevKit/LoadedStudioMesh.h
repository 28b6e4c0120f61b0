#pragma once
// A mesh ready to draw: its finished data plus the GPU vertex and index buffers (and the
// model's own base-colour texture, if it brought one). Shared between the interface and
// the draw thread, never changed after construction.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

#include "MarblewickLookDevKit/StudioAssetItem.h"
#include "MarblewickLookDevKit/StudioMeshes.h"
#include "MarblewickLookDevKit/StudioVertex.h"
#include "PlatformKit/ModelImport/ModelImport.h"

namespace pk::gpu {
class Buffer;
class Device;
class Texture;
}  // namespace pk::gpu
namespace pk::image {
struct RgbaImage;
}

namespace lookdev {

class LoadedStudioMesh {
public:
    LoadedStudioMesh(std::shared_ptr<pk::gpu::Buffer> vertexBuffer, std::shared_ptr<pk::gpu::Buffer> indexBuffer,
                     int64_t indexCount, AssetAuditSummary audit, pk::float3 centerOffset, float normalizationScale,
                     float normalizedRadius, std::vector<StudioVertex> rawVertices, std::vector<uint32_t> rawIndices,
                     std::shared_ptr<pk::gpu::Texture> embeddedDiffuseTexture)
        : vertexBuffer(std::move(vertexBuffer)),
          indexBuffer(std::move(indexBuffer)),
          indexCount(indexCount),
          audit(std::move(audit)),
          centerOffset(centerOffset),
          normalizationScale(normalizationScale),
          normalizedRadius(normalizedRadius),
          rawVertices(std::move(rawVertices)),
          rawIndices(std::move(rawIndices)),
          embeddedDiffuseTexture(std::move(embeddedDiffuseTexture)) {}

    const std::shared_ptr<pk::gpu::Buffer> vertexBuffer;  // 80 bytes per vertex
    const std::shared_ptr<pk::gpu::Buffer> indexBuffer;   // 32-bit triangle list
    const int64_t indexCount;
    const AssetAuditSummary audit;
    const pk::float3 centerOffset;
    const float normalizationScale;
    const float normalizedRadius;
    const std::vector<StudioVertex> rawVertices;
    const std::vector<uint32_t> rawIndices;
    const std::shared_ptr<pk::gpu::Texture> embeddedDiffuseTexture;
};

using StudioMeshHandle = std::shared_ptr<const LoadedStudioMesh>;

// Uploads finished data; null when a buffer cannot be made.
StudioMeshHandle uploadStudioMesh(StudioMeshData data, pk::gpu::Device& device,
                                  std::shared_ptr<pk::gpu::Texture> embeddedDiffuseTexture = nullptr);

StudioMeshHandle buildShaderBallMesh(pk::gpu::Device& device);
StudioMeshHandle buildRoundedCubeMesh(pk::gpu::Device& device);
StudioMeshHandle buildTorusKnotMesh(pk::gpu::Device& device);

StudioMeshHandle loadMWMeshV2(const std::filesystem::path& url, pk::gpu::Device& device);
StudioMeshHandle loadModelIO(const std::filesystem::path& url, pk::gpu::Device& device);
// By the item's kind: hero file, model file or one of the built-ins.
StudioMeshHandle loadAsset(const StudioAssetItem& item, pk::gpu::Device& device);

// The image stretched to its size clamped to 16..2048 on each side, premultiplied, as an
// RGBA8 shader-read texture; null when it cannot be made.
std::shared_ptr<pk::gpu::Texture> makeEmbeddedTexture(const pk::image::RgbaImage& image, pk::gpu::Device& device);
// The first candidate that decodes and uploads, in order; null when none does.
std::shared_ptr<pk::gpu::Texture> firstEmbeddedTexture(const std::vector<pk::modelimport::TextureReference>& candidates,
                                                       pk::gpu::Device& device);

}  // namespace lookdev
