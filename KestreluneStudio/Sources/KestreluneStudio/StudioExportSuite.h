#pragma once
// The exporters the studio's commands call, as an interface (the live suite renders
// with the engine; tests record calls and answer from a script). Each throws the
// exporter's error; the view model shows its description.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "MarblewickAssetIO/VelMWPakManifestV1085.h"
#include "MarblewickCreatorStudio/VelSoundVel4AdaptiveMusicEngineV950.h"
#include "MarblewickLookDevKit/LoadedStudioMesh.h"
#include "MarblewickLookDevKit/StudioAssetItem.h"
#include "MarblewickLookDevKit/StudioBatchExporter.h"
#include "MarblewickLookDevKit/StudioTurntableExporter.h"
#include "MarblewickLookDevKit/SynthesizedPBRPack.h"

namespace kestrelune {

class StudioExportSuite {
public:
    virtual ~StudioExportSuite() = default;

    // Four PNG maps and a manifest into `folder`; the written files.
    virtual std::vector<std::filesystem::path> exportPBRPack(const lookdev::SynthesizedPBRPack& pack,
                                                             const std::filesystem::path& folder) = 0;
    // The live scene rendered at width × height as PNG; the file's size in bytes.
    virtual int64_t exportStillPNG(int64_t width, int64_t height, const std::filesystem::path& to) = 0;
    // The file's size in bytes.
    virtual int64_t exportOBJ(const lookdev::LoadedStudioMesh& mesh, const std::filesystem::path& to) = 0;

    // The two renders run on a background thread and block it until the file is done;
    // progress arrives on the exporter's own thread. Cancelling makes them throw.
    virtual lookdev::TurntableExportReceipt exportTurntableMP4(
        lookdev::TurntableAspectPreset aspect, double durationSec, int64_t fps,
        std::optional<creator::VelMusicIntensityStateV950> musicState, const std::filesystem::path& to,
        const std::function<void(double)>& onProgress, const lookdev::ExportCancelToken* cancel) = 0;
    virtual lookdev::BatchTurntableReceipt exportBatchTurntables(
        const std::vector<lookdev::StudioAssetItem>& assets, lookdev::TurntableAspectPreset aspect, double durationSec,
        std::optional<creator::VelMusicIntensityStateV950> musicState, const std::filesystem::path& to,
        const std::function<void(double, const std::string&)>& onProgress,
        const lookdev::ExportCancelToken* cancel) = 0;

    // The compressed pack archive of the files, streamed back onto the engine's device.
    virtual assetio::VelMWPakStreamReceiptV1085 packFilesToMWPak(const std::vector<std::filesystem::path>& fileURLs,
                                                                 const std::filesystem::path& archiveURL) = 0;
};

}  // namespace kestrelune
