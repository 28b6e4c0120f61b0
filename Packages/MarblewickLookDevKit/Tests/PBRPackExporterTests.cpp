// The PBR pack: file names, manifest text and maps read back, on a headless GPU device.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "DeviceCallers.h"
#include "FileSizeLimit.h"
#include "MarblewickLookDevKit/PBRMaterialForgeEngine.h"
#include "MarblewickLookDevKit/PBRPackExporter.h"
#include "PlatformKit/Foundation/Files.h"
#include "PlatformKit/Foundation/StudioError.h"
#include "PlatformKit/Gpu/HeadlessDevice.h"
#include "PlatformKit/Image/Image.h"

using namespace lookdev;
namespace fs = std::filesystem;

namespace {

std::shared_ptr<pk::gpu::HeadlessDevice>& device() {
    static auto d = pk::gpu::HeadlessDevice::create();
    return d;
}

std::shared_ptr<pk::gpu::Texture> solid(int side, uint8_t r, uint8_t g, uint8_t b) {
    pk::gpu::TextureDesc desc;
    desc.width = side;
    desc.height = side;
    auto t = device()->makeTexture(desc);
    std::vector<uint8_t> px(size_t(side) * side * 4);
    for (size_t i = 0; i < px.size(); i += 4) {
        px[i] = r;
        px[i + 1] = g;
        px[i + 2] = b;
        px[i + 3] = 255;
    }
    device()->upload(*t, px.data(), size_t(side) * 4);
    return t;
}

// Noise over a gradient, different for every seed: a map written from another map's
// pixels, or from a buffer two threads shared, does not match.
std::shared_ptr<pk::gpu::Texture> patterned(int side, uint32_t seed) {
    pk::gpu::TextureDesc desc;
    desc.width = side;
    desc.height = side;
    auto t = device()->makeTexture(desc);
    std::mt19937 rng(seed);
    std::vector<uint8_t> px(size_t(side) * side * 4);
    for (size_t i = 0; i < px.size(); ++i) px[i] = uint8_t((i / 4 % size_t(side)) * seed + (rng() & 15));
    device()->upload(*t, px.data(), size_t(side) * 4);
    return t;
}

SynthesizedPBRPack patternedPack(const std::string& name, int side) {
    SynthesizedPBRPack p;
    p.parameters.sourcePhotoName = name;
    p.albedo = patterned(side, 1);
    p.normal = patterned(side, 2);
    p.orm = patterned(side, 3);
    p.emissive = patterned(side, 4);
    return p;
}

std::vector<std::vector<uint8_t>> contents(const std::vector<fs::path>& files) {
    std::vector<std::vector<uint8_t>> out;
    for (const auto& f : files) out.push_back(pk::readFile(f).value_or(std::vector<uint8_t>{}));
    return out;
}

SynthesizedPBRPack pack(std::optional<std::string> photo) {
    SynthesizedPBRPack p;
    p.parameters.preset = PBRMaterialPreset::wetUrbanAsphalt;
    p.parameters.resolution = 2048;
    p.parameters.sourcePhotoName = std::move(photo);
    p.albedo = solid(8, 200, 100, 50);
    p.normal = solid(8, 128, 128, 255);
    p.orm = solid(8, 255, 140, 0);
    p.emissive = solid(8, 0, 0, 0);
    p.synthesisMs = 12.5;
    return p;
}

}  // namespace

