#pragma once
// The studio's one view model: everything the window shows and edits, as published
// properties on the main thread, and every user action, which it carries to the engine,
// the synthesizer, the exporters and the score. Outcomes are reported as one line in
// `statusBanner`. Look settings reach the renderer only through syncSceneState().
//
// Threads: everything here belongs to the main thread. The turntable and batch renders
// run on threads of their own and hand progress, completion and failure to the main
// queue; quitting cancels and joins them (cancelAndJoinExports) before the GPU goes.
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "KestreluneStudio/StudioEngine.h"
#include "KestreluneStudio/StudioExportSuite.h"
#include "KestreluneStudio/StudioScorePreview.h"
#include "MarblewickAssetIO/VelMWPakManifestV1085.h"
#include "MarblewickCreatorStudio/VelCinemaLensMMV950.h"
#include "MarblewickCreatorStudio/VelSoundVel4AdaptiveMusicEngineV950.h"
#include "MarblewickLookDevKit/LookDevSceneState.h"
#include "MarblewickLookDevKit/PBRMapPreviews.h"
#include "MarblewickLookDevKit/PBRMaterialParameters.h"
#include "MarblewickLookDevKit/StudioAssetItem.h"
#include "MarblewickLookDevKit/StudioBatchExporter.h"
#include "PlatformKit/Foundation/MainQueue.h"
#include "PlatformKit/Foundation/Published.h"
#include "PlatformKit/Ui/FilePanels.h"

namespace kestrelune {

// The 39 published properties, in declaration order: type, name, initial value. The one
// list both declares them and drives forEachPublished(), so the two cannot disagree.
#define KS_STUDIO_PUBLISHED_PROPERTIES(X)                                                                     \
    X(std::vector<lookdev::StudioAssetItem>, assets)                                                          \
    X(std::string, selectedAssetID, std::string("builtin-shaderball"))                                        \
    X(std::string, assetSearchQuery)                                                                          \
    X(std::optional<lookdev::AssetAuditSummary>, activeAudit)                                                 \
    X(lookdev::PBRMaterialParameters, materialParams)                                                         \
    X(std::optional<std::filesystem::path>, sourcePhotoURL)                                                   \
    X(lookdev::PBRMapPreviews, pbrPreviews)                                                                   \
    X(double, lastSynthesisMs, 0.0)                                                                           \
    X(bool, showMapStrip, true)                                                                               \
    X(lookdev::ViewportShadingMode, shadingMode, lookdev::ViewportShadingMode::beautyPBR)                     \
    X(lookdev::StudioLightingRig, lightingRig, lookdev::StudioLightingRig::softboxClean)                      \
    X(std::optional<std::string>, activeHDRIName)                                                             \
    X(float, customHDRIBlend, 0.0f)                                                                           \
    X(float, hdriRotationDeg, 0.0f)                                                                           \
    X(creator::VelCinemaLensMMV950, lens, creator::VelCinemaLensMMV950::standard50mm)                         \
    X(bool, turntableEnabled, true)                                                                           \
    X(float, turntableSpeed, 0.42f)                                                                           \
    X(float, materialOverrideBlend, 1.0f)                                                                     \
    X(float, materialUVScale, 1.6f)                                                                           \
    X(float, keyIntensity, 2.8f)                                                                              \
    X(float, keyAzimuth, 0.72f)                                                                               \
    X(float, keyElevation, 0.65f)                                                                             \
    X(float, rimIntensity, 1.95f)                                                                             \
    X(float, fillIntensity, 0.62f)                                                                            \
    X(float, exposureEV, 0.12f)                                                                               \
    X(float, floorReflectivity, 0.42f)                                                                        \
    X(double, liveFPS, 60.0)                                                                                  \
    X(bool, showCreatorFacecamOverlay, false)                                                                 \
    X(lookdev::TurntableAspectPreset, turntableAspect, lookdev::TurntableAspectPreset::cinema16x9)            \
    X(double, turntableDurationSec, 4.0)                                                                      \
    X(bool, includeMusicScore, true)                                                                          \
    X(creator::VelMusicIntensityStateV950, musicMood, creator::VelMusicIntensityStateV950::ambientExploration) \
    X(bool, isPreviewingMusic, false)                                                                         \
    X(bool, isExporting, false)                                                                               \
    X(double, exportProgress, 0.0)                                                                            \
    X(std::string, exportLabel)                                                                               \
    X(std::optional<std::string>, statusBanner)                                                               \
    X(std::optional<assetio::VelMWPakStreamReceiptV1085>, lastMWPakReceipt)                                   \
    X(std::optional<lookdev::BatchTurntableReceipt>, lastBatchReceipt)

// What the view model works with. Tests hand in fakes; the application the live engine,
// its exporters, the music engine and the window's file panels.
struct StudioServices {
    std::shared_ptr<StudioEngine> engine;
    std::shared_ptr<StudioExportSuite> exporters;
    std::shared_ptr<StudioScorePreview> score;
    std::shared_ptr<pk::ui::FilePanels> panels;
    // The asset catalogue (StudioAssetCatalog::discoverAssets() when empty).
    std::function<std::vector<lookdev::StudioAssetItem>()> discoverAssets;
    // Where background work reports back (the process's main queue when null).
    pk::MainQueue* mainQueue = nullptr;
    // Runs the GPU jobs that only the owning thread may run (a window's device); renders
    // may wait for them, so joining a render calls it. None when jobs run by themselves.
    std::function<void()> pumpGpu = nullptr;
    // Where the catalogue finds hero kits, named when there is nothing to batch or pack
    // (StudioAssetCatalog::amberCellarDir() when empty).
    std::filesystem::path assetFolder;
};

// The view model's change announcement: sent before any published property changes.
using ChangeAnnouncer = pk::ObserverList<>;

class StudioViewModel {
public:
    // The start-up sequence: defaults, catalogue, the engine's mesh audit and material
    // previews, the frame-rate read-out, and a first scene sync. Cannot fail.
    explicit StudioViewModel(StudioServices services);
    // Cancels and joins running renders, pumping with the services' pumpGpu.
    ~StudioViewModel();
    StudioViewModel(const StudioViewModel&) = delete;
    StudioViewModel& operator=(const StudioViewModel&) = delete;

