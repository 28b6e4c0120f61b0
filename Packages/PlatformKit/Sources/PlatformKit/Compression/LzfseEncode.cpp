// LZFSE encoder: a hashed match finder (four candidates per bucket) with one pending
// match, L/M/D triplets gathered into blocks of at most 10000 matches and 40000
// literals, each block coded with FSE under normalised tables.
#include <algorithm>
#include <bit>
#include <limits>
#include <memory>

#include "PlatformKit/Compression/Lzfse.h"
#include "PlatformKit/Compression/LzfseFormat.h"

namespace pk::compression {

size_t lzvnEncode(uint8_t* dst, size_t cap, const uint8_t* src, size_t n);  // LzvnEncode.cpp

using namespace fmt;

namespace {

constexpr int kMaxHashBits = 14;
constexpr int kMinHashBits = 10;
constexpr uint32_t kGoodMatch = 40;
constexpr uint32_t kLzvnThreshold = 4096;
constexpr uint32_t kMaxMatchLength = 100 * kMaxMValue;
constexpr int32_t kNoPosition = -4 * static_cast<int32_t>(kMaxDValue);
// Positions are 32-bit inside a segment; longer inputs are matched segment by segment.
constexpr uint64_t kSegmentBytes = uint64_t(1) << 30;

// A bucket (four entries) per two positions, up to the full table: a small input
// neither clears a table it cannot fill nor gets one so large that the allocator maps
// fresh pages for it on every call.
int hashBitsFor(uint64_t n) {
    return std::clamp(static_cast<int>(std::bit_width(n - 1)) - 1, kMinHashBits, kMaxHashBits);
}

// Frequencies summing to nstates: the counts scaled and rounded, every used symbol at
// least 1. What is left over (or missing) goes to the most frequent symbol while that
// is small beside it; a larger excess, from many rare symbols raised to 1, is taken
// from all symbols in rounds.
void normalize(const uint32_t* counts, int nsymbols, int nstates, uint16_t* freq) {
    uint64_t total = 0;
    for (int s = 0; s < nsymbols; ++s) total += counts[s];
    if (total == 0) {
        std::fill(freq, freq + nsymbols, uint16_t(0));
        return;
    }
    int sum = 0, top = 0;
    for (int s = 0; s < nsymbols; ++s) {
        const uint64_t f = counts[s] == 0 ? 0 : std::max<uint64_t>(1, (uint64_t(counts[s]) * nstates * 2 + total) / (2 * total));
        freq[s] = static_cast<uint16_t>(f);
        sum += static_cast<int>(f);
        if (freq[s] > freq[top]) top = s;
    }
    int excess = sum - nstates;
    if (excess < freq[top] / 4) {
        freq[top] = static_cast<uint16_t>(freq[top] - excess);
        return;
    }
    // Rounds taking an eighth, a quarter, a half, then all of each symbol's spare states.
    for (int shift = 3; excess > 0; shift = std::max(shift - 1, 0)) {
        for (int s = 0; s < nsymbols && excess > 0; ++s) {
            if (freq[s] <= 1) continue;
            const int take = std::min(excess, (freq[s] - 1) >> shift);
            freq[s] = static_cast<uint16_t>(freq[s] - take);
            excess -= take;
        }
    }
}

// One symbol's encoding step, the inverse of the decoder's state layout. From state s
// (below nstates) the encoder writes the low n bits of s, with n = k when s >= s0 and
// k - 1 below, and moves to (offset - f) + (nstates >> n) + (s >> n). Both are folded
// into two numbers: n = (s + nbitsBias) >> 16 (s0 = (f << k) - nstates), and, since
// nstates is a power of two at least 2^n, the next state = base + ((s + nstates) >> n).
struct EncoderEntry {
    int32_t nbitsBias;
    int32_t base;
};

void buildEncoderTable(const uint16_t* freq, int nsymbols, int nstates, EncoderEntry* t) {
    const int clzStates = std::countl_zero(static_cast<uint32_t>(nstates));
    int offset = 0;
    for (int s = 0; s < nsymbols; ++s) {
        const int f = freq[s];
        if (f == 0) {
            t[s] = {0, 0};
            continue;
        }
        const int k = std::countl_zero(static_cast<uint32_t>(f)) - clzStates;
        t[s].nbitsBias = (k << 16) - ((f << k) - nstates);
        t[s].base = offset - f;
        offset += f;
    }
}

class ForwardBits {
public:
    explicit ForwardBits(uint8_t* p) : p_(p) {}
    void push(uint64_t value, int n) {
        accum_ |= value << count_;
        count_ += n;
    }
    void flush() {
        store64(p_, accum_);
        const int bytes = count_ >> 3;
        p_ += bytes;
        accum_ = bytes == 8 ? 0 : accum_ >> (bytes * 8);
        count_ &= 7;
    }
    // Writes the last partial byte; returns minus the padding bits (-7..0).
    int finish() {
        store64(p_, accum_);
        const int bytes = (count_ + 7) >> 3;
        p_ += bytes;
        const int pad = bytes * 8 - count_;
        accum_ = 0;
        count_ = 0;
        return -pad;
    }
    uint8_t* position() const { return p_; }

private:
    uint8_t* p_;
    uint64_t accum_ = 0;
    int count_ = 0;
};

template <int NStates>
inline void encodeSymbol(uint32_t& state, const EncoderEntry& e, ForwardBits& out) {
    const uint32_t s = state;
    const int nbits = static_cast<int>(s + static_cast<uint32_t>(e.nbitsBias)) >> 16;
    out.push(s & ((1u << nbits) - 1), nbits);
    state = static_cast<uint32_t>(e.base + static_cast<int32_t>((s + NStates) >> nbits));
}

inline void encodeFreq(int v, uint32_t& bits, int& nbits) {
    if (v < 2) { bits = static_cast<uint32_t>(v << 1); nbits = 2; return; }
    if (v < 4) { bits = 1 | static_cast<uint32_t>((v - 2) << 2); nbits = 3; return; }
    if (v < 8) { bits = 3 | static_cast<uint32_t>((v - 4) << 3); nbits = 5; return; }
    if (v < 24) { bits = 7 | static_cast<uint32_t>((v - 8) << 4); nbits = 8; return; }
    bits = 15 | static_cast<uint32_t>((v - 24) << 4);
    nbits = 14;
}

struct Match {
    int64_t pos = 0;
    int64_t ref = 0;
    uint32_t length = 0;
};

class Encoder {
public:
    // Working memory in proportion to the input (a block never holds more entries or
    // literals than the input has bytes), none of it cleared beyond what is used.
    Encoder(std::span<uint8_t> dst, const detail::EncodeOptions& options, uint64_t n)
        : dst_(dst),
          options_(options),
          hashBits_(hashBitsFor(std::min(n, kSegmentBytes))),
          table_(new HashBucket[size_t(1) << hashBits_]),
          matchCap_(static_cast<uint32_t>(std::min<uint64_t>(kMatchesPerBlock, n + 16))),
          literalCap_(static_cast<uint32_t>(std::min<uint64_t>(kLiteralsPerBlock, n + 16))),
          l_(new uint32_t[matchCap_]),
          m_(new uint32_t[matchCap_]),
          d_(new uint32_t[matchCap_]),
          literals_(new uint8_t[literalCap_ + 16]) {}

