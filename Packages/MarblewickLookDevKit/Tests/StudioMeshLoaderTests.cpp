#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "../../MarblewickAssetIO/Tests/MWMeshTestWriter.h"
#include "MarblewickAssetIO/MWMeshFormat.h"
#include "MarblewickLookDevKit/StudioMeshLoader.h"
#include "FuzzSeeds.h"

using namespace lookdev;
namespace fs = std::filesystem;
using mwmesh_test::File;
using mwmesh_test::quad;
using mwmesh_test::vertex;

namespace {

std::optional<StudioMeshData> decode(const File& f) { return decodeMWMeshV2(f.bytes(), "Hero"); }
std::optional<StudioMeshData> decode(const std::vector<uint8_t>& b) { return decodeMWMeshV2(b, "Hero"); }

}  // namespace

TEST(MWMeshReader, ExactLengthLoadsAndOneByteShortFails) {
    const auto bytes = quad().bytes();
    ASSERT_EQ(bytes.size(), 20u + 32 + 4 * 48 + 6);
    auto m = decode(bytes);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->rawIndices, (std::vector<uint32_t>{0, 1, 2, 0, 2, 3}));
    EXPECT_EQ(m->audit.name, "Hero");
    EXPECT_EQ(m->audit.formatLabel, "MWMS v2 Binary Meshlets");
    EXPECT_EQ(m->audit.meshletCount, 1);
    EXPECT_EQ(m->audit.vertexCount, 4);
    EXPECT_EQ(m->audit.triangleCount, 2);
    EXPECT_EQ(m->audit.fileSizeBytes, static_cast<int64_t>(bytes.size()));
    EXPECT_TRUE(m->audit.groundedOK);
    const auto& v = m->rawVertices[2];
    EXPECT_EQ(v.position, pk::float3(1, 1, 0));
    EXPECT_EQ(v.normal, pk::float3(0, 0, 1));  // stored (0, 0, 2), normalised
    EXPECT_EQ(v.uv, pk::float2(1, 0));
    EXPECT_EQ(v.color, pk::float3(0.5f));
    EXPECT_EQ(v.packedMat, 3.0f);

    auto shortBytes = bytes;
    shortBytes.pop_back();
    EXPECT_FALSE(decode(shortBytes));
    auto longer = bytes;
    longer.insert(longer.end(), 7, 0xEE);  // a tail is allowed
    EXPECT_TRUE(decode(longer));
}

TEST(MWMeshReader, HeaderRejections) {
    struct Case {
        const char* what;
        std::function<void(File&)> edit;
        bool loads;
    };
    const Case cases[] = {
        {"version 1", [](File& f) { f.version = 1; }, false},
        {"version 3", [](File& f) { f.version = 3; }, false},
        {"no meshlets", [](File& f) { f.meshlets.clear(); }, false},
        {"no vertices", [](File& f) { f.vertices.clear(); }, false},
        {"index bytes 0", [](File& f) { f.overrideIndexByteCount = true, f.indexByteCountOverride = 0; }, false},
        {"index bytes 2", [](File& f) { f.overrideIndexByteCount = true, f.indexByteCountOverride = 2; }, false},
        {"index bytes 3", [](File& f) { f.overrideIndexByteCount = true, f.indexByteCountOverride = 3; }, true},
        {"huge counts", [](File& f) { f.meshletCountOverride = f.vertexCountOverride = 0xFFFFFFFFu; }, false},
        {"huge index count", [](File& f) { f.overrideIndexByteCount = true, f.indexByteCountOverride = ~0u; }, false},
    };
    for (const auto& c : cases) {
        File f = quad();
        c.edit(f);
        EXPECT_EQ(decode(f).has_value(), c.loads) << c.what;
    }
    auto bytes = quad().bytes();
    bytes[3] = 'X';
    EXPECT_FALSE(decode(bytes)) << "magic";
    bytes.resize(20);
    bytes[3] = 'S';
    EXPECT_FALSE(decode(bytes)) << "exactly 20 bytes";
    EXPECT_FALSE(decode(std::vector<uint8_t>{}));
}

TEST(MWMeshReader, IndexRules) {
    struct Case {
        const char* what;
        std::function<void(File&)> edit;
        std::vector<uint32_t> indices;  // empty: no mesh
    };
    const Case cases[] = {
        {"out-of-range dropped, later ones move up", [](File& f) { f.indexBytes = {0, 1, 9, 2, 3, 0}; },
         {0, 1, 2, 3, 0}},
        {"vertexBase added", [](File& f) { f.meshlets = {{2, 0, 1}}, f.indexBytes = {0, 1, 2}; }, {2, 3}},
        {"vertexBase past the end drops all", [](File& f) { f.meshlets = {{0xFFFFFFF0u, 0, 2}}; }, {}},
        {"bytes past the end of the file are skipped", [](File& f) { f.meshlets = {{0, 3, 2}}; }, {0, 2, 3}},
        {"offset beyond the file", [](File& f) { f.meshlets = {{0, 0xFFFFFFFFu, 2}}; }, {}},
        {"huge triangle count stops at the end", [](File& f) { f.meshlets = {{0, 0, 0xFFFFFFFFu}}; },
         {0, 1, 2, 0, 2, 3}},
        {"zero triangles add nothing", [](File& f) { f.meshlets = {{0, 0, 0}, {0, 3, 1}}; }, {0, 2, 3}},
    };
    for (const auto& c : cases) {
        File f = quad();
        c.edit(f);
        const auto t0 = std::chrono::steady_clock::now();
        auto m = decode(f);
        EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(5)) << c.what;
        if (c.indices.empty()) {
            EXPECT_FALSE(m) << c.what;
            continue;
        }
        ASSERT_TRUE(m) << c.what;
        EXPECT_EQ(m->rawIndices, c.indices) << c.what;
        EXPECT_EQ(m->audit.triangleCount, static_cast<int64_t>(c.indices.size() / 3)) << c.what;
    }
}

