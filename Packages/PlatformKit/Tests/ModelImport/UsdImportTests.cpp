#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>

#include "PlatformKit/ModelImport/Malformed.h"
#include "PlatformKit/ModelImport/Triangulate.h"
#include "PlatformKit/ModelImport/UsdStage.h"
#include "PlatformKit/ModelImport/UsdaReader.h"
#include "PlatformKit/ModelImport/UsdcReader.h"
#include "PlatformKit/ModelImport/UsdzPackage.h"
#include "UsdTestFiles.h"

namespace fs = std::filesystem;
using namespace pk::modelimport;
using usdtest::Bytes;
using usdtest::bytesOf;

namespace {

// A textured cube: quads, UVs indexed per corner, its material bound on the mesh.
const char* const kCube = R"(#usda 1.0
(
    "A cube for the reader's tests"
    defaultPrim = "Cube"
    metersPerUnit = 1
    upAxis = "Y"
    customLayerData = {
        string creator = "tests"
        dictionary nested = { int n = 1 }
    }
)

def Xform "Cube" (
    kind = "component"
)
{
    def Mesh "Box" (
        prepend apiSchemas = ["MaterialBindingAPI"]
    )
    {
        float3[] extent = [(-0.5, -0.5, -0.5), (0.5, 0.5, 0.5)]
        int[] faceVertexCounts = [4, 4, 4, 4, 4, 4]
        int[] faceVertexIndices = [0, 1, 3, 2, 2, 3, 5, 4, 4, 5, 7, 6, 6, 7, 1, 0, 1, 7, 5, 3, 6, 0, 2, 4]
        point3f[] points = [(-0.5, -0.5, 0.5), (0.5, -0.5, 0.5), (-0.5, 0.5, 0.5), (0.5, 0.5, 0.5),
                            (-0.5, 0.5, -0.5), (0.5, 0.5, -0.5), (-0.5, -0.5, -0.5), (0.5, -0.5, -0.5)]
        texCoord2f[] primvars:st = [(0, 0), (1, 0), (1, 1), (0, 1)] (
            interpolation = "faceVarying"
        )
        int[] primvars:st:indices = [0, 1, 2, 3, 0, 1, 2, 3, 0, 1, 2, 3, 0, 1, 2, 3, 0, 1, 2, 3, 0, 1, 2, 3]
        rel material:binding = </Cube/Looks/Painted>
        uniform token subdivisionScheme = "none"
        point3f[] velocities.timeSamples = { 0: [(0, 0, 0)], 1: [(1, 1, 1)] }
    }
    variantSet "look" = {
        "plain" { over "Box" { float inputs:gloss = 1 } }
    }
    def Scope "Looks"
    {
        def Material "Painted"
        {
            token outputs:surface.connect = </Cube/Looks/Painted/Surface.outputs:surface>
            def Shader "Surface"
            {
                uniform token info:id = "UsdPreviewSurface"
                color3f inputs:diffuseColor.connect = </Cube/Looks/Painted/Albedo.outputs:rgb>
                float inputs:roughness = 0.5
                token outputs:surface
            }
            def Shader "Albedo"
            {
                uniform token info:id = "UsdUVTexture"
                asset inputs:file = @./textures/albedo.png@
                float2 inputs:st.connect = </Cube/Looks/Painted/Reader.outputs:result>
                float3 outputs:rgb
            }
            def Shader "Reader"
            {
                uniform token info:id = "UsdPrimvarReader_float2"
                token inputs:varname = "st"
                float2 outputs:result
            }
        }
    }
}
)";

// One mesh under a prim with the given transform ops, under a translated root.
std::string transformed(const std::string& ops) {
    return R"(#usda 1.0
(
    metersPerUnit = 1
)
def Xform "Root"
{
    double3 xformOp:translate = (0, 5, 0)
    uniform token[] xformOpOrder = ["xformOp:translate"]
    def Mesh "Tri"
    {
)" + ops + R"(
        int[] faceVertexCounts = [3]
        int[] faceVertexIndices = [0, 1, 2]
        point3f[] points = [(1, 0, 0), (0, 1, 0), (0, 0, 1)]
    }
}
)";
}

// A stage with one triangle standing 2 units up its Z axis.
std::string tower(const std::string& stageMetadata) {
    return "#usda 1.0\n(\n" + stageMetadata + R"(
)
def Mesh "Tower"
{
    int[] faceVertexCounts = [3]
    int[] faceVertexIndices = [0, 1, 2]
    point3f[] points = [(0, 0, 0), (1, 0, 0), (0, 1, 2)]
}
)";
}

std::optional<Model> fromUsda(const std::string& text) {
    return importUsdBytes(bytesOf(text), UsdFormat::usda);
}

