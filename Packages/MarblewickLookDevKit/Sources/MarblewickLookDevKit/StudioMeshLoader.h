#pragma once
// The two mesh file readers as pure CPU steps: hero mesh files ("MWMS" v2) and model
// files through PlatformKit ModelImport. Both end in mesh finishing; uploading the
// result is LoadedStudioMesh's job.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>

#include "MarblewickLookDevKit/StudioMeshes.h"
#include "PlatformKit/ModelImport/ModelImport.h"

namespace lookdev {

inline constexpr const char* kMWMeshFormatLabel = "MWMS v2 Binary Meshlets";

// A hero mesh file's bytes: unit normals (a zero normal becomes straight up), each
// vertex numbered by the last meshlet that references it, no smooth-normal pass.
std::optional<StudioMeshData> decodeMWMeshV2(std::span<const uint8_t> bytes, std::string name);
// The file read whole; the name is the file name without its extension.
std::optional<StudioMeshData> readMWMeshV2(const std::filesystem::path& url);

// A model's geometry plus the first base-colour texture its triangle submeshes name
// (decoding it is left to the upload step, which may find it unreadable and move on).
struct StudioModelData {
    StudioMeshData mesh;
    // Every texture in submesh order, so a caller can fall back to the next one.
    std::vector<pk::modelimport::TextureReference> textureCandidates;
};

// Meshes of an imported model turned into one studio mesh; none without any triangle.
// A model that cannot be the whole file (an index at or beyond its mesh, more
// vertices than 32-bit indices reach) gives none.
std::optional<StudioModelData> convertImportedModel(const pk::modelimport::Model& model, std::string name,
                                                    std::string formatLabel, int64_t fileSizeBytes,
                                                    bool hasEmbeddedTexture);
std::optional<StudioModelData> readModelFile(const std::filesystem::path& url);

}  // namespace lookdev
