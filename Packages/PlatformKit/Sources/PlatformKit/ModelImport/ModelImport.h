#pragma once
// Model import (obj with mtl, stl, ply, and whatever else the importer reads) into plain
// meshes in their own coordinates: no node transforms are applied. Built on Assimp 5.2;
// usdz, usda and usdc files go to our own USD reader (UsdStage.h), which places its
// meshes in world space.
//
// A mesh is one node of the file's hierarchy with its vertex arrays; its faces are
// grouped into submeshes by material and geometry type. Polygons are triangulated;
// lines and points stay as they are, for the caller to skip.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "PlatformKit/Math/Math.h"

namespace pk::modelimport {

enum class GeometryType { points, lines, triangles };

// Where a material's image comes from: a file (resolved against the model's folder),
// encoded bytes embedded in the model (png, jpg, ... named by formatHint), or raw
// embedded texels (RGBA8, rows top first).
struct TextureReference {
    std::filesystem::path file;
    std::vector<uint8_t> encoded;
    std::string formatHint;
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgba;

    bool isFile() const { return !file.empty(); }
    bool isEncoded() const { return !encoded.empty(); }
    bool isRaw() const { return !rgba.empty(); }
};

struct Material {
    std::string name;
    // The base-colour image (a PBR base colour, else the diffuse map).
    std::optional<TextureReference> baseColorTexture;
};

struct Submesh {
    GeometryType geometryType = GeometryType::triangles;
    uint32_t materialIndex = 0;
    // Indices into the mesh's vertex arrays, as the file gives them.
    std::vector<uint32_t> indices;
};

struct Mesh {
    std::string name;
    std::vector<pk::float3> positions;
    // Same length as positions, or empty when the file has none and none could be
    // generated (line and point meshes). Zero where one part of a merged node had none.
    std::vector<pk::float3> normals;
    // Same length as positions, or empty without texture coordinates (first channel).
    std::vector<pk::float2> textureCoordinates;
    std::vector<Submesh> submeshes;
};

struct Model {
    std::vector<Mesh> meshes;  // depth-first order of the hierarchy
    std::vector<Material> materials;
};

struct ImportOptions {
    // Normals are generated for meshes that lack them, smoothing across an edge while
    // the cosine of the angle between its faces is at least this value.
    float normalCreaseThreshold = 0.45f;
};

// None when the file cannot be read or parsed. Faces that name a vertex beyond their
// mesh are dropped before any processing.
std::optional<Model> importModel(const std::filesystem::path& path, const ImportOptions& options = {});

}  // namespace pk::modelimport