Bytes crateOf(const std::string& usda, usdtest::CrateOptions options = {}) {
    const auto layer = readUsda(usda);
    if (!layer) throw std::runtime_error("fixture does not parse");
    return usdtest::CrateWriter(options).write(*layer);
}

const Bytes kTexture = bytesOf("\x89PNG not really, only carried");

Bytes packageOf(const std::string& rootName, const Bytes& root) {
    return usdtest::writeZip({{rootName, root}, {"textures/albedo.png", kTexture}});
}

void expectSameModel(const Model& a, const Model& b) {
    ASSERT_EQ(a.meshes.size(), b.meshes.size());
    for (size_t m = 0; m < a.meshes.size(); ++m) {
        EXPECT_EQ(a.meshes[m].name, b.meshes[m].name);
        EXPECT_EQ(a.meshes[m].positions, b.meshes[m].positions);
        EXPECT_EQ(a.meshes[m].normals, b.meshes[m].normals);
        EXPECT_EQ(a.meshes[m].textureCoordinates, b.meshes[m].textureCoordinates);
        ASSERT_EQ(a.meshes[m].submeshes.size(), b.meshes[m].submeshes.size());
        for (size_t s = 0; s < a.meshes[m].submeshes.size(); ++s)
            EXPECT_EQ(a.meshes[m].submeshes[s].indices, b.meshes[m].submeshes[s].indices);
    }
    ASSERT_EQ(a.materials.size(), b.materials.size());
    for (size_t i = 0; i < a.materials.size(); ++i) {
        EXPECT_EQ(a.materials[i].name, b.materials[i].name);
        EXPECT_EQ(a.materials[i].baseColorTexture.has_value(), b.materials[i].baseColorTexture.has_value());
    }
}

size_t triangles(const Model& model) {
    size_t n = 0;
    for (const auto& m : model.meshes)
        for (const auto& s : m.submeshes) n += s.indices.size() / 3;
    return n;
}

bool near(pk::float3 a, pk::float3 b) { return glm::length(a - b) < 1e-4f; }

}  // namespace

namespace {

// Why reading refused the input; empty when it was read.
template <class Read>
std::string refusalOf(Read&& read) {
    try {
        (void)read();
        return {};
    } catch (const Malformed& m) {
        return m.description;
    }
}

}  // namespace

TEST(UsdImport, CubeReadsTheSameFromUsdaAndUsdcPackages) {
    const auto text = packageOf("Cube.usda", bytesOf(kCube));
    const auto binary = packageOf("Cube.usdc", crateOf(kCube));
    const auto fromText = importUsdBytes(text, UsdFormat::usdz);
    const auto fromBinary = importUsdBytes(binary, UsdFormat::usdz);
    ASSERT_TRUE(fromText);
    ASSERT_TRUE(fromBinary);
    expectSameModel(*fromText, *fromBinary);

    ASSERT_EQ(fromText->meshes.size(), 1u);
    const Mesh& box = fromText->meshes[0];
    EXPECT_EQ(box.name, "Box");
    EXPECT_EQ(triangles(*fromText), 12u);
    // Per-corner UVs and creased normals give each face its own four corners.
    EXPECT_EQ(box.positions.size(), 24u);
    ASSERT_EQ(box.normals.size(), 24u);
    ASSERT_EQ(box.textureCoordinates.size(), 24u);
    for (const auto& n : box.normals) EXPECT_NEAR(std::max({std::fabs(n.x), std::fabs(n.y), std::fabs(n.z)}), 1.0f, 1e-5f);
    ASSERT_EQ(box.submeshes.size(), 1u);
    const Material& painted = fromText->materials.at(box.submeshes[0].materialIndex);
    EXPECT_EQ(painted.name, "Painted");
    ASSERT_TRUE(painted.baseColorTexture);
    EXPECT_EQ(painted.baseColorTexture->encoded, kTexture);
    EXPECT_EQ(painted.baseColorTexture->formatHint, "png");
}

