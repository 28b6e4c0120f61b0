// libFuzzer target: any bytes through the in-memory decoder, with a small pixel cap so
// hostile headers cannot make it allocate much.
#include <cstddef>
#include <cstdint>

#include "PlatformKit/Image/Image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto image = pk::image::decodeMemory({data, size}, uint64_t(4096) * 4096);
    if (image && !image->empty()) (void)pk::image::resized(*image, 7, 5);
    return 0;
}
