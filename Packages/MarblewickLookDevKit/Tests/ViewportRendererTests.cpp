#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <set>

#include "MarblewickLookDevKit/LookDevMetalEngine.h"
#include "MarblewickLookDevKit/StudioMeshes.h"
#include "PlatformKit/Gpu/HeadlessDevice.h"
#include "PlatformKit/Image/Image.h"

using namespace lookdev;

namespace {

std::shared_ptr<pk::gpu::HeadlessDevice> sharedDevice() {
    static auto device = pk::gpu::HeadlessDevice::create();
    return device;
}

struct EngineFixture : ::testing::Test {
    static void SetUpTestSuite() {
        clock = std::make_shared<pk::ManualClock>();
        queue = std::make_unique<pk::MainQueue>(clock);
        engine = LookDevMetalEngine::create(sharedDevice(), clock, queue.get());
        ASSERT_TRUE(engine) << "the engine could not be made";
    }
    static void TearDownTestSuite() {
        engine.reset();
        queue.reset();
    }
    void SetUp() override {
        engine->updateSceneState([](LookDevSceneState& s) { s = LookDevSceneState(); });
        engine->setActiveHDRI(std::nullopt);
    }
    static inline std::shared_ptr<pk::ManualClock> clock;
    static inline std::unique_ptr<pk::MainQueue> queue;
    static inline std::shared_ptr<LookDevMetalEngine> engine;
};

std::shared_ptr<pk::gpu::Texture> solid(uint8_t r, uint8_t g, uint8_t b) {
    auto& dev = *sharedDevice();
    pk::gpu::TextureDesc desc;
    auto t = dev.makeTexture(desc);
    const uint8_t px[4] = {r, g, b, 255};
    dev.upload(*t, px, 4);
    return t;
}

// The pixel at (x, y) of top-down BGRA bytes, as RGB.
std::array<int, 3> rgbAt(const std::vector<uint8_t>& bgra, int width, int x, int y) {
    const size_t i = (static_cast<size_t>(y) * width + x) * 4;
    return {bgra[i + 2], bgra[i + 1], bgra[i]};
}

float hermite(float e0, float e1, float x) {
    float t = std::clamp((x - e0) / (e1 - e0), 0.0f, 1.0f);
    return t * t * (3 - 2 * t);
}

// The backdrop formula evaluated on the CPU for the default scene (no environment).
std::array<int, 3> expectedBackdrop(const LookDevSceneState& s, float u, float v) {
    const pk::float3 horizon = s.lightingRig.skyHorizon(), top = s.lightingRig.skyTop();
    const pk::float2 p = pk::float2(u, v) - pk::float2(0.5f, 0.46f);
    const float r = glm::length(p * pk::float2(1.15f, 1.0f));
    pk::float3 c = glm::mix(horizon * 0.92f, top * 0.72f, std::clamp(v * 1.1f, 0.0f, 1.0f));
    c += glm::mix(s.lightingRig.keyColor(), s.lightingRig.rimColor(), 0.45f) * std::exp(-2.4f * r) * 0.32f;
    c *= hermite(1.35f, 0.18f, r);
    c *= std::exp2(s.exposureEV);
    std::array<int, 3> out{};
    for (int k = 0; k < 3; ++k) {
        float x = c[k];
        float t = std::clamp((x * (2.51f * x + 0.03f)) / (x * (2.43f * x + 0.59f) + 0.14f), 0.0f, 1.0f);
        out[k] = static_cast<int>(std::round(std::pow(t, 1.0f / 2.2f) * 255.0f));
    }
    return out;
}

}  // namespace

