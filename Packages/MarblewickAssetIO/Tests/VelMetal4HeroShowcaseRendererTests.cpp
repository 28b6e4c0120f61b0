#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>

#include "DeviceCallers.h"
#include "MWMeshTestWriter.h"
#include "MarblewickAssetIO/VelMetal4HeroShowcaseRendererV1040.h"
#include "PlatformKit/Foundation/StudioError.h"
#include "PlatformKit/Gpu/HeadlessDevice.h"
#include "PlatformKit/Image/Image.h"

using namespace assetio;
namespace fs = std::filesystem;
using Renderer = VelMetal4HeroShowcaseRendererV1040;
using Catalog = VelBlenderHeroKitCatalogV1040;

namespace {

fs::path freshDir(const char* name) {
    const auto d = fs::path(KS_TEST_OUTPUT_DIR) / "assetio_showcase" / name;
    fs::remove_all(d);
    return d;
}

void expectMatrix(const pk::float4x4& m, const std::array<std::array<float, 4>, 4>& columns, float tol = 1e-6f) {
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r) EXPECT_NEAR(m[c][r], columns[c][r], tol) << "column " << c << " row " << r;
}

// A 1 x 1.2 upright quad facing +z on the ground, one flat colour.
std::vector<uint8_t> quadHero(float r, float g, float b, float pm) {
    mwmesh_test::File f;
    f.vertices = {{-0.5f, 0.0f, 0, 0, 0, 1, 0, 0, r, g, b, pm},
                  {0.5f, 0.0f, 0, 0, 0, 1, 1, 0, r, g, b, pm},
                  {0.5f, 1.2f, 0, 0, 0, 1, 1, 1, r, g, b, pm},
                  {-0.5f, 1.2f, 0, 0, 0, 1, 0, 1, r, g, b, pm}};
    f.meshlets = {{0, 0, 2}};
    f.indexBytes = {0, 1, 2, 0, 2, 3};
    return f.bytes();
}

void writeBytes(const fs::path& p, const std::vector<uint8_t>& b) {
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}

class ShowcaseRenderer : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        try {
            device_ = pk::gpu::HeadlessDevice::create();
        } catch (const pk::StudioError&) {
            device_.reset();
        }
    }
    static void TearDownTestSuite() { device_.reset(); }
    void SetUp() override {
        if (!device_) GTEST_SKIP() << "no OpenGL 4.5 device";
        renderer_ = Renderer::create(device_);
        ASSERT_TRUE(renderer_);
    }

    // Where a world point lands in the image, top-left origin.
    static std::array<int, 2> pixelOf(pk::float3 p) {
        const auto vp = Renderer::makePerspective(44, 1600.0f / 900.0f, 0.1f, 80) *
                        Renderer::makeLookAt(Renderer::kEye, Renderer::kTarget, Renderer::kUp);
        const pk::float4 c = vp * pk::float4(p, 1.0f);
        const float x = c.x / c.w, y = c.y / c.w;
        return {int((x * 0.5f + 0.5f) * 1600), int((0.5f - y * 0.5f) * 900)};
    }
    static std::array<int, 4> rgba(const pk::image::RgbaImage& img, std::array<int, 2> at) {
        const uint8_t* p = img.row(at[1]) + 4 * at[0];
        return {p[0], p[1], p[2], p[3]};
    }

    static std::shared_ptr<pk::gpu::HeadlessDevice> device_;
    std::unique_ptr<Renderer> renderer_;
};
std::shared_ptr<pk::gpu::HeadlessDevice> ShowcaseRenderer::device_;

}  // namespace

