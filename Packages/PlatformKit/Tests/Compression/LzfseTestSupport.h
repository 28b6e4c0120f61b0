#pragma once
// Inputs shared by the LZFSE tests and benchmarks, and the reference codec when the build
// has it (see LzfseOracle.cmake).
#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "PlatformKit/Compression/Lzfse.h"

#if defined(KS_LZFSE_ORACLE)
// The reference one-shot API (its header pulls in kernel stand-ins, so it is declared here).
extern "C" {
size_t lzfse_encode_buffer(uint8_t* dst, size_t dst_size, const uint8_t* src, size_t src_size, void* scratch);
size_t lzfse_decode_buffer(uint8_t* dst, size_t dst_size, const uint8_t* src, size_t src_size, void* scratch);
}
#endif

namespace lzfsetest {

inline bool haveOracle() {
#if defined(KS_LZFSE_ORACLE)
    return true;
#else
    return false;
#endif
}

// The reference's stream of `in` in `out` (its whole size is the capacity); its length.
inline size_t oracleEncodeInto(std::vector<uint8_t>& out, const std::vector<uint8_t>& in) {
#if defined(KS_LZFSE_ORACLE)
    uint8_t none = 0;  // the reference does pointer arithmetic even on empty buffers
    return lzfse_encode_buffer(out.empty() ? &none : out.data(), out.size(), in.empty() ? &none : in.data(), in.size(),
                               nullptr);
#else
    (void)out;
    (void)in;
    return 0;
#endif
}

inline std::vector<uint8_t> oracleEncode(const std::vector<uint8_t>& in, size_t capacity) {
    std::vector<uint8_t> out(capacity);
    out.resize(oracleEncodeInto(out, in));
    return out;
}

inline size_t oracleDecode(const std::vector<uint8_t>& in, std::vector<uint8_t>& out) {
#if defined(KS_LZFSE_ORACLE)
    uint8_t none = 0;
    return lzfse_decode_buffer(out.empty() ? &none : out.data(), out.size(), in.empty() ? &none : in.data(), in.size(),
                               nullptr);
#else
    (void)in;
    (void)out;
    return 0;
#endif
}

// Deterministic on every platform (no std distributions).
class Lcg {
public:
    explicit Lcg(uint64_t seed) : s_(seed) {}
    uint32_t next() {
        s_ = s_ * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<uint32_t>(s_ >> 33);
    }

private:
    uint64_t s_;
};

inline std::vector<uint8_t> randomBytes(size_t n, uint64_t seed = 7) {
    Lcg r(seed);
    std::vector<uint8_t> v(n);
    for (auto& b : v) b = static_cast<uint8_t>(r.next() >> 7);
    return v;
}

// English-like text: words from a small vocabulary with punctuation and line breaks.
inline std::vector<uint8_t> text(size_t n, uint64_t seed = 11) {
    static const char* words[] = {"the", "archive", "mesh", "of", "light", "and", "studio", "render", "a",
                                  "material", "brass", "orrery", "glass", "lantern", "drone", "reactor",
                                  "cask", "figure", "carrier", "chip", "to", "in", "with", "is", "for",
                                  "normal", "roughness", "metal", "turntable", "camera", "lens", "shadow"};
    Lcg r(seed);
    std::string s;
    while (s.size() < n) {
        s += words[r.next() % (sizeof words / sizeof *words)];
        const uint32_t p = r.next() % 20;
        s += p == 0 ? ".\n" : p == 1 ? ", " : " ";
    }
    s.resize(n);
    return {s.begin(), s.end()};
}

// A hero mesh file as the studio writes them: header, meshlets, 48-byte vertices of a
// sphere and 8-bit meshlet-local indices.
inline std::vector<uint8_t> mwmsFile(uint32_t rings = 96, uint32_t segments = 128) {
    std::vector<float> verts;
    for (uint32_t i = 0; i <= rings; ++i)
        for (uint32_t j = 0; j <= segments; ++j) {
            const float th = 3.14159265f * i / rings, ph = 6.2831853f * j / segments;
            const float x = std::sin(th) * std::cos(ph), y = std::cos(th), z = std::sin(th) * std::sin(ph);
            const float v[12] = {x * 0.5f, y * 0.5f + 0.5f, z * 0.5f, x, y, z, float(j) / segments,
                                 float(i) / rings, 0.8f, 0.6f, 0.3f, 17.0f};
            verts.insert(verts.end(), v, v + 12);
        }
    const uint32_t V = static_cast<uint32_t>(verts.size() / 12);
    std::vector<uint8_t> idx;
    struct Meshlet { uint32_t base, off, tris; };
    std::vector<Meshlet> meshlets;
    const uint32_t row = segments + 1;
    for (uint32_t i = 0; i < rings; ++i) {
        // One meshlet per ring pair in chunks of 40 quads keeps local indices below 256.
        for (uint32_t j0 = 0; j0 < segments; j0 += 40) {
            const uint32_t base = i * row + j0;
            Meshlet m{base, static_cast<uint32_t>(idx.size()), 0};
            for (uint32_t j = j0; j < std::min(segments, j0 + 40); ++j) {
                const uint32_t a = i * row + j - base, b = a + 1, c = a + row, d = c + 1;
                const uint8_t t[6] = {uint8_t(a), uint8_t(c), uint8_t(b), uint8_t(b), uint8_t(c), uint8_t(d)};
                idx.insert(idx.end(), t, t + 6);
                m.tris += 2;
            }
            meshlets.push_back(m);
        }
    }
    std::vector<uint8_t> out = {'M', 'W', 'M', 'S'};
    auto u32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    };
    u32(2);
    u32(static_cast<uint32_t>(meshlets.size()));
    u32(V);
    u32(static_cast<uint32_t>(idx.size()));
    for (const auto& m : meshlets) {
        u32(m.base); u32(0); u32(m.off); u32(m.tris);
        for (int k = 0; k < 4; ++k) u32(0);
    }
    const auto* vb = reinterpret_cast<const uint8_t*>(verts.data());
    out.insert(out.end(), vb, vb + verts.size() * 4);
    out.insert(out.end(), idx.begin(), idx.end());
    return out;
}

// Runs of short repeating patterns, one for each period from 1 to 20 bytes: every kind
// of overlapping match copy.
inline std::vector<uint8_t> periodicRuns(size_t repeats = 60, uint64_t seed = 5) {
    Lcg r(seed);
    std::vector<uint8_t> v;
    for (size_t period = 1; period <= 20; ++period) {
        uint8_t pattern[20];
        for (size_t i = 0; i < period; ++i) pattern[i] = static_cast<uint8_t>(r.next());
        for (size_t k = 0; k < repeats * period; ++k) v.push_back(pattern[k % period]);
        for (int i = 0; i < 7; ++i) v.push_back(static_cast<uint8_t>(r.next()));  // a seam of literals
    }
    return v;
}

inline std::vector<uint8_t> encode(const std::vector<uint8_t>& in, size_t extra = 4096) {
    std::vector<uint8_t> out(in.size() + extra);
    out.resize(pk::compression::lzfseEncodeBuffer(out, in));
    return out;
}

inline std::optional<std::vector<uint8_t>> decode(const std::vector<uint8_t>& in, size_t expected) {
    std::vector<uint8_t> out(expected);
    if (pk::compression::lzfseDecodeBuffer(out, in) != expected) return std::nullopt;
    return out;
}

}  // namespace lzfsetest
