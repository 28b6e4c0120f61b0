#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <random>
#include <tuple>

#include "CollidingPositions.h"
#include "PlatformKit/ModelImport/MeshFinish.h"
#include "PlatformKit/ModelImport/PlyReader.h"

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

TEST(MeshFinish, GroupsAreNumberedByFirstAppearance) {
    // Duplicates far apart, -0 beside 0, and whole numbers whose low bits are all zero.
    std::mt19937 random(7);
    std::vector<pk::float3> positions;
    for (int i = 0; i < 5000; ++i) {
        const int pick = static_cast<int>(random() % 700);
        positions.emplace_back(static_cast<float>(pick % 10), static_cast<float>(pick / 10), i % 97 == 0 ? -0.0f : 0.0f);
    }
    std::map<std::tuple<uint32_t, uint32_t, uint32_t>, uint32_t> seen;
    std::vector<uint32_t> expected;
    for (const auto& p : positions) {
        uint32_t b[3];
        std::memcpy(b, &p.x, sizeof b);
        expected.push_back(seen.try_emplace({b[0], b[1], b[2]}, static_cast<uint32_t>(seen.size())).first->second);
    }
    const PositionGroups groups = groupByPosition(positions);
    EXPECT_EQ(groups.count, seen.size());
    EXPECT_EQ(groups.of, expected);
}

TEST(MeshFinish, PositionsAimedAtOneSlotWeldInLinearWork) {
    const auto positions = fixtures::formerHashCollisions(80000);
    // The fixture is what it claims: one home slot under the former hash for every table size.
    for (const auto& p : positions) {
        uint32_t b[3];
        std::memcpy(b, &p.x, sizeof b);
        ASSERT_EQ(fixtures::formerPositionHash(b) & 0xFFFFFF, 0u);
    }
    WeldStats colliding, control;
    const PositionGroups groups = groupByPosition(positions, &colliding);
    EXPECT_EQ(groups.count, positions.size());
    std::vector<pk::float3> grid;
    for (size_t i = 0; i < positions.size(); ++i) grid.emplace_back(static_cast<float>(i % 300), static_cast<float>(i / 300), 1.0f);
    groupByPosition(grid, &control);
    // Linear probing from one slot would look at n^2 / 2 slots (3.2e9 here).
    EXPECT_LT(colliding.probes, 8 * positions.size());
    EXPECT_LT(colliding.probes, 2 * control.probes + positions.size());
    EXPECT_EQ(colliding.rebuilds, 0u);

    // The same positions as a file load whole.
    const std::string ply = fixtures::collidingPly(positions);
    const auto model = readPly(std::span(reinterpret_cast<const uint8_t*>(ply.data()), ply.size()));
    ASSERT_TRUE(model);
    ASSERT_EQ(model->meshes.size(), 1u);
    EXPECT_EQ(model->meshes[0].positions.size(), positions.size() / 3 * 3);  // the two left over are unused
    EXPECT_EQ(model->meshes[0].submeshes[0].indices.size(), positions.size() / 3 * 3);
}

TEST(MeshFinish, IndexedSmoothingSplitsOnlyAtCreasesAndUvSeams) {
    // A closed box of 8 shared corners: every corner sits on three faces at right angles,
    // so each splits into three; a 4x4 flat grid with one uv seam splits only along it.
    Mesh box;
    for (int i = 0; i < 8; ++i) box.positions.emplace_back(i & 1, (i >> 1) & 1, (i >> 2) & 1);
    box.submeshes.push_back({GeometryType::triangles, 0,
                             {0, 2, 1, 1, 2, 3, 4, 5, 6, 5, 7, 6, 0, 1, 4, 1, 5, 4,
                              2, 6, 3, 3, 6, 7, 0, 4, 2, 2, 4, 6, 1, 3, 5, 3, 7, 5}});
    finishMesh(box, 0.45f);
    EXPECT_EQ(box.positions.size(), 24u);
    for (const auto& n : box.normals) EXPECT_NEAR(std::fabs(n.x) + std::fabs(n.y) + std::fabs(n.z), 1.0f, 1e-5f);

    Mesh grid;
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            grid.positions.emplace_back(x, y, 0);
            grid.textureCoordinates.emplace_back(x, y);
        }
    // Column 2 again with other uvs: the right column of cells uses these.
    for (int y = 0; y < 4; ++y) {
        grid.positions.emplace_back(2, y, 0);
        grid.textureCoordinates.emplace_back(10, y);
    }
    auto& idx = grid.submeshes.emplace_back(Submesh{GeometryType::triangles, 0, {}}).indices;
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x) {
            auto at = [x](int cx, int cy) { return static_cast<uint32_t>(x == 2 && cx == 2 ? 16 + cy : cy * 4 + cx); };
            const uint32_t a = at(x, y), b = at(x + 1, y), c = at(x, y + 1), d = at(x + 1, y + 1);
            idx.insert(idx.end(), {a, b, d, a, d, c});
        }
    finishMesh(grid, 0.45f);
    // The seam's copies keep their own uvs; nothing else splits.
    EXPECT_EQ(grid.positions.size(), 20u);
    for (const auto& n : grid.normals) EXPECT_EQ(n, pk::float3(0, 0, 1));
}