    StudioEngine& engine() const { return *services_.engine; }
    const std::shared_ptr<StudioEngine>& sharedEngine() const { return services_.engine; }

    // ---- published state ----------------------------------------------------------------
#define KS_STUDIO_DECLARE_PUBLISHED(Type, name, ...) pk::Published<Type> name{__VA_ARGS__};
    KS_STUDIO_PUBLISHED_PROPERTIES(KS_STUDIO_DECLARE_PUBLISHED)
#undef KS_STUDIO_DECLARE_PUBLISHED

    // Announced before every write of any published property.
    ChangeAnnouncer& objectWillChange() { return objectWillChange_; }

    // Calls fn(property, name) for the 39 published properties in declaration order.
    template <class Fn>
    void forEachPublished(Fn&& fn);

    // ---- scene sync ---------------------------------------------------------------------
    // Copies every look setting into the engine's scene state in one edit under its lock;
    // the camera (yaw, pitch, distance, target height) is left to the mouse.
    void syncSceneState();

    // ---- assets, materials, environments ----------------------------------------------
    void importExternalModelPanel();
    void importModel(const std::filesystem::path& url);
    void selectAsset(const lookdev::StudioAssetItem& item);
    // `assets` whose name, category or subtitle holds the trimmed search query, compared
    // as canonically composed text without regard to case.
    std::vector<lookdev::StudioAssetItem> filteredAssets() const;
    // By extension: hdr → environment; png, jpg, jpeg, heic → material; else a model.
    void handleDroppedFile(const std::filesystem::path& url);
    void selectMaterialPreset(lookdev::PBRMaterialPreset preset);
    void resynthesizeMaterial();
    void importPhotoForPBRPanel();
    void forgeMaterialFromPhoto(const std::filesystem::path& url);
    void loadCustomHDRIPanel();
    void loadHDRI(const std::filesystem::path& url);
    void clearCustomHDRI();

    // ---- exports, renders, score ----------------------------------------------------------
    void exportPBRPackPanel();
    void exportStillPNGPanel();
    void exportOBJPanel();
    void exportTurntableMP4Panel();
    void exportBatchTurntablesPanel();
    void packageMWPakPanel();
    void toggleMusicPreview();

    // Quitting: cancels every running render and waits for its thread, calling `pump`
    // (the services' pumpGpu when empty) between checks: the renders may wait for GPU
    // jobs run there. Their reports posted to the main queue then do nothing.
    void cancelAndJoinExports(const std::function<void()>& pump = {});
    // True while a render thread has not finished (its report may still be queued).
    bool hasRunningExports() const;

    // The featured kits a batch renders (at most 4) and the hero files an archive packs
    // (at most 6, the selected hero file first), from the current state.
    std::vector<lookdev::StudioAssetItem> batchKits() const;
    std::vector<std::filesystem::path> archiveFiles() const;

    static constexpr const char* kFeaturedCategory = "Featured Studio Kits";

private:
    struct RunningExport {
        std::thread thread;
        std::shared_ptr<lookdev::ExportCancelToken> cancel;
        std::shared_ptr<std::atomic<bool>> finished;
    };
    // A handle the main queue's work checks before touching the view model.
    using Alive = std::shared_ptr<StudioViewModel*>;

    // The edit syncSceneState() makes.
    void applySceneSettings(lookdev::LookDevSceneState& state) const;
    bool resynthesize();
    static pk::ui::FilePanelRequest panelRequest(pk::ui::FilePanelRequest::Kind kind, std::string title,
                                                 std::vector<pk::ui::FileType> types, std::string defaultName,
                                                 bool canCreateFolders);
    // Shows a panel when the services have panels; onConfirm runs while the view model is there.
    void presentPanel(pk::ui::FilePanelRequest request, std::function<void(const std::filesystem::path&)> onConfirm);
    std::optional<creator::VelMusicIntensityStateV950> exportMusicState() const;
    // One render at a time: true (with a banner saying so) while one runs.
    bool refuseWhileRendering();
    // A name as the stem of a file name: spaces become underscores.
    static std::string fileStem(std::string name);
    // The active audit's name as a file stem ("Kestrelune" without one).
    std::string auditFileStem() const;
    // Runs work on a render thread; whatever it throws reaches failed, with its text, on
    // the main queue while the view model is there. When the thread cannot be started,
    // failed hears why before startRender returns.
    void startRender(std::function<void(const lookdev::ExportCancelToken*, std::weak_ptr<StudioViewModel*>)> work,
                     std::function<void(StudioViewModel&, const std::string&)> failed);
    void joinFinishedExports();
    void finishBatch();

    StudioServices services_;
    ChangeAnnouncer objectWillChange_;
    // The mesh of the view model's own selection, so it can be put back on the engine.
    lookdev::StudioMeshHandle selectedMesh_;
    std::vector<RunningExport> running_;
    Alive alive_;
};

template <class Fn>
void StudioViewModel::forEachPublished(Fn&& fn) {
#define KS_STUDIO_VISIT_PUBLISHED(Type, name, ...) fn(name, #name);
    KS_STUDIO_PUBLISHED_PROPERTIES(KS_STUDIO_VISIT_PUBLISHED)
#undef KS_STUDIO_VISIT_PUBLISHED
}

}  // namespace kestrelune