    bool encode(const uint8_t* src, uint64_t n) {
        for (uint64_t at = 0; at < n; at += kSegmentBytes) {
            if (!segment(src + at, std::min(kSegmentBytes, n - at))) return false;
        }
        if (!flushBlock()) return false;
        if (dst_.size() - written_ < 4) return false;
        store32(dst_.data() + written_, kEndMagic);
        written_ += 4;
        return true;
    }
    size_t written() const { return written_; }

private:
    uint32_t hash(uint32_t x) const { return (x * 2654435761u) >> (32 - hashBits_); }

    bool segment(const uint8_t* src, uint64_t n) {
        src_ = src;
        n_ = static_cast<int64_t>(n);
        literal_ = 0;
        pending_ = Match{};
        std::fill_n(table_.get(), size_t(1) << hashBits_, HashBucket::filled(kNoPosition, 0));

        const int64_t searchEnd = n_ - 8;
        for (int64_t pos = 0; pos < searchEnd; ++pos) {
            const uint32_t x = load32(src_ + pos);
            // The table does not fit the first-level cache; ask for a later bucket early.
            __builtin_prefetch(&table_[hash(load32(src_ + std::min(pos + 8, searchEnd)))]);
            HashBucket& b = table_[hash(x)];
            const HashBucket old = b;
            b.push(static_cast<int32_t>(pos), x);
            if (pos < literal_) continue;  // still inside an emitted match

            Match in{pos, 0, 0};
            const uint32_t maxLength = static_cast<uint32_t>(n_ - pos - 8);
            for (unsigned same = old.sameMask(x, 0xFFFFFFFFu); same != 0; same &= same - 1) {
                const int64_t ref = old.pos[std::countr_zero(same)];
                if (ref + static_cast<int64_t>(kMaxDValue) < pos) continue;
                const uint8_t* a = src_ + ref;
                const uint8_t* c = src_ + pos;
                uint32_t len = 4;
                while (len < maxLength) {
                    const uint64_t diff = load64(a + len) ^ load64(c + len);
                    if (diff == 0) {
                        len += 8;
                        continue;
                    }
                    len += static_cast<uint32_t>(std::countr_zero(diff) >> 3);
                    break;
                }
                if (len > in.length) in.length = len, in.ref = ref;
            }
            if (in.length == 0) {
                // Keep the literal run short enough to fit a block.
                if (pos - literal_ > 8 * static_cast<int64_t>(kMaxLValue)) {
                    if (pending_.length > 0) {
                        if (!addMatch(pending_)) return false;
                        pending_ = Match{};
                    } else if (!addMatch(Match{literal_ + kMaxLValue, literal_ + kMaxLValue - 1, 0})) {
                        return false;
                    }
                }
                continue;
            }
            in.length = std::min(in.length, kMaxMatchLength);
            while (in.pos > literal_ && in.ref > 0 && src_[in.ref - 1] == src_[in.pos - 1]) --in.pos, --in.ref;
            in.length += static_cast<uint32_t>(pos - in.pos);

            if (in.length >= kGoodMatch) {
                if (!addMatch(in)) return false;
                pending_ = Match{};
            } else if (pending_.length == 0) {
                pending_ = in;
            } else if (pending_.pos + pending_.length <= in.pos) {
                if (!addMatch(pending_)) return false;
                pending_ = in;
            } else {
                if (!addMatch(in.length > pending_.length ? in : pending_)) return false;
                pending_ = Match{};
            }
        }
        if (pending_.length > 0) {
            if (!addMatch(pending_)) return false;
            pending_ = Match{};
        }
        if (n_ > literal_ && !addMatch(Match{n_, n_ - 1, 0})) return false;
        return true;
    }

