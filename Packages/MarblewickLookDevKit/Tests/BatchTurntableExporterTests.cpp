// Batch turntables against a fake engine whose meshes come from a headless GPU device.
#include <gtest/gtest.h>

#include <filesystem>
#include <mutex>

#include "MarblewickLookDevKit/StudioBatchExporter.h"
#include "PlatformKit/Foundation/StudioError.h"
#include "PlatformKit/Gpu/HeadlessDevice.h"
#include "PlatformKit/Media/MediaProbe.h"

using namespace lookdev;
namespace fs = std::filesystem;
using Kind = StudioAssetItem::SourceKind;

namespace {

std::shared_ptr<pk::gpu::HeadlessDevice>& gpu() {
    static auto d = pk::gpu::HeadlessDevice::create();
    return d;
}

class FakeEngine : public LookDevBatchEngine {
public:
    FakeEngine() {
        live.materialOverrideBlend = 0.3f;
        live.yaw = 0.25f;
        mesh = std::make_shared<LoadedStudioMesh>(nullptr, nullptr, 0, AssetAuditSummary{}, pk::float3(0), 1.0f, 1.0f,
                                                  std::vector<StudioVertex>{}, std::vector<uint32_t>{}, nullptr);
        original = mesh;
    }
    std::optional<std::vector<uint8_t>> renderOffscreenBGRA(int64_t w, int64_t h, std::optional<float>,
                                                            const std::optional<LookDevSceneState>& state) override {
        std::lock_guard lock(m);
        const int64_t call = renders++;
        blends.push_back(state ? state->materialOverrideBlend : live.materialOverrideBlend);
        meshNames.push_back(mesh ? mesh->audit.name : "");
        if (call == failAt) return std::nullopt;
        return std::vector<uint8_t>(size_t(w * h * 4), 90);
    }
    LookDevSceneState currentSceneState() const override {
        std::lock_guard lock(m);
        return live;
    }
    pk::gpu::Device& device() override { return *gpu(); }
    StudioMeshHandle currentMesh() const override {
        std::lock_guard lock(m);
        return mesh;
    }
    void setActiveMesh(StudioMeshHandle next) override {
        std::lock_guard lock(m);
        mesh = std::move(next);
        ++meshSets;
    }
    void updateSceneState(const std::function<void(LookDevSceneState&)>& edit) override {
        std::lock_guard lock(m);
        edit(live);
    }

    mutable std::mutex m;
    LookDevSceneState live;
    StudioMeshHandle mesh, original;
    int64_t renders = 0, failAt = -1, meshSets = 0;
    std::vector<float> blends;
    std::vector<std::string> meshNames;
};

StudioAssetItem item(std::string name, Kind kind) { return StudioAssetItem{name, name, "", "", std::move(kind)}; }

fs::path freshDir(const std::string& name) {
    const fs::path d = fs::path(KS_TEST_OUTPUT_DIR) / "batch" / name;
    fs::remove_all(d);
    return d;
}

void expectRestored(const FakeEngine& e) {
    EXPECT_EQ(e.currentMesh(), e.original);
    EXPECT_EQ(e.currentSceneState().materialOverrideBlend, 0.3f);
    EXPECT_EQ(e.currentSceneState().yaw, 0.25f);
}

}  // namespace

