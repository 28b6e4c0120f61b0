// What the viewport's frames look like, held against stored frames: work taken out of the
// shading programs for speed must not move a pixel by more than one step of 255.
//
// KS_REGENERATE_VIEWPORT_FIXTURES=1 rewrites the stored frames from the current programs
// instead of comparing; do that only for a change that is meant to alter the look.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "MarblewickLookDevKit/LoadedStudioMesh.h"
#include "MarblewickLookDevKit/LookDevMetalEngine.h"
#include "PlatformKit/Gpu/HeadlessDevice.h"
#include "PlatformKit/Image/Image.h"

using namespace lookdev;

namespace {

std::shared_ptr<pk::gpu::HeadlessDevice> sharedDevice() {
    static auto device = pk::gpu::HeadlessDevice::create();
    return device;
}

struct LookFixture : ::testing::Test {
    static void SetUpTestSuite() {
        engine = LookDevMetalEngine::create(sharedDevice());
        ASSERT_TRUE(engine) << "the engine could not be made";
    }
    static void TearDownTestSuite() { engine.reset(); }
    static inline std::shared_ptr<LookDevMetalEngine> engine;
};

const std::filesystem::path kFixtures = std::filesystem::path(KS_SOURCE_DIR) / "Packages/MarblewickLookDevKit/Tests/Fixtures";

bool regenerating() {
    const char* v = std::getenv("KS_REGENERATE_VIEWPORT_FIXTURES");
    return v && std::string(v) == "1";
}

}  // namespace

// The default scene (shader ball, default material, studio rig, default camera) in every
// shading mode.
TEST_F(LookFixture, DefaultSceneInEveryModeMatchesTheStoredFrames) {
    const int w = 480, h = 270;
    for (auto mode : ViewportShadingMode::allCases) {
        SCOPED_TRACE(mode.title());
        LookDevSceneState s;
        s.shadingMode = mode;
        auto bgra = engine->renderOffscreenBGRA(w, h, std::nullopt, s);
        ASSERT_TRUE(bgra);
        const auto path = kFixtures / ("viewport-mode-" + std::to_string(mode.rawValue()) + ".png");
        if (regenerating()) {
            pk::image::writePng(path, bgra->data(), w, h, size_t(w) * 4, pk::image::ChannelOrder::bgra);
            continue;
        }
        auto stored = pk::image::decodeFile(path);
        ASSERT_TRUE(stored) << path;
        ASSERT_EQ(stored->width, w);
        ASSERT_EQ(stored->height, h);
        int worst = 0, off = 0, firstX = -1, firstY = -1;
        for (int y = 0; y < h; ++y) {
            const uint8_t* ref = stored->row(y);
            const uint8_t* got = bgra->data() + size_t(y) * w * 4;
            for (int x = 0; x < w; ++x) {
                const int d = std::max({std::abs(got[4 * x + 2] - ref[4 * x + 0]), std::abs(got[4 * x + 1] - ref[4 * x + 1]),
                                        std::abs(got[4 * x + 0] - ref[4 * x + 2])});
                if (d > 1) {
                    ++off;
                    if (firstX < 0) firstX = x, firstY = y;
                }
                worst = std::max(worst, d);
            }
        }
        EXPECT_LE(worst, 1) << off << " pixels differ by more than 1/255, the first at " << firstX << "," << firstY;
    }
}
