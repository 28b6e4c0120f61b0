#pragma once
// The text form of a USD layer ("#usda 1.0"): prims with their types, metadata and
// children, and typed properties with their values, connections and targets. Variant
// sets, time samples, splines, dictionaries and values of types the mesh reader does
// not use are skipped with balanced brackets; anything that does not parse refuses the
// whole layer.
#include <optional>
#include <string_view>

#include "PlatformKit/ModelImport/UsdLayer.h"

namespace pk::modelimport {

// Throws Malformed with the reason and the byte it was found near.
UsdLayer parseUsda(std::string_view text);
// None on refusal, the reason in the debug log.
std::optional<UsdLayer> readUsda(std::string_view text);

}  // namespace pk::modelimport
