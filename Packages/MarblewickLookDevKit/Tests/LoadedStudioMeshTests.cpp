#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "../../MarblewickAssetIO/Tests/MWMeshTestWriter.h"
#include "../../PlatformKit/Tests/ModelImport/UsdTestFiles.h"
#include "MarblewickLookDevKit/LoadedStudioMesh.h"
#include "PlatformKit/Foundation/StudioError.h"
#include "PlatformKit/Gpu/HeadlessDevice.h"
#include "PlatformKit/Image/Image.h"

using namespace lookdev;
namespace fs = std::filesystem;

namespace {

pk::gpu::Device* sharedDevice() {
    static std::shared_ptr<pk::gpu::HeadlessDevice> device = [] {
        try {
            return pk::gpu::HeadlessDevice::create();
        } catch (const pk::StudioError&) {
            return std::shared_ptr<pk::gpu::HeadlessDevice>();
        }
    }();
    return device.get();
}

#define REQUIRE_GPU()                                                  \
    auto* gpu = sharedDevice();                                        \
    if (!gpu) GTEST_SKIP() << "no OpenGL 4.5 device";                  \
    auto& device = *gpu

fs::path testDir(const char* name) {
    const auto d = fs::path(KS_TEST_OUTPUT_DIR) / "lookdev_loaded" / name;
    fs::remove_all(d);
    fs::create_directories(d);
    return d;
}

}  // namespace

TEST(LoadedStudioMesh, UploadCopiesBothArraysByteForByte) {
    REQUIRE_GPU();
    const auto mesh = buildRoundedCubeMesh(device);
    ASSERT_TRUE(mesh);
    EXPECT_EQ(mesh->indexCount, 18816);
    ASSERT_EQ(mesh->vertexBuffer->size(), mesh->rawVertices.size() * 80);
    ASSERT_EQ(mesh->indexBuffer->size(), mesh->rawIndices.size() * 4);
    const auto vb = device.readBuffer(*mesh->vertexBuffer, 0, mesh->vertexBuffer->size());
    EXPECT_EQ(std::memcmp(vb.data(), mesh->rawVertices.data(), vb.size()), 0);
    const auto ib = device.readBuffer(*mesh->indexBuffer, 0, mesh->indexBuffer->size());
    EXPECT_EQ(std::memcmp(ib.data(), mesh->rawIndices.data(), ib.size()), 0);
    EXPECT_FALSE(mesh->embeddedDiffuseTexture);
}

