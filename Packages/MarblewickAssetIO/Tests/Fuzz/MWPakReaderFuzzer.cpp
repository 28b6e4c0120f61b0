// Any bytes as a pack archive: the reader gives bytes or nothing, never a crash.
#include <cstdint>
#include <span>

#include "MarblewickAssetIO/VelMWPakBinaryArchiveStreamerV1085.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using assetio::VelMWPakBinaryArchiveStreamerV1085;
    const std::span<const uint8_t> bytes(data, size);
    (void)VelMWPakBinaryArchiveStreamerV1085::extractEntryData("a", bytes);
    (void)VelMWPakBinaryArchiveStreamerV1085::extractEntryData("a.mwmesh", bytes);
    return 0;
}
