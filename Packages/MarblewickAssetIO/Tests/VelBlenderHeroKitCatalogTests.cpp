#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "MWMeshTestWriter.h"
#include "MarblewickAssetIO/MWMeshFormat.h"
#include "MarblewickAssetIO/VelBlenderHeroKitCatalogV1040.h"
#include "PlatformKit/Foundation/Files.h"
#include "PlatformKit/Foundation/StudioError.h"
#include "PlatformKit/Gpu/HeadlessDevice.h"
#include "FuzzSeeds.h"

using namespace assetio;
namespace fs = std::filesystem;
using Catalog = VelBlenderHeroKitCatalogV1040;
using mwmesh_test::File;
using mwmesh_test::quad;
using mwmesh_test::vertex;

namespace {

fs::path freshDir(const char* name) {
    const auto d = fs::path(KS_TEST_OUTPUT_DIR) / "assetio_herokit" / name;
    fs::remove_all(d);
    fs::create_directories(d);
    return d;
}

void writeBytes(const fs::path& p, const std::vector<uint8_t>& b) {
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}

}  // namespace

TEST(HeroKitCatalog, CanonicalNamesAndLittleEndianReads) {
    ASSERT_EQ(Catalog::canonicalFilenames.size(), 6u);
    EXPECT_EQ(Catalog::canonicalFilenames[0], "Hero_BrassOrrery_V1040.mwmesh");
    EXPECT_EQ(Catalog::canonicalFilenames[4], "Hero_AthleteFigure_V1040.mwmesh");
    EXPECT_EQ(Catalog::canonicalFilenames[5], "Hero_ChipCarrier_V1040.mwmesh");
    const uint8_t b[] = {0xFF, 0x78, 0x56, 0x34, 0x12, 0x00, 0x00, 0x80, 0x3F};
    EXPECT_EQ(Catalog::readUInt32LE(1, b), 0x12345678u);
    EXPECT_EQ(Catalog::readFloat32LE(5, b), 1.0f);
}

TEST(HeroKitCatalog, KeepsVertexRecordsAsStored) {
    File f = quad();
    f.vertices[1] = vertex(1, 0.5f, 0, 0, 0, 0);  // a zero normal stays zero here
    const auto bytes = f.bytes();
    for (const char* target : {"assetio_mwmesh"}) kstest::writeFuzzSeed(target, "quad", bytes);
    auto hero = Catalog::decodeMWMSv2(bytes, "Quad.mwmesh");
    ASSERT_TRUE(hero);
    ASSERT_EQ(hero->vertices.size(), 4u);
    const auto view = MWMeshFileView::parse(bytes);
    EXPECT_EQ(std::memcmp(hero->vertices.data(), view->vertexBlock().data(), 4 * 48), 0);
    EXPECT_EQ(hero->vertices[0].nz, 2.0f);
    EXPECT_EQ(hero->vertices[1].nz, 0.0f);
    EXPECT_EQ(hero->vertices[2].packedMat, 3.0f);
    EXPECT_EQ(hero->indices, (std::vector<uint32_t>{0, 1, 2, 0, 2, 3}));
    const auto& a = hero->audit;
    EXPECT_EQ(a.filename, "Quad.mwmesh");
    EXPECT_EQ(a.meshletCount, 1);
    EXPECT_EQ(a.vertexCount, 4);
    EXPECT_EQ(a.triangleCount, 2);
    EXPECT_EQ(a.minY, 0.0f);
    EXPECT_EQ(a.maxY, 1.0f);
    EXPECT_EQ(a.fileSizeBytes, static_cast<int64_t>(bytes.size()));
    EXPECT_TRUE(a.groundedOK);
}

TEST(HeroKitCatalog, RejectionsAndIndexRules) {
    auto shortBytes = quad().bytes();
    shortBytes.pop_back();
    EXPECT_FALSE(Catalog::decodeMWMSv2(shortBytes, "q"));
    File v1 = quad();
    v1.version = 1;
    EXPECT_FALSE(Catalog::decodeMWMSv2(v1.bytes(), "q"));

    // One dropped index shifts the rest: five kept, one triangle, indexCount five.
    File f = quad();
    f.indexBytes = {0, 1, 7, 2, 3, 0};
    auto hero = Catalog::decodeMWMSv2(f.bytes(), "q");
    ASSERT_TRUE(hero);
    EXPECT_EQ(hero->indices, (std::vector<uint32_t>{0, 1, 2, 3, 0}));
    EXPECT_EQ(hero->audit.triangleCount, 1);

    File past = quad();
    past.meshlets = {{0, 4, 0xFFFFFFFFu}};  // runs past the end: keeps bytes 4 and 5
    hero = Catalog::decodeMWMSv2(past.bytes(), "q");
    ASSERT_TRUE(hero);
    EXPECT_EQ(hero->indices, (std::vector<uint32_t>{2, 3}));
    EXPECT_EQ(hero->audit.triangleCount, 0);

    File none = quad();
    none.meshlets = {{4, 0, 2}};
    EXPECT_FALSE(Catalog::decodeMWMSv2(none.bytes(), "q"));
}