TEST(ShowcaseMatrices, HandComputedEntries) {
    // Looking down -z from (0, 0, 5): identity rotation, translation (0, 0, -5).
    expectMatrix(Renderer::makeLookAt({0, 0, 5}, {0, 0, 0}, {0, 1, 0}),
                 {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, -5, 1}}});
    // From (3, 0, 0) toward the origin: z = +x, x = cross(up, z) = -z, y = up.
    expectMatrix(Renderer::makeLookAt({3, 0, 0}, {0, 0, 0}, {0, 1, 0}),
                 {{{0, 0, 1, 0}, {0, 1, 0, 0}, {-1, 0, 0, 0}, {0, 0, -3, 1}}});
    // From (0, 2, 2) toward (0, 0, 0): z = (0, 1, 1)/sqrt 2, y = (0, 1, -1)/sqrt 2.
    const float h = 1.0f / std::sqrt(2.0f);
    expectMatrix(Renderer::makeLookAt({0, 2, 2}, {0, 0, 0}, {0, 1, 0}),
                 {{{1, 0, 0, 0}, {0, h, h, 0}, {0, -h, h, 0}, {0, 0, -2.0f * std::sqrt(2.0f), 1}}});

    // 90 degrees: ys = 1 / tan(45) = 1; aspect 2 halves xs; near 1, far 3.
    expectMatrix(Renderer::makePerspective(90, 2, 1, 3),
                 {{{0.5f, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, -1.5f, -1}, {0, 0, -1.5f, 0}}}, 1e-6f);
    // The showcase camera's ys from tan(22 degrees) = 0.404026.
    const auto p = Renderer::makePerspective(44, 1600.0f / 900.0f, 0.1f, 80);
    EXPECT_NEAR(p[1][1], 2.475089f, 2e-5f);
    EXPECT_NEAR(p[0][0], 2.475089f * 900.0f / 1600.0f, 2e-5f);
    EXPECT_NEAR(p[2][2], 80.0f / (0.1f - 80.0f), 1e-6f);
    EXPECT_NEAR(p[3][2], 8.0f / (0.1f - 80.0f), 1e-6f);
    // Near plane maps to depth 0, far plane to 1.
    for (auto [z, d] : {std::pair{-0.1f, 0.0f}, std::pair{-80.0f, 1.0f}}) {
        const pk::float4 c = p * pk::float4(0, 0, z, 1);
        EXPECT_NEAR(c.z / c.w, d, 1e-5f);
    }

    // Scale 2, a quarter turn, then a move: +x goes to -z.
    const float q = 1.5707964f;
    const auto trs = Renderer::makeTRS({1, 2, 3}, q, 2);
    expectMatrix(trs, {{{0, 0, -2, 0}, {0, 2, 0, 0}, {2, 0, 0, 0}, {1, 2, 3, 1}}}, 1e-6f);
    const pk::float4 moved = trs * pk::float4(1, 0, 0, 1);
    EXPECT_NEAR(moved.x, 1, 1e-6f);
    EXPECT_NEAR(moved.z, 1, 1e-6f);
}

TEST_F(ShowcaseRenderer, NoHeroesStillWritesTheFloorProof) {
    const auto out = freshDir("empty") / "made" / "by" / "call" / "proof.png";
    const auto audits = renderer_->auditAndRenderShowcaseProof(out, freshDir("no-heroes"));
    EXPECT_TRUE(audits.empty());

    const auto img = pk::image::decodeFile(out);
    ASSERT_TRUE(img);
    ASSERT_EQ(img->width, 1600);
    ASSERT_EQ(img->height, 900);
    bool opaque = true;
    for (int y = 0; y < img->height; ++y)
        for (int x = 0; x < img->width; ++x) opaque = opaque && img->row(y)[4 * x + 3] == 255;
    EXPECT_TRUE(opaque);
    // The sky above the floor is the clear colour (0.04, 0.06, 0.11); the floor fills
    // the bottom, darker blue near the camera.
    EXPECT_EQ(rgba(*img, {0, 0}), (std::array<int, 4>{10, 15, 28, 255}));
    EXPECT_EQ(rgba(*img, {1599, 0}), (std::array<int, 4>{10, 15, 28, 255}));
    const auto centre = rgba(*img, pixelOf({0.3f, 0, 0.3f}));  // between grid lines
    EXPECT_NE(centre, (std::array<int, 4>{10, 15, 28, 255}));
    EXPECT_GT(centre[2], centre[0]);
    // A grid line at x = 0 is brighter than the floor beside it.
    const auto line = rgba(*img, pixelOf({0.0f, 0, 1.5f}));
    const auto beside = rgba(*img, pixelOf({0.5f, 0, 1.5f}));
    EXPECT_GT(line[2], beside[2] + 10);
}

// The window's thread owns its device and may render the proof itself; tools call it from
// elsewhere. Both finish with the same image.
TEST_F(ShowcaseRenderer, TheProofRendersOnTheOwnerThreadAndFromAWorker) {
    std::vector<std::optional<pk::image::RgbaImage>> images;
    for (const auto caller : pk::test::kDeviceCallers) {
        SCOPED_TRACE(pk::test::callerName(caller));
        const auto out = freshDir(caller == pk::test::DeviceCaller::owner ? "owner" : "worker") / "proof.png";
        pk::test::callAs(*device_, caller, [&] { renderer_->auditAndRenderShowcaseProof(out, freshDir("none")); });
        images.push_back(pk::image::decodeFile(out));
        ASSERT_TRUE(images.back());
    }
    EXPECT_TRUE(images[0] == images[1]);
}