TEST(MWMeshReader, LastMeshletWinsAndZeroNormalPointsUp) {
    File f = quad();
    f.vertices[3] = vertex(0, 1, 0, 0, 0, 0);
    f.meshlets = {{0, 0, 1}, {1, 3, 1}};  // {0,1,2} then {1,2,3} -> globals {1,3,4->dropped}
    f.indexBytes = {0, 1, 2, 0, 2, 3};
    auto m = decode(f);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->rawIndices, (std::vector<uint32_t>{0, 1, 2, 1, 3}));
    const float ids[] = {0, 1, 0, 1};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(m->rawVertices[i].meshletID, ids[i]) << i;
    EXPECT_EQ(m->rawVertices[3].normal, pk::float3(0, 1, 0));
}

TEST(MWMeshReader, OverlappingMeshletsPastTheGuardAreRefusedWhole) {
    // Meshlets over the same 3000 index bytes: ten thousand would make 30 million
    // indices, past the guard, and are refused rather than cut short; a few load whole.
    for (const auto& [meshlets, loads] : {std::pair{10000, false}, {8, true}}) {
        SCOPED_TRACE(meshlets);
        File f;
        for (int i = 0; i < 256; ++i) f.vertices.push_back(vertex(float(i), 0, 0));
        f.indexBytes.resize(3000);
        for (size_t i = 0; i < f.indexBytes.size(); ++i) f.indexBytes[i] = static_cast<uint8_t>(i);
        f.meshlets.assign(static_cast<size_t>(meshlets), {0, 0, 1000});
        const auto bytes = f.bytes();
        const auto view = assetio::MWMeshFileView::parse(bytes);
        ASSERT_TRUE(view);
        EXPECT_EQ(view->indexPositionCount() <= view->indexPositionBudget(), loads);
        auto m = decode(bytes);
        ASSERT_EQ(m.has_value(), loads);
        if (loads) {
            EXPECT_EQ(m->rawIndices.size(), size_t(meshlets) * 3000);
        }
    }
}

TEST(MWMeshReader, ReadsFilesByName) {
    const fs::path dir = fs::path(KS_TEST_OUTPUT_DIR) / "lookdev_mwmesh";
    fs::create_directories(dir);
    const auto bytes = quad().bytes();
    std::vector<uint8_t> seed{0};
    seed.insert(seed.end(), bytes.begin(), bytes.end());
    kstest::writeFuzzSeed("lookdev_studio_mesh", "quad.mwmesh", seed);
    std::ofstream(dir / "Hero_Quad_V1.mwmesh", std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    auto m = readMWMeshV2(dir / "Hero_Quad_V1.mwmesh");
    ASSERT_TRUE(m);
    EXPECT_EQ(m->audit.name, "Hero_Quad_V1");
    EXPECT_FALSE(readMWMeshV2(dir / "missing.mwmesh"));
}

// ---- model files ----

class ModelReaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::path(KS_TEST_OUTPUT_DIR) / "lookdev_model" /
               ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    fs::path write(const std::string& name, const std::string& text) {
        std::ofstream(dir_ / name, std::ios::binary) << text;
        // The studio mesh fuzz target reads a model file after two bytes: odd, then the
        // extension's number.
        static const std::string extensions[] = {".obj", ".stl", ".ply", ".usdz", ".usda", ".usdc"};
        for (char k = 0; k < 6; ++k)
            if (fs::path(name).extension() == extensions[int(k)])
                kstest::writeFuzzSeed("lookdev_studio_mesh", name, std::string{'\x01', k} + text);
        return dir_ / name;
    }
    fs::path dir_;
};

