#include <gtest/gtest.h>

#include <filesystem>
#include <cstring>
#include <fstream>

#include "PlatformKit/Foundation/DebugLog.h"
#include "PlatformKit/ModelImport/Malformed.h"
#include "PlatformKit/ModelImport/ModelImport.h"

namespace fs = std::filesystem;
using namespace pk::modelimport;

namespace {

class ModelImportTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::path(KS_TEST_OUTPUT_DIR) / "pk_modelimport" /
               ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    fs::path write(const std::string& name, const std::string& text) {
        const auto p = dir_ / name;
        std::ofstream(p, std::ios::binary) << text;
        // Every fixture also seeds the model fuzz corpus: a first byte picks the reader.
        const std::string ext = p.extension().string();
        const char reader = ext == ".ply" ? 0 : ext == ".stl" ? 1 : ext == ".obj" || ext == ".mtl" ? 2 : -1;
        if (reader >= 0) {
            const fs::path seeds = fs::path(KS_TEST_OUTPUT_DIR) / "fuzz-seeds" / "model_import";
            fs::create_directories(seeds);
            const std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
            std::ofstream(seeds / (test + "-" + name), std::ios::binary) << reader << text;
        }
        return p;
    }
    fs::path dir_;
};

// Why readModel refused the file; empty when it read it.
std::string refusalOf(const fs::path& p) {
    try {
        (void)readModel(p);
        return {};
    } catch (const Malformed& m) {
        EXPECT_EQ(m.domain, kModelImportErrorDomain);
        return m.description;
    }
}

size_t countOf(const Mesh& m, GeometryType t) {
    size_t n = 0;
    for (const auto& s : m.submeshes)
        if (s.geometryType == t) n += s.indices.size();
    return n;
}

}  // namespace

TEST_F(ModelImportTest, ObjQuadIsTriangulatedAndLineKeptApart) {
    const auto p = write("quad.obj",
                         "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\n"
                         "f 1/1 2/2 3/3 4/4\nl 1 3\n");
    auto model = importModel(p);
    ASSERT_TRUE(model);
    ASSERT_EQ(model->meshes.size(), 1u);
    const Mesh& m = model->meshes[0];
    EXPECT_EQ(countOf(m, GeometryType::triangles), 6u);
    EXPECT_EQ(countOf(m, GeometryType::lines), 2u);
    ASSERT_EQ(m.normals.size(), m.positions.size());
    ASSERT_EQ(m.textureCoordinates.size(), m.positions.size());
    // Generated normals of a flat quad face +z (either way round is a valid winding).
    for (const auto& s : m.submeshes) {
        if (s.geometryType != GeometryType::triangles) continue;
        for (uint32_t i : s.indices) {
            ASSERT_LT(i, m.positions.size());
            EXPECT_NEAR(std::fabs(m.normals[i].z), 1.0f, 1e-5f);
        }
    }
}

TEST_F(ModelImportTest, LinesOnlyHaveNoTrianglesAndNoNormals) {
    auto model = importModel(write("lines.obj", "v 0 0 0\nv 1 0 0\nv 1 1 0\nl 1 2 3\n"));
    ASSERT_TRUE(model);
    for (const auto& m : model->meshes) {
        EXPECT_EQ(countOf(m, GeometryType::triangles), 0u);
        EXPECT_TRUE(m.normals.empty());
    }
}

TEST_F(ModelImportTest, PlyWithoutNormalsGetsSmoothNormalsAcrossGentleEdges) {
    // Two triangles folded by about 11 degrees share an edge: smoothed (crease 0.45 is
    // about 63 degrees); the shared vertices get one normal between both faces.
    const auto p = write("fold.ply",
                         "ply\nformat ascii 1.0\nelement vertex 4\nproperty float x\nproperty float y\n"
                         "property float z\nelement face 2\nproperty list uchar int vertex_indices\nend_header\n"
                         "0 0 0\n1 0 0\n0 1 0\n1 1 0.2\n3 0 1 2\n3 2 1 3\n");
    auto model = importModel(p);
    ASSERT_TRUE(model);
    ASSERT_EQ(model->meshes.size(), 1u);
    const Mesh& m = model->meshes[0];
    ASSERT_EQ(m.normals.size(), m.positions.size());
    EXPECT_EQ(m.positions.size(), 4u);
    for (size_t i = 0; i < m.positions.size(); ++i) EXPECT_NEAR(glm::length(m.normals[i]), 1.0f, 1e-4f);

    // A 90 degree fold is a crease: the corner vertices are split, one normal per face.
    const auto q = write("crease.ply",
                         "ply\nformat ascii 1.0\nelement vertex 4\nproperty float x\nproperty float y\n"
                         "property float z\nelement face 2\nproperty list uchar int vertex_indices\nend_header\n"
                         "0 0 0\n1 0 0\n0 1 0\n0 0 1\n3 0 1 2\n3 0 3 1\n");
    auto creased = importModel(q);
    ASSERT_TRUE(creased);
    const Mesh& c = creased->meshes[0];
    ASSERT_EQ(c.normals.size(), c.positions.size());
    for (const auto& n : c.normals) {
        const float ax = std::max(std::fabs(n.y), std::fabs(n.z));
        EXPECT_NEAR(ax, 1.0f, 1e-4f) << "normal not axis-aligned: smoothed across a crease";
    }
}

