#pragma once
// Stand-ins for the view model's services: an engine without a GPU (meshes, packs and
// environments are plain values with placeholder GPU handles), a synthesizer, an
// exporter suite that records calls and answers from a script, and a score.
#include <condition_variable>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "KestreluneStudio/StudioViewModel.h"
#include "MarblewickLookDevKit/PBRMaterialForgeEngine.h"
#include "MarblewickLookDevKit/StudioAssetCatalog.h"
#include "PlatformKit/Foundation/Files.h"
#include "PlatformKit/Foundation/StudioError.h"
#include "PlatformKit/Gpu/Resources.h"

namespace kestrelune::testing {

namespace fs = std::filesystem;
using namespace lookdev;

// A texture handle of the given size that owns no GL object.
inline std::shared_ptr<pk::gpu::Texture> placeholderTexture(int width, int height) {
    pk::gpu::TextureDesc desc;
    desc.width = width;
    desc.height = height;
    return std::make_shared<pk::gpu::Texture>(
        pk::gpu::detail::GlObject(nullptr, pk::gpu::detail::GlObject::Kind::texture, 0), desc);
}

inline StudioMeshHandle fakeMesh(const std::string& name, int64_t triangles) {
    AssetAuditSummary audit;
    audit.name = name;
    audit.formatLabel = "Fake";
    audit.triangleCount = triangles;
    audit.vertexCount = triangles * 3;
    return std::make_shared<LoadedStudioMesh>(nullptr, nullptr, triangles * 3, audit, pk::float3(0.0f), 1.0f, 0.35f,
                                              std::vector<StudioVertex>{}, std::vector<uint32_t>{}, nullptr);
}

inline SynthesizedPBRPack fakePack(const PBRMaterialParameters& params, double ms, int side) {
    SynthesizedPBRPack pack;
    pack.parameters = params;
    pack.albedo = placeholderTexture(side, side);
    pack.normal = placeholderTexture(side, side);
    pack.orm = placeholderTexture(side, side);
    pack.emissive = placeholderTexture(side, side);
    pack.synthesisMs = ms;
    return pack;
}

class FakeSynthesizer : public StudioMaterialSynthesizer {
public:
    struct Call {
        PBRMaterialParameters parameters;
        std::optional<fs::path> photo;
    };
    std::vector<Call> calls;
    std::set<fs::path> unreadablePhotos;
    bool failEverything = false;
    double nextMs = 12.5;

    std::optional<SynthesizedPBRPack> synthesize(const PBRMaterialParameters& p) override {
        calls.push_back({p, std::nullopt});
        if (failEverything) return std::nullopt;
        return fakePack(p, nextMs, PBRMaterialForgeEngine::mapSide(p.resolution));
    }
    std::optional<SynthesizedPBRPack> synthesizeFromPhoto(const fs::path& url,
                                                          const PBRMaterialParameters& p) override {
        calls.push_back({p, url});
        if (failEverything || unreadablePhotos.count(url)) return std::nullopt;
        PBRMaterialParameters made = p;
        made.sourcePhotoName = pk::stem(url);
        return fakePack(made, nextMs, PBRMaterialForgeEngine::mapSide(p.resolution));
    }
    PBRMapPreviews makePreviews(const SynthesizedPBRPack& pack, int maxDimension) override {
        const int side = std::min(pack.albedo ? pack.albedo->width() : 1, maxDimension);
        auto img = pk::image::RgbaImage::blank(side, side);
        return PBRMapPreviews{img, img, img, img};
    }
};

class FakeEngine : public StudioEngine {
public:
    FakeEngine() {
        mesh = fakeMesh("Studio Shader Ball", 24576);
        PBRMaterialParameters defaults;
        pack = fakePack(defaults, 12.5, 1024);
    }

    LookDevSceneState scene;
    int sceneUpdates = 0;
    StudioMeshHandle mesh;
    std::optional<SynthesizedPBRPack> pack;
    std::optional<LoadedHDRIEnvironment> environment;
    std::function<void(double)> fpsCallback;
    FakeSynthesizer forge;