TEST_F(ModelReaderTest, ObjQuadPlusLineKeepsOnlyTriangles) {
    const auto p = write("Panel.obj", "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nf 1 2 3 4\nl 1 3\n");
    auto m = readModelFile(p);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->mesh.rawIndices.size(), 6u);
    EXPECT_EQ(m->mesh.audit.name, "Panel");
    EXPECT_EQ(m->mesh.audit.formatLabel, "OBJ");
    EXPECT_EQ(m->mesh.audit.meshletCount, 1);
    EXPECT_EQ(m->mesh.audit.fileSizeBytes, static_cast<int64_t>(fs::file_size(p)));
    EXPECT_FALSE(m->mesh.audit.hasEmbeddedTexture);
    for (uint32_t i : m->mesh.rawIndices) {
        const auto& v = m->mesh.rawVertices[i];
        EXPECT_NEAR(std::fabs(v.normal.z), 1.0f, 1e-5f);
        EXPECT_EQ(v.uv, pk::float2(0.0f));
        EXPECT_EQ(v.color, pk::float3(0.76f, 0.78f, 0.80f));
        EXPECT_EQ(v.packedMat, 0.42f);
    }
    EXPECT_TRUE(m->textureCandidates.empty());
}

TEST_F(ModelReaderTest, LinesOnlyAndUnreadableGiveNone) {
    EXPECT_FALSE(readModelFile(write("wire.obj", "v 0 0 0\nv 1 0 0\nv 1 1 0\nl 1 2 3\n")));
    EXPECT_FALSE(readModelFile(write("scene.usdz", std::string("PK\x03\x04", 4) + std::string(60, '\0'))));
    EXPECT_FALSE(readModelFile(dir_ / "missing.ply"));
}

TEST_F(ModelReaderTest, PlyWithoutNormalsGetsGeneratedOnes) {
    const auto p = write("tent.ply",
                         "ply\nformat ascii 1.0\nelement vertex 4\nproperty float x\nproperty float y\n"
                         "property float z\nelement face 2\nproperty list uchar int vertex_indices\nend_header\n"
                         "0 0 0\n1 0 0\n0 1 0\n1 1 0.2\n3 0 1 2\n3 2 1 3\n");
    auto m = readModelFile(p);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->mesh.audit.formatLabel, "PLY");
    EXPECT_EQ(m->mesh.rawIndices.size(), 6u);
    for (const auto& v : m->mesh.rawVertices) {
        EXPECT_NEAR(glm::length(v.normal), 1.0f, 1e-4f);
        EXPECT_GT(std::fabs(v.normal.z), 0.9f);  // generated from the faces, not the (0,1,0) fallback
    }
}

TEST_F(ModelReaderTest, MtlDiffuseTextureIsACandidate) {
    write("look.mtl", "newmtl Painted\nmap_Kd albedo.png\n");
    const auto p = write("tri.obj",
                         "mtllib look.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 0 1\nusemtl Painted\n"
                         "f 1/1 2/2 3/3\n");
    auto m = readModelFile(p);
    ASSERT_TRUE(m);
    ASSERT_EQ(m->textureCandidates.size(), 1u);
    EXPECT_EQ(m->textureCandidates[0].file, dir_ / "albedo.png");
    EXPECT_EQ(m->mesh.rawVertices[1].uv, pk::float2(1, 0));
}

TEST(ModelConversion, BadIndicesRefusedAndMeshletNumbers) {
    using namespace pk::modelimport;
    auto meshOf = [](size_t vertices, std::vector<uint32_t> tri, std::vector<uint32_t> lines = {}) {
        Mesh m;
        m.positions.resize(vertices, pk::float3(0.0f));
        for (size_t i = 0; i < vertices; ++i) m.positions[i].x = float(i);
        m.submeshes.push_back({GeometryType::triangles, 0, std::move(tri)});
        if (!lines.empty()) m.submeshes.push_back({GeometryType::lines, 0, std::move(lines)});
        return m;
    };
    // A triangle index beyond its mesh means the import is not whole: refused.
    Model beyond;
    beyond.meshes.push_back(meshOf(130, {0, 1, 200}));
    EXPECT_FALSE(convertImportedModel(beyond, "n", "OBJ", 10, false));

    Model model;
    model.meshes.push_back(meshOf(130, {0, 1, 2, 129}, {0, 1}));
    model.meshes.push_back(meshOf(3, {0, 1, 2}));
    auto m = convertImportedModel(model, "n", "OBJ", 10, false);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->mesh.rawIndices, (std::vector<uint32_t>{0, 1, 2, 129, 130, 131, 132}));
    EXPECT_EQ(m->mesh.rawVertices[129].meshletID, 2.0f);    // 0 * 64 + 129 / 64
    EXPECT_EQ(m->mesh.rawVertices[130].meshletID, 64.0f);   // 1 * 64 + 0
    EXPECT_EQ(m->mesh.rawVertices[0].normal, pk::float3(0, 1, 0));  // no normals: up

    for (auto [count, meshlets] : {std::pair{191, 1}, {192, 1}, {384, 2}, {3, 1}}) {
        Model one;
        std::vector<uint32_t> idx(static_cast<size_t>(count), 0);
        one.meshes.push_back(meshOf(1, idx));
        EXPECT_EQ(convertImportedModel(one, "n", "OBJ", 0, false)->mesh.audit.meshletCount, meshlets) << count;
    }
    Model empty;
    empty.meshes.push_back(meshOf(3, {}, {0, 1}));
    EXPECT_FALSE(convertImportedModel(empty, "n", "OBJ", 0, false));
}
