#include "MarblewickLookDevKit/StudioMeshes.h"

#include <cfloat>
#include <cmath>
#include <utility>

namespace lookdev {

namespace {

// The 32-bit float nearest to pi lies just below it; the grids' closing rings rely on it.
constexpr float kPi = 3.1415925f;

using pk::float2;
using pk::float3;

float3 normalizeOrZero(float3 v) {
    const float len = glm::length(v);
    return len > 0.0f ? v / len : float3(0.0f);
}

// Two triangles per cell of a rings-by-segments grid whose rows hold segments + 1 vertices.
void appendGridIndices(std::vector<uint32_t>& indices, uint32_t base, uint32_t rings, uint32_t segments) {
    const uint32_t row = segments + 1;
    for (uint32_t i = 0; i < rings; ++i) {
        for (uint32_t j = 0; j < segments; ++j) {
            const uint32_t a = base + i * row + j;
            const uint32_t b = a + 1;
            const uint32_t c = a + row;
            const uint32_t d = c + 1;
            indices.insert(indices.end(), {a, c, b, b, c, d});
        }
    }
}

struct BandSpec {
    float bottomRadius, bottomY, topRadius, topY, normalY;
    float3 color;
    float packedMat;
    int meshletBase;
};

void appendPedestalBand(std::vector<StudioVertex>& v, std::vector<uint32_t>& idx, const BandSpec& s) {
    const auto first = static_cast<uint32_t>(v.size());
    for (int k = 0; k <= 64; ++k) {
        const float theta = 2.0f * kPi * static_cast<float>(k) / 64.0f;
        const float c = std::cos(theta), sn = std::sin(theta);
        const float3 n = glm::normalize(float3(c, s.normalY, sn));
        const float u = static_cast<float>(k) / 32.0f;
        const auto id = static_cast<float>(s.meshletBase + (k >> 3));
        v.emplace_back(float3(s.bottomRadius * c, s.bottomY, s.bottomRadius * sn), n, float2(u, 0.0f), s.color,
                       s.packedMat, id);
        v.emplace_back(float3(s.topRadius * c, s.topY, s.topRadius * sn), n, float2(u, 1.0f), s.color, s.packedMat,
                       id);
    }
    for (uint32_t k = 0; k <= 126; k += 2) {
        const uint32_t f = first + k;
        idx.insert(idx.end(), {f, f + 1, f + 2, f + 2, f + 1, f + 3});
    }
}

void appendPedestalCap(std::vector<StudioVertex>& v, std::vector<uint32_t>& idx, float y, float radius, float meshlet) {
    const float3 color(0.36f, 0.38f, 0.42f);
    const float3 up(0.0f, 1.0f, 0.0f);
    const auto c = static_cast<uint32_t>(v.size());
    v.emplace_back(float3(0.0f, y, 0.0f), up, float2(0.5f, 0.5f), color, 0.25f, meshlet);
    for (int k = 0; k <= 64; ++k) {
        const float theta = 2.0f * kPi * static_cast<float>(k) / 64.0f;
        const float co = std::cos(theta), sn = std::sin(theta);
        v.emplace_back(float3(radius * co, y, radius * sn), up, float2(0.5f + 0.5f * co, 0.5f + 0.5f * sn), color,
                       0.25f, meshlet);
    }
    for (uint32_t k = 0; k < 64; ++k) idx.insert(idx.end(), {c, c + 1 + (k + 1), c + 1 + k});
}

void appendGroovedSphere(std::vector<StudioVertex>& v, std::vector<uint32_t>& idx, uint32_t segments, uint32_t rings,
                         bool groove, int meshletBase, float3 centre, float radius, float3 color, float packedMat) {
    const auto base = static_cast<uint32_t>(v.size());
    for (uint32_t i = 0; i <= rings; ++i) {
        const float fv = static_cast<float>(i) / static_cast<float>(rings);
        const float phi = fv * kPi;
        float rho = radius;
        if (groove) {
            const float g = (fv - 0.5f) * 18.0f;
            const float r1 = (fv - 0.42f) * 32.0f;
            const float r2 = (fv - 0.58f) * 32.0f;
            rho = radius - 0.075f * std::exp(-(g * g)) + 0.018f * std::exp(-(r1 * r1)) + 0.018f * std::exp(-(r2 * r2));
        }
        const float sp = std::sin(phi), cp = std::cos(phi);
        for (uint32_t j = 0; j <= segments; ++j) {
            const float fu = static_cast<float>(j) / static_cast<float>(segments);
            const float theta = 2.0f * fu * kPi;
            const float3 dir(sp * std::cos(theta), cp, sp * std::sin(theta));
            const auto id = static_cast<float>(meshletBase + static_cast<int>((i >> 2) * 8 + (j >> 3)));
            v.emplace_back(centre + rho * dir, normalizeOrZero(dir), float2(2.0f * fu, fv), color, packedMat, id);
        }
    }
    appendGridIndices(idx, base, rings, segments);
}

// Builds its own lists; the caller offsets the indices when appending.
std::pair<std::vector<StudioVertex>, std::vector<uint32_t>> makeTorusRing(uint32_t majorSegments, uint32_t tubeSegments,
                                                                         int meshletBase, float majorRadius,
                                                                         float tubeRadius, float centreY, float3 color,
                                                                         float packedMat) {
    std::vector<StudioVertex> v;
    std::vector<uint32_t> idx;
    v.reserve(size_t(majorSegments + 1) * (tubeSegments + 1));
    for (uint32_t i = 0; i <= majorSegments; ++i) {
        const float u = static_cast<float>(i) / static_cast<float>(majorSegments);
        const float theta = 2.0f * u * kPi;
        const float ct = std::cos(theta), st = std::sin(theta);
        for (uint32_t j = 0; j <= tubeSegments; ++j) {
            const float w = static_cast<float>(j) / static_cast<float>(tubeSegments);
            const float phi = 2.0f * w * kPi;
            const float cp = std::cos(phi), sp = std::sin(phi);
            const float ring = majorRadius + tubeRadius * cp;
            v.emplace_back(float3(ct * ring, centreY + tubeRadius * sp, st * ring),
                           normalizeOrZero(float3(ct * cp, sp, st * cp)), float2(6.0f * u, w), color, packedMat,
                           static_cast<float>(meshletBase + static_cast<int>(i / 6)));
        }
    }
    for (uint32_t i = 0; i < majorSegments; ++i) {
        for (uint32_t j = 0; j < tubeSegments; ++j) {
            const uint32_t a = i * (tubeSegments + 1) + j;
            const uint32_t b = a + tubeSegments + 1;
            idx.insert(idx.end(), {a, b, a + 1, a + 1, b, b + 1});
        }
    }
    return {std::move(v), std::move(idx)};
}

// sign(x)·|x|^0.22 with the sign negative only below zero.
float superellipse(float x) {
    const float m = std::pow(std::fabs(x), 0.22f);
    return x < 0.0f ? -m : m;
}

float3 knotCentre(float t) {
    const float r = 0.34f * (2.0f + std::cos(3.0f * t));
    return float3(r * std::cos(2.0f * t), 0.88f + 0.34f * 1.15f * std::sin(3.0f * t), r * std::sin(2.0f * t));
}

}  // namespace

std::optional<StudioMeshData> finishStudioMeshData(std::vector<StudioVertex> vertices, std::vector<uint32_t> indices,
                                                   std::string name, std::string formatLabel, int64_t meshletCount,
                                                   int64_t fileSizeBytes, bool hasEmbeddedTexture) {
    if (vertices.empty() || indices.empty()) return std::nullopt;
    float3 mn(FLT_MAX), mx(-FLT_MAX);
    for (const auto& v : vertices) {
        for (int a = 0; a < 3; ++a) {
            // Only finite components make the box: a NaN or infinite one (the GPU drops
            // its triangles) would make the framing NaN or infinite.
            if (!std::isfinite(v.position[a])) continue;
            if (v.position[a] < mn[a]) mn[a] = v.position[a];
            if (v.position[a] > mx[a]) mx[a] = v.position[a];
        }
    }
    for (int a = 0; a < 3; ++a)
        if (mn[a] > mx[a]) mn[a] = mx[a] = 0.0f;  // no finite component on this axis
    // Two finite ends can lie further apart than a float holds: such extents are held at
    // the largest float, and the radius is then worked out in double.
    float3 size = mx - mn;
    for (int a = 0; a < 3; ++a) size[a] = std::min(size[a], FLT_MAX);
    const float maxExtent = std::max(size.x, std::max(size.y, size.z));
    StudioMeshData d;
    d.normalizationScale = kStudioMeshTargetExtent / std::max(maxExtent, 0.001f);
    d.centerOffset = float3(mn.x * 0.5f + mx.x * 0.5f, mn.y, mn.z * 0.5f + mx.z * 0.5f);
    d.normalizedRadius = std::max(d.normalizationScale * std::hypot(size.x, size.z) * 0.5f, 0.35f);
    if (!std::isfinite(d.normalizedRadius))
        d.normalizedRadius = static_cast<float>(
            std::max(double(d.normalizationScale) * std::hypot(double(size.x), double(size.z)) * 0.5, 0.35));
    d.audit = AssetAuditSummary{
        .name = std::move(name),
        .formatLabel = std::move(formatLabel),
        .vertexCount = static_cast<int64_t>(vertices.size()),
        .triangleCount = static_cast<int64_t>(indices.size() / 3),
        .meshletCount = meshletCount,
        .boundsSize = size,
        .minY = mn.y,
        .groundedOK = std::fabs(mn.y) <= 0.08f,
        .fileSizeBytes = fileSizeBytes,
        .hasEmbeddedTexture = hasEmbeddedTexture,
    };
    d.rawVertices = std::move(vertices);
    d.rawIndices = std::move(indices);
    return d;
}

void recomputeSmoothNormals(std::vector<StudioVertex>& vertices, const std::vector<uint32_t>& indices) {
    std::vector<float3> acc(vertices.size(), float3(0.0f));
    const size_t count = vertices.size();
    for (size_t t = 0; t + 2 < indices.size(); t += 3) {
        const uint32_t i0 = indices[t], i1 = indices[t + 1], i2 = indices[t + 2];
        if (i0 >= count || i1 >= count || i2 >= count) continue;
        const float3 p0 = vertices[i0].position;
        const float3 n = glm::cross(vertices[i1].position - p0, vertices[i2].position - p0);
        acc[i0] += n;
        acc[i1] += n;
        acc[i2] += n;
    }
    for (size_t i = 0; i < count; ++i) {
        const float len = glm::length(acc[i]);
        if (!(len > 1e-6f)) continue;
        float3 n = acc[i] / len;
        if (glm::dot(n, vertices[i].normal) < 0.0f) n = -n;
        vertices[i].normal = n;
    }
}

StudioMeshData shaderBallMeshData() {
    std::vector<StudioVertex> v;
    std::vector<uint32_t> idx;
    v.reserve(6834);
    idx.reserve(38400);
    const float3 bandColor(0.32f, 0.34f, 0.38f);
    appendPedestalBand(v, idx, {0.78f, 0.0f, 0.72f, 0.14f, 0.428571f, bandColor, 0.3f, 0});
    appendPedestalCap(v, idx, 0.14f, 0.72f, 9.0f);
    appendPedestalBand(v, idx, {0.64f, 0.14f, 0.52f, 0.22f, 1.5f, bandColor, 0.3f, 12});
    appendPedestalCap(v, idx, 0.22f, 0.52f, 21.0f);
    appendGroovedSphere(v, idx, 80, 56, true, 24, float3(0.0f, 0.96f, 0.0f), 0.78f, float3(0.75f, 0.77f, 0.80f), 0.45f);
    auto [ringV, ringI] = makeTorusRing(72, 24, 140, 0.86f, 0.065f, 0.96f, float3(0.85f, 0.72f, 0.38f), 0.2f);
    const auto offset = static_cast<uint32_t>(v.size());
    v.insert(v.end(), ringV.begin(), ringV.end());
    for (uint32_t i : ringI) idx.push_back(i + offset);
    recomputeSmoothNormals(v, idx);
    return *finishStudioMeshData(std::move(v), std::move(idx), "Studio LookDev Shader Ball", "Procedural LookDev", 164,
                                 0, false);
}

StudioMeshData roundedCubeMeshData() {
    std::vector<StudioVertex> v;
    std::vector<uint32_t> idx;
    v.reserve(57 * 57);
    for (int i = 0; i <= 56; ++i) {
        const float phi = (static_cast<float>(i) / 56.0f) * kPi;
        for (int j = 0; j <= 56; ++j) {
            // The closing column takes the first column's angle, not 2·kPi: the sine of
            // that is -3e-7, which the superellipse's 0.22 power blows up to a slit of
            // 0.025 down the +x face.
            const float theta = (2.0f * static_cast<float>(j % 56) / 56.0f) * kPi;
            const float3 d(std::sin(phi) * std::cos(theta), std::cos(phi), std::sin(phi) * std::sin(theta));
            const float3 p(0.68f * superellipse(d.x), 0.68f + 0.68f * superellipse(d.y), 0.68f * superellipse(d.z));
            v.emplace_back(p, d, float2(2.0f * static_cast<float>(j) / 56.0f, static_cast<float>(i) / 56.0f),
                           float3(0.8f), 0.4f, static_cast<float>((i / 6) * 10 + j / 6));
        }
    }
    appendGridIndices(idx, 0, 56, 56);
    recomputeSmoothNormals(v, idx);
    // The seam's two columns each gathered the faces of one side only; the cube is its
    // own mirror image across the seam, so the mean of the two is the normal of both.
    for (int i = 0; i <= 56; ++i) {
        StudioVertex& first = v[static_cast<size_t>(i) * 57];
        StudioVertex& last = v[static_cast<size_t>(i) * 57 + 56];
        const float3 n = normalizeOrZero(first.normal + last.normal);
        if (n != float3(0.0f)) first.normal = last.normal = n;
    }
    return *finishStudioMeshData(std::move(v), std::move(idx), "Beveled Material Cube", "Procedural LookDev", 96, 0,
                                 false);
}

StudioMeshData torusKnotMeshData() {
    std::vector<StudioVertex> v;
    std::vector<uint32_t> idx;
    v.reserve(221 * 29);
    for (int i = 0; i <= 220; ++i) {
        const float t = (2.0f * static_cast<float>(i) / 220.0f) * kPi;
        const float3 c = knotCentre(t);
        const float3 tangent = normalizeOrZero(knotCentre(t + 0.005f) - knotCentre(t - 0.005f));
        const float3 up = std::fabs(tangent.y) > 0.9f ? float3(1.0f, 0.0f, 0.0f) : float3(0.0f, 1.0f, 0.0f);
        const float3 b = normalizeOrZero(glm::cross(tangent, up));
        const float3 n = glm::cross(tangent, b);
        for (int j = 0; j <= 28; ++j) {
            const float psi = (2.0f * static_cast<float>(j) / 28.0f) * kPi;
            const float3 dir = b * std::cos(psi) + n * std::sin(psi);
            v.emplace_back(c + 0.16f * dir, normalizeOrZero(dir),
                           float2(8.0f * static_cast<float>(i) / 220.0f, 2.0f * static_cast<float>(j) / 28.0f),
                           float3(0.82f, 0.82f, 0.84f), 0.35f, static_cast<float>(i / 6));
        }
    }
    for (uint32_t i = 0; i < 220; ++i) {
        for (uint32_t j = 0; j < 28; ++j) {
            const uint32_t a = i * 29 + j;
            idx.insert(idx.end(), {a, a + 29, a + 1, a + 1, a + 29, a + 30});
        }
    }
    return *finishStudioMeshData(std::move(v), std::move(idx), "Sculpted Specular Knot", "Procedural LookDev", 38, 0,
                                 false);
}

}  // namespace lookdev
