#pragma once
// Constants of the LZFSE block format shared by the encoder and the decoder.
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace pk::compression::fmt {

inline constexpr uint32_t kEndMagic = 0x24787662;   // "bvx$"
inline constexpr uint32_t kRawMagic = 0x2d787662;   // "bvx-"
inline constexpr uint32_t kV1Magic = 0x31787662;    // "bvx1"
inline constexpr uint32_t kV2Magic = 0x32787662;    // "bvx2"
inline constexpr uint32_t kLzvnMagic = 0x6e787662;  // "bvxn"

inline constexpr int kLSymbols = 20, kMSymbols = 20, kDSymbols = 64, kLiteralSymbols = 256;
inline constexpr int kAllSymbols = kLSymbols + kMSymbols + kDSymbols + kLiteralSymbols;
inline constexpr int kLStates = 64, kMStates = 64, kDStates = 256, kLiteralStates = 1024;
inline constexpr uint32_t kMatchesPerBlock = 10000;
inline constexpr uint32_t kLiteralsPerBlock = 4 * kMatchesPerBlock;
inline constexpr uint32_t kMaxLValue = 315, kMaxMValue = 2359, kMaxDValue = 262139;

inline constexpr size_t kRawHeaderBytes = 8;
inline constexpr size_t kLzvnHeaderBytes = 12;
inline constexpr size_t kV2FixedHeaderBytes = 32;
// The v1 header is a plain record of 7 words, literal bits, 4 literal states, lmd bits,
// 3 states and the four frequency tables (360 halves), padded to 4 bytes.
inline constexpr size_t kV1HeaderBytes = 772;
inline constexpr size_t kV1FreqOffset = 50;

inline constexpr std::array<uint8_t, kLSymbols> kLExtraBits = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                                               0, 0, 0, 0, 0, 0, 2, 3, 5, 8};
inline constexpr std::array<int32_t, kLSymbols> kLBase = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,
                                                          10, 11, 12, 13, 14, 15, 16, 20, 28, 60};
inline constexpr std::array<uint8_t, kMSymbols> kMExtraBits = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                                               0, 0, 0, 0, 0, 0, 3, 5, 8, 11};
inline constexpr std::array<int32_t, kMSymbols> kMBase = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,
                                                          10, 11, 12, 13, 14, 15, 16, 24, 56, 312};

// Distances come in groups of four symbols; group g (g >= 1) has g extra bits and starts
// at 4 * (2^g - 1).
constexpr std::array<uint8_t, kDSymbols> makeDExtraBits() {
    std::array<uint8_t, kDSymbols> t{};
    for (int s = 0; s < kDSymbols; ++s) t[s] = static_cast<uint8_t>(s / 4);
    return t;
}
constexpr std::array<int32_t, kDSymbols> makeDBase() {
    std::array<int32_t, kDSymbols> t{};
    for (int s = 0; s < kDSymbols; ++s) {
        const int g = s / 4;
        t[s] = 4 * ((1 << g) - 1) + (s % 4) * (1 << g);
    }
    return t;
}
inline constexpr std::array<uint8_t, kDSymbols> kDExtraBits = makeDExtraBits();
inline constexpr std::array<int32_t, kDSymbols> kDBase = makeDBase();

inline uint32_t lSymbol(uint32_t v) {
    if (v < 16) return v;
    if (v < 20) return 16;
    if (v < 28) return 17;
    if (v < 60) return 18;
    return 19;
}
inline uint32_t mSymbol(uint32_t v) {
    if (v < 16) return v;
    if (v < 24) return 16;
    if (v < 56) return 17;
    if (v < 312) return 18;
    return 19;
}
inline uint32_t dSymbol(uint32_t v) {
    const uint32_t g = static_cast<uint32_t>(std::bit_width((v + 4) >> 2)) - 1;
    return 4 * g + ((v - 4 * ((1u << g) - 1)) >> g);
}

inline uint32_t load32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
inline uint64_t load64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}
inline void store32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }
inline void store64(uint8_t* p, uint64_t v) { std::memcpy(p, &v, 8); }
inline uint16_t load16(const uint8_t* p) {
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

// The encoders' hash table entry: the four most recent positions with one hash and the
// four bytes found at each, newest first. Built and compared four lanes at a time where
// the machine has vectors, so that a position with no candidate costs a few operations.
struct HashBucket {
    int32_t pos[4];
    uint32_t value[4];

    static HashBucket filled(int32_t p, uint32_t v) { return {{p, p, p, p}, {v, v, v, v}}; }

#if defined(__SSE2__)
    // Bit k set when entry k holds x in the bytes `care` selects.
    unsigned sameMask(uint32_t x, uint32_t care) const {
        const __m128i c = _mm_set1_epi32(static_cast<int>(care));
        const __m128i v = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(value)), c);
        const __m128i eq = _mm_cmpeq_epi32(v, _mm_set1_epi32(static_cast<int>(x & care)));
        return static_cast<unsigned>(_mm_movemask_ps(_mm_castsi128_ps(eq)));
    }
    // Puts (p, v) in front, dropping the oldest entry.
    void push(int32_t p, uint32_t v) {
        auto shifted = [](const void* lanes, uint32_t first) {
            const __m128i old = _mm_loadu_si128(static_cast<const __m128i*>(lanes));
            return _mm_or_si128(_mm_slli_si128(old, 4), _mm_cvtsi32_si128(static_cast<int>(first)));
        };
        const __m128i np = shifted(pos, static_cast<uint32_t>(p)), nv = shifted(value, v);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(pos), np);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(value), nv);
    }
#else
    unsigned sameMask(uint32_t x, uint32_t care) const {
        unsigned m = 0;
        for (int k = 0; k < 4; ++k) m |= unsigned(((value[k] ^ x) & care) == 0) << k;
        return m;
    }
    void push(int32_t p, uint32_t v) {
        for (int k = 3; k > 0; --k) pos[k] = pos[k - 1], value[k] = value[k - 1];
        pos[0] = p;
        value[0] = v;
    }
#endif
};

}  // namespace pk::compression::fmt