    // Adds a match (literals before it included), splitting long runs; when the block is
    // full it is coded first and the whole match goes into the next one.
    bool addMatch(const Match& m) {
        if (tryAdd(m)) return true;
        if (!flushBlock()) return false;
        return tryAdd(m);
    }

    bool tryAdd(const Match& m) {
        const uint32_t m0 = nMatches_, l0 = nLiterals_;
        const int64_t lit0 = literal_;
        uint32_t L = static_cast<uint32_t>(m.pos - literal_);
        uint32_t M = m.length;
        const uint32_t D = static_cast<uint32_t>(m.pos - m.ref);
        auto undo = [&] {
            nMatches_ = m0, nLiterals_ = l0, literal_ = lit0;
            return false;
        };
        while (L > kMaxLValue) {
            if (!push(kMaxLValue, 0, 1)) return undo();
            L -= kMaxLValue;
        }
        while (M > kMaxMValue) {
            if (!push(L, kMaxMValue, D)) return undo();
            L = 0;
            M -= kMaxMValue;
        }
        if ((L > 0 || M > 0) && !push(L, M, D)) return undo();
        return true;
    }

    bool push(uint32_t L, uint32_t M, uint32_t D) {
        if (nMatches_ + 1 + 8 > kMatchesPerBlock || nMatches_ >= matchCap_) return false;
        if (nLiterals_ + L + 16 > kLiteralsPerBlock || nLiterals_ + L > literalCap_) return false;
        l_[nMatches_] = L;
        m_[nMatches_] = M;
        d_[nMatches_] = D;
        ++nMatches_;
        std::memcpy(literals_.get() + nLiterals_, src_ + literal_, L);
        nLiterals_ += L;
        literal_ += L + M;
        return true;
    }

