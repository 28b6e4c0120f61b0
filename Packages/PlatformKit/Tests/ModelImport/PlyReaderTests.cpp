#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "PlatformKit/ModelImport/Malformed.h"
#include "PlatformKit/ModelImport/PlyReader.h"

using namespace pk::modelimport;
namespace fs = std::filesystem;

namespace {

enum class Enc { ascii, le, be };

// A PLY file in any encoding: vertices with normals, colours and texture coordinates,
// a face list and a triangle-strip element, as scanners write them.
struct PlyFile {
    std::vector<std::array<float, 3>> positions;
    std::vector<std::vector<int32_t>> faces;
    std::vector<std::vector<int32_t>> strips;

    std::string bytes(Enc enc) const {
        std::string h = "ply\nformat ";
        h += enc == Enc::ascii ? "ascii" : enc == Enc::le ? "binary_little_endian" : "binary_big_endian";
        h += " 1.0\ncomment made by a test\nelement vertex " + std::to_string(positions.size()) +
             "\nproperty float x\nproperty float y\nproperty float z\nproperty float nx\nproperty float ny\n"
             "property float nz\nproperty uchar red\nproperty uchar green\nproperty uchar blue\n"
             "property float s\nproperty float t\n";
        if (!faces.empty())
            h += "element face " + std::to_string(faces.size()) + "\nproperty list uchar int vertex_indices\n";
        if (!strips.empty())
            h += "element tristrips " + std::to_string(strips.size()) + "\nproperty list int int vertex_indices\n";
        h += "end_header\n";
        std::string body;
        auto put = [&](auto v, bool last = false) {
            if (enc == Enc::ascii) {
                body += std::to_string(v);
                body += last ? "\n" : " ";
                return;
            }
            char raw[sizeof v];
            std::memcpy(raw, &v, sizeof v);
            if ((enc == Enc::be) == (std::endian::native == std::endian::little))
                for (size_t i = 0; i < sizeof v / 2; ++i) std::swap(raw[i], raw[sizeof v - 1 - i]);
            body.append(raw, sizeof v);
        };
        for (const auto& p : positions) {
            for (float c : p) put(c);
            for (float n : {0.0f, 0.0f, 1.0f}) put(n);
            for (uint8_t c : {uint8_t(200), uint8_t(100), uint8_t(50)}) enc == Enc::ascii ? put(int(c)) : put(c);
            put(p[0]);
            put(p[1], true);
        }
        auto putList = [&](const std::vector<int32_t>& list, bool byteCount) {
            if (byteCount) enc == Enc::ascii ? put(int(list.size()), list.empty()) : put(uint8_t(list.size()));
            else put(int32_t(list.size()), list.empty());
            for (size_t i = 0; i < list.size(); ++i) put(list[i], i + 1 == list.size());
        };
        for (const auto& f : faces) putList(f, true);
        for (const auto& s : strips) putList(s, false);
        return h + body;
    }
};

std::optional<Model> read(const std::string& s) {
    return readPly(std::span(reinterpret_cast<const uint8_t*>(s.data()), s.size()));
}

// Why the reader refused the file; empty when it read it.
std::string refusalOf(const std::string& s) {
    try {
        (void)parsePly(std::span(reinterpret_cast<const uint8_t*>(s.data()), s.size()));
        return {};
    } catch (const Malformed& m) {
        return m.description;
    }
}

PlyFile grid() {
    // A 3 x 2 grid of vertices in the z = 0 plane, numbered row by row.
    PlyFile f;
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) f.positions.push_back({float(x), float(y), 0.0f});
    return f;
}

// Every triangle of the mesh, as vertex positions, facing +z (its winding kept).
std::vector<std::array<pk::float3, 3>> trianglesOf(const Mesh& m, bool& allFaceUp) {
    std::vector<std::array<pk::float3, 3>> out;
    allFaceUp = true;
    for (const auto& s : m.submeshes) {
        if (s.geometryType != GeometryType::triangles) continue;
        for (size_t i = 0; i + 2 < s.indices.size(); i += 3) {
            std::array<pk::float3, 3> t = {m.positions[s.indices[i]], m.positions[s.indices[i + 1]],
                                          m.positions[s.indices[i + 2]]};
            allFaceUp &= glm::cross(t[1] - t[0], t[2] - t[0]).z > 0;
            out.push_back(t);
        }
    }
    return out;
}

}  // namespace

