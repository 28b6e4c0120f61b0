#include "PlatformKit/Image/DeflateJoin.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

namespace pk::image::deflate {

namespace {

// LSB-first bits of a byte span. peek() pads past the end with zeros; take() refuses to
// move past the end, so a truncated stream is caught where it runs out.
class BitReader {
public:
    explicit BitReader(std::span<const uint8_t> d) : d_(d), totalBits_(uint64_t(d.size()) * 8) {}

    uint64_t position() const { return pos_; }
    // Up to 25 bits from the current position.
    uint32_t peek(unsigned n) const {
        const uint64_t byte = pos_ >> 3;
        uint32_t v = 0;
        if (byte + 4 <= d_.size()) {
            std::memcpy(&v, d_.data() + byte, 4);  // little-endian host
        } else {
            for (uint64_t i = 0; byte + i < d_.size() && i < 4; ++i) v |= uint32_t(d_[byte + i]) << (8 * i);
        }
        v >>= (pos_ & 7);
        return n == 32 ? v : v & ((uint32_t(1) << n) - 1);
    }
    bool skip(unsigned n) {
        if (n > totalBits_ - pos_) return false;
        pos_ += n;
        return true;
    }
    bool take(unsigned n, uint32_t& out) {
        out = peek(n);
        return skip(n);
    }
    bool alignToByte() { return skip(unsigned((8 - (pos_ & 7)) & 7)); }

private:
    std::span<const uint8_t> d_;
    uint64_t totalBits_;
    uint64_t pos_ = 0;
};

constexpr unsigned kMaxCodeBits = 15;

// A canonical Huffman code as a direct lookup table of `bits` bits: each entry is the
// symbol << 4 | its code length, 0 for a bit pattern no code starts with.
struct HuffmanTable {
    unsigned bits = 0;
    std::array<uint16_t, size_t(1) << kMaxCodeBits> entries{};

    // False for an over-subscribed set of lengths or one without any code. An
    // incomplete code is allowed (deflate uses one for a single distance code).
    bool build(const uint8_t* lengths, unsigned count) {
        unsigned perLength[kMaxCodeBits + 1] = {};
        bits = 0;
        for (unsigned s = 0; s < count; ++s) {
            if (lengths[s] > kMaxCodeBits) return false;
            ++perLength[lengths[s]];
            if (lengths[s] > bits) bits = lengths[s];
        }
        if (bits == 0) return false;
        int left = 1;
        for (unsigned len = 1; len <= kMaxCodeBits; ++len) {
            left = left * 2 - int(perLength[len]);
            if (left < 0) return false;
        }
        unsigned next[kMaxCodeBits + 1] = {};
        unsigned code = 0;
        perLength[0] = 0;
        for (unsigned len = 1; len <= kMaxCodeBits; ++len) {
            code = (code + perLength[len - 1]) << 1;
            next[len] = code;
        }
        const size_t size = size_t(1) << bits;
        std::fill(entries.begin(), entries.begin() + ptrdiff_t(size), uint16_t(0));
        for (unsigned s = 0; s < count; ++s) {
            const unsigned len = lengths[s];
            if (len == 0) continue;
            const unsigned c = next[len]++;
            unsigned reversed = 0;
            for (unsigned i = 0; i < len; ++i) reversed |= ((c >> i) & 1u) << (len - 1 - i);
            for (size_t at = reversed; at < size; at += size_t(1) << len) entries[at] = uint16_t(s << 4 | len);
        }
        return true;
    }

