// Material synthesis on a headless device (llvmpipe): sizes, closed-form goldens,
// tiling, invariants, previews and PNG maps.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <tuple>
#include <vector>

#include "MarblewickLookDevKit/PBRMaterialForgeEngine.h"
#include "PlatformKit/Image/Downscale.h"
#include "PlatformKit/Foundation/Files.h"
#include "PlatformKit/Gpu/HeadlessDevice.h"

using namespace lookdev;
namespace fs = std::filesystem;

namespace {

std::shared_ptr<pk::gpu::HeadlessDevice>& device() {
    static auto d = pk::gpu::HeadlessDevice::create();
    return d;
}

PBRMaterialForgeEngine& forge() {
    static auto e = PBRMaterialForgeEngine::create(device());
    if (!e) throw std::runtime_error("forge engine could not be created");
    return *e;
}

std::vector<uint8_t> bytesOf(const std::shared_ptr<pk::gpu::Texture>& t) { return device()->readback(*t); }

fs::path outDir() {
    fs::path d = fs::path(KS_TEST_OUTPUT_DIR) / "lookdev_pbr";
    fs::create_directories(d);
    return d;
}

PBRMaterialParameters params(PBRMaterialPreset preset, int64_t resolution = 256) {
    PBRMaterialParameters p;
    p.preset = preset;
    p.resolution = resolution;
    return p;
}

int toByte(float v) { return int(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f)); }

float hermite(float e0, float e1, float x) {
    float t = std::clamp((x - e0) / (e1 - e0), 0.0f, 1.0f);
    return t * t * (3.0f - 2.0f * t);
}
float fract(float x) { return x - std::floor(x); }
float mixf(float a, float b, float t) { return a + (b - a) * t; }

}  // namespace

TEST(PBRSynthesis, MapSideIsClampedAndResolutionKept) {
    for (auto [asked, side] : {std::pair<int64_t, int>{100, 256}, {1024, 1024}, {10000, 4096}}) {
        auto pack = forge().synthesize(params(PBRMaterialPreset::carbonFiberTwill, asked));
        ASSERT_TRUE(pack) << asked;
        EXPECT_EQ(pack->parameters.resolution, asked);
        for (auto* t : {&pack->albedo, &pack->normal, &pack->orm, &pack->emissive}) {
            EXPECT_EQ((*t)->width(), side);
            EXPECT_EQ((*t)->height(), side);
        }
        EXPECT_GE(pack->synthesisMs, 0.0);
        EXPECT_NEAR(pack->synthesisMs * 100.0, std::round(pack->synthesisMs * 100.0), 1e-6);  // two decimals
    }
}

TEST(PBRSynthesis, PhotoKernelOnUniformColourMatchesClosedForm) {
    // Uniform photo: every sample equals the colour, so the normal is flat and every map
    // follows from the formulas directly. Bright and saturated so metal and glow engage.
    pk::image::RgbaImage photo = pk::image::RgbaImage::blank(80, 50);
    for (size_t i = 0; i < photo.bytes.size(); i += 4)
        photo.bytes[i] = 255, photo.bytes[i + 1] = 230, photo.bytes[i + 2] = 51, photo.bytes[i + 3] = 255;
    PBRMaterialParameters p = params(PBRMaterialPreset::brushedTitanium);
    p.tintR = 0.9f, p.tintG = 1.0f, p.tintB = 0.8f;
    p.roughnessBias = 0.05f, p.metallicBias = 0.1f, p.emissiveGain = 1.5f;
    auto pack = forge().synthesizeFromCGImage(photo, "flat", p);
    ASSERT_TRUE(pack);
    EXPECT_EQ(pack->parameters.sourcePhotoName, std::optional<std::string>("flat"));

    const float c[3] = {1.0f, 230.0f / 255.0f, 51.0f / 255.0f};
    const float tint[3] = {0.9f, 1.0f, 0.8f};
    const float h = 0.2126f * c[0] + 0.7152f * c[1] + 0.0722f * c[2];
    const float sat = c[0] - c[2];
    const float ao = std::clamp(0.42f + 0.58f * h * 0.75f, 0.18f, 1.0f);
    const float rough = std::clamp(0.78f * (1.0f - 0.45f * h) + 0.05f, 0.05f, 0.96f);
    const float metal = std::clamp(0.45f * hermite(0.68f, 0.92f, h) * (1.0f - 0.7f * sat) + 0.1f, 0.0f, 1.0f);
    const float glow = hermite(0.82f, 0.98f, h) * hermite(0.25f, 0.65f, sat) * 1.5f;
    std::array<int, 4> albedo, normal = {128, 128, 255, 255}, orm = {toByte(ao), toByte(rough), toByte(metal), 255},
                                emissive;
    for (int k = 0; k < 3; ++k) {
        albedo[k] = toByte(mixf(c[k], std::pow(c[k], 0.86f), 0.35f) * tint[k]);
        emissive[k] = toByte(c[k] * glow);
    }
    albedo[3] = emissive[3] = 255;
    struct Map {
        const char* name;
        std::shared_ptr<pk::gpu::Texture> tex;
        std::array<int, 4> want;
    };
    for (const Map& m : {Map{"albedo", pack->albedo, albedo}, Map{"normal", pack->normal, normal},
                         Map{"orm", pack->orm, orm}, Map{"emissive", pack->emissive, emissive}}) {
        auto b = bytesOf(m.tex);
        int worst = 0;
        for (size_t i = 0; i < b.size(); ++i) worst = std::max(worst, std::abs(int(b[i]) - m.want[i % 4]));
        EXPECT_LE(worst, 2) << m.name << " want " << m.want[0] << "," << m.want[1] << "," << m.want[2];
    }
}

