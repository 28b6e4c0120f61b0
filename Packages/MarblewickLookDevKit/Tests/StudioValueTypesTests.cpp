#include <gtest/gtest.h>

#include <cmath>
#include <unordered_set>

#include "MarblewickLookDevKit/LookDevSceneState.h"
#include "MarblewickLookDevKit/PBRMaterialParameters.h"
#include "MarblewickLookDevKit/StudioAssetItem.h"

using namespace lookdev;

TEST(MaterialPreset, TitlesCategoriesAndRawValues) {
    ASSERT_EQ(PBRMaterialPreset::allCases.size(), 12u);
    for (uint32_t i = 0; i < 12; ++i) EXPECT_EQ(PBRMaterialPreset::allCases[i].rawValue(), i);
    EXPECT_FALSE(PBRMaterialPreset::fromRaw(12).has_value());
    EXPECT_EQ(*PBRMaterialPreset::fromRaw(11), PBRMaterialPreset::luminousCircuitCarbon);
    EXPECT_STREQ(PBRMaterialPreset(PBRMaterialPreset::anodizedGold).title(), "Anodized Champagne Gold");
    EXPECT_STREQ(PBRMaterialPreset(PBRMaterialPreset::tacticalKevlar).title(), "Ballistic Kevlar Weave");
    EXPECT_STREQ(PBRMaterialPreset(PBRMaterialPreset::obsidianMicroGlass).title(), "Frosted Obsidian Glass");
    EXPECT_STREQ(PBRMaterialPreset(PBRMaterialPreset::organicSkinSSS).title(), "Subsurface Organic Skin");
    EXPECT_STREQ(PBRMaterialPreset(PBRMaterialPreset::wetUrbanAsphalt).category(), "Architectural");
    EXPECT_STREQ(PBRMaterialPreset(PBRMaterialPreset::volcanicMossBasalt).category(), "Architectural");
    EXPECT_STREQ(PBRMaterialPreset(PBRMaterialPreset::luminousCircuitCarbon).category(), "Composites");
    auto swatch = PBRMaterialPreset(PBRMaterialPreset::hammeredCopper).swatchColor();
    EXPECT_EQ(swatch, (pk::Color{0.76, 0.43, 0.27, 1.0}));
    EXPECT_THROW(PBRMaterialPreset::fromJson(pk::json::parse("12")), pk::StudioError);
}

TEST(MaterialParameters, DefaultsRoundTripWithoutPhotoKey) {
    PBRMaterialParameters p;
    EXPECT_EQ(p.preset, PBRMaterialPreset::carbonFiberTwill);
    EXPECT_EQ(p.weathering, 0.22f);
    EXPECT_EQ(p.seed, 1.0f);
    const std::string text = pk::json::dump(p.toJson());
    EXPECT_EQ(text,
              R"({"preset":1,"tilingScale":2,"reliefStrength":1,"roughnessBias":0,"metallicBias":0,"weathering":0.22,"emissiveGain":1,"tintR":1,"tintG":1,"tintB":1,"seed":1,"resolution":1024})");
    EXPECT_EQ(PBRMaterialParameters::fromJson(pk::json::parse(text)), p);
    p.sourcePhotoName = "brick wall";
    p.roughnessBias = -0.3f;
    EXPECT_EQ(PBRMaterialParameters::fromJson(pk::json::parse(pk::json::dump(p.toJson()))), p);
}

TEST(MaterialParameters, DecodeFailures) {
    const auto base = pk::json::parse(pk::json::dump(PBRMaterialParameters().toJson()));
    for (const char* key : {"preset", "tilingScale", "reliefStrength", "roughnessBias", "metallicBias", "weathering",
                            "emissiveGain", "tintR", "tintG", "tintB", "seed", "resolution"}) {
        auto j = base;
        j.erase(key);
        EXPECT_THROW(PBRMaterialParameters::fromJson(j), pk::StudioError) << "missing " << key;
        j = base;
        j[key] = "text";
        EXPECT_THROW(PBRMaterialParameters::fromJson(j), pk::StudioError) << "wrong type " << key;
    }
    struct Bad {
        const char* key;
        pk::json::Json value;
    };
    const Bad bad[] = {{"preset", 12}, {"preset", -1}, {"resolution", 1.5}, {"sourcePhotoName", 3}};
    for (const auto& b : bad) {
        auto j = base;
        j[b.key] = b.value;
        EXPECT_THROW(PBRMaterialParameters::fromJson(j), pk::StudioError) << b.key;
    }
    auto withNull = base;
    withNull["sourcePhotoName"] = nullptr;
    EXPECT_FALSE(PBRMaterialParameters::fromJson(withNull).sourcePhotoName.has_value());
}

TEST(MaterialParameters, NaNNeverComparesEqual) {
    PBRMaterialParameters a, b;
    a.tilingScale = b.tilingScale = NAN;
    EXPECT_FALSE(a == b);
}