TEST_F(EngineFixture, CameraOperations) {
    struct Case {
        const char* what;
        std::function<void()> op;
        float yaw, pitch, distance;
    };
    const LookDevSceneState d;
    const Case cases[] = {
        {"large upward drag", [] { engine->orbitBy(0, 10000); }, d.yaw, 1.25f, d.distance},
        {"large downward drag", [] { engine->orbitBy(0, -10000); }, d.yaw, -0.08f, d.distance},
        {"horizontal drag grows yaw unwrapped", [] { engine->orbitBy(-2000, 0); }, d.yaw + 18.0f, d.pitch, d.distance},
        {"zoom far in", [] { engine->zoomBy(1000); }, d.yaw, d.pitch, 1.35f},
        {"zoom far out", [] { engine->zoomBy(-1000); }, d.yaw, d.pitch, 8.5f},
    };
    for (const auto& c : cases) {
        engine->resetCamera();
        c.op();
        auto s = engine->currentSceneState();
        EXPECT_NEAR(s.yaw, c.yaw, 1e-4f) << c.what;
        EXPECT_FLOAT_EQ(s.pitch, c.pitch) << c.what;
        EXPECT_FLOAT_EQ(s.distance, c.distance) << c.what;
    }
    engine->updateSceneState([](LookDevSceneState& s) {
        s.targetY = 3;
        s.keyIntensity = 9;
    });
    engine->resetCamera();
    auto s = engine->currentSceneState();
    EXPECT_EQ(s.targetY, d.targetY);
    EXPECT_EQ(s.keyIntensity, 9.0f);  // lights untouched
}

TEST_F(EngineFixture, TurntableStepIsClampedAndFrameRateIsReportedOnTheMainQueue) {
    pk::gpu::TextureDesc color;
    color.width = 32;
    color.height = 32;
    color.usage = pk::gpu::usageRenderTarget;
    pk::gpu::TextureDesc depth = color;
    depth.format = pk::gpu::PixelFormat::depth32Float;
    pk::gpu::FramebufferDesc fb;
    fb.color = sharedDevice()->makeTexture(color);
    fb.depth = sharedDevice()->makeTexture(depth);
    auto target = sharedDevice()->makeFramebuffer(fb);

    std::vector<double> rates;
    engine->setOnFPSUpdate([&](double r) { rates.push_back(r); });
    ASSERT_TRUE(engine->drawFrame(*target, 32, 32));  // settles the frame clock
    struct Step {
        double dt;
        float factor;
    };
    for (const Step st : {Step{0.6, 0.05f}, Step{0.0001, 0.001f}, Step{0.02, 0.02f}}) {
        const float before = engine->currentSceneState().yaw;
        clock->advance(st.dt);
        ASSERT_TRUE(engine->drawFrame(*target, 32, 32));
        EXPECT_NEAR(engine->currentSceneState().yaw - before, 0.42f * st.factor, 1e-5f) << st.dt;
    }
    queue->drain();
    ASSERT_FALSE(rates.empty());  // the 0.6 s frame closed a rate window
    EXPECT_GT(rates.back(), 0.0);

    // After hours of turning the yaw stays small enough that each step keeps its size.
    engine->updateSceneState([](LookDevSceneState& s) { s.yaw = 6.28f; });
    clock->advance(0.05);
    ASSERT_TRUE(engine->drawFrame(*target, 32, 32));
    EXPECT_LT(engine->currentSceneState().yaw, 6.2831853f);
    engine->setOnFPSUpdate(nullptr);
}

TEST_F(EngineFixture, EnvironmentBlendFollowsTheMap) {
    const auto dir = std::filesystem::temp_directory_path() / ("ks-engine-env-" + std::to_string(getpid()));
    HDRIEnvironmentLoader::writeSyntheticStudioHDR(dir / "s.hdr", 32, 16);
    auto env = HDRIEnvironmentLoader::loadRadianceHDR(dir / "s.hdr", *sharedDevice());
    ASSERT_TRUE(env);
    engine->setActiveHDRI(env);
    EXPECT_FLOAT_EQ(engine->currentSceneState().customHDRIBlend, 0.85f);
    engine->setActiveHDRI(std::nullopt);
    EXPECT_FLOAT_EQ(engine->currentSceneState().customHDRIBlend, 0.0f);
    // Without a map the shaders see no blend, whatever the state holds.
    LookDevSceneState s;
    s.customHDRIBlend = 0.7f;
    auto mesh = engine->currentMesh();
    ASSERT_TRUE(mesh);
    EXPECT_EQ(StudioCamera::frameUniforms(s, *mesh, false, 1.0f).params1.x, 0.0f);
    EXPECT_FLOAT_EQ(StudioCamera::frameUniforms(s, *mesh, true, 1.0f).params1.x, 0.7f);
}