    bool flushBlock() {
        if (nLiterals_ == 0 && nMatches_ == 0) return true;
        while (nLiterals_ & 3) literals_[nLiterals_++] = 0;
        uint32_t prev = 0;
        uint64_t rawBytes = 0;
        uint32_t lCount[kLSymbols] = {}, mCount[kMSymbols] = {}, dCount[kDSymbols] = {}, litCount[kLiteralSymbols] = {};
        for (uint32_t i = 0; i < nMatches_; ++i) {
            rawBytes += l_[i] + m_[i];
            if (d_[i] == prev) {
                d_[i] = 0;
            } else {
                prev = d_[i];
            }
            ++lCount[lSymbol(l_[i])];
            ++mCount[mSymbol(m_[i])];
            ++dCount[dSymbol(d_[i])];
        }
        {
            // Four histograms, so that runs of one byte do not wait on their own increments.
            uint32_t part[4][kLiteralSymbols] = {};
            const uint8_t* lit = literals_.get();
            for (uint32_t i = 0; i < nLiterals_; i += 4) {  // a multiple of 4 by now
                ++part[0][lit[i]];
                ++part[1][lit[i + 1]];
                ++part[2][lit[i + 2]];
                ++part[3][lit[i + 3]];
            }
            for (int c = 0; c < kLiteralSymbols; ++c) litCount[c] = part[0][c] + part[1][c] + part[2][c] + part[3][c];
        }

        uint16_t freq[kAllSymbols];
        uint16_t* lFreq = freq;
        uint16_t* mFreq = lFreq + kLSymbols;
        uint16_t* dFreq = mFreq + kMSymbols;
        uint16_t* litFreq = dFreq + kDSymbols;
        normalize(lCount, kLSymbols, kLStates, lFreq);
        normalize(mCount, kMSymbols, kMStates, mFreq);
        normalize(dCount, kDSymbols, kDStates, dFreq);
        normalize(litCount, kLiteralSymbols, kLiteralStates, litFreq);
        EncoderEntry lEnc[kLSymbols], mEnc[kMSymbols], dEnc[kDSymbols], litEnc[kLiteralSymbols];
        buildEncoderTable(lFreq, kLSymbols, kLStates, lEnc);
        buildEncoderTable(mFreq, kMSymbols, kMStates, mEnc);
        buildEncoderTable(dFreq, kDSymbols, kDStates, dEnc);
        buildEncoderTable(litFreq, kLiteralSymbols, kLiteralStates, litEnc);

        // Straight into the output when even the worst case fits there, else via scratch.
        const size_t worst = kV1HeaderBytes + size_t(nLiterals_) * 10 / 8 + size_t(nMatches_) * 7 + 64;
        const bool direct = dst_.size() - written_ >= worst;
        if (!direct && blockCap_ < worst) {
            block_.reset(new uint8_t[worst]);
            blockCap_ = worst;
        }
        uint8_t* base = direct ? dst_.data() + written_ : block_.get();
        std::memset(base, 0, kV1HeaderBytes);
        size_t headerBytes;
        if (options_.v1Headers) {
            headerBytes = kV1HeaderBytes;
        } else {
            uint8_t* q = base + kV2FixedHeaderBytes;
            uint32_t accum = 0;
            int count = 0;
            for (int i = 0; i < kAllSymbols; ++i) {
                uint32_t bits;
                int nbits;
                encodeFreq(freq[i], bits, nbits);
                accum |= bits << count;
                count += nbits;
                while (count >= 8) {
                    *q++ = static_cast<uint8_t>(accum);
                    accum >>= 8;
                    count -= 8;
                }
            }
            if (count > 0) *q++ = static_cast<uint8_t>(accum);
            headerBytes = static_cast<size_t>(q - base);
        }

        // Literals, last first, so that the decoder reads them first to last.
        ForwardBits lit(base + headerBytes);
        uint32_t s0 = 0, s1 = 0, s2 = 0, s3 = 0;  // scalars: byte stores could alias an array
        for (uint32_t i = nLiterals_; i > 0;) {
            i -= 4;
            const uint8_t* q = literals_.get() + i;
            encodeSymbol<kLiteralStates>(s3, litEnc[q[3]], lit);
            encodeSymbol<kLiteralStates>(s2, litEnc[q[2]], lit);
            encodeSymbol<kLiteralStates>(s1, litEnc[q[1]], lit);
            encodeSymbol<kLiteralStates>(s0, litEnc[q[0]], lit);
            lit.flush();
        }
        const uint16_t ls[4] = {uint16_t(s0), uint16_t(s1), uint16_t(s2), uint16_t(s3)};
        const int literalBits = lit.finish();
        const uint32_t literalPayload = static_cast<uint32_t>(lit.position() - (base + headerBytes));

        uint8_t* lmdStart = lit.position();
        store64(lmdStart, 0);  // the decoder's first refill may reach 8 bytes back
        ForwardBits lmd(lmdStart + 8);
        uint32_t lState = 0, mState = 0, dState = 0;
        for (uint32_t i = nMatches_; i > 0;) {
            --i;
            const uint32_t ds = dSymbol(d_[i]);
            lmd.push(d_[i] - static_cast<uint32_t>(kDBase[ds]), kDExtraBits[ds]);
            encodeSymbol<kDStates>(dState, dEnc[ds], lmd);
            const uint32_t ms = mSymbol(m_[i]);
            lmd.push(m_[i] - static_cast<uint32_t>(kMBase[ms]), kMExtraBits[ms]);
            encodeSymbol<kMStates>(mState, mEnc[ms], lmd);
            const uint32_t lsym = lSymbol(l_[i]);
            lmd.push(l_[i] - static_cast<uint32_t>(kLBase[lsym]), kLExtraBits[lsym]);
            encodeSymbol<kLStates>(lState, lEnc[lsym], lmd);
            lmd.flush();
        }
        const int lmdBits = lmd.finish();
        const uint32_t lmdPayload = static_cast<uint32_t>(lmd.position() - lmdStart);

        if (options_.v1Headers) {
            store32(base, kV1Magic);
            store32(base + 4, static_cast<uint32_t>(rawBytes));
            store32(base + 8, literalPayload + lmdPayload);
            store32(base + 12, nLiterals_);
            store32(base + 16, nMatches_);
            store32(base + 20, literalPayload);
            store32(base + 24, lmdPayload);
            store32(base + 28, static_cast<uint32_t>(literalBits));
            for (int i = 0; i < 4; ++i) std::memcpy(base + 32 + 2 * i, &ls[i], 2);
            store32(base + 40, static_cast<uint32_t>(lmdBits));
            const uint16_t lmdStates[3] = {uint16_t(lState), uint16_t(mState), uint16_t(dState)};
            std::memcpy(base + 44, lmdStates, 6);
            std::memcpy(base + kV1FreqOffset, freq, sizeof freq);
        } else {
            store32(base, kV2Magic);
            store32(base + 4, static_cast<uint32_t>(rawBytes));
            const uint64_t f0 = uint64_t(nLiterals_) | uint64_t(literalPayload) << 20 | uint64_t(nMatches_) << 40 |
                                uint64_t(literalBits + 7) << 60;
            const uint64_t f1 = uint64_t(ls[0]) | uint64_t(ls[1]) << 10 | uint64_t(ls[2]) << 20 |
                                uint64_t(ls[3]) << 30 | uint64_t(lmdPayload) << 40 | uint64_t(lmdBits + 7) << 60;
            const uint64_t f2 = uint64_t(headerBytes) | uint64_t(lState) << 32 | uint64_t(mState) << 42 |
                                uint64_t(dState) << 52;
            store64(base + 8, f0);
            store64(base + 16, f1);
            store64(base + 24, f2);
        }
        const size_t blockBytes = headerBytes + literalPayload + lmdPayload;
        if (!direct) {
            if (dst_.size() - written_ < blockBytes) return false;
            std::memcpy(dst_.data() + written_, base, blockBytes);
        }
        written_ += blockBytes;
        nLiterals_ = 0;
        nMatches_ = 0;
        return true;
    }

