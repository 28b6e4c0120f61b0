#include "MarblewickLookDevKit/LoadedStudioMesh.h"

#include <variant>

#include "MarblewickLookDevKit/StudioMeshLoader.h"
#include "PlatformKit/Foundation/StudioError.h"
#include "PlatformKit/Gpu/Device.h"

namespace lookdev {

StudioMeshHandle uploadStudioMesh(StudioMeshData data, pk::gpu::Device& device,
                                  std::shared_ptr<pk::gpu::Texture> embeddedDiffuseTexture) {
    if (data.rawVertices.empty() || data.rawIndices.empty()) return nullptr;
    std::shared_ptr<pk::gpu::Buffer> vertexBuffer, indexBuffer;
    try {
        vertexBuffer = device.makeBuffer({data.rawVertices.size() * sizeof(StudioVertex)}, data.rawVertices.data());
        indexBuffer = device.makeBuffer({data.rawIndices.size() * sizeof(uint32_t)}, data.rawIndices.data());
    } catch (const pk::StudioError&) {
        return nullptr;
    }
    if (!vertexBuffer || !indexBuffer) return nullptr;
    data.audit.hasEmbeddedTexture = embeddedDiffuseTexture != nullptr;
    const auto indexCount = static_cast<int64_t>(data.rawIndices.size());
    return std::make_shared<const LoadedStudioMesh>(std::move(vertexBuffer), std::move(indexBuffer), indexCount,
                                                    std::move(data.audit), data.centerOffset, data.normalizationScale,
                                                    data.normalizedRadius, std::move(data.rawVertices),
                                                    std::move(data.rawIndices), std::move(embeddedDiffuseTexture));
}

StudioMeshHandle buildShaderBallMesh(pk::gpu::Device& device) { return uploadStudioMesh(shaderBallMeshData(), device); }
StudioMeshHandle buildRoundedCubeMesh(pk::gpu::Device& device) {
    return uploadStudioMesh(roundedCubeMeshData(), device);
}
StudioMeshHandle buildTorusKnotMesh(pk::gpu::Device& device) { return uploadStudioMesh(torusKnotMeshData(), device); }

StudioMeshHandle loadMWMeshV2(const std::filesystem::path& url, pk::gpu::Device& device) {
    auto data = readMWMeshV2(url);
    if (!data) return nullptr;
    return uploadStudioMesh(std::move(*data), device);
}

StudioMeshHandle loadModelIO(const std::filesystem::path& url, pk::gpu::Device& device) {
    auto model = readModelFile(url);
    if (!model) return nullptr;
    auto texture = firstEmbeddedTexture(model->textureCandidates, device);
    return uploadStudioMesh(std::move(model->mesh), device, std::move(texture));
}

StudioMeshHandle loadAsset(const StudioAssetItem& item, pk::gpu::Device& device) {
    using K = StudioAssetItem::SourceKind;
    return std::visit(
        [&](const auto& kind) -> StudioMeshHandle {
            using T = std::decay_t<decltype(kind)>;
            if constexpr (std::is_same_v<T, K::MwmeshFile>) return loadMWMeshV2(kind.url, device);
            else if constexpr (std::is_same_v<T, K::ExternalModel>) return loadModelIO(kind.url, device);
            else if constexpr (std::is_same_v<T, K::BuiltinShaderBall>) return buildShaderBallMesh(device);
            else if constexpr (std::is_same_v<T, K::BuiltinRoundedCube>) return buildRoundedCubeMesh(device);
            else return buildTorusKnotMesh(device);
        },
        item.kind.value);
}

}  // namespace lookdev