TEST(PBRSynthesis, KevlarWithoutWeatheringMatchesClosedForm) {
    PBRMaterialParameters p = params(PBRMaterialPreset::tacticalKevlar);
    p.weathering = 0.0f;
    p.tilingScale = 2.0f;
    auto pack = forge().synthesize(p);
    ASSERT_TRUE(pack);
    const int side = 256;
    auto albedo = bytesOf(pack->albedo), normal = bytesOf(pack->normal), orm = bytesOf(pack->orm);
    auto height = [&](float ux, float uy, bool& nearEdge) {
        float tx = fract(ux * 2.0f), ty = fract(uy * 2.0f);
        float wx = 0.5f + 0.5f * std::sin(6.2831853f * 48.0f * tx);
        float wy = 0.5f + 0.5f * std::sin(6.2831853f * 48.0f * ty);
        float fx = fract(12.0f * tx), fy = fract(12.0f * ty);
        if (std::abs(fx - 0.9f) < 1e-3f || std::abs(fy - 0.9f) < 1e-3f) nearEdge = true;
        float rip = std::max(fx >= 0.9f ? 1.0f : 0.0f, fy >= 0.9f ? 1.0f : 0.0f);
        return std::clamp(0.72f * (0.45f * wx + 0.45f * wy) + 0.28f * rip, 0.0f, 1.0f);
    };
    int checked = 0;
    for (auto [x, y] : {std::pair{0, 0}, {3, 7}, {17, 200}, {64, 64}, {100, 33}, {128, 250}, {201, 119}, {255, 255},
                        {40, 61}, {230, 12}}) {
        const float eps = 1.0f / side;
        const float ux = (x + 0.5f) / side, uy = (y + 0.5f) / side;
        bool edge = false;
        float hC = height(ux, uy, edge), hL = height(fract(ux - eps), uy, edge), hR = height(fract(ux + eps), uy, edge),
              hD = height(ux, fract(uy - eps), edge), hU = height(ux, fract(uy + eps), edge);
        if (edge) continue;
        ++checked;
        const float slope = 5.5f;
        float nx = (hL - hR) * slope, ny = (hD - hU) * slope, len = std::sqrt(nx * nx + ny * ny + 1.0f);
        const size_t i = (size_t(y) * side + x) * 4;
        const float lo[3] = {0.12f, 0.15f, 0.13f}, hi[3] = {0.26f, 0.30f, 0.25f};
        for (int k = 0; k < 3; ++k) EXPECT_NEAR(albedo[i + k], toByte(mixf(lo[k], hi[k], hC)), 2) << x << "," << y;
        EXPECT_NEAR(orm[i + 0], toByte(std::clamp(0.58f + 0.42f * hC, 0.15f, 1.0f)), 2);
        EXPECT_NEAR(orm[i + 1], toByte(mixf(0.62f, 0.82f, 1.0f - hC)), 2);
        EXPECT_NEAR(orm[i + 2], toByte(0.05f), 2);
        EXPECT_NEAR(normal[i + 0], toByte(nx / len * 0.5f + 0.5f), 3) << x << "," << y;
        EXPECT_NEAR(normal[i + 1], toByte(ny / len * 0.5f + 0.5f), 3) << x << "," << y;
        EXPECT_NEAR(normal[i + 2], toByte(1.0f / len * 0.5f + 0.5f), 3);
    }
    EXPECT_GE(checked, 6);
}

