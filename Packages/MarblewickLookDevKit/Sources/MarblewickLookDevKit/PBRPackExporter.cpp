#include "MarblewickLookDevKit/PBRPackExporter.h"

#include "MarblewickLookDevKit/PBRMaterialForgeEngine.h"
#include "MarblewickLookDevKit/StudioTurntableExporter.h"
#include "PlatformKit/Foundation/Files.h"
#include "PlatformKit/Foundation/StudioError.h"

namespace lookdev {

namespace fs = std::filesystem;

pk::json::Json PBRPackExportManifest::toJson() const {
    pk::json::Json j = pk::json::Json::object();
    j["studio"] = studio;
    j["material"] = material;
    j["resolution"] = resolution;
    pk::json::Json ch = pk::json::Json::object();
    for (const auto& [k, v] : channels) ch[k] = v;
    j["channels"] = ch;
    j["synthesisMs"] = pk::json::doubleNumber(synthesisMs);
    // Round trip through text so the parameters' keys are sorted like the rest.
    j["parameters"] = pk::json::parse(pk::json::dump(parameters.toJson()));
    return j;
}

namespace StudioExporters {

std::vector<fs::path> exportPBRPack(pk::gpu::Device& device, const SynthesizedPBRPack& pack, const fs::path& folder) {
    pk::createDirectories(folder);
    const std::string material = pack.parameters.sourcePhotoName.value_or(pack.parameters.preset.title());
    std::string base = material;
    for (char& c : base)
        if (c == ' ' || c == '/') c = '_';
    const int width = pack.albedo ? pack.albedo->width() : 0;
    const std::string prefix = base + "_" + std::to_string(width);
    const std::vector<fs::path> files = {folder / (prefix + "_Albedo.png"), folder / (prefix + "_Normal.png"),
                                         folder / (prefix + "_ORM.png"), folder / (prefix + "_Emissive.png"),
                                         folder / (prefix + "_Material.json")};
    const std::shared_ptr<pk::gpu::Texture> maps[4] = {pack.albedo, pack.normal, pack.orm, pack.emissive};
    for (int i = 0; i < 4; ++i) {
        // A pack missing one of its maps must not be reported as written.
        if (!maps[i] || !PBRMaterialForgeEngine::writePNG(device, *maps[i], files[size_t(i)])) {
            throw pk::StudioError(kErrorDomain, 102, "Failed to finalize PNG.");
        }
    }
    PBRPackExportManifest m;
    m.material = material;
    m.resolution = width;
    m.channels = {{"albedo", pk::lastComponent(files[0])},
                  {"normalTangent", pk::lastComponent(files[1])},
                  {"orm_R_AO_G_Roughness_B_Metallic", pk::lastComponent(files[2])},
                  {"emissive", pk::lastComponent(files[3])}};
    m.synthesisMs = pack.synthesisMs;
    m.parameters = pack.parameters;
    pk::atomicWrite(files[4], pk::json::dump(m.toJson(), pk::json::Style::pretty));
    return files;
}

}  // namespace StudioExporters

}  // namespace lookdev
