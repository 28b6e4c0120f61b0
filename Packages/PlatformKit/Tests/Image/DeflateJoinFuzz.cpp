// libFuzzer target: any bytes through the deflate block walker, checked against zlib:
// a stream zlib reads to its end the walker must accept, ending in the same byte, and
// whatever it accepts must join without reaching past the input.
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "PlatformKit/Image/DeflateJoin.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto end = pk::image::deflate::findStreamEnd({data, size});
    if (end) {
        if (end->endBit > uint64_t(size) * 8 || end->finalBlockBit >= end->endBit) std::abort();
        std::vector<uint8_t> joined;
        pk::image::deflate::appendOpenPart(joined, {data, size}, *end);
    }

    z_stream s{};
    if (inflateInit2(&s, -15) != Z_OK) return 0;
    std::vector<uint8_t> out(1 << 16);
    s.next_in = const_cast<uint8_t*>(data);
    s.avail_in = unsigned(size);
    int r;
    do {
        s.next_out = out.data();
        s.avail_out = unsigned(out.size());
        r = inflate(&s, Z_NO_FLUSH);
    } while (r == Z_OK);
    const size_t consumed = size - s.avail_in;
    inflateEnd(&s);
    if (r == Z_STREAM_END && (!end || (end->endBit + 7) / 8 != consumed)) std::abort();
    return 0;
}
