#include "KestreluneStudio/LiveStudioEngine.h"

#include "MarblewickAssetIO/VelMWPakBinaryArchiveStreamerV1085.h"
#include "MarblewickLookDevKit/PBRPackExporter.h"
#include "MarblewickLookDevKit/StudioExporters.h"

namespace kestrelune {

using namespace lookdev;
namespace fs = std::filesystem;

namespace {

class LiveSynthesizer final : public StudioMaterialSynthesizer {
public:
    explicit LiveSynthesizer(std::shared_ptr<PBRMaterialForgeEngine> forge) : forge_(std::move(forge)) {}

    std::optional<SynthesizedPBRPack> synthesize(const PBRMaterialParameters& parameters) override {
        return forge_ ? forge_->synthesize(parameters) : std::nullopt;
    }
    std::optional<SynthesizedPBRPack> synthesizeFromPhoto(const fs::path& imageURL,
                                                          const PBRMaterialParameters& parameters) override {
        return forge_ ? forge_->synthesizeFromPhoto(imageURL, parameters) : std::nullopt;
    }
    PBRMapPreviews makePreviews(const SynthesizedPBRPack& pack, int maxDimension) override {
        if (!forge_) return {};
        return PBRMaterialForgeEngine::makePreviews(*forge_->device(), pack, maxDimension);
    }

private:
    std::shared_ptr<PBRMaterialForgeEngine> forge_;
};

}  // namespace

// The viewport's render target, remade when the drawable size changes. The sample
// count and formats are the ones the engine's pipelines are built for.
struct LiveStudioEngine::ViewportTarget {
    int width = 0, height = 0;
    std::shared_ptr<pk::gpu::Texture> resolve;
    std::shared_ptr<pk::gpu::Framebuffer> framebuffer;
};

LiveStudioEngine::LiveStudioEngine(std::shared_ptr<LookDevMetalEngine> engine)
    : engine_(std::move(engine)),
      forge_(std::make_unique<LiveSynthesizer>(engine_->pbrForge())),
      target_(std::make_unique<ViewportTarget>()) {}

LiveStudioEngine::~LiveStudioEngine() = default;

void LiveStudioEngine::updateSceneState(const std::function<void(LookDevSceneState&)>& edit) {
    engine_->updateSceneState(edit);
}
LookDevSceneState LiveStudioEngine::currentSceneState() const { return engine_->currentSceneState(); }
StudioMeshHandle LiveStudioEngine::currentMesh() const { return engine_->currentMesh(); }
void LiveStudioEngine::setActiveMesh(StudioMeshHandle mesh) { engine_->setActiveMesh(std::move(mesh)); }
std::optional<SynthesizedPBRPack> LiveStudioEngine::currentPBRPack() const { return engine_->currentPBRPack(); }
void LiveStudioEngine::setActivePBRPack(SynthesizedPBRPack pack) { engine_->setActivePBRPack(std::move(pack)); }
void LiveStudioEngine::setActiveHDRI(std::optional<LoadedHDRIEnvironment> environment) {
    engine_->setActiveHDRI(std::move(environment));
}
void LiveStudioEngine::setOnFPSUpdate(std::function<void(double)> callback) {
    engine_->setOnFPSUpdate(std::move(callback));
}
void LiveStudioEngine::orbitBy(float deltaX, float deltaY) { engine_->orbitBy(deltaX, deltaY); }
void LiveStudioEngine::zoomBy(float delta) { engine_->zoomBy(delta); }
void LiveStudioEngine::resetCamera() { engine_->resetCamera(); }
StudioMaterialSynthesizer& LiveStudioEngine::pbrForge() { return *forge_; }

StudioMeshHandle LiveStudioEngine::loadMesh(const StudioAssetItem& item) { return loadAsset(item, engine_->device()); }
std::optional<LoadedHDRIEnvironment> LiveStudioEngine::loadRadianceHDR(const fs::path& url) {
    return HDRIEnvironmentLoader::loadRadianceHDR(url, engine_->device());
}
std::optional<LoadedHDRIEnvironment> LiveStudioEngine::loadPanoramicImage(const fs::path& url) {
    return HDRIEnvironmentLoader::loadPanoramicImage(url, engine_->device());
}

std::shared_ptr<pk::gpu::Texture> LiveStudioEngine::drawViewportFrame(int drawableWidth, int drawableHeight) {
    if (drawableWidth < 1 || drawableHeight < 1) return nullptr;
    pk::gpu::Device& device = engine_->device();
    ViewportTarget& t = *target_;
    try {
        if (!t.framebuffer || t.width != drawableWidth || t.height != drawableHeight) {
            t = ViewportTarget{};
            const pk::gpu::FramebufferDesc fb =
                LookDevMetalEngine::makeViewportTargetTextures(device, drawableWidth, drawableHeight);
            t.framebuffer = device.makeFramebuffer(fb);
            t.resolve = fb.resolve;
            t.width = drawableWidth;
            t.height = drawableHeight;
        }
    } catch (const std::exception&) {
        t = ViewportTarget{};
        return nullptr;
    }
    if (!engine_->drawFrame(*t.framebuffer, drawableWidth, drawableHeight)) return nullptr;
    return t.resolve;
}

// ---- exporters ----------------------------------------------------------------------------

std::vector<fs::path> LiveStudioExportSuite::exportPBRPack(const SynthesizedPBRPack& pack, const fs::path& folder) {
    return StudioExporters::exportPBRPack(engine_->device(), pack, folder);
}

int64_t LiveStudioExportSuite::exportStillPNG(int64_t width, int64_t height, const fs::path& to) {
    return StudioExporters::exportStillPNG(*engine_, width, height, to, std::nullopt, std::nullopt);
}

int64_t LiveStudioExportSuite::exportOBJ(const LoadedStudioMesh& mesh, const fs::path& to) {
    return StudioExporters::exportOBJ(mesh, to);
}

TurntableExportReceipt LiveStudioExportSuite::exportTurntableMP4(
    TurntableAspectPreset aspect, double durationSec, int64_t fps,
    std::optional<creator::VelMusicIntensityStateV950> musicState, const fs::path& to,
    const std::function<void(double)>& onProgress, const ExportCancelToken* cancel) {
    return StudioExporters::exportTurntableMP4(*engine_, aspect, durationSec, fps, musicState, to, onProgress, cancel);
}

BatchTurntableReceipt LiveStudioExportSuite::exportBatchTurntables(
    const std::vector<StudioAssetItem>& assets, TurntableAspectPreset aspect, double durationSec,
    std::optional<creator::VelMusicIntensityStateV950> musicState, const fs::path& to,
    const std::function<void(double, const std::string&)>& onProgress, const ExportCancelToken* cancel) {
    return StudioExporters::exportBatchTurntables(*engine_, assets, aspect, durationSec, musicState, to, onProgress,
                                                  cancel);
}

assetio::VelMWPakStreamReceiptV1085 LiveStudioExportSuite::packFilesToMWPak(const std::vector<fs::path>& fileURLs,
                                                                            const fs::path& archiveURL) {
    return assetio::VelMWPakBinaryArchiveStreamerV1085::packFilesToMWPak(fileURLs, archiveURL, &engine_->device());
}

}  // namespace kestrelune
