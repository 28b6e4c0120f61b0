#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "MarblewickLookDevKit/StudioMeshes.h"

using namespace lookdev;
using pk::float3;

namespace {

struct BuilderCase {
    const char* name;
    std::function<StudioMeshData()> build;
    size_t vertices;
    size_t indices;
    int64_t meshlets;
    float3 bounds;
    float minY;
    bool grounded;
};

}  // namespace

TEST(StudioMeshes, BuildersGiveTheirCountsBoundsAndAudit) {
    const BuilderCase cases[] = {
        {"Studio LookDev Shader Ball", shaderBallMeshData, 6834, 38400, 164, {1.85f, 1.74f, 1.85f}, 0.0f, true},
        {"Beveled Material Cube", roundedCubeMeshData, 3249, 18816, 96, {1.36f, 1.36f, 1.36f}, 0.0f, true},
        {"Sculpted Specular Knot", torusKnotMeshData, 6409, 36960, 38, {2.14f, 1.10f, 2.24f}, 0.329f, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const StudioMeshData m = c.build();
        EXPECT_EQ(m.audit.name, c.name);
        EXPECT_EQ(m.audit.formatLabel, "Procedural LookDev");
        EXPECT_EQ(m.rawVertices.size(), c.vertices);
        EXPECT_EQ(m.rawIndices.size(), c.indices);
        EXPECT_EQ(m.audit.vertexCount, static_cast<int64_t>(c.vertices));
        EXPECT_EQ(m.audit.triangleCount, static_cast<int64_t>(c.indices / 3));
        EXPECT_EQ(m.audit.meshletCount, c.meshlets);
        EXPECT_EQ(m.audit.fileSizeBytes, 0);
        EXPECT_FALSE(m.audit.hasEmbeddedTexture);
        for (int a = 0; a < 3; ++a) EXPECT_NEAR(m.audit.boundsSize[a], c.bounds[a], 0.02f) << "axis " << a;
        EXPECT_NEAR(m.audit.minY, c.minY, 0.01f);
        EXPECT_EQ(m.audit.groundedOK, c.grounded);
        const float3 s = m.audit.boundsSize;
        const float extent = std::max(s.x, std::max(s.y, s.z));
        EXPECT_FLOAT_EQ(m.normalizationScale, 1.78f / extent);
        EXPECT_FLOAT_EQ(m.normalizedRadius, std::max(m.normalizationScale * std::hypot(s.x, s.z) * 0.5f, 0.35f));
        EXPECT_NEAR(m.centerOffset.y, m.audit.minY, 1e-6f);
        for (uint32_t i : m.rawIndices) ASSERT_LT(i, m.rawVertices.size());
    }
}

TEST(StudioMeshes, NormalsAreUnitAndPointOutward) {
    // For each part: the point the surface curves around at a vertex.
    struct Part {
        const char* name;
        StudioMeshData mesh;
        size_t first, last;
        std::function<float3(float3)> inside;
    };
    const auto ball = shaderBallMeshData();
    const auto cube = roundedCubeMeshData();
    const auto knot = torusKnotMeshData();
    auto ringCore = [](float3 p) {
        const float a = std::atan2(p.z, p.x);
        return float3(0.86f * std::cos(a), 0.96f, 0.86f * std::sin(a));
    };
    const Part parts[] = {
        {"pedestal", ball, 0, 392, [](float3 p) { return float3(0.0f, p.y - 1.0f, 0.0f); }},
        {"sphere", ball, 392, 5009, [](float3) { return float3(0.0f, 0.96f, 0.0f); }},
        {"ring", ball, 5009, 6834, ringCore},
        {"cube", cube, 0, 3249, [](float3) { return float3(0.0f, 0.68f, 0.0f); }},
    };
    for (const auto& part : parts) {
        SCOPED_TRACE(part.name);
        int inward = 0;
        for (size_t i = part.first; i < part.last; ++i) {
            const auto& v = part.mesh.rawVertices[i];
            ASSERT_NEAR(glm::length(v.normal), 1.0f, 1e-4f) << "vertex " << i;
            if (glm::dot(v.normal, v.position - part.inside(v.position)) <= 0.0f) ++inward;
        }
        EXPECT_EQ(inward, 0);
    }
    for (const auto& v : knot.rawVertices) ASSERT_NEAR(glm::length(v.normal), 1.0f, 1e-4f);
}

// The cube's grid closes on itself: the last column of each row is the first one again,
// in place and in normal, so no slit or shading seam runs down the +x face.
TEST(StudioMeshes, CubeSeamColumnsCoincide) {
    const auto cube = roundedCubeMeshData();
    for (size_t row = 0; row <= 56; ++row) {
        const auto& first = cube.rawVertices[row * 57];
        const auto& last = cube.rawVertices[row * 57 + 56];
        EXPECT_EQ(first.position, last.position) << "row " << row;
        EXPECT_EQ(first.normal, last.normal) << "row " << row;
    }
}

TEST(StudioMeshes, IndexOrdersAndMeshletNumbersOfTheBuilders) {
    const auto ball = shaderBallMeshData();
    // First band quad, first cap fan triangle, first sphere cell, first ring cell.
    const std::vector<uint32_t> band(ball.rawIndices.begin(), ball.rawIndices.begin() + 6);
    EXPECT_EQ(band, (std::vector<uint32_t>{0, 1, 2, 2, 1, 3}));
    const std::vector<uint32_t> cap(ball.rawIndices.begin() + 384, ball.rawIndices.begin() + 387);
    EXPECT_EQ(cap, (std::vector<uint32_t>{130, 132, 131}));
    const std::vector<uint32_t> sphere(ball.rawIndices.begin() + 1152, ball.rawIndices.begin() + 1158);
    EXPECT_EQ(sphere, (std::vector<uint32_t>{392, 473, 393, 393, 473, 474}));
    const std::vector<uint32_t> ring(ball.rawIndices.begin() + 28032, ball.rawIndices.begin() + 28038);
    EXPECT_EQ(ring, (std::vector<uint32_t>{5009, 5034, 5010, 5010, 5034, 5035}));
    EXPECT_EQ(ball.rawVertices[129].meshletID, 8.0f);
    EXPECT_EQ(ball.rawVertices[392].meshletID, 24.0f);
    EXPECT_EQ(ball.rawVertices[6833].meshletID, 152.0f);
    EXPECT_EQ(ball.rawVertices[6833].color, float3(0.85f, 0.72f, 0.38f));

    const auto knot = torusKnotMeshData();
    const std::vector<uint32_t> k0(knot.rawIndices.begin(), knot.rawIndices.begin() + 6);
    EXPECT_EQ(k0, (std::vector<uint32_t>{0, 29, 1, 1, 29, 30}));
    EXPECT_EQ(knot.rawVertices.back().meshletID, 36.0f);
    const auto cube = roundedCubeMeshData();
    EXPECT_EQ(cube.rawVertices.back().meshletID, 99.0f);  // (56/6)*10 + 56/6
}

TEST(MeshFinishing, EmptyListsTinyExtentsAndNaNs) {
    const StudioVertex v(float3(0.0f), float3(0, 1, 0), pk::float2(0.0f), float3(1.0f), 0, 0);
    EXPECT_FALSE(finishStudioMeshData({v}, {}, "a", "b", 1, 0, false));
    EXPECT_FALSE(finishStudioMeshData({}, {0}, "a", "b", 1, 0, false));

    // A point-sized mesh is scaled by 1780, never divided by zero.
    auto tiny = finishStudioMeshData({v, v}, {0, 1, 0}, "a", "b", 1, 0, false);
    ASSERT_TRUE(tiny);
    EXPECT_FLOAT_EQ(tiny->normalizationScale, 1780.0f);
    EXPECT_FLOAT_EQ(tiny->normalizedRadius, 0.35f);

    // NaN components do not move the box; grounding is |minY| <= 0.08.
    StudioVertex a = v, b = v, c = v;
    a.position = float3(-1.0f, 0.08f, 0.0f);
    b.position = float3(1.0f, 2.0f, 0.5f);
    c.position = float3(NAN, NAN, NAN);
    auto m = finishStudioMeshData({a, b, c}, {0, 1, 2, 0}, "n", "f", 7, 99, true);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->audit.boundsSize, float3(2.0f, 1.92f, 0.5f));
    EXPECT_TRUE(m->audit.groundedOK);
    EXPECT_EQ(m->audit.triangleCount, 1);
    EXPECT_EQ(m->audit.fileSizeBytes, 99);
    EXPECT_TRUE(m->audit.hasEmbeddedTexture);
    EXPECT_EQ(m->centerOffset, float3(0.0f, 0.08f, 0.25f));
    a.position.y = 0.0801f;
    EXPECT_FALSE(finishStudioMeshData({a, b}, {0, 1, 1}, "n", "f", 1, 0, false)->audit.groundedOK);

    // Infinite components, meshes with no finite point and the widest finite extents still
    // frame with finite numbers.
    a.position.y = 0.08f;
    StudioVertex inf = v, huge = v;
    inf.position = float3(INFINITY, -INFINITY, 0.0f);
    huge.position = float3(-FLT_MAX, FLT_MAX, FLT_MAX);
    const std::vector<StudioVertex> cases[] = {{a, b, inf}, {c, c}, {inf, c}, {a, huge, b}};
    for (const auto& vertices : cases) {
        auto framed = finishStudioMeshData(vertices, {0, 1, 0}, "n", "f", 1, 0, false);
        ASSERT_TRUE(framed);
        EXPECT_TRUE(std::isfinite(framed->normalizationScale) && std::isfinite(framed->normalizedRadius));
        for (int k = 0; k < 3; ++k) {
            EXPECT_TRUE(std::isfinite(framed->centerOffset[k]));
            EXPECT_TRUE(std::isfinite(framed->audit.boundsSize[k]));
        }
    }
    EXPECT_EQ(finishStudioMeshData(cases[0], {0, 1, 2}, "n", "f", 1, 0, false)->audit.boundsSize,
              float3(2.0f, 1.92f, 0.5f));
}

TEST(SmoothNormals, SkipsBrokenTrianglesAndKeepsSide) {
    std::vector<StudioVertex> v(4);
    v[0].position = float3(0, 0, 0);
    v[1].position = float3(1, 0, 0);
    v[2].position = float3(0, 0, 1);
    for (auto& x : v) x.normal = float3(0, 1, 0);
    v[3].normal = float3(0.6f, 0.8f, 0.0f);
    // (0,1,2) winds to -y: flipped to the builder's +y. The out-of-range triangle and the
    // trailing pair are ignored, so vertex 3 keeps its normal.
    recomputeSmoothNormals(v, {0, 1, 2, 0, 1, 9, 3, 0});
    for (int i = 0; i < 3; ++i) EXPECT_EQ(v[i].normal, float3(0, 1, 0));
    EXPECT_EQ(v[3].normal, float3(0.6f, 0.8f, 0.0f));
}
