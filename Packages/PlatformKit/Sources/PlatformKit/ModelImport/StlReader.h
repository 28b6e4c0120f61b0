#pragma once
// STL, binary (80-byte header, facet count, 50-byte facets) and ascii (one mesh per
// solid). Facet normals become the normals of their three corners, as stored. Whole or
// nothing: a short binary file or an ascii facet that is not complete refuses the file.
#include <cstdint>
#include <optional>
#include <span>

#include "PlatformKit/ModelImport/ModelImport.h"

namespace pk::modelimport {

std::optional<Model> readStl(std::span<const uint8_t> bytes, const ImportOptions& options = {});

}  // namespace pk::modelimport