namespace {
// Mean channel difference between column a and column b (or rows, when byRow).
double lineStep(const std::vector<uint8_t>& b, int side, int a, int c, bool byRow) {
    double sum = 0;
    for (int t = 0; t < side; ++t) {
        const size_t i = byRow ? (size_t(a) * side + t) * 4 : (size_t(t) * side + a) * 4;
        const size_t j = byRow ? (size_t(c) * side + t) * 4 : (size_t(t) * side + c) * 4;
        for (int k = 0; k < 3; ++k) sum += std::abs(int(b[i + k]) - int(b[j + k]));
    }
    return sum / (side * 3.0);
}
}  // namespace

// A seam shows as a step across the wrap larger than the map's own steps. Tiling scale 1
// keeps the wrap the only tile edge in the map; hard-edged looks (grooves, ripstop) have
// interior steps as large as their edge, so the bound is the larger of a multiple of the
// median step and the largest interior step.
TEST(PBRSynthesis, EveryPresetTilesAcrossBothEdges) {
    const int side = 256;
    for (auto preset : PBRMaterialPreset::allCases) {
        PBRMaterialParameters p = params(preset, side);
        p.tilingScale = 1.0f;
        auto pack = forge().synthesize(p);
        ASSERT_TRUE(pack);
        for (auto [name, tex] : {std::pair{"albedo", pack->albedo}, {"normal", pack->normal}, {"orm", pack->orm}}) {
            auto b = bytesOf(tex);
            for (bool byRow : {false, true}) {
                std::vector<double> steps;
                for (int a = 0; a + 1 < side; ++a) steps.push_back(lineStep(b, side, a, a + 1, byRow));
                std::sort(steps.begin(), steps.end());
                const double bound = std::max(3.0 * steps[steps.size() / 2], steps.back()) + 1.0;
                const double wrap = lineStep(b, side, side - 1, 0, byRow);
                EXPECT_LE(wrap, bound) << preset.title() << " " << name << (byRow ? " rows" : " columns");
            }
        }
    }
}

TEST(PBRSynthesis, OnlyTheCircuitPresetGlowsAndGainScalesOnlyIt) {
    for (auto preset : PBRMaterialPreset::allCases) {
        if (preset == PBRMaterialPreset::luminousCircuitCarbon) continue;
        PBRMaterialParameters p = params(preset);
        p.emissiveGain = 3.0f;
        auto pack = forge().synthesize(p);
        ASSERT_TRUE(pack);
        auto e = bytesOf(pack->emissive);
        for (size_t i = 0; i < e.size(); i += 4) ASSERT_TRUE(e[i] == 0 && e[i + 1] == 0 && e[i + 2] == 0) << preset.title();
    }
    PBRMaterialParameters p = params(PBRMaterialPreset::luminousCircuitCarbon);
    p.emissiveGain = 0.5f;
    auto half = forge().synthesize(p);
    p.emissiveGain = 0.25f;
    auto quarter = forge().synthesize(p);
    ASSERT_TRUE(half && quarter);
    EXPECT_EQ(bytesOf(half->albedo), bytesOf(quarter->albedo));
    EXPECT_EQ(bytesOf(half->normal), bytesOf(quarter->normal));
    EXPECT_EQ(bytesOf(half->orm), bytesOf(quarter->orm));
    auto eh = bytesOf(half->emissive), eq = bytesOf(quarter->emissive);
    int lit = 0;
    for (size_t i = 0; i < eh.size(); i += 4) {
        if (eh[i + 2] < 20) continue;
        ++lit;
        ASSERT_NEAR(eh[i + 2], 2 * eq[i + 2], 2);
    }
    EXPECT_GT(lit, 0);
}