TEST(PBRPackExporter, FileNamesManifestAndMaps) {
    ASSERT_TRUE(device()) << "no headless GPU device";
    const fs::path dir = fs::path(KS_TEST_OUTPUT_DIR) / "pbrpack" / "new";
    fs::remove_all(dir.parent_path());
    const auto p = pack("wall 01/a");
    const auto files = StudioExporters::exportPBRPack(*device(), p, dir);
    const std::vector<std::string> names = {"wall_01_a_8_Albedo.png", "wall_01_a_8_Normal.png", "wall_01_a_8_ORM.png",
                                            "wall_01_a_8_Emissive.png", "wall_01_a_8_Material.json"};
    ASSERT_EQ(files.size(), 5u);
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(files[i], dir / names[i]);
        EXPECT_TRUE(fs::is_regular_file(files[i])) << names[i];
    }
    const auto orm = pk::image::decodeFile(files[2]);
    ASSERT_TRUE(orm.has_value());
    EXPECT_EQ(std::vector<uint8_t>(orm->row(3), orm->row(3) + 4), (std::vector<uint8_t>{255, 140, 0, 255}));

    const std::string manifest = pk::readTextFile(files[4]).value_or("");
    // The parameters block is indented one level inside the manifest.
    std::string params = pk::json::dump(pk::json::parse(pk::json::dump(p.parameters.toJson())), pk::json::Style::pretty);
    std::string indented;
    for (char c : params) {
        indented += c;
        if (c == '\n') indented += "  ";
    }
    const std::string full = std::string(R"({
  "channels": {
    "albedo": "wall_01_a_8_Albedo.png",
    "emissive": "wall_01_a_8_Emissive.png",
    "normalTangent": "wall_01_a_8_Normal.png",
    "orm_R_AO_G_Roughness_B_Metallic": "wall_01_a_8_ORM.png"
  },
  "material": "wall 01/a",
  "parameters": )") + indented + R"(,
  "resolution": 8,
  "studio": "MarblewickLookDevKit",
  "synthesisMs": 12.5
})";
    EXPECT_EQ(manifest, full);
    EXPECT_NE(manifest.find("\"weathering\": 0.22"), std::string::npos) << "floats as their shortest text";

    // Without a photo the preset's title names the pack.
    const auto byTitle = StudioExporters::exportPBRPack(*device(), pack(std::nullopt), dir);
    std::string base = PBRMaterialPreset(PBRMaterialPreset::wetUrbanAsphalt).title();
    for (char& c : base)
        if (c == ' ' || c == '/') c = '_';
    EXPECT_EQ(pk::lastComponent(byTitle[0]), base + "_8_Albedo.png");
}

TEST(PBRPackExporter, AMapThatCannotBeWrittenFailsTheExport) {
    ASSERT_TRUE(device());
    const fs::path dir = fs::path(KS_TEST_OUTPUT_DIR) / "pbrpack" / "blocked";
    fs::remove_all(dir);
    fs::create_directories(dir / "rock_8_ORM.png");  // a folder where the ORM map goes
    try {
        StudioExporters::exportPBRPack(*device(), pack("rock"), dir);
        ADD_FAILURE() << "reported five files written";
    } catch (const pk::StudioError& e) {
        EXPECT_EQ(e.domain, "MarblewickLookDevKit");
        EXPECT_EQ(e.code, 102);
    }
    EXPECT_FALSE(fs::exists(dir / "rock_8_Material.json"));
    SynthesizedPBRPack missing = pack("gone");
    missing.emissive.reset();
    EXPECT_THROW(StudioExporters::exportPBRPack(*device(), missing, dir), pk::StudioError);
}

TEST(PBRPackExporter, MapsEncodedInParallelEqualSerialWritesPixelForPixel) {
    ASSERT_TRUE(device());
    const fs::path dir = fs::path(KS_TEST_OUTPUT_DIR) / "pbrpack" / "parallel";
    fs::remove_all(dir);
    // 1024 pixels a side: each map is compressed in more than one strip.
    const auto p = patternedPack("tiles", 1024);
    const auto files = StudioExporters::exportPBRPack(*device(), p, dir);
    const std::shared_ptr<pk::gpu::Texture> maps[4] = {p.albedo, p.normal, p.orm, p.emissive};
    for (size_t i = 0; i < 4; ++i) {
        const fs::path serial = dir / "serial" / pk::lastComponent(files[i]);
        ASSERT_TRUE(PBRMaterialForgeEngine::writePNG(*device(), *maps[i], serial));
        const auto parallel = pk::image::decodeFile(files[i]);
        ASSERT_TRUE(parallel.has_value()) << files[i];
        EXPECT_TRUE(parallel == pk::image::decodeFile(serial)) << "map " << i;
        EXPECT_TRUE(parallel == PBRMaterialForgeEngine::makeCGImage(*device(), *maps[i])) << "map " << i;
    }
}

