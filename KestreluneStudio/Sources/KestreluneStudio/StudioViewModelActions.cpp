// The view model's asset, material and environment actions. All run synchronously on the
// main thread: mesh loading, GPU synthesis and environment decoding finish before they
// return.
#include <algorithm>

#include "KestreluneStudio/StudioViewModel.h"
#include "KestreluneStudio/ViewportInputMapper.h"
#include "MarblewickLookDevKit/StudioAssetCatalog.h"
#include "PlatformKit/Foundation/Files.h"
#include "PlatformKit/Foundation/Numbers.h"
#include "PlatformKit/Foundation/Text.h"

namespace kestrelune {

using namespace lookdev;
using pk::ui::FilePanelRequest;
using pk::ui::FileType;
namespace fs = std::filesystem;

namespace {

bool isBuiltin(const StudioAssetItem::SourceKind& kind) { return kind.fileURL() == nullptr; }

}  // namespace

// ---- assets -------------------------------------------------------------------------------------

void StudioViewModel::importExternalModelPanel() {
    std::vector<FileType> types;
    for (std::string_view ext : kModelFileExtensions) types.push_back(FileType::forExtension(std::string(ext)));
    presentPanel(panelRequest(FilePanelRequest::Kind::open, "Import 3D Model", std::move(types), {}, false),
                 [this](const fs::path& url) { importModel(url); });
}

void StudioViewModel::importModel(const fs::path& url) {
    const std::string ext = pk::lowerExtension(url);
    StudioAssetItem item;
    item.id = "imported-" + url.string();
    item.displayName = StudioAssetCatalog::cleanDisplayName(pk::lastComponent(url));
    item.subtitle = "Imported \u00B7 " + pk::toUpper(ext);
    item.category = "Imported";
    item.kind = ext == "mwmesh" ? StudioAssetItem::SourceKind::mwmeshFile(url)
                                : StudioAssetItem::SourceKind::externalModel(url);

    const auto& list = *assets;
    const bool listed =
        std::any_of(list.begin(), list.end(), [&](const StudioAssetItem& a) { return a.id == item.id; });
    if (!listed) {
        // Right after the three built-in items; at the end of a shorter list.
        assets.modify([&](std::vector<StudioAssetItem>& v) {
            v.insert(v.begin() + static_cast<std::ptrdiff_t>(std::min<size_t>(3, v.size())), item);
        });
    }
    selectAsset(item);
}

void StudioViewModel::selectAsset(const StudioAssetItem& item) {
    StudioMeshHandle mesh = engine().loadMesh(item);
    if (!mesh) {
        statusBanner = "Could not load " + item.displayName + ".";
        return;
    }
    selectedAssetID = item.id;
    engine().setActiveMesh(mesh);
    selectedMesh_ = mesh;
    activeAudit = mesh->audit;
    materialOverrideBlend = isBuiltin(item.kind) ? 1.0f : 0.0f;
    syncSceneState();
    statusBanner = "Loaded " + item.displayName + " (" + pk::groupDigits(mesh->audit.triangleCount) + " tris)";
}

std::vector<StudioAssetItem> StudioViewModel::filteredAssets() const {
    // A decomposed "é" in a file name matches a composed one in the query, in any case.
    const std::string query = pk::searchFolded(pk::trimWhitespace(*assetSearchQuery));
    if (query.empty()) return *assets;
    std::vector<StudioAssetItem> out;
    for (const auto& item : *assets) {
        if (pk::searchFolded(item.displayName).find(query) != std::string::npos ||
            pk::searchFolded(item.category).find(query) != std::string::npos ||
            pk::searchFolded(item.subtitle).find(query) != std::string::npos)
            out.push_back(item);
    }
    return out;
}

void StudioViewModel::handleDroppedFile(const fs::path& url) {
    const std::string ext = pk::lowerExtension(url);
    if (ext == kEnvironmentFileExtension)
        loadHDRI(url);
    else if (std::find(kPhotoFileExtensions.begin(), kPhotoFileExtensions.end(), ext) != kPhotoFileExtensions.end())
        forgeMaterialFromPhoto(url);
    else
        importModel(url);
}

// ---- materials ------------------------------------------------------------------------------------

// GCC 12 sees the copy of a just-cleared optional string in modify() as uninitialized.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
void StudioViewModel::selectMaterialPreset(PBRMaterialPreset preset) {
    sourcePhotoURL = std::nullopt;
    materialParams.modify([](PBRMaterialParameters& p) { p.sourcePhotoName.reset(); });
    materialParams.modify([&](PBRMaterialParameters& p) { p.preset = preset; });
    resynthesize();
}
#pragma GCC diagnostic pop

void StudioViewModel::resynthesizeMaterial() { resynthesize(); }

bool StudioViewModel::resynthesize() {
    PBRMaterialParameters params = *materialParams;
    StudioMaterialSynthesizer& forge = engine().pbrForge();
    std::optional<SynthesizedPBRPack> pack;
    if (!sourcePhotoURL->has_value()) {
        params.sourcePhotoName = std::nullopt;
        pack = forge.synthesize(params);
    } else {
        pack = forge.synthesizeFromPhoto(**sourcePhotoURL, params);
    }
    if (!pack) return false;
    engine().setActivePBRPack(*pack);
    lastSynthesisMs = pack->synthesisMs;
    pbrPreviews = forge.makePreviews(*pack, 220);
    return true;
}

void StudioViewModel::importPhotoForPBRPanel() {
    presentPanel(panelRequest(FilePanelRequest::Kind::open, "Forge Seamless 4K PBR From Photo",
                              {FileType::jpeg(), FileType::png(), FileType::heic(), FileType::tiff()}, {}, false),
                 [this](const fs::path& url) { forgeMaterialFromPhoto(url); });
}

void StudioViewModel::forgeMaterialFromPhoto(const fs::path& url) {
    const std::optional<fs::path> previousURL = *sourcePhotoURL;
    const std::optional<std::string> previousName = materialParams->sourcePhotoName;

    sourcePhotoURL = url;
    materialParams.modify([&](PBRMaterialParameters& p) { p.sourcePhotoName = pk::stem(url); });
    if (!resynthesize()) {
        // A photo that gives no material must not become the source of later edits.
        sourcePhotoURL = previousURL;
        materialParams.modify([&](PBRMaterialParameters& p) { p.sourcePhotoName = previousName; });
        statusBanner = "Could not forge PBR from " + pk::lastComponent(url) + ".";
        return;
    }
    materialOverrideBlend = 1.0f;
    syncSceneState();
    statusBanner = "Forged seamless " + std::to_string(materialParams->resolution) + "\u00B2 PBR from " +
                   pk::lastComponent(url) + " (" + pk::formatC("%.1f", *lastSynthesisMs) + " ms)";
}

// ---- environments -----------------------------------------------------------------------------------

void StudioViewModel::loadCustomHDRIPanel() {
    presentPanel(
        panelRequest(FilePanelRequest::Kind::open, "Load .HDR or Panoramic Environment Map",
                     {FileType::forExtension("hdr"), FileType::png(), FileType::jpeg(), FileType::tiff()}, {}, false),
        [this](const fs::path& url) { loadHDRI(url); });
}

void StudioViewModel::loadHDRI(const fs::path& url) {
    std::optional<LoadedHDRIEnvironment> env;
    if (pk::lowerExtension(url) == kEnvironmentFileExtension) env = engine().loadRadianceHDR(url);
    if (!env) env = engine().loadPanoramicImage(url);
    if (!env) {
        statusBanner = "Could not decode environment map " + pk::lastComponent(url) + ".";
        return;
    }
    const LoadedHDRIEnvironment loaded = *env;
    engine().setActiveHDRI(std::move(env));
    activeHDRIName = loaded.name;
    customHDRIBlend = 0.85f;
    syncSceneState();
    statusBanner = std::string("Loaded ") + (loaded.isHDRRadiance ? "Radiance HDR" : "Panorama") +
                   " IBL: " + loaded.name + " (" + std::to_string(loaded.width) + "\u00D7" +
                   std::to_string(loaded.height) + ")";
}

void StudioViewModel::clearCustomHDRI() {
    engine().setActiveHDRI(std::nullopt);
    activeHDRIName = std::nullopt;
    customHDRIBlend = 0.0f;
    syncSceneState();
    statusBanner = std::string("Switched back to ") + lightingRig->title() + " Rig.";
}

}  // namespace kestrelune