TEST(SceneState, DefaultsAndRigs) {
    LookDevSceneState s;
    EXPECT_EQ(s.lens, VelCinemaLensMMV950::standard50mm);
    EXPECT_EQ(s.lightingRig, StudioLightingRig::softboxClean);
    EXPECT_EQ(s.shadingMode, ViewportShadingMode::beautyPBR);
    EXPECT_EQ(s.yaw, 0.58f);
    EXPECT_EQ(s.materialUVScale, 1.6f);
    const char* titles[] = {"Studio Softbox", "Golden Hour Rim", "Neon Rain Loft", "Architectural Daylight",
                            "Dark Luxury Spot", "Midnight Cobalt"};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(StudioLightingRig::allCases[i].rawValue(), i);
        EXPECT_STREQ(StudioLightingRig::allCases[i].title(), titles[i]);
    }
    EXPECT_FALSE(StudioLightingRig::fromRaw(6).has_value());
    EXPECT_FALSE(StudioLightingRig::fromRaw(-1).has_value());
    EXPECT_EQ(StudioLightingRig(StudioLightingRig::neonRainStudio).rimColor(), pk::float3(1.00f, 0.22f, 0.68f));
    EXPECT_THROW(StudioLightingRig::fromJson(pk::json::parse("6")), pk::StudioError);
    const char* modes[] = {"Beauty PBR", "Albedo", "Normals", "ORM", "Meshlets", "Clay"};
    for (int i = 0; i < 6; ++i) EXPECT_STREQ(ViewportShadingMode::allCases[i].title(), modes[i]);
    EXPECT_FALSE(ViewportShadingMode::fromRaw(6).has_value());
}

TEST(SceneState, AspectPresetsMatchOnlyTheExactText) {
    ASSERT_EQ(TurntableAspectPreset::allCases.size(), 3u);
    EXPECT_EQ(TurntableAspectPreset::fromRaw("16:9 Cinema (1920\xC3\x97" "1080)"), TurntableAspectPreset::cinema16x9);
    EXPECT_FALSE(TurntableAspectPreset::fromRaw("16:9 Cinema (1920x1080)").has_value());
    EXPECT_EQ(TurntableAspectPreset(TurntableAspectPreset::vertical9x16).dimensions(),
              (TurntableAspectPreset::Dimensions{1080, 1920}));
    EXPECT_STREQ(TurntableAspectPreset(TurntableAspectPreset::square1x1).shortLabel(), "1:1 Hero");
    EXPECT_EQ(TurntableAspectPreset(TurntableAspectPreset::square1x1).id(), "1:1 Storefront (1080\xC3\x97" "1080)");
}

TEST(AssetItem, EqualityAndHashCoverTheKindsURL) {
    using K = StudioAssetItem::SourceKind;
    StudioAssetItem a{"id", "Name", "sub", "cat", K::mwmeshFile("/a/x.mwmesh")};
    StudioAssetItem b{"id", "Name", "sub", "cat", K::mwmeshFile("/a/y.mwmesh")};
    EXPECT_NE(a, b);
    StudioAssetItem c{"ball", "Ball", "s", "c", K::builtinShaderBall()};
    StudioAssetItem d{"ball", "Ball", "s", "c", K::builtinShaderBall()};
    EXPECT_EQ(c, d);
    EXPECT_EQ(c.hash(), d.hash());
    StudioAssetItem e{"ball", "Ball", "s", "c", K::builtinRoundedCube()};
    EXPECT_NE(c, e);
    std::unordered_set<StudioAssetItem> set{a, b, c, d};
    EXPECT_EQ(set.size(), 3u);
}

// Paths compare element by element, so items whose URLs differ only in spelling are
// equal and must hash alike, or a set holds the same item twice.
TEST(AssetItem, ItemsEqualByPathHashAlike) {
    using K = StudioAssetItem::SourceKind;
    struct Case {
        const char* a;
        const char* b;
        bool equal;
    };
    for (const Case& c : {Case{"/assets//hero.mwmesh", "/assets/hero.mwmesh", true},
                          Case{"assets///kit//hero.mwmesh", "assets/kit/hero.mwmesh", true},
                          Case{"/assets/hero.mwmesh", "/assets/hero.mwmesh/", false},
                          Case{"/assets/./hero.mwmesh", "/assets/hero.mwmesh", false}}) {
        for (auto make : {&K::mwmeshFile, &K::externalModel}) {
            const StudioAssetItem x{"id", "Hero", "sub", "Vault", make(c.a)};
            const StudioAssetItem y{"id", "Hero", "sub", "Vault", make(c.b)};
            EXPECT_EQ(x == y, c.equal) << c.a << " | " << c.b;
            if (x == y) {
                EXPECT_EQ(std::hash<StudioAssetItem>()(x), std::hash<StudioAssetItem>()(y)) << c.a << " | " << c.b;
                EXPECT_EQ((std::unordered_set<StudioAssetItem>{x, y}.size()), 1u);
            }
        }
    }
}

// The hashable enumerations work as set and map keys: every case is found, none collide.
TEST(SceneState, HashableTypesKeySets) {
    auto distinct = [](const auto& cases) {
        using T = typename std::decay_t<decltype(cases)>::value_type;
        std::unordered_set<T> set(cases.begin(), cases.end());
        bool all = set.size() == cases.size();
        for (const T& c : cases) all = all && set.count(c) == 1;
        return all;
    };
    EXPECT_TRUE(distinct(VelCinemaLensMMV950::allCases));
    EXPECT_TRUE(distinct(PBRMaterialPreset::allCases));
    EXPECT_TRUE(distinct(StudioLightingRig::allCases));
    EXPECT_TRUE(distinct(ViewportShadingMode::allCases));
    EXPECT_TRUE(distinct(TurntableAspectPreset::allCases));
    EXPECT_EQ(std::hash<VelCinemaLensMMV950>()(*VelCinemaLensMMV950::fromRaw(50.0f)),
              std::hash<VelCinemaLensMMV950>()(VelCinemaLensMMV950::standard50mm));
}
