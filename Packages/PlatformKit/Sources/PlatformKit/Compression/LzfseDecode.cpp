// LZFSE decoder. Every read is checked against the end of its region, every match
// distance against the bytes produced so far, every frequency table against its state
// count; the scratch area has a fixed size whatever a header says.
//
// The hot loops keep their state in locals (byte stores could otherwise alias it and
// force reloads) and copy in whole words while the output has room for the slop; the
// last bytes before the capacity take a careful byte-exact path.
#include <algorithm>
#include <bit>
#include <memory>

#include "PlatformKit/Compression/Lzfse.h"
#include "PlatformKit/Compression/LzfseFormat.h"

namespace pk::compression {

using namespace fmt;

namespace {

struct LiteralEntry {
    int8_t bits;
    uint8_t symbol;
    int16_t delta;
};

struct ValueEntry {
    uint8_t totalBits;
    uint8_t valueBits;
    int16_t delta;
    int32_t base;
};

// Symbol s owns f consecutive states; the first j0 of them read k bits, the rest k-1.
// States past the sum of the table stay zero (symbol 0, no bits, next state 0).
template <class Entry, class Fill>
bool fillStates(const uint16_t* freq, int nsymbols, int nstates, Entry* table, Fill&& fill) {
    int sum = 0;
    for (int s = 0; s < nsymbols; ++s) sum += freq[s];
    if (sum > nstates) return false;
    const int clzStates = std::countl_zero(static_cast<uint32_t>(nstates));
    int state = 0;
    for (int s = 0; s < nsymbols; ++s) {
        const int f = freq[s];
        if (f == 0) continue;
        const int k = std::countl_zero(static_cast<uint32_t>(f)) - clzStates;
        const int j0 = ((2 * nstates) >> k) - f;
        for (int j = 0; j < f; ++j, ++state) {
            if (j < j0)
                table[state] = fill(s, k, ((f + j) << k) - nstates);
            else
                table[state] = fill(s, k - 1, (j - j0) << (k - 1));
        }
    }
    std::fill(table + state, table + nstates, Entry{});
    return true;
}

bool buildLiteralTable(const uint16_t* freq, LiteralEntry* table) {
    return fillStates(freq, kLiteralSymbols, kLiteralStates, table, [](int sym, int bits, int delta) {
        return LiteralEntry{static_cast<int8_t>(bits), static_cast<uint8_t>(sym), static_cast<int16_t>(delta)};
    });
}

bool buildValueTable(const uint16_t* freq, int nsymbols, int nstates, const uint8_t* extra, const int32_t* base,
                     ValueEntry* table) {
    return fillStates(freq, nsymbols, nstates, table, [&](int sym, int bits, int delta) {
        return ValueEntry{static_cast<uint8_t>(bits + extra[sym]), extra[sym], static_cast<int16_t>(delta), base[sym]};
    });
}

// A bit stream read from its end towards its start; the encoder wrote it forwards,
// least significant bit first, so the last bits written come out first. The reader
// looks at the eight bytes at `p`, of which the low `bits` bits are still unread;
// taking bits only lowers `bits`, so the symbols of a group do not wait on each other
// beyond one subtraction.
struct BackwardBits {
    const uint8_t* p = nullptr;
    unsigned bits = 0;
    const uint8_t* start = nullptr;  // the stream's first byte

