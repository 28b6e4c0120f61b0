#pragma once
// Positions that all share one home slot under the welding hash the readers used to
// have (an unkeyed, invertible mix of the position bits, indexed by its low bits): the
// file an attacker could make against it. Shared by the weld tests and the benchmarks.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "PlatformKit/Math/Math.h"

namespace pk::modelimport::fixtures {

inline uint64_t formerPositionHash(const uint32_t (&bits)[3]) {
    uint64_t h = (uint64_t(bits[0]) << 32 | bits[1]) ^ (uint64_t(bits[2]) * 0x9E3779B97F4A7C15ull);
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDull;
    h ^= h >> 33;
    h *= 0xC4CEB9FE1A85EC53ull;
    return h ^ (h >> 33);
}

inline uint64_t inverseOdd(uint64_t a) {
    uint64_t x = a;  // Newton's iteration doubles the correct low bits each step
    for (int i = 0; i < 6; ++i) x *= 2 - a * x;
    return x;
}

// `count` distinct finite positions whose former hash has its low 24 bits zero, so every
// table of up to 16 M slots put them all in slot 0.
inline std::vector<pk::float3> formerHashCollisions(size_t count) {
    const uint64_t inv1 = inverseOdd(0xFF51AFD7ED558CCDull), inv2 = inverseOdd(0xC4CEB9FE1A85EC53ull);
    std::vector<pk::float3> out;
    out.reserve(count);
    for (uint64_t i = 1; out.size() < count; ++i) {
        uint64_t h = i << 24;
        h ^= h >> 33;  // each xor-shift by 33 of 64 bits is its own inverse
        h *= inv2;
        h ^= h >> 33;
        h *= inv1;
        h ^= h >> 33;
        const uint32_t bits[3] = {static_cast<uint32_t>(h >> 32), static_cast<uint32_t>(h), 0};
        pk::float3 p;
        std::memcpy(&p.x, bits, sizeof bits);
        if (std::isfinite(p.x) && std::isfinite(p.y)) out.push_back(p);
    }
    return out;
}

// A binary little-endian PLY of those positions, one triangle per three of them.
inline std::string collidingPly(const std::vector<pk::float3>& positions) {
    std::string ply = "ply\nformat binary_little_endian 1.0\nelement vertex " + std::to_string(positions.size()) +
                      "\nproperty float x\nproperty float y\nproperty float z\nelement face " +
                      std::to_string(positions.size() / 3) + "\nproperty list uchar int vertex_indices\nend_header\n";
    ply.append(reinterpret_cast<const char*>(positions.data()), positions.size() * sizeof(pk::float3));
    for (uint32_t f = 0; f < positions.size() / 3; ++f) {
        ply.push_back(3);
        const uint32_t idx[3] = {3 * f, 3 * f + 1, 3 * f + 2};
        ply.append(reinterpret_cast<const char*>(idx), sizeof idx);
    }
    return ply;
}

}  // namespace pk::modelimport::fixtures
