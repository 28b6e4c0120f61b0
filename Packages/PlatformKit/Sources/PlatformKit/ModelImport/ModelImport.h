#pragma once
// Model import into plain meshes, with readers of our own: obj with mtl, stl and ply in
// their own coordinates, and usdz, usda and usdc through the USD reader (UsdStage.h),
// which places its meshes in world space. Every count, offset and index is checked
// before use, and a file that cannot be read whole is refused rather than returned in part.
//
// A mesh is one object of the file (an obj object or group, an stl solid, the ply
// vertex list) with its vertex arrays; its faces are grouped into submeshes by material
// and geometry type. Polygons are triangulated by one rule for every format
// (Triangulate.h); lines and points stay as they are, for the caller to skip.
//
// A refused file says why: the check that failed and where (Malformed.h).
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

// Model files of any format larger than this are refused before they are read.
inline constexpr uint64_t kMaxModelFileBytes = UINT64_C(1) << 30;
inline constexpr uint64_t kMaxMaterialLibraryBytes = UINT64_C(64) << 20;

// The model of an obj, stl, ply or USD file (by extension). Throws Malformed (a
// StudioError of kModelImportErrorDomain) naming the file and why when the extension
// has no reader, the file cannot be read or is past the cap, or it is not whole: a face
// naming a vertex the file lacks, a count the file cannot hold, a truncated body or a
// malformed number refuses the whole file.
Model readModel(const std::filesystem::path& path, const ImportOptions& options = {});

// The same, none on refusal; the reason goes to the debug log.
std::optional<Model> importModel(const std::filesystem::path& path, const ImportOptions& options = {});

}  // namespace pk::modelimport
