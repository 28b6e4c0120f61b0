#include "MarblewickLookDevKit/StudioBatchExporter.h"

#include "MarblewickLookDevKit/StudioExporters.h"
#include "PlatformKit/Foundation/Clock.h"
#include "PlatformKit/Foundation/Files.h"
#include "PlatformKit/Foundation/Numbers.h"
#include "PlatformKit/Foundation/StudioError.h"

namespace lookdev {

namespace fs = std::filesystem;

pk::json::OrderedJson BatchTurntableReceipt::toJson() const {
    pk::json::OrderedJson j = pk::json::OrderedJson::object();
    j["outputDirectory"] = outputDirectory;
    j["assetCount"] = assetCount;
    j["totalElapsedSec"] = pk::json::doubleNumber(totalElapsedSec);
    pk::json::OrderedJson list = pk::json::OrderedJson::array();
    for (const auto& item : items) list.push_back(item.toJson());
    j["items"] = list;
    j["thumbnailPaths"] = thumbnailPaths;
    return j;
}

namespace StudioExporters {

namespace {

// The three built-in meshes show the synthesized material; file meshes their own look.
bool isBuiltin(const StudioAssetItem::SourceKind& kind) { return kind.fileURL() == nullptr; }

}  // namespace

BatchTurntableReceipt exportBatchTurntables(LookDevBatchEngine& engine, const std::vector<StudioAssetItem>& assets,
                                            TurntableAspectPreset aspect, double durationSec,
                                            std::optional<creator::VelMusicIntensityStateV950> musicState,
                                            const fs::path& to,
                                            const std::function<void(double, const std::string&)>& onProgress,
                                            const ExportCancelToken* cancel) {
    const auto clock = pk::Clock::system();
    const double start = clock->now();
    pk::createDirectories(to);

    const StudioMeshHandle savedMesh = engine.currentMesh();
    const LookDevSceneState savedState = engine.currentSceneState();
    auto restore = [&] {
        if (savedMesh) engine.setActiveMesh(savedMesh);
        engine.updateSceneState([&](LookDevSceneState& s) { s = savedState; });
    };

    BatchTurntableReceipt receipt;
    const double d = double(std::max<size_t>(assets.size(), 1));
    const auto dims = aspect.dimensions();
    try {
        for (size_t i = 0; i < assets.size(); ++i) {
            if (cancel && cancel->isCancelled()) throw pk::StudioError(kErrorDomain, 204, "Turntable export was cancelled.");
            const StudioAssetItem& asset = assets[i];
            StudioMeshHandle mesh = loadAsset(asset, engine.device());
            if (!mesh) continue;
            engine.setActiveMesh(mesh);
            const float blend = isBuiltin(asset.kind) ? 1.0f : 0.0f;
            engine.updateSceneState([&](LookDevSceneState& s) { s.materialOverrideBlend = blend; });

            const std::string name = underscored(asset.displayName);
            const fs::path still = to / (name + "_Hero.png");
            exportStillPNG(engine, dims.width, dims.height, still);
            receipt.thumbnailPaths.push_back(pk::lastComponent(still));

            std::function<void(double)> progress;
            if (onProgress) {
                progress = [&, i](double f) { onProgress((double(i) + f) / d, asset.displayName); };
            }
            receipt.items.push_back(exportTurntableMP4(engine, aspect, durationSec, 30, musicState,
                                                       to / (name + "_Turntable.mp4"), progress, cancel));
        }
    } catch (...) {
        restore();
        throw;
    }
    receipt.outputDirectory = to.string();
    receipt.assetCount = int64_t(receipt.items.size());
    receipt.totalElapsedSec = pk::roundTo(clock->now() - start, 2);
    restore();
    return receipt;
}

}  // namespace StudioExporters

}  // namespace lookdev
