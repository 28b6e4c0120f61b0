#pragma once
// The binary form of a USD layer ("PXR-USDC" crate files, versions 0.7 to 0.10): the
// table of contents and its structural sections (tokens, strings, fields, field sets,
// the path tree and the specs) with their LZ4 framing and integer coding, and the
// values of the kinds the mesh reader uses, inlined or stored elsewhere in the file,
// arrays included (compressed integer and float arrays too). Every offset, count and
// decompressed size is checked against the file before it is used, and what the file
// can make the reader decode in all is capped; any fault refuses the whole layer.
#include <cstdint>
#include <optional>
#include <span>

#include "PlatformKit/ModelImport/UsdLayer.h"

namespace pk::modelimport {

// Throws Malformed with the reason and the section it was found in.
UsdLayer parseUsdc(std::span<const uint8_t> bytes);
// None on refusal, the reason in the debug log.
std::optional<UsdLayer> readUsdc(std::span<const uint8_t> bytes);

// True when the bytes begin with the crate magic.
bool isUsdc(std::span<const uint8_t> bytes);

}  // namespace pk::modelimport