    // `lastBits` in [-7, 0]: minus the number of zero padding bits in the last byte.
    // A stream without padding may be seven bytes long; its window then starts one
    // byte early, which every caller has before the stream (a block header precedes
    // both streams of a block).
    bool init(int32_t lastBits, const uint8_t* end, const uint8_t* begin) {
        start = begin;
        if (lastBits > 0 || lastBits < -7) return false;
        if (end - begin < (lastBits == 0 ? 7 : 8)) return false;
        p = end - 8;
        bits = static_cast<unsigned>(64 + lastBits);
        return bits == 64 || (load64(p) >> bits) == 0;
    }
    // Bits left in the stream, negative when more were taken than it holds.
    int64_t bitsLeft() const { return (p - start) * 8 + int64_t(bits); }
};

inline constexpr uint32_t kLowMask[33] = {
    0x0,       0x1,       0x3,       0x7,       0xF,       0x1F,       0x3F,       0x7F,       0xFF,
    0x1FF,     0x3FF,     0x7FF,     0xFFF,     0x1FFF,    0x3FFF,     0x7FFF,     0xFFFF,     0x1FFFF,
    0x3FFFF,   0x7FFFF,   0xFFFFF,   0x1FFFFF,  0x3FFFFF,  0x7FFFFF,   0xFFFFFF,   0x1FFFFFF,  0x3FFFFFF,
    0x7FFFFFF, 0xFFFFFFF, 0x1FFFFFFF, 0x3FFFFFFF, 0x7FFFFFFF, 0xFFFFFFFF};

// The loops hold the window shifted right by one and `bits - 1`: every shift count then
// stays below 64, even for a full window read with n = 0 (whose mask is 0 anyway).
struct Window {
    uint64_t half;  // load64(p) >> 1
    unsigned low;   // bits - 1
    const uint8_t* p;

    explicit Window(const BackwardBits& b) : half(load64(b.p) >> 1), low(b.bits - 1), p(b.p) {}
    BackwardBits state(const uint8_t* start) const { return {p, low + 1, start}; }

