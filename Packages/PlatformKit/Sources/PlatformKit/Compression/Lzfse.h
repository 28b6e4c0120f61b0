#pragma once
// LZFSE streams, one buffer at a time: our own encoder and decoder of the block format
// ("bvx-" raw, "bvxn" LZVN, "bvx1"/"bvx2" FSE-coded, "bvx$" end), so archives written here
// read elsewhere and the other way round.
#include <cstddef>
#include <cstdint>
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

// Decodes a stream into `dst` and returns the bytes written. A stream that would produce
// more than dst.size() bytes is cut there (the result is then dst.size()). Any malformed,
// truncated or unterminated stream gives 0. Never reads outside `src`, never writes
// outside `dst`, and allocates only a fixed scratch area.
size_t lzfseDecodeBuffer(std::span<uint8_t> dst, std::span<const uint8_t> src);

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