TEST(PBRSynthesis, OutOfRangePresetIdDrawsTheCircuitLook) {
    PBRMaterialParameters p = params(PBRMaterialPreset::luminousCircuitCarbon);
    auto eleven = forge().synthesize(p);
    p.preset = PBRMaterialPreset(static_cast<PBRMaterialPreset::Case>(12));  // a raw id no case names
    auto twelve = forge().synthesize(p);
    ASSERT_TRUE(eleven && twelve);
    EXPECT_EQ(bytesOf(twelve->albedo), bytesOf(eleven->albedo));
    auto e = bytesOf(twelve->emissive);
    EXPECT_EQ(e, bytesOf(eleven->emissive));
    EXPECT_TRUE(std::any_of(e.begin(), e.end(), [](uint8_t v) { return v > 100; }));
}

TEST(PBRSynthesis, OutOfRangeReliefNeverFlattensOrBreaksNormals) {
    PBRMaterialParameters p = params(PBRMaterialPreset::volcanicMossBasalt);
    p.reliefStrength = 0.05f;
    const auto minimum = bytesOf(forge().synthesize(p)->normal);
    for (float relief : {-5.0f, 0.0f, std::nanf("")}) {
        p.reliefStrength = relief;
        auto pack = forge().synthesize(p);
        ASSERT_TRUE(pack);
        EXPECT_EQ(bytesOf(pack->normal), minimum) << relief;
    }
    p.reliefStrength = 1e30f;
    auto steep = bytesOf(forge().synthesize(p)->normal);
    for (size_t i = 0; i < steep.size(); i += 4) ASSERT_GT(steep[i + 2], 128);  // z stays positive
    // Photo path: the same guard.
    pk::image::RgbaImage photo = pk::image::RgbaImage::blank(64, 64);
    for (size_t i = 0; i < photo.bytes.size(); ++i) photo.bytes[i] = uint8_t((i * 37) & 255) | 3;
    p.reliefStrength = std::nanf("");
    auto nanPhoto = forge().synthesizeFromCGImage(photo, "n", p);
    p.reliefStrength = 0.1f;
    auto minPhoto = forge().synthesizeFromCGImage(photo, "n", p);
    ASSERT_TRUE(nanPhoto && minPhoto);
    EXPECT_EQ(bytesOf(nanPhoto->normal), bytesOf(minPhoto->normal));
}

TEST(PBRSynthesis, PhotoFilesNameThePackAndUnreadableOnesGiveNothing) {
    pk::image::RgbaImage img = pk::image::RgbaImage::blank(20, 30);
    for (size_t i = 0; i < img.bytes.size(); ++i) img.bytes[i] = uint8_t(i * 7);
    const fs::path photo = outDir() / "Harbor Stone.v2.png";
    pk::image::writePng(photo, img);
    auto pack = forge().synthesizeFromPhoto(photo, params(PBRMaterialPreset::brushedTitanium, 512));
    ASSERT_TRUE(pack);
    EXPECT_EQ(pack->parameters.sourcePhotoName, std::optional<std::string>("Harbor Stone.v2"));
    EXPECT_EQ(pack->albedo->width(), 512);

    const fs::path broken = outDir() / "broken.png";
    pk::writeInPlace(broken, std::vector<uint8_t>{0x89, 'P', 'N', 'G', 1, 2, 3});
    EXPECT_FALSE(forge().synthesizeFromPhoto(broken, params(PBRMaterialPreset::brushedTitanium)));
    EXPECT_FALSE(forge().synthesizeFromPhoto(outDir() / "missing.jpg", params(PBRMaterialPreset::brushedTitanium)));
    // An image whose bytes do not hold its pixels gives nothing (and reads nothing).
    for (auto [width, height, stride, bytes] : {std::tuple{100, 100, size_t(400), size_t(100)},
                                                 {100, 100, size_t(400), size_t(399 * 100)},
                                                 {100, 100, size_t(200), size_t(400 * 100)},
                                                 {1 << 20, 1 << 20, size_t(4) << 20, size_t(64)}}) {
        pk::image::RgbaImage hollow;
        hollow.width = width, hollow.height = height, hollow.stride = stride;
        hollow.bytes.assign(bytes, 200);
        EXPECT_FALSE(forge().synthesizeFromCGImage(hollow, "hollow", params(PBRMaterialPreset::brushedTitanium)))
            << width << "x" << height << " stride " << stride << " bytes " << bytes;
    }
    EXPECT_EQ(PBRMaterialForgeEngine::photoSide(20), 64);
    EXPECT_EQ(PBRMaterialForgeEngine::photoSide(5000), 2048);
}