TEST(UsdImport, CrateEncodingsReadBackAsTheText) {
    // A layer with what each encoding has to carry: compressed and plain integer
    // arrays, float arrays of both compressed kinds, inlined and stored vectors,
    // matrices and doubles, quaternions, strings and blocked values.
    const std::string layer = std::string(kCube).substr(0, std::string(kCube).rfind('}')) + R"(
    def Xform "Extras"
    {
        float[] widths = [0.5, 0.5, 1, 2, 0.5, 3, 0.5, 0.5, 1, 2, 0.5, 3, 0.5, 0.5, 1, 2.25, 7]
        float[] ramp = [0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, -19]
        int[] big = [100000, 100001, -5, 70000, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 2000000000]
        int[] few = [3, 1, 2]
        double3 xformOp:translate = (0.25, 2, -3)
        double3 xformOp:scale = (1, 2, 3)
        quatf xformOp:orient = (0.5, 0.5, 0.5, 0.5)
        matrix4d xformOp:transform = ((2, 0, 0, 0), (0, 2, 0, 0), (0, 0, 2, 0), (0, 0, 0, 1))
        matrix4d xformOp:transform:moved = ((1, 0, 0, 0), (0, 1, 0, 0), (0, 0, 1, 0), (0.5, 0, 0, 1))
        uniform token[] xformOpOrder = ["xformOp:translate", "xformOp:orient", "xformOp:scale", "xformOp:transform", "!invert!xformOp:transform:moved"]
        double ratio = 0.1
        double whole = 4
        string label = "a \"quoted\" label"
        bool flag = true
        float blocked = None
        color3f[] tints = [(0.25, 0.5, 1)]
    }
}
)";
    const auto text = readUsda(layer);
    ASSERT_TRUE(text);
    struct Case {
        const char* name;
        usdtest::CrateOptions options;
    };
    const Case cases[] = {
        {"0.8 compressed, inlined", {}},
        {"0.7 plain", {7, false, 0, false, false}},
        {"0.10 int-coded floats", {10, true, 'i', true, true}},
        {"0.9 float table", {9, true, 't', false, false}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto crate = usdtest::CrateWriter(c.options).write(*text);
        const auto binary = readUsdc(crate);
        ASSERT_TRUE(binary);
        EXPECT_EQ(binary->specs.size(), text->specs.size());
        for (const auto& [path, spec] : text->specs) {
            SCOPED_TRACE(path);
            const UsdSpec* other = binary->spec(path);
            ASSERT_TRUE(other);
            EXPECT_EQ(other->type, spec.type);
            for (const auto& [name, value] : spec.fields) {
                SCOPED_TRACE(name);
                const UsdValue* v = other->field(name);
                ASSERT_TRUE(v);
                EXPECT_EQ(v->kind, value.kind);
                EXPECT_EQ(v->texts, value.texts);
                EXPECT_EQ(v->doubles, value.doubles);
                EXPECT_EQ(v->floats, value.floats);
                EXPECT_EQ(v->ints, value.ints);
                EXPECT_EQ(v->components, value.components);
            }
        }
        const auto a = importUsdBytes(bytesOf(layer), UsdFormat::usda);
        const auto b = importUsdBytes(crate, UsdFormat::usdc);
        ASSERT_TRUE(a && b);
        expectSameModel(*a, *b);
    }
}

TEST(UsdImport, TransformsComposeFromRootToMesh) {
    struct Case {
        const char* name;
        const char* ops;
        pk::float3 first, second;  // where (1,0,0) and (0,1,0) land
    };
    const Case cases[] = {
        {"translate", R"(float3 xformOp:translate = (1, 2, 3)
        uniform token[] xformOpOrder = ["xformOp:translate"])",
         {2, 7, 3}, {1, 8, 3}},
        {"translate rotate scale", R"(double3 xformOp:translate = (10, 0, 0)
        float xformOp:rotateY = 90
        float3 xformOp:scale = (2, 2, 2)
        uniform token[] xformOpOrder = ["xformOp:translate", "xformOp:rotateY", "xformOp:scale"])",
         {10, 5, -2}, {10, 7, 0}},
        {"rotateXYZ turns X first", R"(float3 xformOp:rotateXYZ = (90, 0, 90)
        uniform token[] xformOpOrder = ["xformOp:rotateXYZ"])",
         {0, 6, 0}, {0, 5, 1}},
        {"matrix rows", R"(matrix4d xformOp:transform = ((1, 0, 0, 0), (0, 1, 0, 0), (0, 0, 1, 0), (5, 6, 7, 1))
        uniform token[] xformOpOrder = ["xformOp:transform"])",
         {6, 11, 7}, {5, 12, 7}},
        {"orient", R"(quatf xformOp:orient = (0.70710678, 0, 0.70710678, 0)
        uniform token[] xformOpOrder = ["xformOp:orient"])",
         {0, 5, -1}, {0, 6, 0}},
        {"inverted op", R"(float3 xformOp:translate = (1, 2, 3)
        uniform token[] xformOpOrder = ["!invert!xformOp:translate"])",
         {0, 3, -3}, {-1, 4, -3}},
        {"reset stack", R"(float3 xformOp:translate = (1, 0, 0)
        uniform token[] xformOpOrder = ["!resetXformStack!", "xformOp:translate"])",
         {2, 0, 0}, {1, 1, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto text = transformed(c.ops);
        for (const auto& model : {fromUsda(text), importUsdBytes(crateOf(text), UsdFormat::usdc)}) {
            ASSERT_TRUE(model);
            ASSERT_EQ(model->meshes.size(), 1u);
            const auto& p = model->meshes[0].positions;
            bool first = false, second = false;
            for (const auto& v : p) {
                first |= near(v, c.first);
                second |= near(v, c.second);
            }
            EXPECT_TRUE(first && second) << p[0].x << " " << p[0].y << " " << p[0].z;
        }
    }
}