    // The next symbol, or -1 for a pattern without a code or a code past the end.
    int decode(BitReader& in) const {
        const uint16_t e = entries[in.peek(bits)];
        if (e == 0 || !in.skip(e & 15u)) return -1;
        return int(e >> 4);
    }
};

constexpr uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint8_t kDistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                        6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr uint8_t kCodeLengthOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

// Symbols of one compressed block up to and including its end-of-block code.
bool skipSymbols(BitReader& in, const HuffmanTable& litlen, const HuffmanTable& dist) {
    for (;;) {
        const int sym = litlen.decode(in);
        if (sym < 0) return false;
        if (sym < 256) continue;
        if (sym == 256) return true;
        if (sym > 285 || !in.skip(kLengthExtra[sym - 257])) return false;
        const int d = dist.decode(in);
        if (d < 0 || d > 29 || !in.skip(kDistanceExtra[d])) return false;
    }
}

bool readDynamicTables(BitReader& in, HuffmanTable& litlen, HuffmanTable& dist) {
    uint32_t hlit, hdist, hclen;
    if (!in.take(5, hlit) || !in.take(5, hdist) || !in.take(4, hclen)) return false;
    const unsigned nlit = hlit + 257, ndist = hdist + 1, nclen = hclen + 4;
    if (nlit > 286 || ndist > 30) return false;
    uint8_t clen[19] = {};
    for (unsigned i = 0; i < nclen; ++i) {
        uint32_t v;
        if (!in.take(3, v)) return false;
        clen[kCodeLengthOrder[i]] = uint8_t(v);
    }
    HuffmanTable lengthCode;
    if (!lengthCode.build(clen, 19)) return false;
    uint8_t lengths[286 + 30] = {};
    for (unsigned n = 0; n < nlit + ndist;) {
        const int sym = lengthCode.decode(in);
        if (sym < 0) return false;
        if (sym < 16) {
            lengths[n++] = uint8_t(sym);
            continue;
        }
        uint32_t extra;
        unsigned repeat;
        uint8_t value = 0;
        if (sym == 16) {
            if (n == 0 || !in.take(2, extra)) return false;
            value = lengths[n - 1];
            repeat = 3 + extra;
        } else if (sym == 17) {
            if (!in.take(3, extra)) return false;
            repeat = 3 + extra;
        } else {
            if (!in.take(7, extra)) return false;
            repeat = 11 + extra;
        }
        if (repeat > nlit + ndist - n) return false;
        for (unsigned k = 0; k < repeat; ++k) lengths[n++] = value;
    }
    if (lengths[256] == 0) return false;  // a block needs its end-of-block code
    return litlen.build(lengths, nlit) && dist.build(lengths + nlit, ndist);
}

}  // namespace

std::optional<StreamEnd> findStreamEnd(std::span<const uint8_t> stream) {
    BitReader in(stream);
    // Two large tables: kept off the stack of the encoder's worker threads.
    auto litlen = std::make_unique<HuffmanTable>();
    auto dist = std::make_unique<HuffmanTable>();
    for (;;) {
        const uint64_t header = in.position();
        uint32_t final, type;
        if (!in.take(1, final) || !in.take(2, type)) return std::nullopt;
        if (type == 0) {
            uint32_t len, nlen;
            if (!in.alignToByte() || !in.take(16, len) || !in.take(16, nlen) || (len ^ 0xFFFFu) != nlen) return std::nullopt;
            if (!in.skip(unsigned(len) * 8)) return std::nullopt;
        } else if (type == 1) {
            uint8_t lengths[288 + 32];
            std::fill(lengths, lengths + 144, uint8_t(8));
            std::fill(lengths + 144, lengths + 256, uint8_t(9));
            std::fill(lengths + 256, lengths + 280, uint8_t(7));
            std::fill(lengths + 280, lengths + 288, uint8_t(8));
            std::fill(lengths + 288, lengths + 320, uint8_t(5));
            if (!litlen->build(lengths, 288) || !dist->build(lengths + 288, 32) || !skipSymbols(in, *litlen, *dist))
                return std::nullopt;
        } else if (type == 2) {
            if (!readDynamicTables(in, *litlen, *dist) || !skipSymbols(in, *litlen, *dist)) return std::nullopt;
        } else {
            return std::nullopt;
        }
        if (final) return StreamEnd{header, in.position()};
    }
}

void appendOpenPart(std::vector<uint8_t>& out, std::span<const uint8_t> stream, const StreamEnd& end) {
    const size_t start = out.size();
    const size_t bytes = size_t((end.endBit + 7) / 8);
    out.insert(out.end(), stream.begin(), stream.begin() + ptrdiff_t(bytes));
    out[start + size_t(end.finalBlockBit / 8)] &= uint8_t(~(1u << (end.finalBlockBit % 8)));
    const unsigned used = unsigned(end.endBit % 8);
    // The stored block's three header bits (all zero) go after the last used bit; the
    // padding to the byte boundary is zero too.
    if (used != 0) out.back() &= uint8_t((1u << used) - 1);
    if (used == 0 || used > 5) out.push_back(0);
    const uint8_t emptyStored[4] = {0x00, 0x00, 0xFF, 0xFF};
    out.insert(out.end(), emptyStored, emptyStored + 4);
}

}  // namespace pk::image::deflate
