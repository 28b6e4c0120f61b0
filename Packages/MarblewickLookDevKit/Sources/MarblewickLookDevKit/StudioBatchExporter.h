#pragma once
// A batch of turntable videos, one hero still and one video per asset, rendered by
// making each asset's mesh the engine's active mesh in turn and putting the engine's
// mesh and scene state back afterwards.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "MarblewickLookDevKit/LookDevBatchEngine.h"
#include "MarblewickLookDevKit/StudioAssetItem.h"
#include "MarblewickLookDevKit/StudioTurntableExporter.h"

namespace lookdev {

struct BatchTurntableReceipt {
    std::string outputDirectory;
    int64_t assetCount = 0;
    double totalElapsedSec = 0;
    std::vector<TurntableExportReceipt> items;
    std::vector<std::string> thumbnailPaths;  // file names of the hero stills

    bool operator==(const BatchTurntableReceipt&) const = default;
    pk::json::OrderedJson toJson() const;  // keys in declaration order
};

namespace StudioExporters {

// Assets whose mesh cannot be loaded are skipped. Any other failure (still, video,
// cancellation between or inside videos) ends the batch with the engine restored; files
// already written stay. onProgress gets ((i + video fraction) / max(n, 1), display name)
// on the calling thread, which draws and reads back every frame and may be the device's
// owner.
BatchTurntableReceipt exportBatchTurntables(
    LookDevBatchEngine& engine, const std::vector<StudioAssetItem>& assets, TurntableAspectPreset aspect,
    double durationSec, std::optional<creator::VelMusicIntensityStateV950> musicState,
    const std::filesystem::path& to, const std::function<void(double, const std::string&)>& onProgress = {},
    const ExportCancelToken* cancel = nullptr);

}  // namespace StudioExporters

}  // namespace lookdev
