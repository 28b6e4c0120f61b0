#include <cstdint>
#include <cstdlib>

#include "MarblewickCreatorStudio/VelDeterministicReplayClipV1250.h"

using creator::VelDeterministicReplayClipV1250;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto clip = VelDeterministicReplayClipV1250::decodeCompactBinary({data, size}, "fuzz");
    if (!clip) return 0;
    auto again = VelDeterministicReplayClipV1250::decodeCompactBinary(clip->encodeCompactBinary(), "fuzz");
    if (!again || !(*again == *clip)) abort();
    return 0;
}