    // Mesh loading: built-ins always load; a file loads when listed here.
    std::map<fs::path, StudioMeshHandle> meshFiles;
    std::vector<std::string> loadedItems;
    // Environment loading by path.
    std::map<fs::path, LoadedHDRIEnvironment> radianceFiles, panoramaFiles;
    std::vector<std::string> cameraCalls;

    void updateSceneState(const std::function<void(LookDevSceneState&)>& edit) override {
        ++sceneUpdates;
        edit(scene);
    }
    LookDevSceneState currentSceneState() const override { return scene; }
    StudioMeshHandle currentMesh() const override { return mesh; }
    void setActiveMesh(StudioMeshHandle m) override { mesh = std::move(m); }
    std::optional<SynthesizedPBRPack> currentPBRPack() const override { return pack; }
    void setActivePBRPack(SynthesizedPBRPack p) override { pack = std::move(p); }
    void setActiveHDRI(std::optional<LoadedHDRIEnvironment> env) override {
        environment = std::move(env);
        scene.customHDRIBlend = environment ? 0.85f : 0.0f;
    }
    void setOnFPSUpdate(std::function<void(double)> cb) override { fpsCallback = std::move(cb); }
    void orbitBy(float dx, float dy) override {
        cameraCalls.push_back("orbit " + std::to_string(dx) + " " + std::to_string(dy));
    }
    void zoomBy(float d) override { cameraCalls.push_back("zoom " + std::to_string(d)); }
    void resetCamera() override { cameraCalls.push_back("reset"); }
    StudioMaterialSynthesizer& pbrForge() override { return forge; }
    StudioMeshHandle loadMesh(const StudioAssetItem& item) override {
        loadedItems.push_back(item.id);
        if (const fs::path* url = item.kind.fileURL()) {
            auto it = meshFiles.find(*url);
            return it == meshFiles.end() ? nullptr : it->second;
        }
        return fakeMesh(item.displayName, 4096);
    }
    std::optional<LoadedHDRIEnvironment> loadRadianceHDR(const fs::path& url) override {
        auto it = radianceFiles.find(url);
        if (it == radianceFiles.end()) return std::nullopt;
        return it->second;
    }
    std::optional<LoadedHDRIEnvironment> loadPanoramicImage(const fs::path& url) override {
        auto it = panoramaFiles.find(url);
        if (it == panoramaFiles.end()) return std::nullopt;
        return it->second;
    }
    int viewportFrames = 0;
    std::shared_ptr<pk::gpu::Texture> drawViewportFrame(int, int) override {
        ++viewportFrames;
        return nullptr;
    }
};

// A gate a render waits at until the test opens it or the render is cancelled.
class Gate {
public:
    void open() {
        std::lock_guard<std::mutex> l(m_);
        open_ = true;
        cv_.notify_all();
    }
    // True when opened, false when cancelled.
    bool wait(const ExportCancelToken* cancel) {
        std::unique_lock<std::mutex> l(m_);
        while (!open_) {
            if (cancel && cancel->isCancelled()) return false;
            cv_.wait_for(l, std::chrono::milliseconds(2));
        }
        return true;
    }

private:
    std::mutex m_;
    std::condition_variable cv_;
    bool open_ = false;
};

class FakeExporters : public StudioExportSuite {
public:
    // What each export answers: an error description, else the value.
    std::optional<std::string> error;
    // Thrown in place of the error, when set: what a library below may throw.
    std::exception_ptr thrown;
    std::vector<fs::path> pbrFiles = {"a_Albedo.png", "a_Normal.png", "a_ORM.png", "a_Emissive.png", "a_Material.json"};
    int64_t stillBytes = 1536;
    int64_t objBytes = 3 * 1024 + 1023;
    assetio::VelMWPakStreamReceiptV1085 pakReceipt;

    // Renders: progress values sent first, then (optionally) wait at the gate.
    std::vector<double> progress = {0.25, 0.5};
    std::vector<std::pair<double, std::string>> batchProgress = {{0.25, "Antique Brass Orrery"}};
    std::shared_ptr<Gate> gate;
    // The turntable waits at the gate whatever the cancel, as a render waits for GPU work.
    bool gateIgnoresCancel = false;
    TurntableExportReceipt turntableReceipt;
    BatchTurntableReceipt batchReceipt;
    // Run by the batch before it returns, as the real batch swaps meshes on the engine.
    std::function<void()> duringBatch;

