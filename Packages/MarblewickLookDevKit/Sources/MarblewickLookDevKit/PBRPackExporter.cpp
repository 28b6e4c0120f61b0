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

// The map's pixels, read back on the calling thread; none when it is missing or cannot be
// read back.
std::optional<pk::image::RgbaImage> readMap(pk::gpu::Device& device, const std::shared_ptr<pk::gpu::Texture>& map) {
    if (!map) return std::nullopt;
    return PBRMaterialForgeEngine::makeCGImage(device, *map);
}

// The image's PNG bytes, or none when it cannot be encoded. CPU only: it runs on worker
// threads that never touch the device.
std::optional<std::vector<uint8_t>> encodedMap(const std::optional<pk::image::RgbaImage>& image) {
    std::optional<std::vector<uint8_t>> png;
    if (!image) return png;
    pk::runGuarded(
        "PBR map encode", [&] { png = pk::image::encodePng(*image); }, [&](const pk::JobFailure&) { png.reset(); });
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
    const pk::StudioError notWritten(kErrorDomain, 102, "Failed to finalize PNG.");

    // All four read back here, on the calling thread: inline when it is the device's owner
    // (the window's thread), one job otherwise. The window's thread may be the one that
    // called, so no other thread may wait on the device while this one waits for it.
    std::array<std::optional<pk::image::RgbaImage>, 4> images;
    try {
        device.run([&] {
            for (size_t i = 0; i < maps.size(); ++i) images[i] = readMap(device, maps[i]);
        });
    } catch (const std::exception&) {
        throw notWritten;
    }
    // A pack missing one of its maps must not be reported as written.
    for (const auto& image : images)
        if (!image) throw notWritten;

    // Encoded in parallel, from the pixels alone.
    std::array<std::optional<std::vector<uint8_t>>, 4> encoded;
    {
        std::vector<std::jthread> threads;
        for (size_t i = 1; i < images.size(); ++i) {
            try {
                threads.emplace_back([&, i] { encoded[i] = encodedMap(images[i]); });
            } catch (const std::system_error&) {
                encoded[i] = encodedMap(images[i]);  // no thread to be had: on this one
            }
        }
        encoded[0] = encodedMap(images[0]);
    }
    for (const auto& png : encoded)
        if (!png) throw notWritten;

    PBRPackExportManifest m;
    m.material = material;
    m.resolution = width;
    m.channels = {{"albedo", pk::lastComponent(files[0])},
                  {"normalTangent", pk::lastComponent(files[1])},
                  {"orm_R_AO_G_Roughness_B_Metallic", pk::lastComponent(files[2])},
                  {"emissive", pk::lastComponent(files[3])}};
    m.synthesisMs = pack.synthesisMs;
    m.parameters = pack.parameters;
    const std::string manifest = pk::json::dump(m.toJson(), pk::json::Style::pretty);

    // The five as a set: each written whole under a temporary name beside its target, and
    // put in place only once all five are written, the manifest last. A failure on any of
    // them leaves an earlier pack at the same names as it was.
    std::vector<pk::StagedFile> staged;
    staged.reserve(files.size());
    for (size_t i = 0; i < maps.size(); ++i) {
        try {
            staged.emplace_back(files[i], *encoded[i]);
        } catch (const pk::StudioError&) {
            throw notWritten;
        }
    }
    staged.emplace_back(files[4], std::string_view(manifest));
    for (size_t i = 0; i < staged.size(); ++i) {
        try {
            staged[i].commit();
        } catch (const pk::StudioError&) {
            if (i == 4) throw;
            throw notWritten;
        }
    }
    return files;
}

}  // namespace StudioExporters

}  // namespace lookdev