TEST(PBRSynthesis, PreviewsAndPngMaps) {
    auto pack = forge().synthesize(params(PBRMaterialPreset::hammeredCopper, 1024));
    ASSERT_TRUE(pack);
    auto previews = PBRMaterialForgeEngine::makePreviews(*device(), *pack, 220);
    for (auto* p : {&previews.albedo, &previews.normal, &previews.orm, &previews.emissive}) {
        ASSERT_TRUE(*p);
        EXPECT_EQ((*p)->width, 220);
        EXPECT_EQ((*p)->height, 220);
    }
    // Read from a small level of the chain, each preview still shows its own map the
    // right way up: close to the area filter of the full map.
    const std::shared_ptr<pk::gpu::Texture> maps[] = {pack->albedo, pack->normal, pack->orm, pack->emissive};
    const std::optional<pk::image::RgbaImage>* shown[] = {&previews.albedo, &previews.normal, &previews.orm,
                                                          &previews.emissive};
    for (int m = 0; m < 4; ++m) {
        auto direct = PBRMaterialForgeEngine::makeCGImage(*device(), *maps[m], 220);
        ASSERT_TRUE(direct);
        EXPECT_EQ(*direct, pk::image::downscaledBox(*PBRMaterialForgeEngine::makeCGImage(*device(), *maps[m]), 220, 220));
        // The chain's blocks do not line up with the preview's pixels, so single bytes
        // differ where the map has detail finer than a preview pixel, and each level the
        // GPU builds rounds a little upwards; on average they stay within a level or so.
        double total = 0;
        for (size_t i = 0; i < direct->bytes.size(); ++i)
            total += std::abs(int(direct->bytes[i]) - int((**shown[m]).bytes[i]));
        EXPECT_LT(total / double(direct->bytes.size()), 1.5) << "map " << m;
    }
    auto small = forge().synthesize(params(PBRMaterialPreset::hammeredCopper, 256));
    auto full = PBRMaterialForgeEngine::makeCGImage(*device(), *small->albedo, 300);
    ASSERT_TRUE(full);
    EXPECT_EQ(full->width, 256);

    const fs::path png = outDir() / "maps" / "albedo.png";
    fs::remove_all(outDir() / "maps");
    ASSERT_TRUE(PBRMaterialForgeEngine::writePNG(*device(), *small->albedo, png));
    EXPECT_EQ(pk::image::decodeFile(png), full);
    const fs::path blocker = outDir() / "blocker";
    pk::writeInPlace(blocker, std::vector<uint8_t>{1});
    EXPECT_FALSE(PBRMaterialForgeEngine::writePNG(*device(), *small->albedo, blocker / "x.png"));
}

TEST(PBRSynthesis, WeatheringZeroLeavesCopperWithoutPatina) {
    PBRMaterialParameters p = params(PBRMaterialPreset::hammeredCopper);
    p.weathering = 0.0f;
    auto pack = forge().synthesize(p);
    ASSERT_TRUE(pack);
    auto orm = bytesOf(pack->orm), albedo = bytesOf(pack->albedo);
    for (size_t i = 0; i < orm.size(); i += 4) {
        ASSERT_NEAR(orm[i + 1], toByte(0.22f), 1);  // roughness mix(0.22, 0.78, q*0)
        ASSERT_NEAR(orm[i + 2], toByte(0.94f), 1);
        ASSERT_GE(albedo[i], albedo[i + 1]);  // copper: red above green everywhere
    }
}

namespace {
// Mean absolute deviation of the normal map's x and y components from their means.
std::pair<double, double> normalEnergy(const std::vector<uint8_t>& n) {
    const size_t count = n.size() / 4;
    double mx = 0, my = 0;
    for (size_t i = 0; i < n.size(); i += 4) mx += n[i], my += n[i + 1];
    mx /= double(count), my /= double(count);
    double ex = 0, ey = 0;
    for (size_t i = 0; i < n.size(); i += 4) ex += std::abs(n[i] - mx), ey += std::abs(n[i + 1] - my);
    return {ex / double(count), ey / double(count)};
}
}  // namespace