TEST_F(EngineFixture, OffscreenBackdropMatchesTheFormulaAndTopRowComesFirst) {
    const int w = 64, h = 48;
    auto before = engine->currentSceneState().yaw;
    auto bytes = engine->renderOffscreenBGRA(w, h, 1.0f);
    ASSERT_TRUE(bytes);
    ASSERT_EQ(bytes->size(), static_cast<size_t>(w * h * 4));
    EXPECT_EQ(engine->currentSceneState().yaw, before);
    const LookDevSceneState s;
    for (auto [x, y] : {std::pair{0, 0}, std::pair{w - 1, 0}, std::pair{w / 2, 1}}) {
        const float u = (x + 0.5f) / w, v = 1.0f - (y + 0.5f) / h;  // row 0 is the top of the screen
        auto got = rgbAt(*bytes, w, x, y);
        auto want = expectedBackdrop(s, u, v);
        for (int k = 0; k < 3; ++k) EXPECT_NEAR(got[k], want[k], 2) << x << "," << y << " channel " << k;
        EXPECT_EQ((*bytes)[(static_cast<size_t>(y) * w + x) * 4 + 3], 255);
    }
}

TEST_F(EngineFixture, OffscreenImageHasTheSamePixelsInRGBAOrder) {
    auto bgra = engine->renderOffscreenBGRA(16, 8, 0.3f);
    auto image = engine->renderOffscreenCGImage(16, 8, 0.3f);
    ASSERT_TRUE(bgra && image);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x) {
            auto want = rgbAt(*bgra, 16, x, y);
            const uint8_t* p = image->row(y) + 4 * x;
            EXPECT_EQ((std::array<int, 3>{p[0], p[1], p[2]}), want);
        }
    EXPECT_FALSE(engine->renderOffscreenCGImage(0, 8));
}

// A frame sequence draws frame n + 1 before frame n's pixels are taken: each frame still
// comes back as its own synchronous render, not as its neighbour.
TEST_F(EngineFixture, FramesInFlightComeBackAsTheirOwnRenders) {
    const int64_t w = 48, h = 32;
    const float yaws[3] = {0.0f, 1.3f, 2.6f};
    std::unique_ptr<PendingOffscreenFrame> pending[3];
    for (int i = 0; i < 3; ++i) pending[i] = engine->startOffscreenBGRA(w, h, yaws[i], std::nullopt);
    std::optional<std::vector<uint8_t>> taken[3];
    for (int i = 0; i < 3; ++i) taken[i] = pending[i]->takeBGRA();
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(taken[i]) << i;
        EXPECT_EQ(*taken[i], *engine->renderOffscreenBGRA(w, h, yaws[i])) << "frame " << i;
    }
    EXPECT_NE(*taken[0], *taken[1]) << "the yaws must show";
    EXPECT_FALSE(engine->startOffscreenBGRA(0, h, 0.0f, std::nullopt)->takeBGRA()) << "a bad size gives nothing";
}

TEST_F(EngineFixture, OffscreenSizesOutOfRangeGiveNothing) {
    for (auto [w, h] : {std::pair<int64_t, int64_t>{0, 10}, {10, 0}, {-5, 10}, {1LL << 40, 2}, {100000, 100000}})
        EXPECT_FALSE(engine->renderOffscreenBGRA(w, h)) << w << "x" << h;
    EXPECT_TRUE(engine->renderOffscreenBGRA(1, 1));
}

