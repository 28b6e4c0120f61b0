// Any bytes, decoded with a few output capacities: no crash, no hang, no overrun.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "PlatformKit/Compression/Lzfse.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static std::vector<uint8_t> out(1 << 20);
    const size_t caps[] = {0, 1, 64, 4096, out.size()};
    for (size_t cap : caps) {
        const size_t n = pk::compression::lzfseDecodeBuffer(std::span<uint8_t>(out.data(), cap), {data, size});
        if (n > cap) __builtin_trap();
    }
    return 0;
}
