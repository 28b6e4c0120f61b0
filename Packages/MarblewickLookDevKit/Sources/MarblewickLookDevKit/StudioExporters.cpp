#include "MarblewickLookDevKit/StudioExporters.h"

#include <string>
#include <system_error>

#include "PlatformKit/Foundation/Files.h"
#include "PlatformKit/Foundation/Numbers.h"
#include "PlatformKit/Foundation/StudioError.h"
#include "PlatformKit/Image/Image.h"

namespace lookdev::StudioExporters {

namespace fs = std::filesystem;

namespace {

void createParent(const fs::path& to) {
    if (!to.parent_path().empty()) pk::createDirectories(to.parent_path());
}

}  // namespace

int64_t exportStillPNG(LookDevOffscreenRenderer& engine, int64_t width, int64_t height, const fs::path& to,
                       std::optional<float> overrideYaw, const std::optional<LookDevSceneState>& overrideState) {
    createParent(to);
    const pk::StudioError noRender(kErrorDomain, 101, "Failed to render snapshot.");
    if (width <= 0 || height <= 0 || width > 16384 || height > 16384) throw noRender;
    const auto bytes = engine.renderOffscreenBGRA(width, height, overrideYaw, overrideState);
    if (!bytes || bytes->size() != size_t(width) * size_t(height) * 4) throw noRender;
    try {
        // Atomic: a failed or interrupted write never leaves a cut-off PNG under the name.
        pk::image::writePng(to, bytes->data(), int(width), int(height), size_t(width) * 4, pk::image::ChannelOrder::bgra,
                            {.atomic = true});
    } catch (const pk::StudioError&) {
        throw pk::StudioError(kErrorDomain, 102, "Failed to finalize PNG.");
    }
    std::error_code ec;
    const auto size = fs::file_size(to, ec);
    return ec ? 0 : int64_t(size);
}

int64_t exportOBJ(const LoadedStudioMesh& mesh, const fs::path& to) {
    std::string text = "# Exported by MarblewickLookDevKit\no " + underscored(mesh.audit.name, " ");
    for (const auto& v : mesh.rawVertices)
        text += pk::formatC("\nv %.5f %.5f %.5f", double(v.position.x), double(v.position.y), double(v.position.z));
    for (const auto& v : mesh.rawVertices) text += pk::formatC("\nvt %.5f %.5f", double(v.uv.x), double(v.uv.y));
    for (const auto& v : mesh.rawVertices)
        text += pk::formatC("\nvn %.5f %.5f %.5f", double(v.normal.x), double(v.normal.y), double(v.normal.z));
    const auto& idx = mesh.rawIndices;
    for (size_t i = 0; i + 3 <= idx.size(); i += 3) {
        // One-based, 64-bit so that the largest index cannot wrap.
        const uint64_t a = uint64_t(idx[i]) + 1, b = uint64_t(idx[i + 1]) + 1, c = uint64_t(idx[i + 2]) + 1;
        text += pk::formatC("\nf %llu/%llu/%llu %llu/%llu/%llu %llu/%llu/%llu", (unsigned long long)a,
                            (unsigned long long)a, (unsigned long long)a, (unsigned long long)b, (unsigned long long)b,
                            (unsigned long long)b, (unsigned long long)c, (unsigned long long)c, (unsigned long long)c);
    }
    createParent(to);
    pk::atomicWrite(to, std::string_view(text));
    return int64_t(text.size());
}

assetio::VelMWPakStreamReceiptV1085 buildMWPakArchive(const std::vector<fs::path>& fileURLs, const fs::path& archiveURL,
                                                      pk::gpu::Device* device) {
    return assetio::VelMWPakBinaryArchiveStreamerV1085::packFilesToMWPak(fileURLs, archiveURL, device);
}

}  // namespace lookdev::StudioExporters