TEST(LoadedStudioMesh, LoadAssetByKind) {
    REQUIRE_GPU();
    const auto dir = testDir("kinds");
    const auto bytes = mwmesh_test::quad().bytes();
    std::ofstream(dir / "Quad.mwmesh", std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    std::ofstream(dir / "tri.stl") << "solid t\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 1 0 0\n"
                                      "vertex 0 1 0\nendloop\nendfacet\nendsolid t\n";
    using K = StudioAssetItem::SourceKind;
    struct Case {
        K kind;
        const char* name;
    };
    const Case cases[] = {
        {K::builtinShaderBall(), "Studio LookDev Shader Ball"},
        {K::builtinRoundedCube(), "Beveled Material Cube"},
        {K::builtinTorusKnot(), "Sculpted Specular Knot"},
        {K::mwmeshFile(dir / "Quad.mwmesh"), "Quad"},
        {K::externalModel(dir / "tri.stl"), "tri"},
        {K::mwmeshFile(dir / "missing.mwmesh"), nullptr},
        {K::externalModel(dir / "missing.obj"), nullptr},
    };
    for (const auto& c : cases) {
        const auto mesh = loadAsset(StudioAssetItem{"id", "d", "s", "c", c.kind}, device);
        if (!c.name) {
            EXPECT_FALSE(mesh);
            continue;
        }
        ASSERT_TRUE(mesh) << c.name;
        EXPECT_EQ(mesh->audit.name, c.name);
    }
}

TEST(LoadedStudioMesh, ModelBringsItsDiffuseTexture) {
    REQUIRE_GPU();
    const auto dir = testDir("texture");
    // 4 x 4 half-transparent red: stretched to the 16-pixel minimum and premultiplied.
    auto img = pk::image::RgbaImage::blank(4, 4);
    for (size_t i = 0; i < img.bytes.size(); i += 4) {
        img.bytes[i] = 255;
        img.bytes[i + 3] = 128;
    }
    pk::image::writePng(dir / "albedo.png", img);
    std::ofstream(dir / "look.mtl") << "newmtl Painted\nmap_Kd albedo.png\n";
    std::ofstream(dir / "tri.obj") << "mtllib look.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 0 1\n"
                                      "usemtl Painted\nf 1/1 2/2 3/3\n";
    const auto mesh = loadModelIO(dir / "tri.obj", device);
    ASSERT_TRUE(mesh);
    EXPECT_TRUE(mesh->audit.hasEmbeddedTexture);
    ASSERT_TRUE(mesh->embeddedDiffuseTexture);
    EXPECT_EQ(mesh->embeddedDiffuseTexture->width(), 16);
    EXPECT_EQ(mesh->embeddedDiffuseTexture->height(), 16);
    const auto px = device.readback(*mesh->embeddedDiffuseTexture);
    EXPECT_NEAR(px[0], 128, 1);
    EXPECT_EQ(px[1], 0);
    EXPECT_NEAR(px[3], 128, 1);

    // A usdz carries the image inside the package and is finished the same way.
    const std::string layer = R"(#usda 1.0
def Mesh "Tri" {
    int[] faceVertexCounts = [3]
    int[] faceVertexIndices = [0, 1, 2]
    point3f[] points = [(0, 0, 0), (1, 0, 0), (0, 1, 0)]
    texCoord2f[] primvars:st = [(0, 0), (1, 0), (0, 1)] (interpolation = "vertex")
    rel material:binding = </Look>
}
def Material "Look" {
    token outputs:surface.connect = </Look/Surface.outputs:surface>
    def Shader "Surface" {
        uniform token info:id = "UsdPreviewSurface"
        color3f inputs:diffuseColor.connect = </Look/Albedo.outputs:rgb>
    }
    def Shader "Albedo" {
        uniform token info:id = "UsdUVTexture"
        asset inputs:file = @albedo.png@
    }
}
)";
    const auto package = usdtest::writeZip({{"Tri.usda", usdtest::bytesOf(layer)}, {"albedo.png", pk::image::encodePng(img)}});
    std::ofstream(dir / "Tri.usdz", std::ios::binary)
        .write(reinterpret_cast<const char*>(package.data()), static_cast<std::streamsize>(package.size()));
    const auto packaged = loadModelIO(dir / "Tri.usdz", device);
    ASSERT_TRUE(packaged);
    EXPECT_EQ(packaged->audit.formatLabel, "USDZ");
    EXPECT_EQ(packaged->audit.name, "Tri");
    EXPECT_EQ(packaged->audit.triangleCount, 1);
    EXPECT_EQ(packaged->audit.fileSizeBytes, static_cast<int64_t>(package.size()));
    EXPECT_TRUE(packaged->audit.hasEmbeddedTexture);
    ASSERT_TRUE(packaged->embeddedDiffuseTexture);
    EXPECT_EQ(device.readback(*packaged->embeddedDiffuseTexture), px);

    // A texture that cannot be decoded leaves the mesh without one.
    fs::remove(dir / "albedo.png");
    const auto bare = loadModelIO(dir / "tri.obj", device);
    ASSERT_TRUE(bare);
    EXPECT_FALSE(bare->audit.hasEmbeddedTexture);
    EXPECT_FALSE(bare->embeddedDiffuseTexture);

    auto big = pk::image::RgbaImage::blank(3000, 20);
    const auto tex = makeEmbeddedTexture(big, device);
    ASSERT_TRUE(tex);
    EXPECT_EQ(tex->width(), 2048);
    EXPECT_EQ(tex->height(), 20);
}