TEST(UsdImport, StageUnitsAndUpAxisApply) {
    struct Case {
        const char* metadata;
        float height;  // of the top corner (0, 1, 2) afterwards
        float depth;
    };
    const Case cases[] = {
        {"upAxis = \"Y\"\nmetersPerUnit = 1", 1, 2},
        {"upAxis = \"Z\"\nmetersPerUnit = 1", 2, -1},
        {"upAxis = \"Z\"", 0.02f, -0.01f},  // no unit stated: centimetres
        {"metersPerUnit = 0.5", 0.5f, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.metadata);
        const auto model = fromUsda(tower(c.metadata));
        ASSERT_TRUE(model);
        bool found = false;
        for (const auto& v : model->meshes.at(0).positions) found |= near(v, {0, c.height, c.depth});
        EXPECT_TRUE(found);
    }
}

TEST(UsdImport, InterpolationDecidesWhereVerticesSplit) {
    // Two quads side by side sharing the edge 1-4, their normals authored three ways.
    const std::string head = R"(#usda 1.0
def Mesh "Pair"
{
    int[] faceVertexCounts = [4, 4]
    int[] faceVertexIndices = [0, 1, 4, 3, 1, 2, 5, 4]
    point3f[] points = [(0, 0, 0), (1, 0, 0), (2, 0, 0), (0, 1, 0), (1, 1, 0), (2, 1, 0)]
)";
    struct Case {
        const char* name;
        const char* attributes;
        size_t vertices;
    };
    const Case cases[] = {
        {"vertex normals", R"(normal3f[] normals = [(0, 0, 1), (0, 0, 1), (0, 0, 1), (0, 0, 1), (0, 0, 1), (0, 0, 1)] (interpolation = "vertex"))", 6},
        {"uniform normals", R"(normal3f[] normals = [(0, 0, 1), (0, 0.6, 0.8)] (interpolation = "uniform"))", 8},
        {"face-varying normals equal at the seam",
         R"(normal3f[] primvars:normals = [(0, 0, 1)] (interpolation = "faceVarying")
    int[] primvars:normals:indices = [0, 0, 0, 0, 0, 0, 0, 0])", 6},
        {"face-varying UVs split the seam", R"(texCoord2f[] primvars:uv = [(0, 0), (1, 0), (1, 1), (0, 1), (0, 0), (1, 0), (1, 1), (0, 1)] (interpolation = "faceVarying"))", 8},
        {"constant UV", R"(float2[] primvars:st = [(0.5, 0.5)] (interpolation = "constant"))", 6},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto model = fromUsda(head + "    " + c.attributes + "\n}\n");
        ASSERT_TRUE(model);
        const Mesh& m = model->meshes.at(0);
        EXPECT_EQ(m.positions.size(), c.vertices);
        EXPECT_EQ(m.normals.size(), c.vertices);
        EXPECT_EQ(triangles(*model), 4u);
        for (const auto& n : m.normals) EXPECT_NEAR(glm::length(n), 1.0f, 1e-5f);
    }
}

TEST(UsdImport, PolygonsFanAndSkipHolesAndDegenerateFaces) {
    const std::string text = R"(#usda 1.0
def Mesh "Shapes"
{
    int[] faceVertexCounts = [4, 5, 2, 3, 3, 3]
    int[] faceVertexIndices = [0, 1, 2, 3, 0, 1, 4, 2, 3, 0, 1, 0, 1, 2, 2, 3, 0, 0, 0, 1]
    int[] holeIndices = [4]
    point3f[] points = [(0, 0, 0), (1, 0, 0), (1, 1, 0), (0, 1, 0), (1.5, 0.5, 0)]
    uniform token orientation = "leftHanded"
}
)";
    const auto model = fromUsda(text);
    ASSERT_TRUE(model);
    // quad 2 + pentagon 3 + two-corner face 0 + triangle 1 + hole 0 + repeated corner 0
    EXPECT_EQ(triangles(*model), 6u);
    // Left-handed winding is turned: the first triangle now faces -Z.
    const Mesh& m = model->meshes.at(0);
    const auto& idx = m.submeshes.at(0).indices;
    const pk::float3 n = glm::cross(m.positions[idx[1]] - m.positions[idx[0]], m.positions[idx[2]] - m.positions[idx[0]]);
    EXPECT_LT(n.z, 0.0f);
}