    // Moves back over the whole bytes read, leaving 57..64 bits unread; false when that
    // would pass the stream's start.
    bool refill(const uint8_t* start) {
        const ptrdiff_t nbytes = (63 - low) >> 3;
        if (p - start < nbytes) return false;
        p -= nbytes;
        low += static_cast<unsigned>(nbytes) * 8;
        half = load64(p) >> 1;
        return true;
    }
    // The next n bits (n <= 32).
    uint32_t take(unsigned n) {
        low -= n;
        return static_cast<uint32_t>(half >> low) & kLowMask[n];
    }
};

// A seven-byte stream's window starts before the stream; refills may start there too
// (only the bits left at the end tell whether its own bytes were enough).
inline const uint8_t* refillBound(const BackwardBits& b) { return std::min(b.start, b.p); }

inline int32_t decodeValue(uint32_t& state, const ValueEntry* table, Window& w) {
    const ValueEntry e = table[state];
    const uint32_t v = w.take(e.totalBits);
    state = static_cast<uint32_t>(e.delta + static_cast<int32_t>(v >> e.valueBits));
    return e.base + static_cast<int32_t>(v & kLowMask[e.valueBits]);
}

struct BlockHeader {
    uint32_t nLiterals = 0, nMatches = 0, literalPayload = 0, lmdPayload = 0;
    int32_t literalBits = 0, lmdBits = 0;
    uint16_t literalState[4] = {};
    uint16_t lState = 0, mState = 0, dState = 0;
    uint16_t freq[kAllSymbols] = {};  // L, M, D, literal tables back to back
};

// The variable-length frequency code of v2 headers, read from the least significant bit.
inline int decodeFreq(uint32_t bits, int& nbits) {
    if ((bits & 1) == 0) { nbits = 2; return (bits >> 1) & 1; }
    if ((bits & 2) == 0) { nbits = 3; return 2 + ((bits >> 2) & 1); }
    if ((bits & 4) == 0) { nbits = 5; return 4 + ((bits >> 3) & 3); }
    if ((bits & 8) == 0) { nbits = 8; return 8 + ((bits >> 4) & 0xF); }
    nbits = 14;
    return 24 + ((bits >> 4) & 0x3FF);
}

// Parses a v2 header at p (avail bytes); sets headerBytes.
bool parseV2(const uint8_t* p, uint64_t avail, BlockHeader& h, uint64_t& headerBytes) {
    if (avail < kV2FixedHeaderBytes) return false;
    const uint64_t f0 = load64(p + 8), f1 = load64(p + 16), f2 = load64(p + 24);
    auto field = [](uint64_t v, int at, int n) { return static_cast<uint32_t>((v >> at) & ((uint64_t(1) << n) - 1)); };
    h.nLiterals = field(f0, 0, 20);
    h.literalPayload = field(f0, 20, 20);
    h.nMatches = field(f0, 40, 20);
    h.literalBits = static_cast<int32_t>(field(f0, 60, 3)) - 7;
    for (int i = 0; i < 4; ++i) h.literalState[i] = static_cast<uint16_t>(field(f1, 10 * i, 10));
    h.lmdPayload = field(f1, 40, 20);
    h.lmdBits = static_cast<int32_t>(field(f1, 60, 3)) - 7;
    headerBytes = field(f2, 0, 32);
    h.lState = static_cast<uint16_t>(field(f2, 32, 10));
    h.mState = static_cast<uint16_t>(field(f2, 42, 10));
    h.dState = static_cast<uint16_t>(field(f2, 52, 10));
    if (headerBytes < kV2FixedHeaderBytes || headerBytes > avail) return false;
    if (headerBytes == kV2FixedHeaderBytes) return true;  // tables left out: all zero
    const uint8_t* src = p + kV2FixedHeaderBytes;
    const uint8_t* end = p + headerBytes;
    uint32_t accum = 0;
    int accumBits = 0;
    for (int i = 0; i < kAllSymbols; ++i) {
        while (src < end && accumBits + 8 <= 32) {
            accum |= static_cast<uint32_t>(*src++) << accumBits;
            accumBits += 8;
        }
        int nbits = 0;
        h.freq[i] = static_cast<uint16_t>(decodeFreq(accum, nbits));
        if (nbits > accumBits) return false;
        accum >>= nbits;
        accumBits -= nbits;
    }
    return accumBits < 8 && src == end;
}

bool parseV1(const uint8_t* p, uint64_t avail, BlockHeader& h) {
    if (avail < kV1HeaderBytes) return false;
    h.nLiterals = load32(p + 12);
    h.nMatches = load32(p + 16);
    h.literalPayload = load32(p + 20);
    h.lmdPayload = load32(p + 24);
    h.literalBits = static_cast<int32_t>(load32(p + 28));
    for (int i = 0; i < 4; ++i) h.literalState[i] = load16(p + 32 + 2 * i);
    h.lmdBits = static_cast<int32_t>(load32(p + 40));
    h.lState = load16(p + 44);
    h.mState = load16(p + 46);
    h.dState = load16(p + 48);
    for (int i = 0; i < kAllSymbols; ++i) h.freq[i] = load16(p + kV1FreqOffset + 2 * i);
    return true;
}

// Room past the literals for the word-wide reads of the match loop.
constexpr size_t kLiteralSlack = 64;

struct Scratch {
    LiteralEntry literalTable[kLiteralStates];
    ValueEntry lTable[kLStates];
    ValueEntry mTable[kMStates];
    ValueEntry dTable[kDStates];
    uint8_t literals[kLiteralsPerBlock + kLiteralSlack];
};

// Output slop the wide copies may write past the end of a literal or match.
constexpr uint64_t kWideSlop = 32;

// Copies m bytes from d back; overlapping copies (d < m) repeat the pattern.
inline void copyMatchExact(uint8_t* q, uint64_t d, uint64_t m) {
    const uint8_t* s = q - d;
    if (d >= m) {
        std::memcpy(q, s, m);
    } else {
        for (uint64_t i = 0; i < m; ++i) q[i] = s[i];
    }
}

inline void copy16(uint8_t* d, const uint8_t* s) { std::memcpy(d, s, 16); }

// Non-overlapping bytes in 16-byte steps; may write up to 15 bytes past q + n.
inline void copyLiteralsWide(uint8_t* q, const uint8_t* s, uint64_t n) {
    copy16(q, s);
    for (uint64_t i = 16; i < n; i += 16) copy16(q + i, s + i);
}

// The smallest multiple of a short distance that is at least a word long: once that
// many bytes of a repeating pattern are out, the rest copies a word at a time.
inline constexpr uint8_t kPatternPeriod[8] = {0, 8, 8, 9, 8, 10, 12, 14};

// A match in whole words (each step reads only bytes already written); may write up
// to 15 bytes past q + m.
inline void copyMatchWide(uint8_t* q, uint64_t d, uint64_t m) {
    const uint8_t* s = q - d;
    if (d >= 16) {
        copyLiteralsWide(q, s, m);
    } else if (d >= 8 || d >= m) {
        for (uint64_t i = 0; i < m; i += 8) store64(q + i, load64(s + i));
    } else {
        const uint64_t period = kPatternPeriod[d];
        const uint64_t head = std::min(period, m);
        for (uint64_t i = 0; i < head; ++i) q[i] = s[i];
        for (uint64_t i = period; i < m; i += 8) store64(q + i, load64(q + i - period));
    }
}

// What an LZVN opcode byte starts.
enum class LzvnOp : uint8_t { smallD, mediumD, largeD, previousD, literal, match, nop, end, undefined };

constexpr std::array<LzvnOp, 256> makeLzvnOps() {
    std::array<LzvnOp, 256> t{};
    for (int op = 0; op < 256; ++op) {
        const int lo = op & 7;
        LzvnOp k;
        if (op == 0x06) k = LzvnOp::end;
        else if (op == 0x0E || op == 0x16) k = LzvnOp::nop;
        else if (op >= 0xF0) k = LzvnOp::match;
        else if (op >= 0xE0) k = LzvnOp::literal;
        else if (op >= 0xA0 && op < 0xC0) k = LzvnOp::mediumD;
        else if ((op >= 0x70 && op < 0x80) || (op >= 0xD0 && op < 0xE0) || (lo == 6 && op < 0x40)) k = LzvnOp::undefined;
        else if (lo == 7) k = LzvnOp::largeD;
        else if (lo == 6) k = LzvnOp::previousD;
        else k = LzvnOp::smallD;
        t[op] = k;
    }
    return t;
}
inline constexpr std::array<LzvnOp, 256> kLzvnOps = makeLzvnOps();

// The fields of an op that carries a distance (small, medium, large or previous): at most
// three literals, the match length, the distance (unchanged for the previous one) and the
// op's own length, which the caller has checked the payload holds.
struct LzvnDistanceOp {
    uint64_t literals, match, opLength;
};
inline LzvnDistanceOp decodeDistanceOp(LzvnOp kind, const uint8_t* p, uint64_t& d) {
    const uint8_t op = *p;
    LzvnDistanceOp f{uint64_t(op >> 6), uint64_t((op >> 3) & 7) + 3, 1};
    if (kind == LzvnOp::smallD) {
        d = (uint64_t(op & 7) << 8) | p[1];
        f.opLength = 2;
    } else if (kind == LzvnOp::largeD) {
        d = load16(p + 1);
        f.opLength = 3;
    } else if (kind == LzvnOp::mediumD) {
        const uint16_t w = load16(p + 1);
        d = w >> 2;
        f = {uint64_t(op >> 3) & 3, ((uint64_t(op & 7) << 2) | (w & 3)) + 3, 3};
    }
    return f;
}
inline uint64_t distanceOpLength(LzvnOp kind) { return kind == LzvnOp::previousD ? 1 : kind == LzvnOp::smallD ? 2 : 3; }

class Decoder {
public:
    Decoder(std::span<uint8_t> dst, std::span<const uint8_t> src)
        : out_(dst.data() ? dst.data() : &empty_), cap_(dst.size()), in_(src.data()), n_(src.size()) {}
    Decoder(DecodeSink& sink, std::span<const uint8_t> src, uint64_t limit)
        : out_(&empty_), cap_(0), in_(src.data()), n_(src.size()), sink_(&sink), limit_(limit) {}