TEST_F(ModelImportTest, GeneratedNormalsSmoothGentleFoldsAndKeepCreases) {
    // Two triangles on the edge (0,0,0)-(1,0,0): the second tilted up by `lift`.
    struct Case {
        const char* name;
        float lift;  // z of the far vertex of the second face; 0.2 is about 11 degrees
        bool smooth;
    };
    const Case cases[] = {{"gentle", 0.2f, true}, {"crease", 1e6f, false}};
    for (const auto& c : cases) {
        for (const char* format : {"obj", "ply"}) {
            SCOPED_TRACE(std::string(c.name) + "." + format);
            const std::string far = c.lift > 100 ? "0.5 0 1" : "0.5 -1 " + std::to_string(c.lift);
            std::string text;
            if (std::string(format) == "obj") {
                text = "v 0 0 0\nv 1 0 0\nv 0.5 1 0\nv " + far + "\nf 1 2 3\nf 2 1 4\n";
            } else {
                text = "ply\nformat ascii 1.0\nelement vertex 4\nproperty float x\nproperty float y\n"
                       "property float z\nelement face 2\nproperty list uchar int vertex_indices\nend_header\n"
                       "0 0 0\n1 0 0\n0.5 1 0\n" + far + "\n3 0 1 2\n3 1 0 3\n";
            }
            auto model = importModel(write(std::string(c.name) + "." + format, text));
            ASSERT_TRUE(model);
            ASSERT_EQ(model->meshes.size(), 1u);
            const Mesh& m = model->meshes[0];
            ASSERT_EQ(m.normals.size(), m.positions.size());
            bool blended = false;
            for (size_t i = 0; i < m.positions.size(); ++i) {
                ASSERT_NEAR(glm::length(m.normals[i]), 1.0f, 1e-4f);
                if (m.positions[i].y == 0.0f && std::fabs(std::fabs(m.normals[i].z) - 1.0f) > 1e-3f &&
                    std::fabs(m.normals[i].y) < 0.999f)
                    blended = true;
            }
            EXPECT_EQ(blended, c.smooth);
            EXPECT_EQ(m.positions.size(), c.smooth ? 4u : 6u);
        }
    }
}

TEST_F(ModelImportTest, PlyFaceBeyondVerticesIsRefusedWithItsReason) {
    const std::string header =
        "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\n"
        "property float z\nelement face 2\nproperty list uchar int vertex_indices\nend_header\n"
        "0 0 0\n1 0 0\n0 1 0\n";
    const auto p = write("bad.ply", header + "3 0 1 99\n3 0 1 2\n");
    std::vector<std::string> logged;
    {
        pk::DebugLogCapture capture([&](const std::string& line) { logged.push_back(line); });
        EXPECT_FALSE(importModel(p));
    }
    // The index 99 starts where the face's count and first two indices end.
    const std::string reason = "bad.ply: index names no vertex at byte " + std::to_string(header.size() + 5);
    EXPECT_EQ(refusalOf(p), reason);
    EXPECT_EQ(logged, std::vector<std::string>{std::string(kModelImportLogArea) + ": " + reason});
}

TEST_F(ModelImportTest, MtlDiffuseMapResolvesBesideTheModel) {
    write("look.mtl", "newmtl Painted\nKd 1 1 1\nmap_Kd textures/albedo.png\n");
    const auto p = write("tri.obj",
                         "mtllib look.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 0 1\n"
                         "usemtl Painted\nf 1/1 2/2 3/3\n");
    auto model = importModel(p);
    ASSERT_TRUE(model);
    ASSERT_EQ(model->meshes.size(), 1u);
    ASSERT_FALSE(model->meshes[0].submeshes.empty());
    const auto& mat = model->materials.at(model->meshes[0].submeshes[0].materialIndex);
    ASSERT_TRUE(mat.baseColorTexture);
    EXPECT_EQ(mat.baseColorTexture->file, dir_ / "textures/albedo.png");
}

