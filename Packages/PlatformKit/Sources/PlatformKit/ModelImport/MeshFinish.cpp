#include "PlatformKit/ModelImport/MeshFinish.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <unordered_map>

namespace pk::modelimport {

namespace {

pk::float3 normalizedOrZero(pk::float3 v) {
    const float len = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    if (len > 0.0f) {
        const float inv = 1.0f / len;
        v *= inv;
    }
    return v;
}

// Hashes the bits, so -0 and 0 (and NaN payloads) stay apart as bitwise equality wants.
template <size_t N>
struct BitsKey {
    uint32_t bits[N];
    bool operator==(const BitsKey&) const = default;
};
template <size_t N>
struct BitsHash {
    size_t operator()(const BitsKey<N>& k) const {
        uint64_t h = 0xCBF29CE484222325ull;
        for (uint32_t b : k.bits) h = (h ^ b) * 0x9E3779B97F4A7C15ull;
        return static_cast<size_t>(h ^ (h >> 29));
    }
};

template <size_t N>
BitsKey<N> keyOf(const float* values) {
    BitsKey<N> k;
    std::memcpy(k.bits, values, sizeof k.bits);
    return k;
}

}  // namespace

void generateMissingNormals(Mesh& mesh, float creaseCosine) {
    if (!mesh.normals.empty()) return;
    size_t corners = 0;
    bool anyTriangle = false;
    for (const auto& sub : mesh.submeshes) {
        corners += sub.indices.size();
        anyTriangle |= sub.geometryType == GeometryType::triangles && sub.indices.size() >= 3;
    }
    if (!anyTriangle || corners > UINT32_MAX) return;
    const size_t vertexCount = mesh.positions.size();
    const bool hasUVs = mesh.textureCoordinates.size() == vertexCount;

    // One vertex per corner; an index past the vertices (which readers should not
    // leave) becomes a zero vertex rather than a read outside the arrays.
    std::vector<pk::float3> positions;
    std::vector<pk::float2> uvs;
    positions.reserve(corners);
    if (hasUVs) uvs.reserve(corners);
    std::vector<pk::float3> faceNormal;  // per corner: its triangle's unit normal
    std::vector<uint8_t> onTriangle;
    faceNormal.reserve(corners);
    onTriangle.reserve(corners);
    for (auto& sub : mesh.submeshes) {
        const bool triangles = sub.geometryType == GeometryType::triangles;
        const size_t usable = triangles ? sub.indices.size() / 3 * 3 : sub.indices.size();
        for (size_t i = 0; i < sub.indices.size(); ++i) {
            const uint32_t v = sub.indices[i];
            positions.push_back(v < vertexCount ? mesh.positions[v] : pk::float3(0.0f));
            if (hasUVs) uvs.push_back(v < vertexCount ? mesh.textureCoordinates[v] : pk::float2(0.0f));
            faceNormal.emplace_back(0.0f);
            onTriangle.push_back(triangles && i < usable);
            sub.indices[i] = static_cast<uint32_t>(positions.size() - 1);
        }
        if (!triangles) continue;
        for (size_t f = 0; f + 3 <= usable; f += 3) {
            const size_t c0 = positions.size() - sub.indices.size() + f;
            const pk::float3 a = positions[c0];
            const pk::float3 n = normalizedOrZero(glm::cross(positions[c0 + 1] - a, positions[c0 + 2] - a));
            faceNormal[c0] = faceNormal[c0 + 1] = faceNormal[c0 + 2] = n;
        }
    }

    std::unordered_map<BitsKey<3>, std::vector<uint32_t>, BitsHash<3>> atPosition;
    atPosition.reserve(positions.size());
    for (uint32_t c = 0; c < positions.size(); ++c)
        if (onTriangle[c]) atPosition[keyOf<3>(&positions[c].x)].push_back(c);

    std::vector<pk::float3> normals(positions.size(), pk::float3(0.0f));
    constexpr size_t kCreaseTestLimit = 64;
    for (const auto& [key, at] : atPosition) {
        if (at.size() > kCreaseTestLimit) {
            pk::float3 sum(0.0f);
            for (uint32_t c : at) sum += faceNormal[c];
            sum = normalizedOrZero(sum);
            for (uint32_t c : at) normals[c] = sum;
            continue;
        }
        for (uint32_t c : at) {
            const pk::float3 own = faceNormal[c];
            pk::float3 sum(0.0f);
            for (uint32_t o : at) {
                const pk::float3 other = faceNormal[o];
                if (glm::dot(own, other) >= creaseCosine) sum += other;
            }
            normals[c] = normalizedOrZero(sum);
        }
    }
    mesh.positions = std::move(positions);
    mesh.textureCoordinates = std::move(uvs);
    mesh.normals = std::move(normals);
}

void joinIdenticalVertices(Mesh& mesh) {
    const size_t count = mesh.positions.size();
    const bool hasNormals = mesh.normals.size() == count;
    const bool hasUVs = mesh.textureCoordinates.size() == count;
    // Normals and texture coordinates this close are one value written twice (a facet
    // normal stored with different rounding); positions must match exactly.
    constexpr float kSquareEpsilon = 1e-5f * 1e-5f;
    auto sameAttributes = [&](size_t a, size_t b) {
        if (hasNormals) {
            const pk::float3 d = mesh.normals[a] - mesh.normals[b];
            if (!(glm::dot(d, d) <= kSquareEpsilon)) return false;
        }
        if (hasUVs) {
            const pk::float2 d = mesh.textureCoordinates[a] - mesh.textureCoordinates[b];
            if (!(glm::dot(d, d) <= kSquareEpsilon)) return false;
        }
        return true;
    };
    // A position's earlier distinct vertices (as old indices); only the first few are
    // compared, so a point shared by very many faces stays linear.
    constexpr size_t kCompareLimit = 32;
    std::unordered_map<BitsKey<3>, std::vector<uint32_t>, BitsHash<3>> atPosition;
    atPosition.reserve(count);
    std::vector<uint32_t> remap(count);
    std::vector<uint32_t> kept;
    kept.reserve(count);
    for (size_t v = 0; v < count; ++v) {
        auto& candidates = atPosition[keyOf<3>(&mesh.positions[v].x)];
        bool found = false;
        for (size_t k = 0; k < candidates.size() && k < kCompareLimit; ++k) {
            if (sameAttributes(candidates[k], v)) {
                remap[v] = remap[candidates[k]];
                found = true;
                break;
            }
        }
        if (found) continue;
        remap[v] = static_cast<uint32_t>(kept.size());
        kept.push_back(static_cast<uint32_t>(v));
        candidates.push_back(static_cast<uint32_t>(v));
    }
    for (auto& sub : mesh.submeshes)
        for (auto& i : sub.indices)
            if (i < count) i = remap[i];
    auto gather = [&](auto& values) {
        std::remove_reference_t<decltype(values)> out;
        out.reserve(kept.size());
        for (uint32_t v : kept) out.push_back(values[v]);
        values = std::move(out);
    };
    gather(mesh.positions);
    if (hasNormals) gather(mesh.normals);
    if (hasUVs) gather(mesh.textureCoordinates);
}

void finishMesh(Mesh& mesh, float creaseCosine) {
    generateMissingNormals(mesh, std::clamp(creaseCosine, -1.0f, 1.0f));
    joinIdenticalVertices(mesh);
}

}  // namespace pk::modelimport