    // Bytes written, or 0 on failure.
    size_t run() {
        for (;;) {
            if (n_ - pos_ < 4) return 0;
            const uint32_t magic = load32(in_ + pos_);
            if (sink_ && magic != kEndMagic) {
                if (!sinkBlock(magic)) return 0;
                continue;
            }
            Status st;
            switch (magic) {
            case kEndMagic: return written_;
            case kRawMagic: st = rawBlock(); break;
            case kLzvnMagic: st = lzvnBlock(); break;
            case kV1Magic:
            case kV2Magic: st = fseBlock(magic == kV2Magic); break;
            default: return 0;
            }
            if (st == Status::failed) return 0;
            if (st == Status::full) return cap_;
        }
    }

private:
    enum class Status { ok, failed, full };

    // With a sink, each block gets exactly the room its header declares; a block that
    // needs more stops at that capacity (full) and one that makes less falls short, and
    // both are refused. Returns false on any failure.
    bool sinkBlock(uint32_t magic) {
        if (n_ - pos_ < 8) return false;
        const uint64_t nraw = load32(in_ + pos_ + 4);
        if (nraw > limit_ - written_) return false;
        const uint64_t total = written_ + nraw;
        uint8_t* grown = sink_->reserve(total);
        if (!grown) return false;
        out_ = grown;
        cap_ = total;
        Status st;
        switch (magic) {
        case kRawMagic: st = rawBlock(); break;
        case kLzvnMagic: st = lzvnBlock(); break;
        case kV1Magic:
        case kV2Magic: st = fseBlock(magic == kV2Magic); break;
        default: return false;
        }
        return st == Status::ok && written_ == total;
    }