TEST_F(ModelImportTest, StlReadsAndUnreadableFilesFail) {
    const auto stl = write("tri.stl",
                           "solid t\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 1 0 0\nvertex 0 1 0\n"
                           "endloop\nendfacet\nendsolid t\n");
    auto model = importModel(stl);
    ASSERT_TRUE(model);
    ASSERT_EQ(model->meshes.size(), 1u);
    EXPECT_EQ(countOf(model->meshes[0], GeometryType::triangles), 3u);

    EXPECT_FALSE(importModel(dir_ / "missing.obj"));
    EXPECT_FALSE(importModel(write("scene.usdz", std::string("PK\x03\x04", 4) + std::string(64, '\0'))));
}

namespace {

// A binary STL of `facets` facets in the z = 0 plane with normal +z, then `extra` bytes.
std::string binaryStl(uint32_t facets, size_t extra = 0, const char* header = "binary") {
    std::string s(80, '\0');
    std::memcpy(s.data(), header, std::strlen(header));
    s.append(reinterpret_cast<const char*>(&facets), 4);
    for (uint32_t f = 0; f < facets; ++f) {
        const float v[12] = {0, 0, 1, float(f), 0, 0, float(f) + 1, 0, 0, float(f), 1, 0};
        s.append(reinterpret_cast<const char*>(v), sizeof v);
        s.append(2, '\0');
    }
    return s + std::string(extra, ' ');
}

}  // namespace

TEST_F(ModelImportTest, BinaryStlKeepsFacetNormals) {
    // A header that starts with "solid" is still binary when the facet count fits the length.
    for (const char* header : {"binary", "solid but binary"}) {
        SCOPED_TRACE(header);
        const auto model = importModel(write("two.stl", binaryStl(2, 0, header)));
        ASSERT_TRUE(model);
        ASSERT_EQ(model->meshes.size(), 1u);
        const Mesh& m = model->meshes[0];
        EXPECT_EQ(countOf(m, GeometryType::triangles), 6u);
        EXPECT_EQ(m.positions.size(), 5u);  // the shared corners are joined
        for (const auto& n : m.normals) EXPECT_EQ(n, pk::float3(0, 0, 1));
    }
}

