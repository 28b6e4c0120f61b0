#pragma once
// USD models, read by our own code: usdz packages, and usda and usdc layers on their
// own. Every Mesh prim under the layer's default prim (or the root when there is none)
// becomes one mesh in world space: its composed transform applied, then the stage's
// metersPerUnit (to metres) and upAxis (Z-up turned Y-up). Polygons are split as the
// other readers split them (Triangulate.h; holes, faces of fewer than three corners and
// triangles that repeat a point skipped); texture paths written with backslashes
// resolve as with forward slashes; normals and the
// first texture-coordinate primvar keep their interpolation, face-varying and uniform
// values giving corners vertices of their own until equal ones are joined again. Each
// mesh's bound material (on the mesh, an ancestor or its first bound subset) is one
// Material whose base-colour texture is the image its preview surface's diffuseColor
// reads through a UsdUVTexture.
//
// Only the root layer is read: sublayers, references, payloads, variants, instancing,
// time samples, skinning and subdivision are not applied.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "PlatformKit/ModelImport/ModelImport.h"
#include "PlatformKit/ModelImport/UsdLayer.h"

namespace pk::modelimport {

enum class UsdFormat { usdz, usda, usdc };

// The format a file name says, .usd sniffed from its first bytes; none for other names.
std::optional<UsdFormat> usdFormatOf(const std::filesystem::path& path, std::span<const uint8_t> bytes);
bool isUsdFile(const std::filesystem::path& path);

// A model from bytes; a loose layer's textures resolve as files against `folder`. Throws
// Malformed (with the check and where) when any part is malformed: a bad package, a
// layer that does not parse, an index beyond the points, counts that disagree, values
// that are not finite.
Model parseUsdBytes(std::span<const uint8_t> bytes, UsdFormat format, const ImportOptions& options = {},
                    const std::filesystem::path& folder = {});
// The same, none on refusal with the reason in the debug log.
std::optional<Model> importUsdBytes(std::span<const uint8_t> bytes, UsdFormat format,
                                    const ImportOptions& options = {}, const std::filesystem::path& folder = {});

// The meshes and materials of one read layer; `texture` turns an authored asset path
// into a texture (none when it names nothing usable).
using UsdTextureResolver = std::function<std::optional<TextureReference>(const std::string& assetPath)>;
Model parseUsdModel(const UsdLayer& layer, const UsdTextureResolver& texture, const ImportOptions& options = {});
std::optional<Model> buildUsdModel(const UsdLayer& layer, const UsdTextureResolver& texture,
                                   const ImportOptions& options = {});

}  // namespace pk::modelimport