    Status rawBlock() {
        if (n_ - pos_ < kRawHeaderBytes) return Status::failed;
        const uint64_t nraw = load32(in_ + pos_ + 4);
        pos_ += kRawHeaderBytes;
        const uint64_t avail = std::min<uint64_t>(nraw, n_ - pos_);
        if (avail > cap_ - written_) {
            std::memcpy(out_ + written_, in_ + pos_, cap_ - written_);
            written_ = cap_;
            return Status::full;
        }
        std::memcpy(out_ + written_, in_ + pos_, avail);
        written_ += avail;
        pos_ += avail;
        return avail == nraw ? Status::ok : Status::failed;
    }

    Status lzvnBlock() {
        if (n_ - pos_ < kLzvnHeaderBytes) return Status::failed;
        const uint64_t nraw = load32(in_ + pos_ + 4);
        const uint64_t npayload = load32(in_ + pos_ + 8);
        pos_ += kLzvnHeaderBytes;
        if (npayload > n_ - pos_) return Status::failed;
        const Status st = lzvn(in_ + pos_, npayload, nraw);
        pos_ += npayload;
        return st;
    }

    // One LZVN payload that must end with its end-of-stream op exactly at the payload's
    // end, having produced exactly nraw bytes. Ops are decoded with whole-word copies
    // while the input and the output have room for the slop; the rest byte-exactly.
    Status lzvn(const uint8_t* p, uint64_t len, uint64_t nraw) {
        const uint8_t* const end = p + len;
        const uint8_t* const inEnd = in_ + n_;  // wide reads may run past the payload
        uint8_t* const begin = out_;
        uint8_t* q = out_ + written_;
        const uint64_t blockEndAt = written_ + nraw;  // may pass cap_: then the stream is cut
        uint8_t* const limit = out_ + std::min<uint64_t>(blockEndAt, cap_);
        uint64_t d = 0;
        auto finish = [&](Status st) {
            written_ = static_cast<uint64_t>(q - begin);
            return st;
        };
        for (;;) {
            if (p >= end) return Status::failed;
            const uint8_t op = *p;
            const LzvnOp kind = kLzvnOps[op];
            // The common ops (at most three literals, a short match) while both sides have
            // room for whole-word copies: nothing to check but the distance.
            if (kind <= LzvnOp::previousD && end - p >= 16 && limit - q >= 64) {
                const LzvnDistanceOp f = decodeDistanceOp(kind, p, d);
                store32(q, load32(p + f.opLength));
                p += f.opLength + f.literals;
                q += f.literals;
                if (d == 0 || d > static_cast<uint64_t>(q - begin)) return Status::failed;
                copyMatchWide(q, d, f.match);
                q += f.match;
                continue;
            }
            uint64_t L = 0, M = 0, opLen = 0, newD = d;
            switch (kind) {
            case LzvnOp::end:  // the op and seven bytes
                if (end - p != 8) return Status::failed;
                return finish(static_cast<uint64_t>(q - begin) == blockEndAt ? Status::ok : Status::failed);
            case LzvnOp::nop: ++p; continue;
            case LzvnOp::undefined: return Status::failed;
            case LzvnOp::match:
                if (op == 0xF0) {
                    if (end - p < 2) return Status::failed;
                    M = uint64_t(p[1]) + 16;
                    opLen = 2;
                } else {
                    M = op & 0xF;
                    opLen = 1;
                }
                break;
            case LzvnOp::literal:
                if (op == 0xE0) {
                    if (end - p < 2) return Status::failed;
                    L = uint64_t(p[1]) + 16;
                    opLen = 2;
                } else {
                    L = op & 0xF;
                    opLen = 1;
                }
                break;
            default: {  // the ops with a distance
                if (uint64_t(end - p) < distanceOpLength(kind)) return Status::failed;
                const LzvnDistanceOp f = decodeDistanceOp(kind, p, newD);
                L = f.literals, M = f.match, opLen = f.opLength;
                break;
            }
            }
            p += opLen;
            const uint64_t room = static_cast<uint64_t>(limit - q);
            if (L > 0) {
                if (uint64_t(end - p) < L) return Status::failed;
                if (L + kWideSlop <= room && L + kWideSlop <= uint64_t(inEnd - p)) {
                    copyLiteralsWide(q, p, L);
                } else if (L <= room) {
                    std::memcpy(q, p, L);
                } else if (static_cast<uint64_t>(q - begin) + L > blockEndAt) {
                    return Status::failed;  // more than the block holds
                } else {
                    std::memcpy(q, p, room);  // cut at the capacity
                    q += room;
                    return finish(Status::full);
                }
                q += L;
                p += L;
            }
            d = newD;
            if (M > 0) {
                if (d == 0 || d > static_cast<uint64_t>(q - begin)) return Status::failed;
                const uint64_t left = static_cast<uint64_t>(limit - q);
                if (M + kWideSlop <= left) {
                    copyMatchWide(q, d, M);
                    q += M;
                } else if (M <= left) {
                    copyMatchExact(q, d, M);
                    q += M;
                } else if (static_cast<uint64_t>(q - begin) + M > blockEndAt) {
                    return Status::failed;  // more than the block holds
                } else {
                    copyMatchExact(q, d, left);  // cut at the capacity
                    q += left;
                    return finish(Status::full);
                }
            }
        }
    }