    std::span<uint8_t> dst_;
    detail::EncodeOptions options_;
    size_t written_ = 0;
    std::unique_ptr<uint8_t[]> block_;  // only when the output has no room for a block's worst case
    size_t blockCap_ = 0;
    int hashBits_;
    std::unique_ptr<HashBucket[]> table_;
    uint32_t matchCap_, literalCap_;
    std::unique_ptr<uint32_t[]> l_, m_, d_;
    std::unique_ptr<uint8_t[]> literals_;
    const uint8_t* src_ = nullptr;
    int64_t n_ = 0;
    int64_t literal_ = 0;  // first byte not yet covered by a literal or match
    Match pending_;
    uint32_t nMatches_ = 0, nLiterals_ = 0;
};

size_t writeRaw(std::span<uint8_t> dst, std::span<const uint8_t> src) {
    if (src.size() >= static_cast<size_t>(std::numeric_limits<int32_t>::max())) return 0;
    if (dst.size() < src.size() + 12) return 0;
    store32(dst.data(), kRawMagic);
    store32(dst.data() + 4, static_cast<uint32_t>(src.size()));
    if (!src.empty()) std::memcpy(dst.data() + 8, src.data(), src.size());
    store32(dst.data() + 8 + src.size(), kEndMagic);
    return src.size() + 12;
}

}  // namespace

namespace detail {
size_t lzfseEncodeBuffer(std::span<uint8_t> dst, std::span<const uint8_t> src, const EncodeOptions& options) {
    const size_t n = src.size();
    if (n >= 8 && n < kLzvnThreshold && !options.forceFse) {
        if (dst.size() > 4 + kLzvnHeaderBytes) {
            const size_t sz = lzvnEncode(dst.data() + kLzvnHeaderBytes, dst.size() - 4 - kLzvnHeaderBytes, src.data(), n);
            if (sz > 0 && sz + kLzvnHeaderBytes + 4 < n + kRawHeaderBytes + 4) {  // smaller than a raw block
                store32(dst.data(), kLzvnMagic);
                store32(dst.data() + 4, static_cast<uint32_t>(n));
                store32(dst.data() + 8, static_cast<uint32_t>(sz));
                store32(dst.data() + kLzvnHeaderBytes + sz, kEndMagic);
                return sz + 4 + kLzvnHeaderBytes;
            }
        }
        return writeRaw(dst, src);
    }
    if (n >= 8 || (options.forceFse && n > 0)) {
        auto enc = std::make_unique<Encoder>(dst, options, n);
        if (enc->encode(src.data(), n)) return enc->written();
    }
    return writeRaw(dst, src);
}
}  // namespace detail

size_t lzfseEncodeBuffer(std::span<uint8_t> dst, std::span<const uint8_t> src) {
    return detail::lzfseEncodeBuffer(dst, src, detail::EncodeOptions{});
}

}  // namespace pk::compression