TEST(UsdImport, OnlyDefinedActiveVisiblePrimsUnderTheDefaultPrimAreRead) {
    const std::string tri = R"({
        int[] faceVertexCounts = [3]
        int[] faceVertexIndices = [0, 1, 2]
        point3f[] points = [(0, 0, 0), (1, 0, 0), (0, 1, 0)]
    })";
    const std::string text = "#usda 1.0\n(\n    defaultPrim = \"Asset\"\n)\ndef Xform \"Asset\"\n{\n"
                             "    def Mesh \"Shown\"\n    " + tri + "\n"
                             "    def Mesh \"Hidden\"\n    {\n        token visibility = \"invisible\"\n"
                             "        int[] faceVertexCounts = [3]\n        int[] faceVertexIndices = [0, 1, 2]\n"
                             "        point3f[] points = [(0, 0, 0), (1, 0, 0), (0, 1, 0)]\n    }\n"
                             "    def Mesh \"Off\" (\n        active = false\n    )\n    " + tri + "\n"
                             "    over \"Phantom\"\n    " + tri + "\n}\n"
                             "class Mesh \"Template\"\n" + tri + "\n"
                             "def Mesh \"Elsewhere\"\n" + tri + "\n";
    for (const auto& model : {fromUsda(text), importUsdBytes(crateOf(text), UsdFormat::usdc)}) {
        ASSERT_TRUE(model);
        ASSERT_EQ(model->meshes.size(), 1u);
        EXPECT_EQ(model->meshes[0].name, "Shown");
    }
}

