#include <gtest/gtest.h>

#include <cmath>

#include "PlatformKit/ModelImport/MeshFinish.h"

using namespace pk::modelimport;

namespace {

// Two triangles sharing the edge (0,0,0)-(1,0,0); the second one's far corner is given.
Mesh fold(pk::float3 far) {
    Mesh m;
    m.positions = {{0, 0, 0}, {1, 0, 0}, {0.5f, 1, 0}, far};
    m.submeshes.push_back({GeometryType::triangles, 0, {0, 1, 2, 1, 0, 3}});
    return m;
}

}  // namespace

TEST(MeshFinish, NormalsSmoothGentleFoldsKeepCreasesAndJoin) {
    struct Case {
        const char* name;
        pk::float3 far;
        size_t vertices;  // after joining: 4 when smoothed, 6 when split at the crease
        bool blended;
    };
    const Case cases[] = {
        {"flat", {0.5f, -1, 0}, 4, false},
        {"gentle", {0.5f, -1, 0.2f}, 4, true},
        {"crease", {0.5f, 0, 1}, 6, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Mesh m = fold(c.far);
        finishMesh(m, 0.45f);
        ASSERT_EQ(m.normals.size(), m.positions.size());
        EXPECT_EQ(m.positions.size(), c.vertices);
        EXPECT_TRUE(m.textureCoordinates.empty());
        bool blended = false;
        for (size_t i = 0; i < m.positions.size(); ++i) {
            EXPECT_NEAR(glm::length(m.normals[i]), 1.0f, 1e-5f);
            const bool axis = std::fabs(std::fabs(m.normals[i].z) - 1.0f) < 1e-4f ||
                              std::fabs(std::fabs(m.normals[i].y) - 1.0f) < 1e-4f;
            if (m.positions[i].y == 0.0f && !axis) blended = true;
        }
        EXPECT_EQ(blended, c.blended);
        // Every triangle still has its own three corners at the original positions.
        ASSERT_EQ(m.submeshes.size(), 1u);
        const auto& idx = m.submeshes[0].indices;
        ASSERT_EQ(idx.size(), 6u);
        for (uint32_t i : idx) ASSERT_LT(i, m.positions.size());
        EXPECT_EQ(m.positions[idx[5]], c.far);
    }
}

TEST(MeshFinish, GivenNormalsStayAndLinesOnlyGetNone) {
    Mesh given = fold({0.5f, 0, 1});
    given.normals.assign(4, pk::float3(0, 0, 1));
    given.textureCoordinates = {{0, 0}, {1, 0}, {0, 1}, {0, 1}};
    given.positions.push_back({0, 0, 0});  // a copy of vertex 0 in every attribute
    given.normals.push_back({0, 0, 1});
    given.textureCoordinates.push_back({0, 0});
    given.submeshes[0].indices[4] = 4;
    finishMesh(given, 0.45f);
    EXPECT_EQ(given.positions.size(), 4u);
    EXPECT_EQ(given.submeshes[0].indices, (std::vector<uint32_t>{0, 1, 2, 1, 0, 3}));
    for (const auto& n : given.normals) EXPECT_EQ(n, pk::float3(0, 0, 1));

    Mesh lines;
    lines.positions = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}};
    lines.submeshes.push_back({GeometryType::lines, 0, {0, 1, 1, 2}});
    finishMesh(lines, 0.45f);
    EXPECT_TRUE(lines.normals.empty());
    EXPECT_EQ(lines.positions.size(), 3u);

    // Mixed: the line's corners get zero normals, the triangle's unit ones.
    Mesh mixed = fold({0.5f, -1, 0});
    mixed.submeshes.push_back({GeometryType::lines, 0, {2, 3}});
    finishMesh(mixed, 0.45f);
    ASSERT_EQ(mixed.normals.size(), mixed.positions.size());
    const auto& line = mixed.submeshes[1].indices;
    EXPECT_EQ(mixed.normals[line[0]], pk::float3(0.0f));
    EXPECT_NEAR(std::fabs(mixed.normals[mixed.submeshes[0].indices[0]].z), 1.0f, 1e-6f);
}