    Status fseBlock(bool v2) {
        if (!scratch_) scratch_.reset(new Scratch);  // not cleared: nothing is read before it is written
        Scratch& S = *scratch_;
        const uint8_t* blockStart = in_ + pos_;
        const uint64_t avail = n_ - pos_;
        BlockHeader h;
        uint64_t headerBytes = kV1HeaderBytes;
        if (v2 ? !parseV2(blockStart, avail, h, headerBytes) : !parseV1(blockStart, avail, h)) return Status::failed;
        if (uint64_t(h.literalPayload) + h.lmdPayload > avail - headerBytes) return Status::failed;
        if (h.nLiterals > kLiteralsPerBlock || h.nMatches > kMatchesPerBlock) return Status::failed;
        for (uint16_t s : h.literalState)
            if (s >= kLiteralStates) return Status::failed;
        if (h.lState >= kLStates || h.mState >= kMStates || h.dState >= kDStates) return Status::failed;
        const uint16_t* lFreq = h.freq;
        const uint16_t* mFreq = lFreq + kLSymbols;
        const uint16_t* dFreq = mFreq + kMSymbols;
        const uint16_t* litFreq = dFreq + kDSymbols;
        if (!buildLiteralTable(litFreq, S.literalTable) ||
            !buildValueTable(lFreq, kLSymbols, kLStates, kLExtraBits.data(), kLBase.data(), S.lTable) ||
            !buildValueTable(mFreq, kMSymbols, kMStates, kMExtraBits.data(), kMBase.data(), S.mTable) ||
            !buildValueTable(dFreq, kDSymbols, kDStates, kDExtraBits.data(), kDBase.data(), S.dTable))
            return Status::failed;

        // Literals: four interleaved states over one stream, read from the payload's end.
        // The stream may be read back into the header, which is part of the input.
        const uint8_t* litEnd = blockStart + headerBytes + h.literalPayload;
        BackwardBits bits;
        if (!bits.init(h.literalBits, litEnd, blockStart)) return Status::failed;
        if (!decodeLiterals(h, bits, S)) return Status::failed;

        const uint8_t* lmdStart = litEnd;
        BackwardBits lmd;
        if (!lmd.init(h.lmdBits, lmdStart + h.lmdPayload, lmdStart)) return Status::failed;
        pos_ += headerBytes + h.literalPayload + h.lmdPayload;
        return decodeMatches(h, lmd, S);
    }

