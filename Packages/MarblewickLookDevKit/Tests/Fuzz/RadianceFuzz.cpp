// Any bytes must decode to an image or nothing, within the file's bounds.
#include <cstddef>
#include <cstdint>
#include <span>

#include "MarblewickLookDevKit/HDRIEnvironmentLoader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    (void)lookdev::HDRIEnvironmentLoader::decodeRadiance(std::span<const uint8_t>(data, size));
    return 0;
}
