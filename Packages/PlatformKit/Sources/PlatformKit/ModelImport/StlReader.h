#pragma once
// STL, binary (80-byte header, facet count, 50-byte facets) and ascii (one mesh per
// solid; a file may end without its last endsolid). Facet normals become the normals of
// their three corners, as stored; a zero one takes its facet's geometric normal, and a
// file whose facet normals are all zero gets smooth normals as a file without any.
// Whole or nothing: a short binary file or an ascii facet that is not complete refuses
// the file.
#include <cstdint>
#include <optional>
#include <span>

#include "PlatformKit/ModelImport/ModelImport.h"

namespace pk::modelimport {

// Throws Malformed with the reason.
Model parseStl(std::span<const uint8_t> bytes, const ImportOptions& options = {});
// None on refusal, the reason in the debug log.
std::optional<Model> readStl(std::span<const uint8_t> bytes, const ImportOptions& options = {});

}  // namespace pk::modelimport
