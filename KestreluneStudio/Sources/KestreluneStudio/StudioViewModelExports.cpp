// The view model's exports, renders and score preview. Still, OBJ, PBR pack and archive
// exports run on the main thread; the turntable and batch renders on a thread of their
// own, reporting through the main queue.
#include <algorithm>

#include "KestreluneStudio/StudioTexts.h"
#include "KestreluneStudio/StudioViewModel.h"
#include "PlatformKit/Foundation/Files.h"
#include "PlatformKit/Foundation/Numbers.h"
#include "PlatformKit/Foundation/StudioError.h"

namespace kestrelune {

using namespace lookdev;
using pk::ui::FilePanelRequest;
using pk::ui::FileType;
namespace fs = std::filesystem;

namespace {

std::string describe(const std::exception& e) { return e.what(); }

// Runs fn on the main queue if the view model is still there.
void onMain(pk::MainQueue* queue, const std::weak_ptr<StudioViewModel*>& weak,
            std::function<void(StudioViewModel&)> fn) {
    queue->post([weak, fn = std::move(fn)] {
        if (auto self = weak.lock()) fn(**self);
    });
}

// "None of the 3 hero mesh files could be read." ("The hero mesh file could not be read." for one).
std::string unreadableText(size_t count, const std::string& what) {
    if (count == 1) return "The " + what + " could not be read.";
    return "None of the " + std::to_string(count) + " " + what + "s could be read.";
}

std::string archiveBanner(const assetio::VelMWPakStreamReceiptV1085& r) {
    return pk::formatC("Built .mwpak (%d assets \u00B7 %s size \u00B7 %.0f MB/s GPU stream)",
                       static_cast<int>(r.entryCount), compressionReductionText(r.compressionSavingsPct).c_str(),
                       r.mtlIOBandwidthMBps);
}

}  // namespace

std::vector<StudioAssetItem> StudioViewModel::batchKits() const {
    std::vector<StudioAssetItem> kits;
    for (const auto& a : *assets) {
        if (kits.size() == 4) break;
        if (a.category == kFeaturedCategory) kits.push_back(a);
    }
    return kits;
}

std::vector<fs::path> StudioViewModel::archiveFiles() const {
    std::vector<fs::path> files;
    for (const auto& a : *assets) {
        if (a.id != *selectedAssetID) continue;
        if (const auto* m = std::get_if<StudioAssetItem::SourceKind::MwmeshFile>(&a.kind.value))
            files.push_back(m->url);
        break;
    }
    for (const auto& a : *assets) {
        if (files.size() >= 6) break;
        if (a.category != kFeaturedCategory) continue;
        const auto* m = std::get_if<StudioAssetItem::SourceKind::MwmeshFile>(&a.kind.value);
        if (!m || std::find(files.begin(), files.end(), m->url) != files.end()) continue;
        files.push_back(m->url);
    }
    return files;
}

// ---- main-thread exports --------------------------------------------------------------------------

void StudioViewModel::exportPBRPackPanel() {
    presentPanel(panelRequest(FilePanelRequest::Kind::folder, "Choose Folder for 4-Map PBR Texture Pack", {}, {}, true),
                 [this](const fs::path& folder) {
                     const auto pack = engine().currentPBRPack();
                     if (!pack) return;
                     try {
                         const auto files = services_.exporters->exportPBRPack(*pack, folder);
                         const int w = pack->albedo ? pack->albedo->width() : 0;
                         const int h = pack->albedo ? pack->albedo->height() : 0;
                         statusBanner = "Exported " + std::to_string(files.size()) + " PBR files (" +
                                        std::to_string(w) + "\u00D7" + std::to_string(h) + ") to " +
                                        pk::lastComponent(folder);
                     } catch (const std::exception& e) {
                         statusBanner = "Export failed: " + describe(e);
                     }
                 });
}

void StudioViewModel::exportStillPNGPanel() {
    presentPanel(panelRequest(FilePanelRequest::Kind::save, "Export Studio Snapshot PNG", {FileType::png()},
                              auditFileStem() + "_LookDev.png", false),
                 [this](const fs::path& url) {
                     constexpr int64_t kWidth = 2560, kHeight = 1440;
                     try {
                         const int64_t bytes = services_.exporters->exportStillPNG(kWidth, kHeight, url);
                         statusBanner = "Saved " + std::to_string(kWidth) + "\u00D7" + std::to_string(kHeight) +
                                        " studio render (" + std::to_string(bytes / 1024) + " KB)";
                     } catch (const std::exception& e) {
                         statusBanner = "Snapshot failed: " + describe(e);
                     }
                 });
}

void StudioViewModel::exportOBJPanel() {
    StudioMeshHandle mesh = engine().currentMesh();
    if (!mesh) return;
    presentPanel(panelRequest(FilePanelRequest::Kind::save, "Export Universal Wavefront OBJ",
                              {FileType::forExtension("obj")}, fileStem(mesh->audit.name) + ".obj", false),
                 [this, mesh](const fs::path& url) {
                     try {
                         const int64_t bytes = services_.exporters->exportOBJ(*mesh, url);
                         statusBanner =
                             "Exported " + pk::lastComponent(url) + " (" + std::to_string(bytes / 1024) + " KB)";
                     } catch (const std::exception& e) {
                         statusBanner = "OBJ export failed: " + describe(e);
                     }
                 });
}

void StudioViewModel::packageMWPakPanel() {
    if (archiveFiles().empty()) {
        statusBanner = "No hero mesh files to pack: none is selected and no featured kit was found in " +
                       services_.assetFolder.string() + ".";
        return;
    }
    presentPanel(panelRequest(FilePanelRequest::Kind::save, "Build LZFSE Compressed .mwpak Archive",
                              {FileType::forExtension("mwpak")}, "StudioHeroPack.mwpak", false),
                 [this](const fs::path& url) {
                     const auto files = archiveFiles();
                     if (files.empty()) return;
                     try {
                         auto receipt = services_.exporters->packFilesToMWPak(files, url);
                         // The packer skips files it cannot read; an archive of none is no archive.
                         if (receipt.entryCount == 0)
                             throw pk::StudioError("KestreluneStudio", 3, unreadableText(files.size(), "hero mesh file"));
                         lastMWPakReceipt = receipt;
                         statusBanner = archiveBanner(receipt);
                     } catch (const std::exception& e) {
                         statusBanner = "Archive build failed: " + describe(e);
                     }
                 });
}

// ---- background renders ----------------------------------------------------------------------------

bool StudioViewModel::refuseWhileRendering() {
    // One render at a time: a second would overlap the first and clear its progress.
    if (!*isExporting) return false;
    statusBanner = "A render is already running: wait for it to finish.";
    return true;
}

void StudioViewModel::exportTurntableMP4Panel() {
    if (refuseWhileRendering()) return;
    presentPanel(
        panelRequest(FilePanelRequest::Kind::save, "Render Cinema Turntable Video (MP4)", {FileType::mpeg4Movie()},
                     auditFileStem() + "_Turntable.mp4", false),
        [this](const fs::path& url) {
            if (refuseWhileRendering()) return;
            isExporting = true;
            exportProgress = 0.02;
            exportLabel = "Encoding Hardware MP4\u2026";
            const TurntableAspectPreset aspect = *turntableAspect;
            const double duration = *turntableDurationSec;
            const auto music = exportMusicState();
            startRender(
                [exporters = services_.exporters, queue = services_.mainQueue, aspect, duration, music, url](
                    const ExportCancelToken* cancel, std::weak_ptr<StudioViewModel*> weak) {
                    const auto receipt = exporters->exportTurntableMP4(
                        aspect, duration, 30, music, url,
                        [&](double p) { onMain(queue, weak, [p](StudioViewModel& vm) { vm.exportProgress = p; }); },
                        cancel);
                    onMain(queue, weak, [receipt](StudioViewModel& vm) {
                        vm.isExporting = false;
                        vm.exportProgress = 1.0;
                        vm.statusBanner = pk::formatC("Rendered %dx%d MP4 (%.1f MB) in %.1fs",
                                                      static_cast<int>(receipt.width), static_cast<int>(receipt.height),
                                                      static_cast<double>(receipt.fileSizeBytes) / 1048576.0,
                                                      receipt.renderElapsedSec);
                    });
                },
                [](StudioViewModel& vm, const std::string& text) {
                    vm.isExporting = false;
                    vm.statusBanner = "Video render failed: " + text;
                });
        });
}

void StudioViewModel::exportBatchTurntablesPanel() {
    if (refuseWhileRendering()) return;
    if (batchKits().empty()) {
        statusBanner = "No featured kits to batch render: none was found in " + services_.assetFolder.string() + ".";
        return;
    }
    presentPanel(
        panelRequest(FilePanelRequest::Kind::folder, "Choose Output Folder for Batch Turntable Queue", {}, {}, true),
        [this](const fs::path& folder) {
            if (refuseWhileRendering()) return;
            const auto kits = batchKits();
            if (kits.empty()) return;
            isExporting = true;
            exportProgress = 0.02;
            exportLabel = "Batch Rendering " + std::to_string(kits.size()) + " Kits\u2026";
            const TurntableAspectPreset aspect = *turntableAspect;
            const auto music = exportMusicState();
            startRender(
                [exporters = services_.exporters, queue = services_.mainQueue, kits, aspect, music, folder](
                    const ExportCancelToken* cancel, std::weak_ptr<StudioViewModel*> weak) {
                    auto receipt = exporters->exportBatchTurntables(
                        kits, aspect, 2.5, music, folder,
                        [&](double p, const std::string& name) {
                            onMain(queue, weak, [p, name](StudioViewModel& vm) {
                                vm.exportProgress = p;
                                vm.exportLabel = "Batch: " + name + "\u2026";
                            });
                        },
                        cancel);
                    // Kits whose mesh cannot be loaded are skipped; a batch of none failed.
                    if (receipt.assetCount == 0)
                        throw pk::StudioError("KestreluneStudio", 2, unreadableText(kits.size(), "featured kit"));
                    onMain(queue, weak, [receipt = std::move(receipt)](StudioViewModel& vm) {
                        vm.isExporting = false;
                        vm.exportProgress = 1.0;
                        vm.lastBatchReceipt = receipt;
                        vm.statusBanner = pk::formatC("Batch rendered %d MP4 reels + PNGs in %.1fs",
                                                      static_cast<int>(receipt.assetCount), receipt.totalElapsedSec);
                        vm.finishBatch();
                    });
                },
                [](StudioViewModel& vm, const std::string& text) {
                    vm.isExporting = false;
                    vm.statusBanner = "Batch render failed: " + text;
                    vm.finishBatch();
                });
        });
}

void StudioViewModel::finishBatch() {
    // The batch puts back the engine's mesh and look from before it started; the view
    // model may have moved on meanwhile, so its own selection and settings win.
    if (selectedMesh_ && engine().currentMesh() != selectedMesh_) engine().setActiveMesh(selectedMesh_);
    syncSceneState();
}

// ---- score preview ---------------------------------------------------------------------------------------

void StudioViewModel::toggleMusicPreview() {
    if (!*isPreviewingMusic) {
        try {
            if (services_.score) services_.score->start(*musicMood);
        } catch (const std::exception& e) {
            statusBanner = "Score preview failed: " + describe(e);
            return;
        }
        isPreviewingMusic = true;
        statusBanner = "Previewing royalty-free studio score.";
    } else {
        if (services_.score) services_.score->stop();
        isPreviewingMusic = false;
        statusBanner = "Soundtrack preview paused.";
    }
}

}  // namespace kestrelune
