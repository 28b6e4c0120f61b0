// Any bytes, decoded with a few output capacities and into a growing sink: no crash, no
// hang, no overrun; a growing decode that succeeds makes exactly what the block headers
// declare and agrees with the one-shot decoder.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "PlatformKit/Compression/Lzfse.h"

namespace {

// Grows exactly as asked, up to a cap that keeps the fuzzer within its memory limit.
class CappedSink final : public pk::compression::DecodeSink {
public:
    uint8_t* reserve(uint64_t total) override {
        if (total > kCap) return nullptr;
        bytes.resize(static_cast<size_t>(total));
        return bytes.data();
    }
    static constexpr uint64_t kCap = uint64_t(64) << 20;
    std::vector<uint8_t> bytes;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static std::vector<uint8_t> out(1 << 20);
    const size_t caps[] = {0, 1, 64, 4096, out.size()};
    for (size_t cap : caps) {
        const size_t n = pk::compression::lzfseDecodeBuffer(std::span<uint8_t>(out.data(), cap), {data, size});
        if (n > cap) __builtin_trap();
    }
    const auto declared = pk::compression::lzfseDecodedSize({data, size});
    CappedSink sink;
    const size_t n = pk::compression::lzfseDecodeInto(sink, {data, size}, CappedSink::kCap);
    if (n > 0) {
        if (!declared || *declared != n || sink.bytes.size() != n) __builtin_trap();
        if (n <= out.size()) {
            if (pk::compression::lzfseDecodeBuffer(std::span<uint8_t>(out.data(), n), {data, size}) != n) __builtin_trap();
            if (std::memcmp(out.data(), sink.bytes.data(), n) != 0) __builtin_trap();
        }
    }
    return 0;
}
