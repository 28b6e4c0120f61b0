#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "KestreluneStudio/Window/StudioMainView.h"
#include "KestreluneStudio/Window/StudioWindowText.h"

using namespace kestrelune;
using namespace lookdev;

TEST(StudioWindowText, FrameRateRoundsHalfAwayAndShowsNoNumberForNonFiniteRates) {
    const std::pair<double, const char*> table[] = {
        {60, "60 FPS"},       {59.5, "60 FPS"},  {59.49, "59 FPS"}, {119.999, "120 FPS"}, {0.4, "0 FPS"},
        {0.5, "1 FPS"},       {-0.5, "-1 FPS"},  {1e300, "9223372036854775807 FPS"},
        {std::numeric_limits<double>::quiet_NaN(), "-- FPS"},
        {std::numeric_limits<double>::infinity(), "-- FPS"},
        {-std::numeric_limits<double>::infinity(), "-- FPS"},
    };
    for (const auto& [fps, text] : table) EXPECT_EQ(framesPerSecondText(fps), text) << fps;
}

TEST(StudioWindowText, CountsLensesReadoutAndTitles) {
    EXPECT_EQ(triangleCountText(12345), "12,345 tris");
    EXPECT_EQ(triangleCountText(999), "999 tris");
    EXPECT_EQ(triangleCountText(1234567), "1,234,567 tris");
    EXPECT_EQ(meshletCountText(1200), "1200 meshlets") << "meshlets are never grouped";
    EXPECT_EQ(meshletCountText(0), "0 meshlets");

    const char* lenses[] = {"24mm", "35mm", "50mm", "85mm"};
    for (size_t i = 0; i < 4; ++i) EXPECT_EQ(lensChipText(creator::VelCinemaLensMMV950::allCases[i]), lenses[i]);

    EXPECT_EQ(mapReadoutText(1024, 12.34), "1024\u00B2 \u00B7 12.3 ms GPU");
    EXPECT_EQ(mapReadoutText(4096, 0), "4096\u00B2 \u00B7 0.0 ms GPU");
    EXPECT_EQ(mapReadoutText(512, 1234.56), "512\u00B2 \u00B7 1234.6 ms GPU");

    PBRMaterialParameters params;
    params.preset = PBRMaterialPreset::anodizedGold;
    EXPECT_EQ(mapStripTitle(params), PBRMaterialPreset(PBRMaterialPreset::anodizedGold).title());
    params.sourcePhotoName = "brick_wall";
    EXPECT_EQ(mapStripTitle(params), "brick_wall");

    const char* modes[] = {"Beauty PBR", "Albedo", "Normals", "ORM", "Meshlets", "Clay"};
    for (size_t i = 0; i < 6; ++i) EXPECT_EQ(shadingModeLabel(ViewportShadingMode::allCases[i]), modes[i]);
}

TEST(StudioWindowText, AssetRowSymbolFollowsTheMeshSource) {
    using K = StudioAssetItem::SourceKind;
    const std::pair<K, const char*> table[] = {
        {K::mwmeshFile("/a/kit.mwmesh"), "shippingbox.fill"}, {K::externalModel("/a/chair.obj"), "doc.badge.plus"},
        {K::builtinShaderBall(), "circle.hexagongrid.fill"},  {K::builtinRoundedCube(), "cube.fill"},
        {K::builtinTorusKnot(), "infinity"},
    };
    for (const auto& [kind, symbol] : table) EXPECT_EQ(assetKindSymbol(kind), symbol);
}

TEST(LeftBrowserTab, RawValuesAreTheSegmentTitlesAndOnlyExactTitlesConvertBack) {
    EXPECT_EQ(rawValue(LeftBrowserTab::assets), "Assets");
    EXPECT_EQ(rawValue(LeftBrowserTab::materials), "Materials");
    for (LeftBrowserTab tab : kLeftBrowserTabAllCases) EXPECT_EQ(leftBrowserTabFromRaw(rawValue(tab)), tab);
    for (const char* bad : {"assets", "Material", "", "Assets "}) EXPECT_FALSE(leftBrowserTabFromRaw(bad)) << bad;
}
