// LZFSE decoder. Every read is checked against the end of its region, every match
// distance against the bytes produced so far, every frequency table against its state
// count; the scratch area has a fixed size whatever a header says.
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
template <class Fill>
bool forEachState(const uint16_t* freq, int nsymbols, int nstates, Fill&& fill) {
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
                fill(state, s, k, ((f + j) << k) - nstates);
            else
                fill(state, s, k - 1, (j - j0) << (k - 1));
        }
    }
    return true;
}

bool buildLiteralTable(const uint16_t* freq, LiteralEntry* table) {
    std::fill(table, table + kLiteralStates, LiteralEntry{0, 0, 0});
    return forEachState(freq, kLiteralSymbols, kLiteralStates, [&](int st, int sym, int bits, int delta) {
        table[st] = LiteralEntry{static_cast<int8_t>(bits), static_cast<uint8_t>(sym), static_cast<int16_t>(delta)};
    });
}

bool buildValueTable(const uint16_t* freq, int nsymbols, int nstates, const uint8_t* extra, const int32_t* base,
                     ValueEntry* table) {
    std::fill(table, table + nstates, ValueEntry{0, 0, 0, 0});
    return forEachState(freq, nsymbols, nstates, [&](int st, int sym, int bits, int delta) {
        table[st] = ValueEntry{static_cast<uint8_t>(bits + extra[sym]), extra[sym], static_cast<int16_t>(delta), base[sym]};
    });
}

// Reads a bit stream from its end towards its start; the encoder wrote it forwards,
// least significant bit first, so the last bits written come out first.
class BackwardBits {
public:
    // `lastBits` in [-7, 0]: minus the number of zero padding bits in the last byte.
    bool init(int32_t lastBits, const uint8_t* end, const uint8_t* start) {
        start_ = start;
        if (lastBits > 0 || lastBits < -7) return false;
        if (lastBits == 0) {
            if (end - start < 7) return false;
            p_ = end - 7;
            accum_ = 0;
            std::memcpy(&accum_, p_, 7);
            count_ = 56;
        } else {
            if (end - start < 8) return false;
            p_ = end - 8;
            accum_ = load64(p_);
            count_ = 64 + lastBits;
        }
        return (accum_ >> count_) == 0;
    }
    // Tops the accumulator up to 56..63 bits.
    bool refill() {
        const int nbytes = (63 - count_) >> 3;
        if (nbytes == 0) return true;
        if (p_ - start_ < nbytes) return false;
        p_ -= nbytes;
        const int nbits = nbytes * 8;
        accum_ = (accum_ << nbits) | (load64(p_) & ((uint64_t(1) << nbits) - 1));
        count_ += nbits;
        return true;
    }
    uint64_t pull(int n) {
        count_ -= n;
        const uint64_t r = accum_ >> count_;
        accum_ &= (uint64_t(1) << count_) - 1;
        return r;
    }

private:
    uint64_t accum_ = 0;
    int count_ = 0;
    const uint8_t* p_ = nullptr;
    const uint8_t* start_ = nullptr;
};