    static bool decodeLiterals(const BlockHeader& h, const BackwardBits& in, Scratch& S) {
        Window w(in);
        const uint8_t* const start = in.start;
        uint32_t s0 = h.literalState[0], s1 = h.literalState[1], s2 = h.literalState[2], s3 = h.literalState[3];
        const LiteralEntry* const table = S.literalTable;
        uint8_t* out = S.literals;
        uint8_t* const outEnd = S.literals + h.nLiterals;
        auto one = [&](uint32_t& s) {
            const LiteralEntry e = table[s];
            s = static_cast<uint32_t>(e.delta + static_cast<int32_t>(w.take(static_cast<unsigned>(e.bits))));
            return e.symbol;
        };
        // A group of four takes at most 40 bits.
        const uint8_t* const bound = refillBound(in);
        for (; out < outEnd; out += 4) {
            if (!w.refill(bound)) return false;
            const uint8_t a = one(s0), b = one(s1), c = one(s2), d = one(s3);
            out[0] = a, out[1] = b, out[2] = c, out[3] = d;
        }
        std::memset(outEnd, 0, 16);  // the match loop's wide reads may pass the last literal
        return w.state(start).bitsLeft() >= 0;
    }

    Status decodeMatches(const BlockHeader& h, const BackwardBits& in, Scratch& S) {
        Window w(in);
        const uint8_t* const start = in.start;
        uint32_t lState = h.lState, mState = h.mState, dState = h.dState;
        const uint8_t* lit = S.literals;
        const uint8_t* const litLimit = S.literals + h.nLiterals;
        uint8_t* const begin = out_;
        uint8_t* q = out_ + written_;
        uint8_t* const capEnd = out_ + cap_;
        int64_t D = -1;
        Status st = Status::ok;
        // One triple takes at most 54 bits.
        const uint8_t* const bound = refillBound(in);
        for (uint32_t k = 0; k < h.nMatches; ++k) {
            if (!w.refill(bound)) {
                st = Status::failed;
                break;
            }
            const uint64_t L = static_cast<uint32_t>(decodeValue(lState, S.lTable, w));
            const uint64_t M = static_cast<uint32_t>(decodeValue(mState, S.mTable, w));
            const int32_t newD = decodeValue(dState, S.dTable, w);
            if (newD != 0) D = newD;
            if (L > uint64_t(litLimit - lit) || D <= 0 || uint64_t(D) > static_cast<uint64_t>(q - begin) + L) {
                st = Status::failed;
                break;
            }
            // Whole-word copies while the slop still lands inside the output.
            if (L + M + kWideSlop <= static_cast<uint64_t>(capEnd - q)) {
                copyLiteralsWide(q, lit, L);
                lit += L;
                q += L;
                copyMatchWide(q, static_cast<uint64_t>(D), M);
                q += M;
                continue;
            }
            // Near the capacity: exact copies, and a cut once it is reached.
            const uint64_t room = static_cast<uint64_t>(capEnd - q);
            if (L > room) {
                std::memcpy(q, lit, room);
                q += room;
                st = Status::full;
                break;
            }
            std::memcpy(q, lit, L);
            lit += L;
            q += L;
            const uint64_t n = std::min<uint64_t>(M, room - L);
            copyMatchExact(q, static_cast<uint64_t>(D), n);
            q += n;
            if (n < M) {
                st = Status::full;
                break;
            }
        }
        written_ = static_cast<uint64_t>(q - begin);
        if (st == Status::ok && w.state(start).bitsLeft() < 0) return Status::failed;
        return st;
    }