    // Every call, as "kind" plus its arguments.
    std::mutex callsLock;
    std::vector<std::string> calls;
    std::vector<std::vector<StudioAssetItem>> batchAssets;
    std::vector<std::vector<fs::path>> pakFiles;
    std::optional<creator::VelMusicIntensityStateV950> lastMusic;
    double lastDuration = 0;
    int64_t lastFps = 0;

    void record(std::string call) {
        std::lock_guard<std::mutex> l(callsLock);
        calls.push_back(std::move(call));
    }
    void failIfAsked() {
        if (thrown) std::rethrow_exception(thrown);
        if (error) throw pk::StudioError("Fake", 1, *error);
    }

    std::vector<fs::path> exportPBRPack(const SynthesizedPBRPack&, const fs::path& folder) override {
        record("pbr " + folder.string());
        failIfAsked();
        return pbrFiles;
    }
    int64_t exportStillPNG(int64_t w, int64_t h, const fs::path& to) override {
        record("still " + std::to_string(w) + "x" + std::to_string(h) + " " + to.string());
        failIfAsked();
        return stillBytes;
    }
    int64_t exportOBJ(const LoadedStudioMesh& mesh, const fs::path& to) override {
        record("obj " + mesh.audit.name + " " + to.string());
        failIfAsked();
        return objBytes;
    }
    TurntableExportReceipt exportTurntableMP4(TurntableAspectPreset aspect, double durationSec, int64_t fps,
                                              std::optional<creator::VelMusicIntensityStateV950> music,
                                              const fs::path& to, const std::function<void(double)>& onProgress,
                                              const ExportCancelToken* cancel) override {
        record("turntable " + aspect.rawValue() + " " + to.string());
        lastMusic = music;
        lastDuration = durationSec;
        lastFps = fps;
        for (double p : progress) onProgress(p);
        if (gate && !gate->wait(gateIgnoresCancel ? nullptr : cancel))
            throw pk::StudioError("Fake", 204, "Turntable export cancelled.");
        failIfAsked();
        return turntableReceipt;
    }
    BatchTurntableReceipt exportBatchTurntables(const std::vector<StudioAssetItem>& assets, TurntableAspectPreset,
                                                double durationSec,
                                                std::optional<creator::VelMusicIntensityStateV950> music,
                                                const fs::path& to,
                                                const std::function<void(double, const std::string&)>& onProgress,
                                                const ExportCancelToken* cancel) override {
        record("batch " + to.string());
        {
            std::lock_guard<std::mutex> l(callsLock);
            batchAssets.push_back(assets);
        }
        lastMusic = music;
        lastDuration = durationSec;
        for (const auto& [p, name] : batchProgress) onProgress(p, name);
        if (gate && !gate->wait(cancel)) throw pk::StudioError("Fake", 204, "Batch cancelled.");
        if (duringBatch) duringBatch();
        failIfAsked();
        return batchReceipt;
    }
    assetio::VelMWPakStreamReceiptV1085 packFilesToMWPak(const std::vector<fs::path>& files,
                                                         const fs::path& archive) override {
        record("pak " + archive.string());
        pakFiles.push_back(files);
        failIfAsked();
        return pakReceipt;
    }
};

class FakeScore : public StudioScorePreview {
public:
    std::vector<std::string> calls;
    // What a start throws, as the sound system does without an output device.
    std::optional<std::string> deviceError;
    void start(creator::VelMusicIntensityStateV950 mood) override {
        calls.push_back(std::string("start ") + mood.rawValue());
        if (deviceError) throw pk::StudioError("SDL", -2, *deviceError);
    }
    void stop() override { calls.push_back("stop"); }
};

// The catalogue's three built-in items, as the real catalogue lists them.
inline std::vector<StudioAssetItem> builtinItems() {
    return StudioAssetCatalog::discoverAssets(fs::path("/nonexistent-kestrelune-assets"));
}

inline StudioAssetItem heroItem(const std::string& id, const std::string& name, const std::string& category,
                                const fs::path& url) {
    return {id, name, "Hero", category, StudioAssetItem::SourceKind::mwmeshFile(url)};
}

}  // namespace kestrelune::testing