TEST_F(EngineFixture, EachShadingModeShowsTheMapItShould) {
    auto original = engine->currentPBRPack();
    ASSERT_TRUE(original);
    SynthesizedPBRPack pack = *original;
    pack.albedo = solid(255, 0, 0);
    pack.normal = solid(128, 128, 255);
    pack.orm = solid(51, 102, 204);  // ao 0.2, roughness 0.4, metal 0.8
    pack.emissive = solid(0, 0, 0);
    engine->setActivePBRPack(pack);
    const int w = 64, h = 64;
    auto centre = [&](ViewportShadingMode mode, float exposure) {
        LookDevSceneState s;
        s.shadingMode = mode;
        s.exposureEV = exposure;
        auto bytes = engine->renderOffscreenBGRA(w, h, std::nullopt, s);
        EXPECT_TRUE(bytes);
        return bytes ? rgbAt(*bytes, w, w / 2, h / 2) : std::array<int, 3>{};
    };
    auto albedo = centre(ViewportShadingMode::albedoOnly, 0.12f);
    EXPECT_EQ(albedo, (std::array<int, 3>{255, 0, 0}));
    EXPECT_EQ(centre(ViewportShadingMode::albedoOnly, 2.0f), albedo);  // no exposure in debug modes
    auto orm = centre(ViewportShadingMode::roughnessMetal, 0.12f);
    EXPECT_NEAR(orm[0], 51, 2);
    EXPECT_NEAR(orm[1], 102, 2);
    EXPECT_NEAR(orm[2], 204, 2);
    auto meshlets = centre(ViewportShadingMode::meshletClusters, 0.12f);
    EXPECT_EQ(centre(ViewportShadingMode::meshletClusters, 3.0f), meshlets);
    engine->setActivePBRPack(*original);

    // Pictures for a person to look at: every mode and every rig.
    const std::filesystem::path out = std::filesystem::path(KS_TEST_OUTPUT_DIR) / "viewport";
    for (auto mode : ViewportShadingMode::allCases) {
        LookDevSceneState s;
        s.shadingMode = mode;
        auto bytes = engine->renderOffscreenBGRA(320, 240, std::nullopt, s);
        ASSERT_TRUE(bytes);
        pk::image::writePng(out / (std::string("mode-") + mode.title() + ".png"), bytes->data(), 320, 240, 320 * 4,
                            pk::image::ChannelOrder::bgra);
    }
    for (auto rig : StudioLightingRig::allCases) {
        LookDevSceneState s;
        s.lightingRig = rig;
        auto bytes = engine->renderOffscreenBGRA(320, 240, std::nullopt, s);
        ASSERT_TRUE(bytes);
        pk::image::writePng(out / (std::string("rig-") + rig.title() + ".png"), bytes->data(), 320, 240, 320 * 4,
                            pk::image::ChannelOrder::bgra);
    }
}

TEST(StudioCameraMaths, ProjectionAndLookAt) {
    auto p = StudioCamera::perspective(1.0f, 2.0f, 0.05f, 80.0f);
    const float f = 1.0f / std::tan(0.5f);
    EXPECT_FLOAT_EQ(p[0][0], f / 2.0f);
    EXPECT_FLOAT_EQ(p[2][2], 80.0f / (0.05f - 80.0f));
    EXPECT_FLOAT_EQ(p[2][3], -1.0f);
    // A point at the near plane maps to depth 0, at the far plane to 1.
    auto ndc = [&](float z) {
        pk::float4 c = p * pk::float4(0, 0, -z, 1);
        return c.z / c.w;
    };
    EXPECT_NEAR(ndc(0.05f), 0.0f, 1e-5f);
    EXPECT_NEAR(ndc(80.0f), 1.0f, 1e-5f);
    auto v = StudioCamera::lookAt({0, 0, 5}, {0, 0, 0}, {0, 1, 0});
    pk::float4 origin = v * pk::float4(0, 0, 0, 1);
    EXPECT_NEAR(origin.z, -5.0f, 1e-6f);
    LookDevSceneState s;
    s.yaw = 0;
    s.pitch = 0;
    auto e = StudioCamera::eye(s);
    EXPECT_NEAR(e.z, s.distance, 1e-6f);
    EXPECT_NEAR(e.y, s.targetY, 1e-6f);
}

