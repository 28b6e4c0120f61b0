#pragma once
// Wavefront OBJ with its MTL libraries: positions, texture coordinates and normals, faces
// (polygons split as Triangulate.h does), lines and points, objects and groups as
// meshes, lines continued by a trailing backslash, and each material's diffuse map.
// Whole or nothing: a face naming a vertex the file does not have, or a number that
// does not parse, refuses the file.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "PlatformKit/ModelImport/ModelImport.h"

namespace pk::modelimport {

// Reads a material library named by the model (as written in it); none when it is missing.
using MaterialLibraryReader = std::function<std::optional<std::string>(const std::string& name)>;

// Texture files are resolved against modelFolder. Throws Malformed with the reason.
Model parseObj(std::span<const uint8_t> bytes, const std::filesystem::path& modelFolder,
               const MaterialLibraryReader& readLibrary, const ImportOptions& options = {});
// None on refusal, the reason in the debug log.
std::optional<Model> readObj(std::span<const uint8_t> bytes, const std::filesystem::path& modelFolder,
                             const MaterialLibraryReader& readLibrary, const ImportOptions& options = {});

}  // namespace pk::modelimport