inline int32_t decodeValue(uint16_t& state, const ValueEntry* table, BackwardBits& in) {
    const ValueEntry e = table[state];
    const uint32_t bits = static_cast<uint32_t>(in.pull(e.totalBits));
    state = static_cast<uint16_t>(e.delta + (bits >> e.valueBits));
    return e.base + static_cast<int32_t>(bits & ((1u << e.valueBits) - 1));
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

struct Scratch {
    LiteralEntry literalTable[kLiteralStates];
    ValueEntry lTable[kLStates];
    ValueEntry mTable[kMStates];
    ValueEntry dTable[kDStates];
    uint8_t literals[kLiteralsPerBlock + 64];
};

class Decoder {
public:
    Decoder(std::span<uint8_t> dst, std::span<const uint8_t> src)
        : out_(dst.data() ? dst.data() : &empty_), cap_(dst.size()), in_(src.data()), n_(src.size()) {}

    // Bytes written, or 0 on failure.
    size_t run() {
        for (;;) {
            if (n_ - pos_ < 4) return 0;
            const uint32_t magic = load32(in_ + pos_);
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
    // end, having produced exactly nraw bytes.
    Status lzvn(const uint8_t* p, uint64_t len, uint64_t nraw) {
        const uint8_t* end = p + len;
        const uint64_t blockEnd = written_ + nraw;  // may pass cap_: then the stream is cut
        uint64_t d = 0;
        for (;;) {
            if (p >= end) return Status::failed;
            const uint8_t op = *p;
            uint64_t L = 0, M = 0, opLen = 0;
            bool newDistance = false;
            uint64_t newD = 0;
            const uint8_t lo = op & 7;
            if (op == 0x06) {  // end of stream: the op and seven bytes
                if (end - p != 8) return Status::failed;
                return written_ == blockEnd ? Status::ok : Status::failed;
            }
            if (op == 0x0E || op == 0x16) {  // no-op
                ++p;
                continue;
            }
            if (op >= 0xF0) {  // match with the previous distance
                if (op == 0xF0) {
                    if (end - p < 2) return Status::failed;
                    M = uint64_t(p[1]) + 16;
                    opLen = 2;
                } else {
                    M = op & 0xF;
                    opLen = 1;
                }
            } else if (op >= 0xE0) {  // literals only
                if (op == 0xE0) {
                    if (end - p < 2) return Status::failed;
                    L = uint64_t(p[1]) + 16;
                    opLen = 2;
                } else {
                    L = op & 0xF;
                    opLen = 1;
                }
            } else if (op >= 0xA0 && op < 0xC0) {  // medium distance
                if (end - p < 3) return Status::failed;
                const uint16_t w = load16(p + 1);
                L = (op >> 3) & 3;
                M = ((uint64_t(op & 7) << 2) | (w & 3)) + 3;
                newD = w >> 2;
                newDistance = true;
                opLen = 3;
            } else if ((op >= 0x70 && op < 0x80) || (op >= 0xD0 && op < 0xE0) || (lo == 6 && op < 0x40)) {
                return Status::failed;  // undefined op
            } else {
                L = op >> 6;
                M = ((op >> 3) & 7) + 3;
                if (lo == 7) {  // large distance
                    if (end - p < 3) return Status::failed;
                    newD = load16(p + 1);
                    newDistance = true;
                    opLen = 3;
                } else if (lo == 6) {  // previous distance
                    opLen = 1;
                } else {  // small distance
                    if (end - p < 2) return Status::failed;
                    newD = (uint64_t(lo) << 8) | p[1];
                    newDistance = true;
                    opLen = 2;
                }
            }
            p += opLen;
            if (L > 0) {
                if (uint64_t(end - p) < L) return Status::failed;
                if (L > blockEnd - written_) return Status::failed;
                if (L > cap_ - written_) {
                    std::memcpy(out_ + written_, p, cap_ - written_);
                    written_ = cap_;
                    return Status::full;
                }
                std::memcpy(out_ + written_, p, L);
                written_ += L;
                p += L;
            }
            if (newDistance) d = newD;
            if (M > 0) {
                if (d == 0 || d > written_) return Status::failed;
                if (M > blockEnd - written_) return Status::failed;
                const uint64_t n = std::min<uint64_t>(M, cap_ - written_);
                copyMatch(written_, d, n);
                written_ += n;
                if (n < M) return Status::full;
            }
        }
    }

    void copyMatch(uint64_t at, uint64_t d, uint64_t m) {
        uint8_t* q = out_ + at;
        const uint8_t* s = q - d;
        if (d >= m) {
            std::memcpy(q, s, m);
        } else {
            for (uint64_t i = 0; i < m; ++i) q[i] = s[i];
        }
    }

    Status fseBlock(bool v2) {
        if (!scratch_) scratch_ = std::make_unique<Scratch>();
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
        const uint8_t* litEnd = blockStart + headerBytes + h.literalPayload;
        BackwardBits bits;
        if (!bits.init(h.literalBits, litEnd, blockStart)) return Status::failed;
        uint16_t st[4] = {h.literalState[0], h.literalState[1], h.literalState[2], h.literalState[3]};
        const LiteralEntry* lt = S.literalTable;
        for (uint32_t i = 0; i < h.nLiterals; i += 4) {
            if (!bits.refill()) return Status::failed;
            for (int k = 0; k < 4; ++k) {
                const LiteralEntry e = lt[st[k]];
                S.literals[i + k] = e.symbol;
                st[k] = static_cast<uint16_t>(e.delta + static_cast<int>(bits.pull(e.bits)));
            }
        }

        const uint8_t* lmdStart = litEnd;
        const uint8_t* lmdEnd = lmdStart + h.lmdPayload;
        BackwardBits lmd;
        if (!lmd.init(h.lmdBits, lmdEnd, lmdStart)) return Status::failed;
        pos_ += headerBytes + h.literalPayload + h.lmdPayload;

        uint16_t lState = h.lState, mState = h.mState, dState = h.dState;
        const uint8_t* lit = S.literals;
        const uint8_t* litLimit = S.literals + h.nLiterals;
        int64_t D = -1;
        for (uint32_t k = 0; k < h.nMatches; ++k) {
            if (!lmd.refill()) return Status::failed;
            const uint64_t L = static_cast<uint32_t>(decodeValue(lState, S.lTable, lmd));
            const uint64_t M = static_cast<uint32_t>(decodeValue(mState, S.mTable, lmd));
            const int32_t newD = decodeValue(dState, S.dTable, lmd);
            if (newD != 0) D = newD;
            if (L > uint64_t(litLimit - lit)) return Status::failed;
            if (D <= 0 || uint64_t(D) > written_ + L) return Status::failed;
            const uint64_t room = cap_ - written_;
            if (L + M + 32 <= room) {
                uint8_t* q = out_ + written_;
                for (uint64_t i = 0; i < L; i += 8) store64(q + i, load64(lit + i));
                lit += L;
                q += L;
                if (D >= 8) {
                    const uint8_t* s = q - D;
                    for (uint64_t i = 0; i < M; i += 8) store64(q + i, load64(s + i));
                } else {
                    const uint8_t* s = q - D;
                    for (uint64_t i = 0; i < M; ++i) q[i] = s[i];
                }
                written_ += L + M;
                continue;
            }
            if (L > room) {
                std::memcpy(out_ + written_, lit, room);
                written_ = cap_;
                return Status::full;
            }
            std::memcpy(out_ + written_, lit, L);
            lit += L;
            written_ += L;
            const uint64_t n = std::min<uint64_t>(M, cap_ - written_);
            copyMatch(written_, static_cast<uint64_t>(D), n);
            written_ += n;
            if (n < M) return Status::full;
        }
        return Status::ok;
    }

    uint8_t empty_ = 0;  // stands in for a null output of capacity 0
    uint8_t* out_;
    uint64_t cap_;
    const uint8_t* in_;
    uint64_t n_;
    uint64_t pos_ = 0;
    uint64_t written_ = 0;
    std::unique_ptr<Scratch> scratch_;
};

}  // namespace

size_t lzfseDecodeBuffer(std::span<uint8_t> dst, std::span<const uint8_t> src) {
    Decoder d(dst, src);
    return d.run();
}

}  // namespace pk::compression
