#include "PlatformKit/ModelImport/MeshFinish.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <span>

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

constexpr uint32_t kNoGroup = UINT32_MAX;

// Distinct positions (bitwise: -0 and 0 stay apart) numbered in order of first
// appearance, one number per vertex.
struct PositionGroups {
    std::vector<uint32_t> of;
    uint32_t count = 0;
};

uint64_t positionHash(const uint32_t (&bits)[3]) {
    // Whole-number coordinates leave the low bits zero: mix every bit into the low ones.
    uint64_t h = (uint64_t(bits[0]) << 32 | bits[1]) ^ (uint64_t(bits[2]) * 0x9E3779B97F4A7C15ull);
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDull;
    h ^= h >> 33;
    h *= 0xC4CEB9FE1A85EC53ull;
    return h ^ (h >> 33);
}

// An open-addressing table that grows with the distinct positions, not the vertices:
// no allocation per position and a table small enough to stay near the cache.
PositionGroups groupByPosition(const std::vector<pk::float3>& positions) {
    struct Slot {
        uint32_t bits[3];
        uint32_t group = kNoGroup;
    };
    std::vector<Slot> table(1024);
    PositionGroups groups;
    groups.of.resize(positions.size());
    auto place = [&](const Slot& entry) {
        size_t at = static_cast<size_t>(positionHash(entry.bits)) & (table.size() - 1);
        while (table[at].group != kNoGroup) at = (at + 1) & (table.size() - 1);
        table[at] = entry;
    };
    for (size_t v = 0; v < positions.size(); ++v) {
        Slot probe;
        std::memcpy(probe.bits, &positions[v].x, sizeof probe.bits);
        size_t at = static_cast<size_t>(positionHash(probe.bits)) & (table.size() - 1);
        while (table[at].group != kNoGroup && std::memcmp(table[at].bits, probe.bits, sizeof probe.bits) != 0)
            at = (at + 1) & (table.size() - 1);
        if (table[at].group != kNoGroup) {
            groups.of[v] = table[at].group;
            continue;
        }
        probe.group = groups.count++;
        groups.of[v] = probe.group;
        table[at] = probe;
        if (size_t(groups.count) * 2 > table.size()) {
            std::vector<Slot> old(table.size() * 2);
            old.swap(table);
            for (const Slot& e : old)
                if (e.group != kNoGroup) place(e);
        }
    }
    return groups;
}

// Generates normals as generateMissingNormals does; when it did, `cornerGroups` holds
// the position group of every new vertex, for the join to reuse.
bool generateNormals(Mesh& mesh, float creaseCosine, PositionGroups& cornerGroups) {
    if (!mesh.normals.empty()) return false;
    size_t corners = 0;
    bool anyTriangle = false;
    for (const auto& sub : mesh.submeshes) {
        corners += sub.indices.size();
        anyTriangle |= sub.geometryType == GeometryType::triangles && sub.indices.size() >= 3;
    }
    if (!anyTriangle || corners >= UINT32_MAX) return false;
    const size_t vertexCount = mesh.positions.size();
    const bool hasUVs = mesh.textureCoordinates.size() == vertexCount;
    // Corners of one vertex share its position: group the vertices, not the corners.
    const PositionGroups vertexGroups = groupByPosition(mesh.positions);
    cornerGroups.of.clear();
    cornerGroups.of.reserve(corners);
    cornerGroups.count = vertexGroups.count;

    // One vertex per corner; an index past the vertices (which readers should not
    // leave) becomes a zero vertex of its own rather than a read outside the arrays.
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
            const bool inside = v < vertexCount;
            positions.push_back(inside ? mesh.positions[v] : pk::float3(0.0f));
            if (hasUVs) uvs.push_back(inside ? mesh.textureCoordinates[v] : pk::float2(0.0f));
            cornerGroups.of.push_back(inside ? vertexGroups.of[v] : cornerGroups.count++);
            faceNormal.emplace_back(0.0f);
            onTriangle.push_back(triangles && i < usable && inside);
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

    // The triangle corners at each position, in corner order (offsets into `members`).
    const uint32_t groups = cornerGroups.count;
    std::vector<uint32_t> start(size_t(groups) + 1, 0);
    for (uint32_t c = 0; c < positions.size(); ++c)
        if (onTriangle[c]) ++start[cornerGroups.of[c] + 1];
    for (uint32_t g = 0; g < groups; ++g) start[g + 1] += start[g];
    std::vector<uint32_t> members(start.back());
    {
        std::vector<uint32_t> fill(start.begin(), start.end() - 1);
        for (uint32_t c = 0; c < positions.size(); ++c)
            if (onTriangle[c]) members[fill[cornerGroups.of[c]]++] = c;
    }

    std::vector<pk::float3> normals(positions.size(), pk::float3(0.0f));
    constexpr size_t kCreaseTestLimit = 64;
    for (uint32_t g = 0; g < groups; ++g) {
        const std::span<const uint32_t> at(members.data() + start[g], start[g + 1] - start[g]);
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
    return true;
}

void joinGrouped(Mesh& mesh, const PositionGroups& groups) {
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
    // Each position's distinct vertices so far, as a list in order of first appearance;
    // only the first few are compared, so a point shared by very many faces stays linear.
    constexpr size_t kCompareLimit = 32;
    std::vector<uint32_t> head(groups.count, kNoGroup), tail(groups.count, kNoGroup), nextKept;
    std::vector<uint32_t> remap(count);
    std::vector<uint32_t> kept;
    kept.reserve(count);
    for (size_t v = 0; v < count; ++v) {
        const uint32_t g = groups.of[v];
        uint32_t match = kNoGroup;
        size_t compared = 0;
        for (uint32_t k = head[g]; k != kNoGroup && compared < kCompareLimit; k = nextKept[k], ++compared) {
            if (sameAttributes(kept[k], v)) {
                match = k;
                break;
            }
        }
        if (match != kNoGroup) {
            remap[v] = match;
            continue;
        }
        const auto k = static_cast<uint32_t>(kept.size());
        remap[v] = k;
        kept.push_back(static_cast<uint32_t>(v));
        nextKept.push_back(kNoGroup);
        if (tail[g] == kNoGroup) head[g] = k;
        else nextKept[tail[g]] = k;
        tail[g] = k;
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

}  // namespace

void generateMissingNormals(Mesh& mesh, float creaseCosine) {
    PositionGroups unused;
    generateNormals(mesh, creaseCosine, unused);
}

void joinIdenticalVertices(Mesh& mesh) { joinGrouped(mesh, groupByPosition(mesh.positions)); }

void finishMesh(Mesh& mesh, float creaseCosine) {
    PositionGroups corners;
    if (generateNormals(mesh, std::clamp(creaseCosine, -1.0f, 1.0f), corners))
        joinGrouped(mesh, corners);
    else
        joinIdenticalVertices(mesh);
}

}  // namespace pk::modelimport
