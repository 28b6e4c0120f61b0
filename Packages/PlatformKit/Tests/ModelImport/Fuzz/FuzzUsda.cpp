// A usda layer's text, read and built into meshes. No crash, no hang, no unbounded allocation.
#include <cstddef>
#include <cstdint>

#include "PlatformKit/ModelImport/UsdStage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    (void)pk::modelimport::importUsdBytes({data, size}, pk::modelimport::UsdFormat::usda);
    return 0;
}