TEST(HeroKitCatalog, GroundingThresholds) {
    struct Case {
        float minY, maxY;
        bool grounded;
    };
    const Case cases[] = {
        {0.0f, 1.0f, true},      {0.0f, 0.2f, false},   {-0.025f, 1.0f, false}, {0.025f, 1.0f, false},
        {-0.0249f, 0.201f, true}, {0.02f, 5.0f, true},  {-0.5f, 1.0f, false},
    };
    for (const auto& c : cases) {
        File f = quad();
        f.vertices = {vertex(0, c.minY, 0), vertex(1, c.maxY, 0), vertex(1, c.minY, 1), vertex(0, c.minY, 1)};
        auto hero = Catalog::decodeMWMSv2(f.bytes(), "g");
        ASSERT_TRUE(hero);
        EXPECT_EQ(hero->audit.minY, c.minY);
        EXPECT_EQ(hero->audit.maxY, c.maxY);
        EXPECT_EQ(hero->audit.groundedOK, c.grounded) << c.minY << " " << c.maxY;
    }
}

TEST(HeroKitCatalog, LocatorPrefersThePackFolder) {
    const auto res = freshDir("resources");
    const auto bytes = quad().bytes();
    writeBytes(res / "Hero_Top.mwmesh", bytes);
    writeBytes(res / "AmberCellarPack" / "Hero_Both.mwmesh", bytes);
    writeBytes(res / "Hero_Both.mwmesh", bytes);
    fs::create_directories(res / "Hero_Folder.mwmesh");

    EXPECT_EQ(Catalog::locateHeroAsset("Hero_Both.mwmesh", res), res / "AmberCellarPack" / "Hero_Both.mwmesh");
    EXPECT_EQ(Catalog::locateHeroAsset("Hero_Top.mwmesh", res), res / "Hero_Top.mwmesh");
    EXPECT_FALSE(Catalog::locateHeroAsset("Hero_Missing.mwmesh", res));
    EXPECT_FALSE(Catalog::locateHeroAsset("Hero_Top.mwmesh", fs::path()));
    // A folder is located, then fails the read.
    EXPECT_EQ(Catalog::locateHeroAsset("Hero_Folder.mwmesh", res), res / "Hero_Folder.mwmesh");
    EXPECT_FALSE(Catalog::readMWMSv2("Hero_Folder.mwmesh", res));

    auto hero = Catalog::readMWMSv2("Hero_Both.mwmesh", res);
    ASSERT_TRUE(hero);
    EXPECT_EQ(hero->audit.filename, "Hero_Both.mwmesh");
    EXPECT_EQ(Catalog::bundleResourceFolder(), pk::executableDirectory());
}

TEST(HeroKitCatalog, AuditJsonRequiresEveryKey) {
    VelHeroKitAuditV1040 a{"Hero.mwmesh", 3, 40, 12, -0.01f, 1.5f, 2048, true};
    const auto j = a.toJson();
    EXPECT_EQ(pk::json::dump(j),
              R"({"filename":"Hero.mwmesh","meshletCount":3,"vertexCount":40,"triangleCount":12,"minY":-0.01,)"
              R"("maxY":1.5,"fileSizeBytes":2048,"groundedOK":true})");
    const auto back = VelHeroKitAuditV1040::fromJson(j);
    EXPECT_EQ(back.filename, a.filename);
    EXPECT_EQ(back.minY, a.minY);
    EXPECT_EQ(back.triangleCount, 12);
    for (const char* key : {"filename", "meshletCount", "vertexCount", "triangleCount", "minY", "maxY",
                            "fileSizeBytes", "groundedOK"}) {
        auto broken = j;
        broken.erase(key);
        EXPECT_THROW(VelHeroKitAuditV1040::fromJson(broken), pk::StudioError) << key;
    }
}

TEST(HeroKitCatalog, UploadHoldsTheFileVertexBlock) {
    std::shared_ptr<pk::gpu::HeadlessDevice> device;
    try {
        device = pk::gpu::HeadlessDevice::create();
    } catch (const pk::StudioError&) {
        GTEST_SKIP() << "no OpenGL 4.5 device";
    }
    const auto bytes = quad().bytes();
    auto decoded = Catalog::decodeMWMSv2(bytes, "q");
    ASSERT_TRUE(decoded);
    auto loaded = Catalog::upload(*decoded, *device);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->indexCount, 6);
    const auto vb = device->readBuffer(*loaded->vertexBuffer, 0, 4 * 48);
    EXPECT_EQ(std::memcmp(vb.data(), bytes.data() + 20 + 32, vb.size()), 0);
    const auto ib = device->readBuffer(*loaded->indexBuffer, 0, 6 * 4);
    EXPECT_EQ(std::memcmp(ib.data(), decoded->indices.data(), ib.size()), 0);
    EXPECT_FALSE(Catalog::loadMWMSv2("Hero_NotShipped_V1040.mwmesh", *device));
}
