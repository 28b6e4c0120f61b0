#include "KestreluneStudio/StudioViewModel.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <system_error>

#include "MarblewickLookDevKit/StudioAssetCatalog.h"
#include "PlatformKit/Foundation/JobGuard.h"

namespace kestrelune {

using namespace lookdev;
namespace fs = std::filesystem;

// ---- start-up ---------------------------------------------------------------------------

StudioViewModel::StudioViewModel(StudioServices services)
    : services_(std::move(services)), alive_(std::make_shared<StudioViewModel*>(this)) {
    if (!services_.engine) throw std::invalid_argument("StudioViewModel needs an engine");
    if (!services_.mainQueue) services_.mainQueue = &pk::MainQueue::main();
    if (!services_.discoverAssets) services_.discoverAssets = [] { return StudioAssetCatalog::discoverAssets(); };
    if (services_.assetFolder.empty()) services_.assetFolder = StudioAssetCatalog::amberCellarDir();

    forEachPublished(
        [this](auto& property, const char*) { property.observe([this](const auto&) { objectWillChange_.send(); }); });

    assets = services_.discoverAssets();

    selectedMesh_ = engine().currentMesh();
    activeAudit = selectedMesh_ ? std::optional<AssetAuditSummary>(selectedMesh_->audit) : std::nullopt;

    if (auto pack = engine().currentPBRPack()) {
        lastSynthesisMs = pack->synthesisMs;
        pbrPreviews = engine().pbrForge().makePreviews(*pack, 220);
    }

    // Holds the view model weakly: a rate that arrives after it is gone does nothing.
    engine().setOnFPSUpdate([weak = std::weak_ptr<StudioViewModel*>(alive_), queue = services_.mainQueue](double fps) {
        queue->post([weak, fps] {
            if (auto self = weak.lock()) (*self)->liveFPS = fps;
        });
    });

    syncSceneState();
}

StudioViewModel::~StudioViewModel() {
    cancelAndJoinExports();
    alive_.reset();
}

// ---- scene sync ---------------------------------------------------------------------------

void StudioViewModel::syncSceneState() {
    engine().updateSceneState([this](LookDevSceneState& state) { applySceneSettings(state); });
}

void StudioViewModel::applySceneSettings(LookDevSceneState& s) const {
    s.shadingMode = *shadingMode;
    s.lightingRig = *lightingRig;
    s.lens = *lens;
    s.turntableEnabled = *turntableEnabled;
    s.turntableSpeed = *turntableSpeed;
    s.materialOverrideBlend = *materialOverrideBlend;
    s.materialUVScale = *materialUVScale;
    s.keyIntensity = *keyIntensity;
    s.keyAzimuth = *keyAzimuth;
    s.keyElevation = *keyElevation;
    s.rimIntensity = *rimIntensity;
    s.fillIntensity = *fillIntensity;
    s.exposureEV = *exposureEV;
    s.floorReflectivity = *floorReflectivity;
    // The blend only counts while a custom environment is loaded.
    s.customHDRIBlend = activeHDRIName->has_value() ? *customHDRIBlend : 0.0f;
    // The float just below single-precision pi, product first: receipts and renders made
    // elsewhere rely on exactly these radians.
    constexpr float kPi = 3.1415925f;
    const float product = *hdriRotationDeg * kPi;
    s.hdriRotationRad = product / 180.0f;
}

// ---- background renders ---------------------------------------------------------------------

void StudioViewModel::startRender(std::function<void(const ExportCancelToken*, std::weak_ptr<StudioViewModel*>)> work,
                                  std::function<void(StudioViewModel&, const std::string&)> failed) {
    joinFinishedExports();
    RunningExport r;
    r.cancel = std::make_shared<ExportCancelToken>();
    r.finished = std::make_shared<std::atomic<bool>>(false);
    // Kept for a thread that cannot be started: that render fails at once, here on the main
    // thread, with the text of why.
    auto failedHere = failed;
    try {
        r.thread = std::thread([work = std::move(work), failed = std::move(failed), queue = services_.mainQueue,
                                cancel = r.cancel, finished = r.finished, weak = std::weak_ptr<StudioViewModel*>(alive_)] {
            // Whatever the render throws is its failure, told on the main queue.
            pk::runGuarded("Render", [&] { work(cancel.get(), weak); }, [&](const pk::JobFailure& f) {
                queue->post([weak, failed, text = f.description()] {
                    if (auto self = weak.lock()) failed(**self, text);
                });
            });
            // Set in any case: quitting waits for it.
            finished->store(true);
        });
    } catch (const std::system_error&) {
        failedHere(*this, pk::JobFailure(std::current_exception()).description());
        return;
    }
    running_.push_back(std::move(r));
}

void StudioViewModel::joinFinishedExports() {
    for (auto it = running_.begin(); it != running_.end();) {
        if (it->finished->load()) {
            if (it->thread.joinable()) it->thread.join();
            it = running_.erase(it);
        } else {
            ++it;
        }
    }
}

void StudioViewModel::cancelAndJoinExports(const std::function<void()>& pump) {
    const std::function<void()>& runJobs = pump ? pump : services_.pumpGpu;
    for (auto& r : running_) r.cancel->cancel();
    for (auto& r : running_) {
        // A render may be waiting for GPU work that only this thread runs.
        while (!r.finished->load()) {
            if (runJobs) runJobs();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        if (r.thread.joinable()) r.thread.join();
    }
    running_.clear();
}

bool StudioViewModel::hasRunningExports() const {
    for (const auto& r : running_)
        if (!r.finished->load()) return true;
    return false;
}

// ---- shared helpers ---------------------------------------------------------------------------

pk::ui::FilePanelRequest StudioViewModel::panelRequest(pk::ui::FilePanelRequest::Kind kind, std::string title,
                                                       std::vector<pk::ui::FileType> types, std::string defaultName,
                                                       bool canCreateFolders) {
    pk::ui::FilePanelRequest r;
    r.kind = kind;
    r.title = std::move(title);
    r.allowedTypes = std::move(types);
    r.defaultName = std::move(defaultName);
    r.canCreateFolders = canCreateFolders;
    return r;
}

void StudioViewModel::presentPanel(pk::ui::FilePanelRequest request, std::function<void(const fs::path&)> onConfirm) {
    if (!services_.panels) return;
    services_.panels->present(std::move(request), [weak = std::weak_ptr<StudioViewModel*>(alive_),
                                                   onConfirm = std::move(onConfirm)](const fs::path& url) {
        // A panel answered after the view model is gone does nothing.
        if (weak.lock()) onConfirm(url);
    });
}

std::optional<creator::VelMusicIntensityStateV950> StudioViewModel::exportMusicState() const {
    if (!*includeMusicScore) return std::nullopt;
    return *musicMood;
}

std::string StudioViewModel::fileStem(std::string name) {
    std::replace(name.begin(), name.end(), ' ', '_');
    return name;
}

std::string StudioViewModel::auditFileStem() const {
    if (!activeAudit->has_value()) return "Kestrelune";
    return fileStem((*activeAudit)->name);
}

}  // namespace kestrelune