TEST_F(ModelImportTest, FilesThatCannotBeReadWholeAreRefused) {
    const std::string stlFacet = "facet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 1 0 0\nvertex 0 1 0\nendloop\nendfacet\n";
    const struct {
        const char* name;
        std::string text;
        const char* reason;  // what the refusal must say, after the file name
    } cases[] = {
        {"face.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 4\n", "a face names vertex 4 the file does not have"},
        {"zero.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 0 1 2\n", "not an index: 0 on line 4"},
        {"relative.obj", "v 0 0 0\nv 1 0 0\nf -1 -2 -3\n", "negative index before the first element on line 3"},
        {"uv.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nf 1/1 2/2 3/1\n",
         "a face names texture coordinate 2 the file does not have"},
        {"number.obj", "v 0 0 0\nv 1 0 zero\nv 0 1 0\nf 1 2 3\n", "not a finite number: zero on line 2"},
        {"infinite.obj", "v 0 0 0\nv 1 0 1e999\nv 0 1 0\nf 1 2 3\n", "not a finite number: 1e999 on line 2"},
        {"short.stl", binaryStl(3).substr(0, 84 + 50 * 2 + 10), "binary facet count runs past the file at byte 80"},
        {"loop.stl", "solid s\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 1 0 0\nendloop\nendfacet\nendsolid s\n",
         "expected \"vertex\" at byte 64"},
        {"cut.stl", "solid s\n" + stlFacet.substr(0, 60), "expected \"vertex\" at byte 64"},
        {"word.stl", "solid s\n" + stlFacet + "facet normals 0 0 1\nendsolid s\n", "expected \"normal\" at byte 100"},
        {"nothing.stl", std::string(30, 'x'), "neither \"solid\" text nor an 84-byte binary header"},
        {"header.ply", "ply\nformat ascii 1.0\n", "the header has no end_header on line 3"},
        {"shape.off", "OFF\n3 1 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n", "no reader for the extension \"off\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto p = write(c.name, c.text);
        EXPECT_FALSE(importModel(p));
        EXPECT_EQ(refusalOf(p), std::string(c.name) + ": " + c.reason);
    }
    // The same shapes read when whole.
    EXPECT_TRUE(importModel(write("whole.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\nf -3 -2 -1\n")));
    EXPECT_TRUE(importModel(write("whole.stl", "solid s\n" + stlFacet + "endsolid s\n")));
    EXPECT_EQ(refusalOf(dir_ / "missing.obj").rfind("missing.obj: cannot be read", 0), 0u);
}

TEST_F(ModelImportTest, ConcavePolygonsAreCutInsideTheirOutline) {
    // Outlines in the z = 0 plane, counter-clockwise; a fan from the first corner would
    // cover ground outside them and flip a triangle.
    struct Case {
        const char* name;
        std::vector<std::pair<int, int>> outline;
        float area;
    };
    const Case cases[] = {
        {"dart", {{0, 0}, {2, 1}, {0, 2}, {1, 1}}, 1.0f},
        {"ell", {{0, 0}, {2, 0}, {2, 1}, {1, 1}, {1, 2}, {0, 2}}, 3.0f},
        {"comb", {{0, 0}, {4, 0}, {4, 2}, {3, 2}, {3, 1}, {2, 1}, {2, 2}, {1, 2}, {1, 1}, {0, 1}}, 6.0f},
    };
    for (const auto& c : cases) {
        for (const char* format : {"obj", "ply"}) {
            SCOPED_TRACE(std::string(c.name) + "." + format);
            const bool obj = format == std::string("obj");
            std::string verts, face;
            for (size_t i = 0; i < c.outline.size(); ++i) {
                if (obj) verts += "v ";
                verts += std::to_string(c.outline[i].first);
                verts += " ";
                verts += std::to_string(c.outline[i].second);
                verts += " 0\n";
                face += " ";
                face += std::to_string(obj ? i + 1 : i);
            }
            const std::string text =
                obj
                    ? verts + "f" + face + "\n"
                    : "ply\nformat ascii 1.0\nelement vertex " + std::to_string(c.outline.size()) +
                          "\nproperty float x\nproperty float y\nproperty float z\nelement face 1\n"
                          "property list uchar int vertex_indices\nend_header\n" +
                          verts + std::to_string(c.outline.size()) + face + "\n";
            const auto model = importModel(write(std::string(c.name) + "." + format, text));
            ASSERT_TRUE(model);
            const Mesh& m = model->meshes.at(0);
            float area = 0;
            size_t triangles = 0;
            for (const auto& s : m.submeshes) {
                for (size_t i = 0; i + 2 < s.indices.size(); i += 3, ++triangles) {
                    const pk::float3 a = m.positions[s.indices[i]], b = m.positions[s.indices[i + 1]],
                                     d = m.positions[s.indices[i + 2]];
                    const float z = glm::cross(b - a, d - a).z;
                    EXPECT_GT(z, 0.0f) << "triangle " << triangles << " turned over";
                    area += 0.5f * z;
                }
            }
            EXPECT_EQ(triangles, c.outline.size() - 2);
            EXPECT_FLOAT_EQ(area, c.area);
        }
    }
}

TEST_F(ModelImportTest, FilesOtherToolsWriteReadAsTheyMean) {
    const std::string facet = "facet normal 0 0 0\nouter loop\nvertex 0 0 0\nvertex 1 0 0\nvertex 0 1 0\nendloop\nendfacet\n";
    struct Case {
        const char* name;
        std::string text;
        size_t triangleCorners;
    };
    const Case cases[] = {
        // A face continued over three lines, and a vertex split after its keyword.
        {"continued.obj", "v 0 0 0\nv 1 0 0\nv \\\n 1 1 0\nv 0 1 0\nf 1 2 \\\n3 \\\n4\n", 6},
        {"crlf.obj", "v 0 0 0\r\nv 1 0 0\r\nv 1 1 0\r\nv 0 1 0\r\nf 1 2 3 4\r\n", 6},
        {"negative.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf -3 -2 -1\nv 1 1 0\nf -3 -1 -2\n", 6},
        {"crlf.ply", "ply\r\nformat ascii 1.0\r\nelement vertex 3\r\nproperty float x\r\nproperty float y\r\n"
                     "property float z\r\nelement face 1\r\nproperty list uchar int vertex_indices\r\nend_header\r\n"
                     "0 0 0\r\n1 0 0\r\n0 1 0\r\n3 0 1 2\r\n", 3},
        {"unended.stl", "solid s\n" + facet + facet, 6},
        {"crlf.stl", "solid s\r\nfacet normal 0 0 1\r\nouter loop\r\nvertex 0 0 0\r\nvertex 1 0 0\r\nvertex 0 1 0\r\n"
                     "endloop\r\nendfacet\r\nendsolid s\r\n", 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto p = write(c.name, c.text);
        EXPECT_EQ(refusalOf(p), "");
        const auto model = importModel(p);
        ASSERT_TRUE(model);
        size_t corners = 0;
        for (const auto& m : model->meshes) {
            corners += countOf(m, GeometryType::triangles);
            // Whatever the file gave or left out, every corner ends with a unit normal.
            ASSERT_EQ(m.normals.size(), m.positions.size());
            for (const auto& n : m.normals) EXPECT_NEAR(glm::length(n), 1.0f, 1e-5f);
        }
        EXPECT_EQ(corners, c.triangleCorners);
    }
}

TEST_F(ModelImportTest, ZeroStlFacetNormalsAreComputed) {
    // Two facets folded by 90 degrees along x: all-zero normals are smooth-shaded with the
    // crease kept (so flat here); a single zero normal takes its facet's own.
    auto facet = [](const char* normal, const char* a, const char* b, const char* c) {
        return std::string("facet normal ") + normal + "\nouter loop\nvertex " + a + "\nvertex " + b + "\nvertex " + c +
               "\nendloop\nendfacet\n";
    };
    const std::string floor = facet("0 0 0", "0 0 0", "1 0 0", "0 1 0");
    for (const bool allZero : {true, false}) {
        SCOPED_TRACE(allZero ? "all zero" : "one zero");
        const std::string wall = facet(allZero ? "0 0 0" : "0 -1 0", "0 0 0", "1 0 0", "0 0 1");
        const auto model = importModel(write("zero.stl", "solid z\n" + floor + wall + "endsolid z\n"));
        ASSERT_TRUE(model);
        const Mesh& m = model->meshes.at(0);
        ASSERT_EQ(m.normals.size(), m.positions.size());
        const auto& idx = m.submeshes.at(0).indices;
        ASSERT_EQ(idx.size(), 6u);
        for (size_t i = 0; i < 3; ++i) EXPECT_EQ(m.normals[idx[i]], pk::float3(0, 0, 1));
        for (size_t i = 3; i < 6; ++i) EXPECT_EQ(m.normals[idx[i]], pk::float3(0, -1, 0));
    }
}

TEST_F(ModelImportTest, EveryMaterialLibraryOfAnMtllibLineIsRead) {
    write("a.mtl", "newmtl Red\nmap_Kd red.png\n");
    write("b.mtl", "newmtl Blue\nmap_Kd blue.png\n");
    write("with space.mtl", "newmtl Green\nmap_Kd green.png\n");
    const auto model = importModel(write("two.obj",
                                         "mtllib a.mtl b.mtl\nmtllib with space.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\n"
                                         "usemtl Red\nf 1 2 3\nusemtl Blue\nf 1 3 2\nusemtl Green\nf 2 1 3\n"));
    ASSERT_TRUE(model);
    std::vector<fs::path> textures;
    for (const auto& sub : model->meshes.at(0).submeshes) {
        const auto& texture = model->materials.at(sub.materialIndex).baseColorTexture;
        ASSERT_TRUE(texture);
        textures.push_back(texture->file);
    }
    EXPECT_EQ(textures, (std::vector<fs::path>{dir_ / "red.png", dir_ / "blue.png", dir_ / "green.png"}));
}

TEST_F(ModelImportTest, OneSizeCapForEveryFormat) {
    for (const char* name : {"big.obj", "big.ply", "big.stl", "big.usdz", "big.usdc"}) {
        SCOPED_TRACE(name);
        const auto p = dir_ / name;
        // A sparse file: one byte past the cap costs no disk.
        { std::ofstream(p, std::ios::binary) << ' '; }
        fs::resize_file(p, kMaxModelFileBytes + 1);
        EXPECT_EQ(refusalOf(p), std::string(name) + ": cannot be read, is not a regular file or is larger than " +
                                    std::to_string(kMaxModelFileBytes) + " bytes");
        fs::remove(p);
    }
}
