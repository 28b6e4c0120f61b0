#include "MarblewickLookDevKit/PBRPackExporter.h"

#include <array>
#include <system_error>
#include <thread>

#include "MarblewickLookDevKit/PBRMaterialForgeEngine.h"
#include "MarblewickLookDevKit/StudioExportFiles.h"
#include "PlatformKit/Foundation/Files.h"
#include "PlatformKit/Foundation/JobGuard.h"
#include "PlatformKit/Foundation/StudioError.h"
#include "PlatformKit/Image/Image.h"

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

namespace {

// The map's PNG bytes; none when the map is missing, cannot be read back or encoded. Runs
// on a thread of its own: whatever throws is that map's failure, and so the pack's.
std::optional<std::vector<uint8_t>> encodedMap(pk::gpu::Device& device, const std::shared_ptr<pk::gpu::Texture>& map) {
    std::optional<std::vector<uint8_t>> png;
    if (!map) return png;
    pk::runGuarded(
        "PBR map encode",
        [&] {
            if (auto image = PBRMaterialForgeEngine::makeCGImage(device, *map)) png = pk::image::encodePng(*image);
        },
        [&](const pk::JobFailure&) { png.reset(); });
    return png;
}

}  // namespace

std::vector<fs::path> exportPBRPack(pk::gpu::Device& device, const SynthesizedPBRPack& pack, const fs::path& folder) {
    pk::createDirectories(folder);
    const std::string material = pack.parameters.sourcePhotoName.value_or(pack.parameters.preset.title());
    const int width = pack.albedo ? pack.albedo->width() : 0;
    const std::string prefix = underscored(material) + "_" + std::to_string(width);
    const std::vector<fs::path> files = {folder / (prefix + "_Albedo.png"), folder / (prefix + "_Normal.png"),
                                         folder / (prefix + "_ORM.png"), folder / (prefix + "_Emissive.png"),
                                         folder / (prefix + "_Material.json")};
    const std::array<std::shared_ptr<pk::gpu::Texture>, 4> maps = {pack.albedo, pack.normal, pack.orm, pack.emissive};

    // Each map read back and encoded on a thread of its own; the files are written only
    // once all four are encoded, so a failure leaves an earlier pack at the same names
    // as it was.
    std::array<std::optional<std::vector<uint8_t>>, 4> encoded;
    {
        std::vector<std::jthread> threads;
        for (size_t i = 1; i < maps.size(); ++i) {
            try {
                threads.emplace_back([&, i] { encoded[i] = encodedMap(device, maps[i]); });
            } catch (const std::system_error&) {
                encoded[i] = encodedMap(device, maps[i]);  // no thread to be had: on this one
            }
        }
        encoded[0] = encodedMap(device, maps[0]);
    }
    const pk::StudioError notWritten(kErrorDomain, 102, "Failed to finalize PNG.");
    // A pack missing one of its maps must not be reported as written.
    for (const auto& png : encoded)
        if (!png) throw notWritten;
    for (size_t i = 0; i < maps.size(); ++i) {
        try {
            pk::atomicWrite(files[i], *encoded[i]);
        } catch (const pk::StudioError&) {
            throw notWritten;
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
