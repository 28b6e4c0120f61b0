#pragma once
// LZFSE streams, one buffer at a time: our own encoder and decoder of the block format
// ("bvx-" raw, "bvxn" LZVN, "bvx1"/"bvx2" FSE-coded, "bvx$" end), so archives written here
// read elsewhere and the other way round.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace pk::compression {

// The algorithm number callers record for LZFSE blobs.
inline constexpr int kAlgorithmLZFSE = 0x801;

// Encodes `src` into `dst` as one complete stream and returns its length, or 0 when it
// does not fit. Block kinds follow the reference encoder: raw below 8 bytes, LZVN below
// 4096 bytes when that block is smaller than a raw one, FSE-coded blocks otherwise, and
// a raw block whenever the chosen kind does not fit. Working memory grows with the
// input, not with the largest table the format allows.
size_t lzfseEncodeBuffer(std::span<uint8_t> dst, std::span<const uint8_t> src);

// The most an encoded stream of n bytes can take: one raw block and the end marker. A
// destination of this size never makes the encoder fail for want of room.
inline constexpr uint64_t lzfseEncodeBound(uint64_t n) { return n + 12; }

// Decodes a stream into `dst` and returns the bytes written. A stream that would produce
// more than dst.size() bytes is cut there (the result is then dst.size()). Any malformed,
// truncated or unterminated stream gives 0. Never reads outside `src`, never writes
// outside `dst`, and allocates only a fixed scratch area.
size_t lzfseDecodeBuffer(std::span<uint8_t> dst, std::span<const uint8_t> src);

// What a stream says it decodes to, from its block headers alone: the sum of their raw
// sizes up to the end marker. Nothing when a header is cut off, a block runs past the
// input, the marker is missing, or a block claims more than its kind can make of its
// payload (a raw block its own bytes, an LZVN block 136 per payload byte, an FSE block its
// literals plus its matches at the longest match). Reads no payload, allocates nothing.
std::optional<uint64_t> lzfseDecodedSize(std::span<const uint8_t> src);

// Output that grows while a stream is decoded. reserve(total) returns a buffer holding at
// least `total` bytes whose first bytes are those written so far (it may move), or nullptr
// when it cannot grow. Only the bytes the decoder writes are ever read back, so a sink
// need not clear what it adds.
class DecodeSink {
public:
    virtual uint8_t* reserve(uint64_t total) = 0;

protected:
    ~DecodeSink() = default;
};

// Decodes a stream into a sink that is grown block by block to what each block declares,
// so memory follows what the stream really yields rather than what a caller expects.
// Stricter than lzfseDecodeBuffer: a stream that would pass `limit` bytes, or a block that
// makes other than its declared raw size, is refused (0) instead of cut.
size_t lzfseDecodeInto(DecodeSink& sink, std::span<const uint8_t> src, uint64_t limit);

namespace detail {
// Test hook: the same encoder writing uncompressed-table ("bvx1") headers, and a choice to
// skip the small-input paths so that FSE blocks are used for any size.
struct EncodeOptions {
    bool v1Headers = false;
    bool forceFse = false;
};
size_t lzfseEncodeBuffer(std::span<uint8_t> dst, std::span<const uint8_t> src, const EncodeOptions& options);
}  // namespace detail

}  // namespace pk::compression
