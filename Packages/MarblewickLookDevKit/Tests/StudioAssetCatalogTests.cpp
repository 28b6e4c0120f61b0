#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "MarblewickLookDevKit/StudioAssetCatalog.h"

using namespace lookdev;
namespace fs = std::filesystem;

namespace {

fs::path freshDir(const char* name) {
    const auto d = fs::path(KS_TEST_OUTPUT_DIR) / "lookdev_catalog" / name;
    fs::remove_all(d);
    fs::create_directories(d);
    return d;
}

void touch(const fs::path& p, size_t bytes = 0) { std::ofstream(p, std::ios::binary) << std::string(bytes, 'x'); }

}  // namespace

TEST(StudioAssetCatalog, NoFolderGivesTheThreeBuiltIns) {
    const auto items = StudioAssetCatalog::discoverAssets(fs::path(KS_TEST_OUTPUT_DIR) / "lookdev_catalog" / "absent");
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0], (StudioAssetItem{"builtin-shaderball", "Studio Shader Ball", "Ribbed LookDev Calibration Orb",
                                         "Calibration", StudioAssetItem::SourceKind::builtinShaderBall()}));
    EXPECT_EQ(items[1].id, "builtin-cube");
    EXPECT_TRUE(items[1].kind.is<StudioAssetItem::SourceKind::BuiltinRoundedCube>());
    EXPECT_EQ(items[2].id, "builtin-knot");
    EXPECT_EQ(items[2].subtitle, "Continuous Curvature Reflection Rig");
}

TEST(StudioAssetCatalog, FeaturedKitsThenSortedVault) {
    const auto dir = freshDir("vault");
    touch(dir / "Hero_BrassOrrery_V1040.mwmesh");
    touch(dir / "Prop_WendmoorFluxCore_V1150.mwmesh");
    touch(dir / "Prop_CrateStack_V12.MWMESH", 5000);
    touch(dir / "abc.mwmesh", 2048);
    touch(dir / "Arch_Z.mwmesh");
    touch(dir / "Attach_Scope.mwmesh");
    touch(dir / ".Hidden.mwmesh");
    touch(dir / "notes.txt");
    touch(dir / "model.obj");
    const auto items = StudioAssetCatalog::discoverAssets(dir);
    std::vector<std::string> ids;
    for (const auto& i : items) ids.push_back(i.id);
    EXPECT_EQ(ids, (std::vector<std::string>{"builtin-shaderball", "builtin-cube", "builtin-knot",
                                             "feat-Hero_BrassOrrery_V1040.mwmesh",
                                             "feat-Prop_WendmoorFluxCore_V1150.mwmesh", "vault-Arch_Z.mwmesh",
                                             "vault-Attach_Scope.mwmesh", "vault-Prop_CrateStack_V12.MWMESH",
                                             "vault-abc.mwmesh"}));
    const auto& feat = items[3];
    EXPECT_EQ(feat.displayName, "Antique Brass Orrery");
    EXPECT_EQ(feat.subtitle, "Hero Furniture \u00b7 Grounded");
    EXPECT_EQ(feat.category, "Featured Studio Kits");
    EXPECT_EQ(feat.kind, StudioAssetItem::SourceKind::mwmeshFile(dir / "Hero_BrassOrrery_V1040.mwmesh"));
    const auto& crate = items[7];
    EXPECT_EQ(crate.displayName, "Crate Stack");
    EXPECT_EQ(crate.subtitle, "4 KB \u00b7 Binary Meshlets");
    EXPECT_EQ(crate.category, "Props");
    EXPECT_EQ(items[5].category, "Architecture");
    EXPECT_EQ(items[6].category, "Attachments");
    EXPECT_EQ(items[8].category, "Vault Library");
    EXPECT_EQ(items[8].subtitle, "2 KB \u00b7 Binary Meshlets");
}

TEST(StudioAssetCatalog, AssetFolderFromTheEnvironment) {
    const auto dir = freshDir("env");
    ::setenv("KESTRELUNE_ASSET_DIR", dir.c_str(), 1);
    EXPECT_EQ(StudioAssetCatalog::amberCellarDir(), dir);
    touch(dir / "Hero_CargoDrone_V1040.mwmesh");
    EXPECT_EQ(StudioAssetCatalog::discoverAssets().size(), 4u);
    ::setenv("KESTRELUNE_ASSET_DIR", "", 1);
    EXPECT_NE(StudioAssetCatalog::amberCellarDir(), dir);
    ::unsetenv("KESTRELUNE_ASSET_DIR");
    const auto fallback = StudioAssetCatalog::amberCellarDir();
    EXPECT_TRUE(fallback.filename() == "StudioAssets" || fallback.filename() == "Assets") << fallback;
}

TEST(StudioAssetCatalog, CleanDisplayName) {
    const std::pair<const char*, const char*> cases[] = {
        {"Hero_BrassOrrery_V1040.mwmesh", "Brass Orrery"},
        {"Arch_harbor_gate", "harbor gate"},
        {"CrateStackNaniteV3.obj", "Crate Stack"},
        {"XMLParser", "XMLParser"},
        {"Prop_CrateStack_V12.MWMESH", "Crate Stack"},
        {"Attach__Red__Dot_", "Red Dot"},
        {"  tabbed\t.mwmesh", "tabbed"},
        {".hidden", ".hidden"},
        {"\u00e9t\u00e9\u00c9l\u00e9phant_\u00c5ngstr\u00f6m.usdz", "\u00e9t\u00e9 \u00c9l\u00e9phant \u00c5ngstr\u00f6m"},
        {"\u03b1\u03b2\u0393\u03b4", "\u03b1\u03b2 \u0393\u03b4"},
        {"Hero_", ""},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(StudioAssetCatalog::cleanDisplayName(in), out) << in;
}
