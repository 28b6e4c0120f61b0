#pragma once
// One full camera turn around the hero mesh, rendered offscreen frame by frame and
// written as an H.264 MP4, optionally with the adaptive score as a stereo AAC track.
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "MarblewickCreatorStudio/VelSoundVel4AdaptiveMusicEngineV950.h"
#include "MarblewickLookDevKit/LookDevOffscreenRenderer.h"
#include "MarblewickLookDevKit/LookDevSceneState.h"
#include "MarblewickLookDevKit/StudioExportFiles.h"
#include "PlatformKit/Foundation/Json.h"

namespace lookdev {

struct TurntableExportReceipt {
    std::string videoPath;
    int64_t width = 0;
    int64_t height = 0;
    int64_t frameCount = 0;
    double durationSeconds = 0;
    int64_t fileSizeBytes = 0;
    bool includesAudioScore = false;
    double renderElapsedSec = 0;

    bool operator==(const TurntableExportReceipt&) const = default;
    // Keys in declaration order.
    pk::json::OrderedJson toJson() const;
    static TurntableExportReceipt fromJson(const pk::json::OrderedJson& j);
};

// Set from any thread to stop an export; checked once per frame.
class ExportCancelToken {
public:
    void cancel() { cancelled_.store(true); }
    bool isCancelled() const { return cancelled_.load(); }

private:
    std::atomic<bool> cancelled_{false};
};

namespace StudioExporters {

// Blocks until the file is finished. Frames: max(30, trunc(durationSec × fps)), each at
// yaw base + i / frameCount × 2π from one copy of the scene state, drawn and read back on
// the calling thread (which may be the device's owner: the encoder and audio threads
// never touch the device), each drawn while the one before comes back and is encoded.
// onProgress is called after every frame is drawn (or skipped) on the calling thread. Throws: the file
// system's errors with their errno (an old file that cannot be removed, a folder in its
// place) and the writer's own errors; 202 "MP4 export failed." when no frame could be
// written or the writer did not complete; 202 with the exception's text when the
// renderer, onProgress or anything else on the drawing, video or audio thread throws (a
// StudioError from there is passed on as it is); 203 for a duration or frame rate that
// cannot be counted in frames (checked before anything is touched); 204 when cancelled.
// An export that throws leaves no file at the path.
TurntableExportReceipt exportTurntableMP4(LookDevOffscreenRenderer& engine, TurntableAspectPreset aspect,
                                          double durationSec, int64_t fps,
                                          std::optional<creator::VelMusicIntensityStateV950> musicState,
                                          const std::filesystem::path& to,
                                          const std::function<void(double)>& onProgress = {},
                                          const ExportCancelToken* cancel = nullptr);

}  // namespace StudioExporters

}  // namespace lookdev
