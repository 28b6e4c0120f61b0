#pragma once
// The studio's engine interface over the real renderer (LookDevMetalEngine) and its
// synthesizer, plus the exporter suite that renders with it.
#include <memory>

#include "KestreluneStudio/StudioEngine.h"
#include "KestreluneStudio/StudioExportSuite.h"
#include "MarblewickLookDevKit/LookDevMetalEngine.h"

namespace kestrelune {

class LiveStudioEngine final : public StudioEngine {
public:
    explicit LiveStudioEngine(std::shared_ptr<lookdev::LookDevMetalEngine> engine);
    ~LiveStudioEngine() override;

    const std::shared_ptr<lookdev::LookDevMetalEngine>& renderer() const { return engine_; }

    void updateSceneState(const std::function<void(lookdev::LookDevSceneState&)>& edit) override;
    lookdev::LookDevSceneState currentSceneState() const override;
    lookdev::StudioMeshHandle currentMesh() const override;
    void setActiveMesh(lookdev::StudioMeshHandle mesh) override;
    std::optional<lookdev::SynthesizedPBRPack> currentPBRPack() const override;
    void setActivePBRPack(lookdev::SynthesizedPBRPack pack) override;
    void setActiveHDRI(std::optional<lookdev::LoadedHDRIEnvironment> environment) override;
    void setOnFPSUpdate(std::function<void(double)> callback) override;
    void orbitBy(float deltaX, float deltaY) override;
    void zoomBy(float delta) override;
    void resetCamera() override;
    StudioMaterialSynthesizer& pbrForge() override;
    lookdev::StudioMeshHandle loadMesh(const lookdev::StudioAssetItem& item) override;
    std::optional<lookdev::LoadedHDRIEnvironment> loadRadianceHDR(const std::filesystem::path& url) override;
    std::optional<lookdev::LoadedHDRIEnvironment> loadPanoramicImage(const std::filesystem::path& url) override;
    std::shared_ptr<pk::gpu::Texture> drawViewportFrame(int drawableWidth, int drawableHeight) override;

private:
    struct ViewportTarget;
    std::shared_ptr<lookdev::LookDevMetalEngine> engine_;
    std::unique_ptr<StudioMaterialSynthesizer> forge_;
    std::unique_ptr<ViewportTarget> target_;
};

class LiveStudioExportSuite final : public StudioExportSuite {
public:
    explicit LiveStudioExportSuite(std::shared_ptr<lookdev::LookDevMetalEngine> engine) : engine_(std::move(engine)) {}

    std::vector<std::filesystem::path> exportPBRPack(const lookdev::SynthesizedPBRPack& pack,
                                                     const std::filesystem::path& folder) override;
    int64_t exportStillPNG(int64_t width, int64_t height, const std::filesystem::path& to) override;
    int64_t exportOBJ(const lookdev::LoadedStudioMesh& mesh, const std::filesystem::path& to) override;
    lookdev::TurntableExportReceipt exportTurntableMP4(lookdev::TurntableAspectPreset aspect, double durationSec,
                                                       int64_t fps,
                                                       std::optional<creator::VelMusicIntensityStateV950> musicState,
                                                       const std::filesystem::path& to,
                                                       const std::function<void(double)>& onProgress,
                                                       const lookdev::ExportCancelToken* cancel) override;
    lookdev::BatchTurntableReceipt exportBatchTurntables(
        const std::vector<lookdev::StudioAssetItem>& assets, lookdev::TurntableAspectPreset aspect, double durationSec,
        std::optional<creator::VelMusicIntensityStateV950> musicState, const std::filesystem::path& to,
        const std::function<void(double, const std::string&)>& onProgress,
        const lookdev::ExportCancelToken* cancel) override;
    assetio::VelMWPakStreamReceiptV1085 packFilesToMWPak(const std::vector<std::filesystem::path>& fileURLs,
                                                         const std::filesystem::path& archiveURL) override;

private:
    std::shared_ptr<lookdev::LookDevMetalEngine> engine_;
};

}  // namespace kestrelune
