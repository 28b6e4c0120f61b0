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
    std::unordered_map<BitsKey<8>, uint32_t, BitsHash<8>> first;
    first.reserve(count);
    std::vector<uint32_t> remap(count);
    std::vector<pk::float3> positions, normals;
    std::vector<pk::float2> uvs;
    positions.reserve(count);
    for (size_t v = 0; v < count; ++v) {
        float values[8] = {mesh.positions[v].x, mesh.positions[v].y, mesh.positions[v].z, 0, 0, 0, 0, 0};
        if (hasNormals) std::memcpy(values + 3, &mesh.normals[v].x, sizeof(float) * 3);
        if (hasUVs) std::memcpy(values + 6, &mesh.textureCoordinates[v].x, sizeof(float) * 2);
        const auto [it, added] = first.try_emplace(keyOf<8>(values), static_cast<uint32_t>(positions.size()));
        remap[v] = it->second;
        if (!added) continue;
        positions.push_back(mesh.positions[v]);
        if (hasNormals) normals.push_back(mesh.normals[v]);
        if (hasUVs) uvs.push_back(mesh.textureCoordinates[v]);
    }
    for (auto& sub : mesh.submeshes)
        for (auto& i : sub.indices)
            if (i < count) i = remap[i];
    mesh.positions = std::move(positions);
    if (hasNormals) mesh.normals = std::move(normals);
    if (hasUVs) mesh.textureCoordinates = std::move(uvs);
}

void finishMesh(Mesh& mesh, float creaseCosine) {
    generateMissingNormals(mesh, std::clamp(creaseCosine, -1.0f, 1.0f));
    joinIdenticalVertices(mesh);
}

}  // namespace pk::modelimport
