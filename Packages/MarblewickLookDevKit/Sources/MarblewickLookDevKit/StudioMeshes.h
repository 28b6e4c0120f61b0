#pragma once
// Mesh finishing (bounds, grounding audit, normalisation) and the three procedural
// meshes the studio ships with. Everything here is plain CPU data; the GPU upload is a
// separate step (LoadedStudioMesh.h), so geometry and audit are testable without a GPU.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "MarblewickLookDevKit/StudioAssetItem.h"
#include "MarblewickLookDevKit/StudioVertex.h"

namespace lookdev {

// A finished mesh before upload: what LoadedStudioMesh holds besides its GPU objects.
struct StudioMeshData {
    std::vector<StudioVertex> rawVertices;
    std::vector<uint32_t> rawIndices;
    AssetAuditSummary audit;
    pk::float3 centerOffset{0.0f};
    float normalizationScale = 1;
    float normalizedRadius = 0.35f;
};

// The largest extent of a finished mesh is scaled to this many units.
inline constexpr float kStudioMeshTargetExtent = 1.78f;

// None when either list is empty.
std::optional<StudioMeshData> finishStudioMeshData(std::vector<StudioVertex> vertices, std::vector<uint32_t> indices,
                                                   std::string name, std::string formatLabel, int64_t meshletCount,
                                                   int64_t fileSizeBytes, bool hasEmbeddedTexture);

// Area-weighted smooth normals over whole, in-range triangles. Each new normal is turned
// to agree with the vertex's previous normal, so the builders' outward normals keep
// their side whatever the winding of the triangles.
void recomputeSmoothNormals(std::vector<StudioVertex>& vertices, const std::vector<uint32_t>& indices);

// The procedural meshes (exact vertex and index orders: the OBJ export relies on them).
StudioMeshData shaderBallMeshData();
StudioMeshData roundedCubeMeshData();
StudioMeshData torusKnotMeshData();

}  // namespace lookdev