TEST(BatchTurntables, RendersEachLoadableAssetAndPutsTheEngineBack) {
    ASSERT_TRUE(gpu());
    FakeEngine e;
    const fs::path dir = freshDir("three");
    std::vector<std::pair<double, std::string>> progress;
    std::mutex pm;
    const auto receipt = StudioExporters::exportBatchTurntables(
        e,
        {item("Iron Gate/Left", Kind::builtinShaderBall()), item("Ghost", Kind::mwmeshFile(dir / "missing.mwmesh")),
         item("Cube One", Kind::builtinRoundedCube())},
        TurntableAspectPreset::square1x1, 0.5, std::nullopt, dir, [&](double f, const std::string& name) {
            std::lock_guard lock(pm);
            progress.emplace_back(f, name);
        });
    EXPECT_EQ(receipt.outputDirectory, dir.string());
    EXPECT_EQ(receipt.assetCount, 2);
    EXPECT_EQ(receipt.thumbnailPaths, (std::vector<std::string>{"Iron_Gate_Left_Hero.png", "Cube_One_Hero.png"}));
    ASSERT_EQ(receipt.items.size(), 2u);
    EXPECT_EQ(receipt.items[0].videoPath, (dir / "Iron_Gate_Left_Turntable.mp4").string());
    EXPECT_EQ(receipt.items[1].videoPath, (dir / "Cube_One_Turntable.mp4").string());
    for (const auto& it : receipt.items) {
        EXPECT_EQ(it.frameCount, 30);
        const auto probe = pk::media::probeMedia(it.videoPath);
        ASSERT_TRUE(probe.has_value());
        EXPECT_EQ(probe->streams.at(0).packetCount, 30);
        // A short batch clip of plain frames still comes out at the average bit rate.
        EXPECT_NEAR(probe->streams.at(0).bitsPerSecond(), 16e6, 1.6e6);
    }
    size_t files = 0;
    for ([[maybe_unused]] const auto& f : fs::directory_iterator(dir)) ++files;
    EXPECT_EQ(files, 4u) << "nothing for the asset that did not load";

    // Every frame of both assets drew its own mesh with the material fully on.
    ASSERT_EQ(e.renders, 62);
    for (size_t k = 0; k < 62; ++k) {
        EXPECT_EQ(e.blends[k], 1.0f) << k;
        EXPECT_NE(e.meshNames[k], "") << k;
    }
    EXPECT_NE(e.meshNames[0], e.meshNames[31]);
    ASSERT_EQ(progress.size(), 60u);
    EXPECT_DOUBLE_EQ(progress.front().first, (0 + 1.0 / 30) / 3);
    EXPECT_EQ(progress.front().second, "Iron Gate/Left");
    EXPECT_DOUBLE_EQ(progress.back().first, 1.0);
    EXPECT_EQ(progress.back().second, "Cube One");
    expectRestored(e);

    std::vector<std::string> keys;
    const auto json = receipt.toJson();
    for (const auto& [k, _] : json.items()) keys.push_back(k);
    EXPECT_EQ(keys, (std::vector<std::string>{"outputDirectory", "assetCount", "totalElapsedSec", "items", "thumbnailPaths"}));
}

TEST(BatchTurntables, NoAssetsOrOnlyUnloadableOnesWriteNothing) {
    ASSERT_TRUE(gpu());
    struct Case {
        const char* name;
        std::vector<StudioAssetItem> assets;
    };
    const fs::path base = freshDir("empty");
    for (const Case& c : {Case{"none", {}}, Case{"unloadable", {item("Gone", Kind::mwmeshFile(base / "gone.mwmesh")),
                                                               item("Lost", Kind::externalModel(base / "lost.obj"))}}}) {
        FakeEngine e;
        const fs::path dir = base / c.name;
        const auto receipt = StudioExporters::exportBatchTurntables(e, c.assets, TurntableAspectPreset::square1x1, 1.0,
                                                                    std::nullopt, dir);
        EXPECT_TRUE(fs::is_directory(dir)) << c.name;
        EXPECT_TRUE(fs::is_empty(dir)) << c.name;
        EXPECT_EQ(receipt.assetCount, 0);
        EXPECT_TRUE(receipt.items.empty());
        EXPECT_TRUE(receipt.thumbnailPaths.empty());
        EXPECT_EQ(e.renders, 0);
        expectRestored(e);
    }
}

TEST(BatchTurntables, AFailureOrCancelMidBatchRestoresTheEngineAndKeepsWrittenFiles) {
    ASSERT_TRUE(gpu());
    const std::vector<StudioAssetItem> assets = {item("First", Kind::builtinTorusKnot()),
                                                 item("Second", Kind::builtinShaderBall())};
    {
        FakeEngine e;
        e.failAt = 31;  // the second asset's hero still
        const fs::path dir = freshDir("fails");
        try {
            StudioExporters::exportBatchTurntables(e, assets, TurntableAspectPreset::square1x1, 1.0, std::nullopt, dir);
            ADD_FAILURE() << "the batch did not fail";
        } catch (const pk::StudioError& err) {
            EXPECT_EQ(err.code, 101);
        }
        expectRestored(e);
        EXPECT_TRUE(fs::exists(dir / "First_Hero.png"));
        EXPECT_TRUE(fs::exists(dir / "First_Turntable.mp4"));
        EXPECT_FALSE(fs::exists(dir / "Second_Hero.png"));
    }
    {
        FakeEngine e;
        ExportCancelToken token;
        const fs::path dir = freshDir("cancel");
        try {
            StudioExporters::exportBatchTurntables(e, assets, TurntableAspectPreset::square1x1, 1.0, std::nullopt, dir,
                                                   [&](double f, const std::string&) {
                                                       if (f >= 0.25) token.cancel();
                                                   },
                                                   &token);
            ADD_FAILURE() << "the batch was not cancelled";
        } catch (const pk::StudioError& err) {
            EXPECT_EQ(err.code, 204);
        }
        expectRestored(e);
        EXPECT_TRUE(fs::exists(dir / "First_Hero.png"));
        EXPECT_FALSE(fs::exists(dir / "First_Turntable.mp4")) << "the cancelled video is removed";
        EXPECT_FALSE(fs::exists(dir / "Second_Hero.png"));
    }
}
