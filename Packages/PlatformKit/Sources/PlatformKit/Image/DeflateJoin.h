#pragma once
// Raw deflate streams, compressed separately (on threads of their own), joined into one.
// A whole-buffer compressor always ends its output with a final block, so joining
// needs to know where that block starts: the walker below reads the block structure
// (headers and Huffman symbols, no output) to find it. The join then clears the final
// bit and closes the part with an empty stored block, as a sync flush would, so the
// next part begins on a byte boundary.
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace pk::image::deflate {

struct StreamEnd {
    uint64_t finalBlockBit = 0;  // bit offset of the final block's BFINAL bit
    uint64_t endBit = 0;         // bit offset just past the final block
};

// Walks one raw deflate stream. Empty when the bytes do not hold one whole, well-formed
// stream (bad header or code, symbol past the end, no final block). Never reads out of
// bounds; every step consumes input, so it ends on any bytes.
std::optional<StreamEnd> findStreamEnd(std::span<const uint8_t> stream);

// Appends the stream, whose end `end` is, to `out` as a part that more parts follow:
// final bit cleared, closed with an empty stored block. `out` must end on a byte
// boundary (it does after every such part).
void appendOpenPart(std::vector<uint8_t>& out, std::span<const uint8_t> stream, const StreamEnd& end);

}  // namespace pk::image::deflate