TEST(UsdImport, MalformedLayersAreRefused) {
    const std::string good = transformed("");
    auto replaced = [&](const std::string& from, const std::string& to) {
        std::string s = good;
        const size_t at = s.find(from);
        if (at == std::string::npos) throw std::runtime_error("fixture: " + from);
        return s.replace(at, from.size(), to);
    };
    ASSERT_TRUE(fromUsda(good));
    struct Case {
        const char* name;
        std::string text;
        const char* reason;  // part of what the refusal says
    };
    const Case cases[] = {
        {"index beyond the points", replaced("[0, 1, 2]", "[0, 1, 3]"), "faceVertexIndex 3 names no point at prim /Root/Tri"},
        {"negative index", replaced("[0, 1, 2]", "[0, -1, 2]"), "faceVertexIndex -1 names no point at prim /Root/Tri"},
        {"counts disagree with indices", replaced("faceVertexCounts = [3]", "faceVertexCounts = [4]"), "add up to 4 corners but 3 faceVertexIndices"},
        {"negative count", replaced("faceVertexCounts = [3]", "faceVertexCounts = [-3]"), "a negative faceVertexCount at prim /Root/Tri"},
        {"point not finite", replaced("(1, 0, 0)", "(nan, 0, 0)"), "points are not finite"},
        {"point with two numbers", replaced("(1, 0, 0)", "(1, 0)"), "(got != type.components) near byte 296"},
        {"fractional index", replaced("[0, 1, 2]", "[0, 1.5, 2]"), "not a 32-bit integer near byte 259"},
        {"primvar of the wrong size",
         replaced("int[] faceVertexCounts", "texCoord2f[] primvars:st = [(0, 0)] (interpolation = \"vertex\")\n int[] faceVertexCounts"), "(valueCount != needed) at prim /Root/Tri"},
        {"unknown interpolation",
         replaced("int[] faceVertexCounts", "texCoord2f[] primvars:st = [(0, 0)] (interpolation = \"sideways\")\n int[] faceVertexCounts"), "unknown interpolation at prim /Root/Tri"},
        {"unbalanced brace", good.substr(0, good.rfind('}')), "(tok_.kind == Tok::end) near byte 328"},
        {"unterminated string", replaced("\"Tri\"", "\"Tri"), "near byte 171"},
        {"mismatched brackets", replaced("[0, 1, 2]", "[0, 1, 2)"), "expected ',' or ']' in an array near byte 260"},
        {"not a usda header", replaced("#usda 1.0", "#sdf 1.0"), "readHeader"},
        {"unknown up axis", replaced("metersPerUnit = 1", "upAxis = \"X\""), "*axis != \"Y\""},
        {"zero unit", replaced("metersPerUnit = 1", "metersPerUnit = 0"), "(*m > 0.0)"},
        {"duplicate prim", replaced("def Mesh \"Tri\"", "def Xform \"Tri\" {}\n    def Mesh \"Tri\""), "(layer_.specs.count(path)) near byte 201"},
        {"xform op that is not one", replaced("uniform token[] xformOpOrder = [\"xformOp:translate\"]",
                                              "uniform token[] xformOpOrder = [\"xformOp:wobble\"]"), "std::end(known)) at prim /Root"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(fromUsda(c.text));
        const std::string reason = refusalOf([&] { return parseUsdBytes(bytesOf(c.text), UsdFormat::usda); });
        EXPECT_NE(reason.find(c.reason), std::string::npos) << reason;
    }
    // A bad index is as bad in a crate.
    EXPECT_FALSE(importUsdBytes(crateOf(cases[0].text), UsdFormat::usdc));
}

TEST(UsdImport, MalformedCratesAreRefused) {
    const Bytes crate = crateOf(kCube);
    ASSERT_TRUE(readUsdc(crate));
    const auto toc = usdtest::readAt<uint64_t>(crate, 16);
    const auto tokensAt = usdtest::readAt<uint64_t>(crate, toc + 8 + 16);  // the first section's start
    using usdtest::patched;
    struct Case {
        const char* name;
        Bytes bytes;
        const char* reason;  // part of what the refusal says
    };
    std::vector<Case> cases = {
        {"bad magic", patched(crate, 0, 'Q'), "PXR-USDC"},
        {"version 0.6", patched(crate, 9, uint8_t(6)), "minor_ < 7"},
        {"version 0.11", patched(crate, 9, uint8_t(11)), "minor_ > 10"},
        {"table of contents beyond the file", patched(crate, 16, uint64_t(crate.size())), "a read runs past the end of its section"},
        {"first section starts beyond the file", patched(crate, toc + 8 + 16, uint64_t(crate.size() + 1)), "start > file_.size()"},
        {"first section runs past the end", patched(crate, toc + 8 + 24, uint64_t(crate.size())), "size > file_.size() - start"},
        {"a section missing", patched(crate, toc, uint64_t(5)), "(!s->present)"},
        {"token count beyond the text", patched(crate, tokensAt, uint64_t(1) << 20), "in the TOKENS section"},
        {"token text size wrong", patched(crate, tokensAt + 8, uint64_t(7)), "in the TOKENS section"},
    };
    for (size_t cut : {size_t(0), size_t(87), crate.size() / 2, crate.size() - 1})
        cases.push_back({"truncated", Bytes(crate.begin(), crate.begin() + static_cast<ptrdiff_t>(cut)), "in the header"});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(readUsdc(c.bytes));
        const std::string reason = refusalOf([&] { return parseUsdc(c.bytes); });
        EXPECT_NE(reason.find(c.reason), std::string::npos) << reason;
    }
    // Every single-byte corruption of the structural sections is refused or reads a
    // layer the stage can take or refuse; none may crash (the fuzzer goes further).
    for (size_t at = toc; at < crate.size(); ++at) {
        Bytes b = crate;
        b[at] ^= 0x5A;
        if (const auto layer = readUsdc(b)) (void)buildUsdModel(*layer, [](const std::string&) { return std::nullopt; });
    }
}