    uint8_t empty_ = 0;  // stands in for a null output of capacity 0
    uint8_t* out_;
    uint64_t cap_;
    const uint8_t* in_;
    uint64_t n_;
    uint64_t pos_ = 0;
    uint64_t written_ = 0;
    std::unique_ptr<Scratch> scratch_;
    DecodeSink* sink_ = nullptr;
    uint64_t limit_ = 0;
};

// The most one LZVN payload byte makes: a long match op is two bytes for 271.
constexpr uint64_t kLzvnMaxPerPayloadByte = 136;

}  // namespace

std::optional<uint64_t> lzfseDecodedSize(std::span<const uint8_t> src) {
    const uint8_t* in = src.data();
    const uint64_t n = src.size();
    uint64_t pos = 0, total = 0;
    for (;;) {
        if (n - pos < 4) return std::nullopt;
        const uint32_t magic = load32(in + pos);
        if (magic == kEndMagic) return total;
        if (n - pos < 8) return std::nullopt;
        const uint64_t nraw = load32(in + pos + 4);
        const uint64_t avail = n - pos;
        uint64_t blockBytes = 0;
        switch (magic) {
        case kRawMagic: blockBytes = kRawHeaderBytes + nraw; break;
        case kLzvnMagic: {
            if (avail < kLzvnHeaderBytes) return std::nullopt;
            const uint64_t npayload = load32(in + pos + 8);
            if (nraw > npayload * kLzvnMaxPerPayloadByte) return std::nullopt;
            blockBytes = kLzvnHeaderBytes + npayload;
            break;
        }
        case kV1Magic:
        case kV2Magic: {
            BlockHeader h;
            uint64_t headerBytes = kV1HeaderBytes;
            if (magic == kV2Magic ? !parseV2(in + pos, avail, h, headerBytes) : !parseV1(in + pos, avail, h))
                return std::nullopt;
            if (h.nLiterals > kLiteralsPerBlock || h.nMatches > kMatchesPerBlock) return std::nullopt;
            if (nraw > uint64_t(h.nLiterals) + uint64_t(h.nMatches) * kMaxMValue) return std::nullopt;
            blockBytes = headerBytes + uint64_t(h.literalPayload) + h.lmdPayload;
            break;
        }
        default: return std::nullopt;
        }
        if (blockBytes > avail) return std::nullopt;
        pos += blockBytes;
        total += nraw;
    }
}

size_t lzfseDecodeInto(DecodeSink& sink, std::span<const uint8_t> src, uint64_t limit) {
    Decoder d(sink, src, limit);
    return d.run();
}

size_t lzfseDecodeBuffer(std::span<uint8_t> dst, std::span<const uint8_t> src) {
    Decoder d(dst, src);
    return d.run();
}

}  // namespace pk::compression