TEST_F(ShowcaseRenderer, LoadedHeroesTakeTheFirstSlots) {
    const auto res = freshDir("kit");
    // Only the third and fifth canonical files: they take slots 1 and 2.
    // Third: red and emissive (256); fifth: green, lit, roughness 0.06, metalness 0.
    writeBytes(res / "AmberCellarPack" / Catalog::canonicalFilenames[2], quadHero(1, 0, 0, 256));
    writeBytes(res / Catalog::canonicalFilenames[4], quadHero(0, 1, 0, 0));
    writeBytes(res / Catalog::canonicalFilenames[0], {'M', 'W', 'M', 'S', 9});  // broken: skipped

    const auto out = freshDir("two") / "proof.png";
    const auto audits = renderer_->auditAndRenderShowcaseProof(out, res);
    ASSERT_EQ(audits.size(), 2u);
    EXPECT_EQ(audits[0].filename, Catalog::canonicalFilenames[2]);
    EXPECT_EQ(audits[1].filename, Catalog::canonicalFilenames[4]);
    EXPECT_TRUE(audits[0].groundedOK);
    EXPECT_EQ(audits[1].triangleCount, 2);

    const auto img = pk::image::decodeFile(out);
    ASSERT_TRUE(img);
    auto slotCentre = [](int slot) {
        const auto& s = Renderer::placements[size_t(slot)];
        return s.position + pk::float3(0, 0.6f * s.scale, 0);
    };
    // Emissive: colour x 1.45 (the highlight is negligible facing the camera), then
    // x / (x + 0.78) and gamma 1/2.2: 1.45 -> 0.822 -> 210.
    const auto red = rgba(*img, pixelOf(slotCentre(0)));
    EXPECT_NEAR(red[0], 210, 3);
    EXPECT_LE(red[1], 4);
    EXPECT_LE(red[2], 4);
    // Lit, turned 0.25 rad: sky 0.255 x 0.65 + N.L 0.6366 x 1.08, no back light, no
    // visible highlight: 0.8532 -> 0.7444 -> 190.
    const auto green = rgba(*img, pixelOf(slotCentre(1)));
    EXPECT_NEAR(green[1], 190, 3);
    EXPECT_LE(green[0], 4);
    // Slots 3 and 5, where the canonical order would have put them, show only the floor.
    const auto empty = freshDir("two-empty") / "proof.png";
    renderer_->auditAndRenderShowcaseProof(empty, freshDir("none"));
    const auto floorOnly = pk::image::decodeFile(empty);
    ASSERT_TRUE(floorOnly);
    for (int slot : {2, 4}) EXPECT_EQ(rgba(*img, pixelOf(slotCentre(slot))), rgba(*floorOnly, pixelOf(slotCentre(slot))));
}

TEST_F(ShowcaseRenderer, PngWriterForcesOpacityAndRefusesEmptyTextures) {
    auto tex = device_->makeTexture({.format = pk::gpu::PixelFormat::rgba8Unorm, .width = 3, .height = 2});
    const uint8_t px[24] = {255, 0, 0, 0, 0, 255, 0, 7, 0, 0, 255, 128, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    device_->upload(*tex, px, 12, pk::gpu::ByteOrder::rgba);
    const auto out = freshDir("writer") / "tiny.png";
    ASSERT_TRUE(Renderer::writeBGRA8TextureToPNG(*device_, *tex, out));
    const auto img = pk::image::decodeFile(out);
    ASSERT_TRUE(img);
    for (int i = 0; i < 6; ++i) {
        const uint8_t* p = img->row(i / 3) + 4 * (i % 3);
        EXPECT_EQ(p[0], px[4 * i]);
        EXPECT_EQ(p[1], px[4 * i + 1]);
        EXPECT_EQ(p[2], px[4 * i + 2]);
        EXPECT_EQ(p[3], 255);
    }
    auto half = device_->makeTexture({.format = pk::gpu::PixelFormat::rgba16Float, .width = 2, .height = 2});
    EXPECT_FALSE(Renderer::writeBGRA8TextureToPNG(*device_, *half, freshDir("writer-half") / "h.png"));
    // A folder where the file should go: the write fails and says so.
    const auto taken = freshDir("writer-dir") / "x.png";
    fs::create_directories(taken);
    EXPECT_FALSE(Renderer::writeBGRA8TextureToPNG(*device_, *tex, taken));
}
