// Any bytes as a pack archive, in memory and as a file read at offsets: both readers give
// the same bytes or nothing, never a crash.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <span>
#include <string>

#include "MarblewickAssetIO/VelMWPakBinaryArchiveStreamerV1085.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using assetio::VelMWPakBinaryArchiveStreamerV1085;
    static const int fd = ::memfd_create("mwpak-fuzz", MFD_CLOEXEC);
    static const std::string path = "/proc/self/fd/" + std::to_string(fd);
    if (fd < 0 || ::ftruncate(fd, 0) != 0) __builtin_trap();
    if (size > 0 && ::pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) __builtin_trap();
    const std::span<const uint8_t> bytes(data, size);
    for (const char* name : {"a", "a.mwmesh"}) {
        const auto fromMemory = VelMWPakBinaryArchiveStreamerV1085::extractEntryData(name, bytes);
        const auto fromFile = VelMWPakBinaryArchiveStreamerV1085::extractEntryData(name, path);
        if (fromMemory != fromFile) __builtin_trap();
    }
    return 0;
}