TEST(PBRPackExporter, AFailedExportLeavesTheEarlierPackWhole) {
    ASSERT_TRUE(device());
    const fs::path dir = fs::path(KS_TEST_OUTPUT_DIR) / "pbrpack" / "earlier";
    fs::remove_all(dir);
    const auto files = StudioExporters::exportPBRPack(*device(), patternedPack("rock", 8), dir);
    const auto before = contents(files);

    // A map that cannot be read back: nothing of the new pack is written.
    SynthesizedPBRPack missing = patternedPack("rock", 8);
    missing.albedo = solid(8, 9, 9, 9);
    missing.emissive.reset();
    EXPECT_THROW(StudioExporters::exportPBRPack(*device(), missing, dir), pk::StudioError);
    EXPECT_EQ(contents(files), before);

    // The disk fills up while a new map is written: no map is left cut off and the
    // earlier manifest stays.
    SynthesizedPBRPack larger = patternedPack("rock", 8);
    larger.albedo = patterned(8, 77);
    {
        FileSizeLimit full(64);
        try {
            StudioExporters::exportPBRPack(*device(), larger, dir);
            ADD_FAILURE() << "written past a full disk";
        } catch (const pk::StudioError& e) {
            EXPECT_EQ(e.code, 102);
        }
    }
    EXPECT_EQ(contents(files), before);

    // The disk fills up at the third file, after two new maps are written: neither of them
    // is put in place beside the old ones.
    SynthesizedPBRPack third = patternedPack("rock", 8);
    third.albedo = solid(8, 10, 20, 30);
    third.normal = solid(8, 128, 128, 255);
    third.orm = patterned(8, 91);
    const auto pngSize = [&](const std::shared_ptr<pk::gpu::Texture>& t) {
        return pk::image::encodePng(*PBRMaterialForgeEngine::makeCGImage(*device(), *t)).size();
    };
    const size_t room = std::max(pngSize(third.albedo), pngSize(third.normal));
    ASSERT_GT(pngSize(third.orm), room) << "the third map must be the one that does not fit";
    {
        FileSizeLimit full(room);
        EXPECT_THROW(StudioExporters::exportPBRPack(*device(), third, dir), pk::StudioError);
    }
    EXPECT_EQ(contents(files), before);
    for (const auto& entry : fs::directory_iterator(dir))
        EXPECT_EQ(entry.path().string().find(".tmp"), std::string::npos) << "left behind: " << entry.path();
}

// The window's thread owns its device and calls the exporter there; background work calls
// it from elsewhere. Both finish and write the same maps.
TEST(PBRPackExporter, ExportsOnTheDevicesOwnerThreadAndFromAWorker) {
    ASSERT_TRUE(device());
    const auto p = patternedPack("caller", 64);
    for (const auto caller : pk::test::kDeviceCallers) {
        SCOPED_TRACE(pk::test::callerName(caller));
        const fs::path dir = fs::path(KS_TEST_OUTPUT_DIR) / "pbrpack" / "callers";
        fs::remove_all(dir);
        std::vector<fs::path> files;
        pk::test::callAs(*device(), caller, [&] { files = StudioExporters::exportPBRPack(*device(), p, dir); });
        ASSERT_EQ(files.size(), 5u);
        const std::shared_ptr<pk::gpu::Texture> maps[4] = {p.albedo, p.normal, p.orm, p.emissive};
        for (size_t i = 0; i < 4; ++i)
            EXPECT_TRUE(pk::image::decodeFile(files[i]) == PBRMaterialForgeEngine::makeCGImage(*device(), *maps[i]))
                << files[i];
        EXPECT_TRUE(fs::is_regular_file(files[4]));
    }
}