TEST(UsdImport, MalformedPackagesAreRefused) {
    const Bytes root = crateOf(kCube);
    const Bytes good = packageOf("Cube.usdc", root);
    ASSERT_TRUE(importUsdBytes(good, UsdFormat::usdz));
    // Offsets in the end record and the first central entry.
    const size_t end = good.size() - 22;
    const auto directory = usdtest::readAt<uint32_t>(good, end + 16);
    const auto size = static_cast<uint32_t>(good.size());
    using usdtest::patched;
    struct Case {
        const char* name;
        Bytes bytes;
        const char* reason;  // part of what the refusal says
    };
    const Case cases[] = {
        {"directory beyond the file", patched(good, end + 16, size), "a directory past its end record"},
        {"entry count beyond the directory", patched(good, end + 8, uint16_t(3)), "a spanned archive"},
        {"local header offset wrong", patched(good, directory + 42, uint32_t(7)), "no local header where the directory says at byte 7"},
        {"local header beyond the directory", patched(good, directory + 42, directory + 1), "no local header where the directory says"},
        {"size beyond the data", patched(good, directory + 20, size), "a compressed entry"},
        {"compressed entry", patched(good, directory + 10, uint16_t(8)), "a compressed entry"},
        {"deflated sizes differ", patched(good, directory + 24, uint32_t(12)), "a compressed entry"},
        {"encrypted entry", patched(good, directory + 8, uint16_t(1)), "an encrypted entry"},
        {"checksum mismatch", patched(good, directory + 16, uint32_t(0xDEADBEEF)), "entry checksum mismatch for Cube.usdc"},
        {"comment length past the end", patched(good, end + 20, uint16_t(9)), "no zip end record"},
        {"zip64 marker", patched(good, end + 16, uint32_t(0xFFFFFFFF)), "a zip64 archive"},
        {"truncated", Bytes(good.begin(), good.end() - 30), "no zip end record"},
        {"duplicate names", usdtest::writeZip({{"a.usda", bytesOf(kCube)}, {"a.usda", kTexture}}), "two entries named a.usda"},
        {"root that is not a layer", usdtest::writeZip({{"albedo.png", kTexture}, {"a.usda", bytesOf(kCube)}}), "albedo.png is not a USD layer"},
        {"empty archive", usdtest::writeZip({}), "no entries"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(importUsdBytes(c.bytes, UsdFormat::usdz));
        const std::string reason = refusalOf([&] { return parseUsdBytes(c.bytes, UsdFormat::usdz); });
        EXPECT_NE(reason.find(c.reason), std::string::npos) << reason;
    }

    // Overlapping entries: the first entry's data is itself a valid local header and
    // data for "b.png", and the directory's "b.png" is pointed there.
    const Bytes inner = usdtest::writeZip({{"b.png", kTexture}});
    const auto innerDirectory = usdtest::readAt<uint32_t>(inner, inner.size() - 22 + 16);
    const Bytes outer =
        usdtest::writeZip({{"a.bin", Bytes(inner.begin(), inner.begin() + innerDirectory)}, {"b.png", kTexture}});
    ASSERT_TRUE(UsdzPackage::open(outer));
    const auto outerDirectory = usdtest::readAt<uint32_t>(outer, outer.size() - 22 + 16);
    // The second central entry follows the first (46 bytes and "a.bin"); 64 is where "a.bin"'s data starts.
    EXPECT_FALSE(UsdzPackage::open(patched(outer, outerDirectory + 46 + 5 + 42, uint32_t(64))));
}

TEST(UsdImport, AssetPathsResolveOnlyInsideThePackage) {
    struct Case {
        const char* layer;
        const char* asset;
        std::optional<std::string> entry;
    };
    const Case cases[] = {
        {"Cube.usda", "textures/a.png", "textures/a.png"},
        {"Cube.usda", "./textures/./a.png", "textures/a.png"},
        {"sub/Cube.usdc", "a.png", "sub/a.png"},
        {"Cube.usda", "../a.png", std::nullopt},
        {"sub/Cube.usda", "textures/../../a.png", std::nullopt},
        {"Cube.usda", "/etc/passwd", std::nullopt},
        {"Cube.usda", "C:/a.png", std::nullopt},
        {"Cube.usda", "https://example.invalid/a.png", std::nullopt},
        {"Cube.usda", "other.usdz[a.png]", std::nullopt},
        {"Cube.usda", "textures\\a.png", std::nullopt},
        {"Cube.usda", "", std::nullopt},
        {"Cube.usda", "textures/", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.asset);
        EXPECT_EQ(resolvePackagePath(c.layer, c.asset), c.entry);
    }
    // A texture path leaving the package reads the model without its texture.
    std::string escaping = kCube;
    escaping.replace(escaping.find("./textures/albedo.png"), 21, "../textures/albedo.png");
    const auto model = importUsdBytes(packageOf("Cube.usda", bytesOf(escaping)), UsdFormat::usdz);
    ASSERT_TRUE(model);
    ASSERT_EQ(model->materials.size(), 1u);
    EXPECT_FALSE(model->materials[0].baseColorTexture);
}

TEST(UsdImport, LooseLayersReadThroughImportModel) {
    const fs::path dir = fs::path(KS_TEST_OUTPUT_DIR) / "pk_modelimport" / "usd_loose";
    fs::remove_all(dir);
    fs::create_directories(dir);
    auto write = [&](const std::string& name, const Bytes& bytes) {
        std::ofstream(dir / name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                          static_cast<std::streamsize>(bytes.size()));
        return dir / name;
    };
    const Bytes crate = crateOf(kCube);
    for (const auto& path : {write("cube.usda", bytesOf(kCube)), write("cube.usdc", crate),
                             write("text.usd", bytesOf(kCube)), write("binary.USD", crate),
                             write("cube.usdz", packageOf("Cube.usdc", crate))}) {
        SCOPED_TRACE(path.filename().string());
        const auto model = importModel(path);
        ASSERT_TRUE(model);
        EXPECT_EQ(triangles(*model), 12u);
        const auto& texture = model->materials.at(0).baseColorTexture;
        ASSERT_TRUE(texture);
        // A loose layer's texture is a file beside it; a package's is its own entry.
        if (path.extension() == ".usdz") EXPECT_EQ(texture->encoded, kTexture);
        else EXPECT_EQ(texture->file, dir / "./textures/albedo.png");
    }
    EXPECT_FALSE(importModel(write("swapped.usdc", bytesOf(kCube))));
}

// The fuzz targets start from these: each form of the test layers, all readable.
TEST(UsdImport, FuzzSeedsRead) {
    const fs::path root = fs::path(KS_TEST_OUTPUT_DIR) / "fuzz-seeds";
    const std::string layers[] = {kCube, transformed("float3 xformOp:translate = (1, 2, 3)\n"
                                                     "        uniform token[] xformOpOrder = [\"xformOp:translate\"]")};
    const usdtest::CrateOptions crates[] = {{}, {7, false, 0, false, false}, {10, true, 't', true, true}};
    int n = 0;
    auto seed = [&](const char* target, const Bytes& bytes, UsdFormat format) {
        EXPECT_TRUE(importUsdBytes(bytes, format)) << target << " seed " << n;
        fs::create_directories(root / target);
        std::ofstream(root / target / ("seed" + std::to_string(n++)), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    };
    for (const auto& layer : layers) {
        seed("modelimport_Usda", bytesOf(layer), UsdFormat::usda);
        seed("modelimport_Usdz", packageOf("Cube.usda", bytesOf(layer)), UsdFormat::usdz);
        for (const auto& options : crates) {
            const Bytes crate = crateOf(layer, options);
            seed("modelimport_Usdc", crate, UsdFormat::usdc);
            seed("modelimport_Usdz", packageOf("Cube.usdc", crate), UsdFormat::usdz);
        }
    }
}

TEST(UsdImport, BackslashedTexturePathsResolveAsForwardSlashes) {
    std::string text = kCube;
    text.replace(text.find("@./textures/albedo.png@"), 23, "@.\\textures\\albedo.png@");
    const Bytes crate = crateOf(text);
    const auto packaged = importUsdBytes(packageOf("Cube.usdc", crate), UsdFormat::usdz);
    ASSERT_TRUE(packaged);
    ASSERT_TRUE(packaged->materials.at(0).baseColorTexture);
    EXPECT_EQ(packaged->materials[0].baseColorTexture->encoded, kTexture);
    const auto loose = importUsdBytes(crate, UsdFormat::usdc, {}, "/models");
    ASSERT_TRUE(loose);
    ASSERT_TRUE(loose->materials.at(0).baseColorTexture);
    EXPECT_EQ(loose->materials[0].baseColorTexture->file, fs::path("/models/./textures/albedo.png"));
}

TEST(UsdImport, ConcavePolygonsGiveTheTrianglesTheOtherFormatsGive) {
    // A dart (its reflex corner at 3) and an L: a fan from the first corner would leave the outline.
    const std::string text = R"(#usda 1.0
(
    metersPerUnit = 1
)
def Mesh "Darts"
{
    int[] faceVertexCounts = [4, 6]
    int[] faceVertexIndices = [0, 1, 2, 3, 4, 5, 6, 7, 8, 9]
    point3f[] points = [(0, 0, 0), (2, 1, 0), (0, 2, 0), (1, 1, 0),
                        (0, 0, 1), (2, 0, 1), (2, 1, 1), (1, 1, 1), (1, 2, 1), (0, 2, 1)]
}
)";
    const std::vector<pk::float3> points = {{0, 0, 0}, {2, 1, 0}, {0, 2, 0}, {1, 1, 0}, {0, 0, 1},
                                            {2, 0, 1}, {2, 1, 1}, {1, 1, 1}, {1, 2, 1}, {0, 2, 1}};
    std::vector<uint32_t> expected;
    for (const auto& face : {std::vector<uint32_t>{0, 1, 2, 3}, std::vector<uint32_t>{4, 5, 6, 7, 8, 9}})
        triangulatePolygon(face, points, expected);
    const auto model = fromUsda(text);
    ASSERT_TRUE(model);
    const Mesh& m = model->meshes.at(0);
    std::vector<uint32_t> got;  // the triangles as point numbers, found by position
    for (uint32_t i : m.submeshes.at(0).indices)
        got.push_back(static_cast<uint32_t>(std::find(points.begin(), points.end(), m.positions.at(i)) - points.begin()));
    EXPECT_EQ(got, expected);
    // Neither is the fan, which for the dart would cover (0, 2, 3)'s outside.
    EXPECT_NE(std::vector<uint32_t>(got.begin(), got.begin() + 6), (std::vector<uint32_t>{0, 1, 2, 0, 2, 3}));
}
