#pragma once
// PLY, ascii and binary in either byte order: the vertex element (positions, and normals,
// colours and texture coordinates where present), face lists of any size as
// triangles (Triangulate.h), and triangle strips (-1 restarts the strip). Whole or nothing: any count, length
// or index that does not fit the file refuses it.
#include <cstdint>
#include <optional>
#include <span>

#include "PlatformKit/ModelImport/ModelImport.h"

namespace pk::modelimport {

// Throws Malformed with the reason.
Model parsePly(std::span<const uint8_t> bytes, const ImportOptions& options = {});
// None on refusal, the reason in the debug log.
std::optional<Model> readPly(std::span<const uint8_t> bytes, const ImportOptions& options = {});

}  // namespace pk::modelimport
