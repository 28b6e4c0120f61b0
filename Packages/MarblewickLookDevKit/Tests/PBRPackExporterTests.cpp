// The PBR pack: file names, manifest text and maps read back, on a headless GPU device.
#include <gtest/gtest.h>

#include <filesystem>

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