TEST(PlyReader, FacesAndStripsLoadWholeInEveryEncoding) {
    struct Case {
        const char* name;
        std::vector<std::vector<int32_t>> faces, strips;
        size_t triangles;
    };
    const Case cases[] = {
        // Quad and triangle as one fan each: 3 triangles over the grid.
        {"faces", {{0, 1, 4, 3}, {1, 2, 4}}, {}, 3},
        // Pentagon fan: 3 triangles.
        {"pentagon", {{0, 2, 5, 4, 3}}, {}, 3},
        // One strip over the grid: 0 3 1 4 2 5 gives 4 triangles of alternating winding.
        {"strip", {}, {{3, 0, 4, 1, 5, 2}}, 4},
        // Restarts split strips; a triangle repeating a vertex only stitches and is dropped.
        {"restarts", {}, {{3, 0, 4, 1, -1, 4, 1, 5, 2, -1, 0, 0, 1}}, 4},
    };
    for (Enc enc : {Enc::ascii, Enc::le, Enc::be}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.name) + " encoding " + std::to_string(int(enc)));
            PlyFile f = grid();
            f.faces = c.faces;
            f.strips = c.strips;
            const std::string bytes = f.bytes(enc);
            const fs::path seeds = fs::path(KS_TEST_OUTPUT_DIR) / "fuzz-seeds" / "model_import";
            fs::create_directories(seeds);
            std::ofstream(seeds / (std::string("ply-") + c.name + std::to_string(int(enc))), std::ios::binary)
                << char(0) << bytes;
            const auto model = read(bytes);
            ASSERT_TRUE(model);
            ASSERT_EQ(model->meshes.size(), 1u);
            const Mesh& m = model->meshes[0];
            bool faceUp = false;
            EXPECT_EQ(trianglesOf(m, faceUp).size(), c.triangles);
            EXPECT_TRUE(faceUp) << "a triangle lost the strip's winding";
            // The file's normals and texture coordinates, per vertex.
            ASSERT_EQ(m.normals.size(), m.positions.size());
            ASSERT_EQ(m.textureCoordinates.size(), m.positions.size());
            for (size_t v = 0; v < m.positions.size(); ++v) {
                EXPECT_EQ(m.normals[v], pk::float3(0, 0, 1));
                EXPECT_EQ(m.textureCoordinates[v], pk::float2(m.positions[v].x, m.positions[v].y));
            }
        }
    }
}

TEST(PlyReader, PointCloudKeepsItsPoints) {
    const auto model = read(grid().bytes(Enc::le));
    ASSERT_TRUE(model);
    ASSERT_EQ(model->meshes[0].submeshes.size(), 1u);
    EXPECT_EQ(model->meshes[0].submeshes[0].geometryType, GeometryType::points);
    EXPECT_EQ(model->meshes[0].submeshes[0].indices.size(), 6u);
}

TEST(PlyReader, BrokenFilesAreRefusedWhole) {
    PlyFile f = grid();
    f.faces = {{0, 1, 4, 3}, {1, 2, 4}};
    const std::string good = f.bytes(Enc::le);
    const std::string goodAscii = f.bytes(Enc::ascii);
    ASSERT_TRUE(read(good));
    ASSERT_TRUE(read(goodAscii));
    auto replaced = [](std::string s, const std::string& from, const std::string& to) {
        return s.replace(s.find(from), from.size(), to);
    };
    PlyFile outOfRange = f, negative = f, badStrip = f;
    outOfRange.faces[1][2] = 6;
    negative.faces[0][0] = -1;
    badStrip.strips = {{0, 1, -2}};
    const struct {
        const char* name;
        std::string bytes;
        const char* reason;
    } cases[] = {
        {"no end_header", "ply\nformat ascii 1.0\n", "the header has no end_header on line 3"},
        {"header only", "ply\nformat binary_little_endian 1.0\nelement vertex 1\nproperty float x\nend_header\n", "element vertex declares more records than the body holds"},
        {"truncated body", good.substr(0, good.size() - 1), "list count runs past the file at byte 567"},
        {"truncated ascii", goodAscii.substr(0, goodAscii.size() - 3), "the body ends early at byte 838"},
        {"more vertices than bytes", replaced(good, "element vertex 6", "element vertex 4000000000"), "element vertex declares more records than the body holds"},
        {"more faces than bytes", replaced(good, "element face 2", "element face 3"), "the body ends early at byte 580"},
        {"face beyond the vertices", outOfRange.bytes(Enc::le), "index names no vertex at byte 576"},
        {"negative index", negative.bytes(Enc::ascii), "index names no vertex at byte 824"},
        {"strip index below -1", badStrip.bytes(Enc::be), "index names no vertex at byte 646"},
        {"no positions", replaced(good, "property float z", "property float w"), "the vertex element has no x, y and z"},
        {"unknown type", replaced(good, "property float z", "property float16 z"), "unknown property type float16 on line 7"},
        {"unknown format", replaced(good, "binary_little_endian", "binary_middle_endian"), "unknown format binary_middle_endian on line 2"},
        {"float list count", replaced(good, "list uchar int", "list float int"), "list count type is not an integer type on line 17"},
        {"not a number", replaced(goodAscii, "\n1.000000 0.000000", "\n1.0x0000 0.000000"), "not a number at byte 407"},
        {"not finite", replaced(goodAscii, "\n1.000000 0.000000", "\nnan 0.000000"), "vertex position is not finite at byte 407"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(read(c.bytes));
        const std::string reason = refusalOf(c.bytes);
        EXPECT_EQ(reason, c.reason);
    }
}