namespace {
// Mean difference per channel (0..255) between a render and a 4 x 4 box-filtered render
// of the same view at four times the size.
double differenceFromSupersampled(LookDevMetalEngine& e, const LookDevSceneState& s, int w, int h) {
    auto small = e.renderOffscreenBGRA(w, h, std::nullopt, s);
    auto large = e.renderOffscreenBGRA(4 * w, 4 * h, std::nullopt, s);
    if (!small || !large) return 1e9;
    double sum = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int k = 0; k < 3; ++k) {
                int acc = 0;
                for (int j = 0; j < 4; ++j)
                    for (int i = 0; i < 4; ++i) acc += (*large)[((size_t(4 * y + j) * 4 * w) + 4 * x + i) * 4 + k];
                sum += std::abs(acc / 16.0 - (*small)[(size_t(y) * w + x) * 4 + k]);
            }
    return sum / (double(w) * h * 3);
}
}  // namespace

// Material maps seen smaller than their texels must be filtered, not point-picked: the
// default carbon weave at a normal viewport size comes out close to a supersampled render
// of the same view (unfiltered maps differ by 6.4 on average; geometry alone, in Clay
// mode, by about 0.9).
TEST_F(EngineFixture, SmallRenderIsCloseToTheSupersampledView) {
    auto pack = engine->currentPBRPack();
    ASSERT_TRUE(pack);
    const int side = pack->albedo->width();
    for (const auto& t : {pack->albedo, pack->normal, pack->orm, pack->emissive})
        EXPECT_EQ(t->desc().mipLevels, pk::gpu::fullMipLevels(side, side));
    EXPECT_LT(differenceFromSupersampled(*engine, LookDevSceneState(), 320, 180), 3.2);
}

// Cluster colours come from one id per triangle: a triangle whose corners belong to three
// clusters shows one flat colour, not a rainbow blended between their ids.
TEST_F(EngineFixture, MeshletModeShowsEachTriangleInOneClusterColour) {
    const pk::float3 n(0, 0, 1), grey(0.5f);
    std::vector<StudioVertex> v = {{{-1, 0, 0}, n, {0, 0}, grey, 0, 0},
                                   {{1, 0, 0}, n, {1, 0}, grey, 0, 3},
                                   {{0, 1.5f, 0}, n, {0, 1}, grey, 0, 7}};
    auto data = finishStudioMeshData(std::move(v), {0, 1, 2}, "triangle", "test", 3, 0, false);
    ASSERT_TRUE(data);
    auto mesh = uploadStudioMesh(std::move(*data), *sharedDevice());
    ASSERT_TRUE(mesh);
    auto previous = engine->currentMesh();
    engine->setActiveMesh(mesh);
    LookDevSceneState s;
    s.yaw = 0;
    s.pitch = 0;
    s.shadingMode = ViewportShadingMode::meshletClusters;
    const int w = 96, h = 96;
    auto bytes = engine->renderOffscreenBGRA(w, h, std::nullopt, s);
    engine->setActiveMesh(previous);
    ASSERT_TRUE(bytes);
    // The triangle's pixels are the saturated ones (backdrop and floor are greys); those
    // whose neighbours are all on the triangle keep clear of its antialiased edges.
    auto onTriangle = [&](int x, int y) {
        auto c = rgbAt(*bytes, w, x, y);
        return *std::max_element(c.begin(), c.end()) - *std::min_element(c.begin(), c.end()) > 60;
    };
    std::set<std::array<int, 3>> colours;
    int interior = 0;
    for (int y = 1; y + 1 < h; ++y)
        for (int x = 1; x + 1 < w; ++x) {
            bool inside = true;
            for (int j = -1; j <= 1 && inside; ++j)
                for (int i = -1; i <= 1 && inside; ++i) inside = onTriangle(x + i, y + j);
            if (!inside) continue;
            ++interior;
            colours.insert(rgbAt(*bytes, w, x, y));
        }
    EXPECT_GT(interior, 300);
    EXPECT_EQ(colours.size(), 1u);
}