// The noise lattice must vary along both axes for any seed a user can type: a hash that
// loses one axis at some seed draws stripes. Isotropic looks keep x and y relief within a
// factor 1.5; brushed titanium keeps its brushing along x (relief across it, in y).
TEST(PBRSynthesis, NormalMapsKeepTheirDirectionAtEverySeed) {
    using P = PBRMaterialPreset;
    const P isotropic[] = {P::wetUrbanAsphalt, P::anodizedGold,       P::architecturalConcrete, P::hammeredCopper,
                           P::glazedCeramic,   P::obsidianMicroGlass, P::organicSkinSSS,        P::volcanicMossBasalt};
    const float seeds[] = {0.0f, 0.5f, 1.0f, 2.0f, 3.0f, 1.37f, 10.0f, -4.25f, 0.1234f, 77.7f, 2048.5f};
    for (float seed : seeds) {
        for (P preset : isotropic) {
            PBRMaterialParameters p = params(preset);
            p.seed = seed;
            auto [ex, ey] = normalEnergy(bytesOf(forge().synthesize(p)->normal));
            const double ratio = ex / ey;
            EXPECT_TRUE(ratio < 1.5 && ratio > 1 / 1.5) << preset.title() << " seed " << seed << " x/y " << ratio;
        }
        PBRMaterialParameters p = params(P::brushedTitanium);
        p.seed = seed;
        auto [ex, ey] = normalEnergy(bytesOf(forge().synthesize(p)->normal));
        EXPECT_GT(ey, 1.5 * ex) << "titanium seed " << seed << " x/y " << ex / ey;
    }
}

namespace {
// Per boundary between neighbouring columns (or rows), the wrap included, the median over
// the line of its pixels' steps (mean over the colour channels): a seam steps along its
// whole length, while a photo's own edges cross any one line in a few pixels only.
// Gives the largest and the median of those.
std::pair<double, double> largestAndMedianStep(const std::vector<uint8_t>& b, int side, bool byRow) {
    std::vector<double> lines, pixels(static_cast<size_t>(side));
    for (int a = 0; a < side; ++a) {
        const int c = (a + 1) % side;
        for (int t = 0; t < side; ++t) {
            const size_t i = byRow ? (size_t(a) * side + t) * 4 : (size_t(t) * side + a) * 4;
            const size_t j = byRow ? (size_t(c) * side + t) * 4 : (size_t(t) * side + c) * 4;
            double d = 0;
            for (int k = 0; k < 3; ++k) d += std::abs(int(b[i + k]) - int(b[j + k]));
            pixels[size_t(t)] = d / 3.0;
        }
        std::nth_element(pixels.begin(), pixels.begin() + side / 2, pixels.end());
        lines.push_back(pixels[size_t(side / 2)]);
    }
    const double largest = *std::max_element(lines.begin(), lines.end());
    std::nth_element(lines.begin(), lines.begin() + side / 2, lines.end());
    return {largest, lines[size_t(side / 2)]};
}
}  // namespace

// A photo's own edges must not show in the material: neither at the wrap nor, from a
// shifted copy, anywhere inside the tile. Ramps have the strongest possible edge jump; the
// wood photo is lit unevenly, darker on the left, as photographed surfaces often are.
TEST(PBRSynthesis, PhotoMaterialTilesWithoutSeamOrCross) {
    auto ramp = [](bool across) {
        pk::image::RgbaImage img = pk::image::RgbaImage::blank(200, 160);
        for (int y = 0; y < img.height; ++y)
            for (int x = 0; x < img.width; ++x) {
                uint8_t* p = img.row(y) + 4 * x;
                p[0] = p[1] = p[2] = uint8_t(across ? 255 * x / (img.width - 1) : 255 * y / (img.height - 1));
                p[3] = 255;
            }
        return img;
    };
    // A crop of a photograph by Rachel Michetti, dedicated to the public domain (CC0).
    auto wood = pk::image::decodeFile(fs::path(KS_SOURCE_DIR) / "Packages/MarblewickLookDevKit/Tests/Fixtures/wood-table.jpg");
    ASSERT_TRUE(wood);
    const int side = 256;
    for (auto [name, photo] : {std::pair{"ramp across", ramp(true)}, {"ramp down", ramp(false)}, {"wood", *wood}}) {
        auto pack = forge().synthesizeFromCGImage(photo, name, params(PBRMaterialPreset::brushedTitanium, side));
        ASSERT_TRUE(pack);
        const auto albedo = bytesOf(pack->albedo);
        for (bool byRow : {false, true}) {
            auto [largest, median] = largestAndMedianStep(albedo, side, byRow);
            EXPECT_LE(largest, 3.0 * median + 1.0) << name << (byRow ? " rows" : " columns");
        }
    }
}
