#include "MarblewickLookDevKit/StudioMeshLoader.h"

#include <cmath>
#include <system_error>

#include "MarblewickAssetIO/MWMeshFormat.h"
#include "PlatformKit/Foundation/DebugLog.h"
#include "PlatformKit/Foundation/Files.h"
#include "PlatformKit/Foundation/Text.h"

namespace lookdev {

namespace {

constexpr const char* kLoaderLogArea = "StudioMeshLoader";

pk::float3 unitOrUp(pk::float3 n) {
    const float len = glm::length(n);
    return len > 0.001f ? n / len : pk::float3(0.0f, 1.0f, 0.0f);
}

}  // namespace

std::optional<StudioMeshData> decodeMWMeshV2(std::span<const uint8_t> bytes, std::string name) {
    const auto file = assetio::MWMeshFileView::parse(bytes);
    if (!file) return std::nullopt;
    const uint32_t vertexCount = file->vertexCount();
    std::vector<StudioVertex> vertices;
    vertices.reserve(vertexCount);
    for (uint32_t v = 0; v < vertexCount; ++v) {
        const auto f = file->vertexFloats(v);
        vertices.emplace_back(pk::float3(f[0], f[1], f[2]), unitOrUp(pk::float3(f[3], f[4], f[5])),
                              pk::float2(f[6], f[7]), pk::float3(f[8], f[9], f[10]), f[11], 0.0f);
    }
    std::vector<uint32_t> indices;
    indices.reserve(file->indexByteCount());
    const bool whole = file->forEachIndex([&](uint32_t meshlet, uint32_t global) {
        vertices[global].meshletID = static_cast<float>(meshlet);
        indices.push_back(global);
    }).has_value();
    if (!whole || indices.empty()) return std::nullopt;
    return finishStudioMeshData(std::move(vertices), std::move(indices), std::move(name), kMWMeshFormatLabel,
                                file->meshletCount(), static_cast<int64_t>(file->fileSize()), false);
}

std::optional<StudioMeshData> readMWMeshV2(const std::filesystem::path& url) {
    const auto bytes = pk::readFile(url);
    if (!bytes) return std::nullopt;
    return decodeMWMeshV2(*bytes, pk::stem(url));
}

std::optional<StudioModelData> convertImportedModel(const pk::modelimport::Model& model, std::string name,
                                                    std::string formatLabel, int64_t fileSizeBytes,
                                                    bool hasEmbeddedTexture) {
    using pk::modelimport::GeometryType;
    StudioModelData out;
    std::vector<StudioVertex> vertices;
    std::vector<uint32_t> indices;
    uint64_t vertexTotal = 0, indexTotal = 0;
    for (const auto& mesh : model.meshes) {
        vertexTotal += mesh.positions.size();
        for (const auto& sub : mesh.submeshes)
            if (sub.geometryType == GeometryType::triangles) indexTotal += sub.indices.size();
    }
    // Every index must stay addressable by 32 bits after rebasing; a model that cannot
    // is refused, not shown in part.
    if (vertexTotal > UINT32_MAX) {
        pk::debugLog(kLoaderLogArea, name + ": more vertices than 32-bit indices reach");
        return std::nullopt;
    }
    vertices.reserve(vertexTotal);
    indices.reserve(indexTotal);
    const pk::float3 color(0.76f, 0.78f, 0.80f);
    for (size_t n = 0; n < model.meshes.size(); ++n) {
        const auto& mesh = model.meshes[n];
        if (mesh.positions.empty()) continue;
        const uint64_t base = vertices.size();
        const uint64_t count = mesh.positions.size();
        const bool hasNormals = mesh.normals.size() == count;
        const bool hasUVs = mesh.textureCoordinates.size() == count;
        for (uint64_t v = 0; v < count; ++v) {
            const pk::float3 normal = hasNormals ? unitOrUp(mesh.normals[v]) : pk::float3(0.0f, 1.0f, 0.0f);
            const pk::float2 uv = hasUVs ? mesh.textureCoordinates[v] : pk::float2(0.0f);
            vertices.emplace_back(mesh.positions[v], normal, uv, color, 0.42f,
                                  static_cast<float>(n * 64 + v / 64));
        }
        for (const auto& sub : mesh.submeshes) {
            if (sub.geometryType != GeometryType::triangles) continue;
            if (sub.materialIndex < model.materials.size()) {
                if (const auto& tex = model.materials[sub.materialIndex].baseColorTexture)
                    out.textureCandidates.push_back(*tex);
            }
            for (uint32_t i : sub.indices) {
                // An index beyond the mesh means the import is not the whole file (and
                // would make the GPU read outside the vertex buffer).
                if (i >= count) {
                    pk::debugLog(kLoaderLogArea, name + ": mesh " + std::to_string(n) + " has index " +
                                                     std::to_string(i) + " beyond its " + std::to_string(count) +
                                                     " vertices");
                    return std::nullopt;
                }
                indices.push_back(static_cast<uint32_t>(base + i));
            }
        }
    }
    const int64_t meshletCount = indices.size() < 192 ? 1 : static_cast<int64_t>(indices.size() / 192);
    auto mesh = finishStudioMeshData(std::move(vertices), std::move(indices), std::move(name), std::move(formatLabel),
                                     meshletCount, fileSizeBytes, hasEmbeddedTexture);
    if (!mesh) return std::nullopt;
    out.mesh = std::move(*mesh);
    return out;
}

std::optional<StudioModelData> readModelFile(const std::filesystem::path& url) {
    const auto model = pk::modelimport::importModel(url);
    if (!model) return std::nullopt;
    std::error_code ec;
    const auto size = std::filesystem::file_size(url, ec);
    return convertImportedModel(*model, pk::stem(url), pk::toUpper(pk::lowerExtension(url)),
                                ec ? 0 : static_cast<int64_t>(size), false);
}

}  // namespace lookdev
