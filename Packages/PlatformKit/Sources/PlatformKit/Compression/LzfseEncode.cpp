// LZFSE encoder: a hashed match finder (four candidates per bucket) with one pending
// match, L/M/D triplets gathered into blocks of at most 10000 matches and 40000
// literals, each block coded with FSE under normalised tables.
#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "PlatformKit/Compression/Lzfse.h"
#include "PlatformKit/Compression/LzfseFormat.h"

namespace pk::compression {

size_t lzvnEncode(uint8_t* dst, size_t cap, const uint8_t* src, size_t n);  // LzvnEncode.cpp

using namespace fmt;

namespace {

constexpr int kHashBits = 14;
constexpr int kHashWidth = 4;
constexpr uint32_t kGoodMatch = 40;
constexpr uint32_t kLzvnThreshold = 4096;
constexpr uint32_t kMaxMatchLength = 100 * kMaxMValue;
constexpr int32_t kNoPosition = -4 * static_cast<int32_t>(kMaxDValue);
// Positions are 32-bit inside a segment; longer inputs are matched segment by segment.
constexpr uint64_t kSegmentBytes = uint64_t(1) << 30;

struct Bucket {
    int32_t pos[kHashWidth];
    uint32_t value[kHashWidth];
};

inline uint32_t hash4(uint32_t x) { return (x * 2654435761u) >> (32 - kHashBits); }

// Frequencies summing to nstates, each used symbol at least 1, chosen greedily so that
// the coded size under the counts stays small.
void normalize(const uint32_t* counts, int nsymbols, int nstates, uint16_t* freq) {
    uint64_t total = 0;
    for (int s = 0; s < nsymbols; ++s) total += counts[s];
    if (total == 0) {
        std::fill(freq, freq + nsymbols, uint16_t(0));
        return;
    }
    int sum = 0;
    for (int s = 0; s < nsymbols; ++s) {
        if (counts[s] == 0) {
            freq[s] = 0;
            continue;
        }
        uint64_t f = (uint64_t(counts[s]) * nstates * 2 + total) / (2 * total);
        if (f == 0) f = 1;
        freq[s] = static_cast<uint16_t>(f);
        sum += static_cast<int>(f);
    }
    // Each step moves one state where it costs least (about count / frequency bits).
    while (sum > nstates) {
        int best = -1;
        double bestCost = std::numeric_limits<double>::max();
        for (int s = 0; s < nsymbols; ++s) {
            if (freq[s] <= 1) continue;
            const double cost = counts[s] / (freq[s] - 0.5);
            if (cost < bestCost) bestCost = cost, best = s;
        }
        const int take = std::max(1, std::min(sum - nstates, freq[best] / 16));
        freq[best] = static_cast<uint16_t>(freq[best] - take);
        sum -= take;
    }
    while (sum < nstates) {
        int best = -1;
        double bestGain = -1;
        for (int s = 0; s < nsymbols; ++s) {
            if (counts[s] == 0) continue;
            const double gain = counts[s] / (freq[s] + 0.5);
            if (gain > bestGain) bestGain = gain, best = s;
        }
        const int give = std::max(1, std::min(nstates - sum, freq[best] / 16));
        freq[best] = static_cast<uint16_t>(freq[best] + give);
        sum += give;
    }
}

struct EncoderEntry {
    int32_t s0, k, delta0, delta1;
};

// The inverse of the decoder's state layout: from the decoder's next state, the bits to
// write and the state that produced the symbol.
void buildEncoderTable(const uint16_t* freq, int nsymbols, int nstates, EncoderEntry* t) {
    const int clzStates = std::countl_zero(static_cast<uint32_t>(nstates));
    int offset = 0;
    for (int s = 0; s < nsymbols; ++s) {
        const int f = freq[s];
        if (f == 0) {
            t[s] = {0, 0, 0, 0};
            continue;
        }
        const int k = std::countl_zero(static_cast<uint32_t>(f)) - clzStates;
        t[s].s0 = (f << k) - nstates;
        t[s].k = k;
        t[s].delta0 = offset - f + (nstates >> k);
        t[s].delta1 = k > 0 ? offset - f + (nstates >> (k - 1)) : 0;
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

inline void encodeSymbol(uint16_t& state, const EncoderEntry& e, ForwardBits& out) {
    const int s = state;
    const bool hi = s >= e.s0;
    const int nbits = hi ? e.k : e.k - 1;
    out.push(static_cast<uint64_t>(s) & ((uint64_t(1) << nbits) - 1), nbits);
    state = static_cast<uint16_t>((hi ? e.delta0 : e.delta1) + (s >> nbits));
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
    Encoder(std::span<uint8_t> dst, const detail::EncodeOptions& options)
        : dst_(dst), options_(options), block_(kBlockScratch) {}

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
    static constexpr size_t kBlockScratch = 256 * 1024;

    bool segment(const uint8_t* src, uint64_t n) {
        src_ = src;
        n_ = static_cast<int64_t>(n);
        literal_ = 0;
        pending_ = Match{};
        if (!table_) table_ = std::make_unique<Bucket[]>(size_t(1) << kHashBits);
        for (size_t i = 0; i < (size_t(1) << kHashBits); ++i)
            for (int k = 0; k < kHashWidth; ++k) table_[i].pos[k] = kNoPosition, table_[i].value[k] = 0;

        const int64_t searchEnd = n_ - 8;
        for (int64_t pos = 0; pos < searchEnd; ++pos) {
            const uint32_t x = load32(src_ + pos);
            Bucket& b = table_[hash4(x)];
            const Bucket old = b;
            b.pos[0] = static_cast<int32_t>(pos);
            b.value[0] = x;
            for (int k = 1; k < kHashWidth; ++k) b.pos[k] = old.pos[k - 1], b.value[k] = old.value[k - 1];
            if (pos < literal_) continue;  // still inside an emitted match

            Match in{pos, 0, 0};
            const uint32_t maxLength = static_cast<uint32_t>(n_ - pos - 8);
            for (int k = 0; k < kHashWidth; ++k) {
                if (old.value[k] != x) continue;
                const int64_t ref = old.pos[k];
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
        if (nMatches_ + 1 + 8 > kMatchesPerBlock) return false;
        if (nLiterals_ + L + 16 > kLiteralsPerBlock) return false;
        l_[nMatches_] = L;
        m_[nMatches_] = M;
        d_[nMatches_] = D;
        ++nMatches_;
        std::memcpy(literals_ + nLiterals_, src_ + literal_, L);
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
        for (uint32_t i = 0; i < nLiterals_; ++i) ++litCount[literals_[i]];

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

        uint8_t* base = block_.data();
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
        uint16_t ls[4] = {0, 0, 0, 0};
        for (uint32_t i = nLiterals_; i > 0;) {
            i -= 4;
            encodeSymbol(ls[3], litEnc[literals_[i + 3]], lit);
            encodeSymbol(ls[2], litEnc[literals_[i + 2]], lit);
            encodeSymbol(ls[1], litEnc[literals_[i + 1]], lit);
            encodeSymbol(ls[0], litEnc[literals_[i + 0]], lit);
            lit.flush();
        }
        const int literalBits = lit.finish();
        const uint32_t literalPayload = static_cast<uint32_t>(lit.position() - (base + headerBytes));

        uint8_t* lmdStart = lit.position();
        store64(lmdStart, 0);  // the decoder's first refill may reach 8 bytes back
        ForwardBits lmd(lmdStart + 8);
        uint16_t lState = 0, mState = 0, dState = 0;
        for (uint32_t i = nMatches_; i > 0;) {
            --i;
            const uint32_t ds = dSymbol(d_[i]);
            lmd.push(d_[i] - static_cast<uint32_t>(kDBase[ds]), kDExtraBits[ds]);
            encodeSymbol(dState, dEnc[ds], lmd);
            const uint32_t ms = mSymbol(m_[i]);
            lmd.push(m_[i] - static_cast<uint32_t>(kMBase[ms]), kMExtraBits[ms]);
            encodeSymbol(mState, mEnc[ms], lmd);
            const uint32_t lsym = lSymbol(l_[i]);
            lmd.push(l_[i] - static_cast<uint32_t>(kLBase[lsym]), kLExtraBits[lsym]);
            encodeSymbol(lState, lEnc[lsym], lmd);
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
            std::memcpy(base + 44, &lState, 2);
            std::memcpy(base + 46, &mState, 2);
            std::memcpy(base + 48, &dState, 2);
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
        if (dst_.size() - written_ < blockBytes) return false;
        std::memcpy(dst_.data() + written_, base, blockBytes);
        written_ += blockBytes;
        nLiterals_ = 0;
        nMatches_ = 0;
        return true;
    }

    std::span<uint8_t> dst_;
    detail::EncodeOptions options_;
    size_t written_ = 0;
    std::vector<uint8_t> block_;
    std::unique_ptr<Bucket[]> table_;
    const uint8_t* src_ = nullptr;
    int64_t n_ = 0;
    int64_t literal_ = 0;  // first byte not yet covered by a literal or match
    Match pending_;
    uint32_t nMatches_ = 0, nLiterals_ = 0;
    uint32_t l_[kMatchesPerBlock], m_[kMatchesPerBlock], d_[kMatchesPerBlock];
    uint8_t literals_[kLiteralsPerBlock + 16];
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
            if (sz > 0 && sz < n) {
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
        auto enc = std::make_unique<Encoder>(dst, options);
        if (enc->encode(src.data(), n)) return enc->written();
    }
    return writeRaw(dst, src);
}
}  // namespace detail

size_t lzfseEncodeBuffer(std::span<uint8_t> dst, std::span<const uint8_t> src) {
    return detail::lzfseEncodeBuffer(dst, src, detail::EncodeOptions{});
}

}  // namespace pk::compression
