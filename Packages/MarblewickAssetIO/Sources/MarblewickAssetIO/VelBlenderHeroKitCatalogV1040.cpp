#include "MarblewickAssetIO/VelBlenderHeroKitCatalogV1040.h"

#include <cmath>
#include <cstring>
#include <system_error>

#include "MarblewickAssetIO/MWMeshFormat.h"
#include "PlatformKit/Foundation/Files.h"
#include "PlatformKit/Foundation/StudioError.h"
#include "PlatformKit/Gpu/Device.h"

namespace assetio {

namespace fs = std::filesystem;
namespace json = pk::json;

const std::array<std::string, 6> VelBlenderHeroKitCatalogV1040::canonicalFilenames = {
    "Hero_BrassOrrery_V1040.mwmesh",   "Hero_GlassLantern_V1040.mwmesh",  "Hero_CargoDrone_V1040.mwmesh",
    "Hero_ReactorCask_V1040.mwmesh",   "Hero_AthleteFigure_V1040.mwmesh", "Hero_ChipCarrier_V1040.mwmesh",
};

json::OrderedJson VelHeroKitAuditV1040::toJson() const {
    json::OrderedJson j;
    j["filename"] = filename;
    j["meshletCount"] = meshletCount;
    j["vertexCount"] = vertexCount;
    j["triangleCount"] = triangleCount;
    j["minY"] = json::floatNumber(minY);
    j["maxY"] = json::floatNumber(maxY);
    j["fileSizeBytes"] = fileSizeBytes;
    j["groundedOK"] = groundedOK;
    return j;
}

VelHeroKitAuditV1040 VelHeroKitAuditV1040::fromJson(const json::OrderedJson& j) {
    VelHeroKitAuditV1040 a;
    a.filename = json::readString(j, "filename");
    a.meshletCount = json::readInteger<int64_t>(j, "meshletCount");
    a.vertexCount = json::readInteger<int64_t>(j, "vertexCount");
    a.triangleCount = json::readInteger<int64_t>(j, "triangleCount");
    a.minY = json::readFloat(j, "minY");
    a.maxY = json::readFloat(j, "maxY");
    a.fileSizeBytes = json::readInteger<int64_t>(j, "fileSizeBytes");
    a.groundedOK = json::readBool(j, "groundedOK");
    return a;
}

fs::path VelBlenderHeroKitCatalogV1040::bundleResourceFolder() { return pk::executableDirectory(); }

std::optional<fs::path> VelBlenderHeroKitCatalogV1040::locateHeroAsset(const std::string& filename) {
    return locateHeroAsset(filename, bundleResourceFolder());
}

std::optional<fs::path> VelBlenderHeroKitCatalogV1040::locateHeroAsset(const std::string& filename,
                                                                       const fs::path& resourceFolder) {
    if (resourceFolder.empty()) return std::nullopt;
    const fs::path candidates[] = {resourceFolder / "AmberCellarPack" / filename, resourceFolder / filename};
    for (const auto& c : candidates) {
        std::error_code ec;
        if (fs::exists(c, ec)) return c;
    }
    return std::nullopt;
}

uint32_t VelBlenderHeroKitCatalogV1040::readUInt32LE(uint64_t offset, std::span<const uint8_t> bytes) {
    const uint8_t* p = bytes.data() + offset;
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

float VelBlenderHeroKitCatalogV1040::readFloat32LE(uint64_t offset, std::span<const uint8_t> bytes) {
    const uint32_t bits = readUInt32LE(offset, bytes);
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}

std::optional<VelDecodedMWMSv2HeroV1040> VelBlenderHeroKitCatalogV1040::decodeMWMSv2(std::span<const uint8_t> bytes,
                                                                                    const std::string& filename) {
    const auto file = MWMeshFileView::parse(bytes);
    if (!file) return std::nullopt;
    VelDecodedMWMSv2HeroV1040 out;
    // The records are the in-memory layout, so the block is copied as it stands.
    const auto block = file->vertexBlock();
    out.vertices.resize(file->vertexCount());
    std::memcpy(out.vertices.data(), block.data(), block.size());
    float minY = 1.0e9f, maxY = -1.0e9f;
    for (const auto& v : out.vertices) {
        if (v.py < minY) minY = v.py;
        if (v.py > maxY) maxY = v.py;
    }
    out.indices.reserve(file->indexByteCount());
    if (!file->forEachIndex([&](uint32_t, uint32_t global) { out.indices.push_back(global); })) return std::nullopt;
    if (out.indices.empty()) return std::nullopt;
    out.audit = VelHeroKitAuditV1040{
        .filename = filename,
        .meshletCount = file->meshletCount(),
        .vertexCount = file->vertexCount(),
        .triangleCount = static_cast<int64_t>(out.indices.size() / 3),
        .minY = minY,
        .maxY = maxY,
        .fileSizeBytes = static_cast<int64_t>(file->fileSize()),
        .groundedOK = maxY > 0.2f && std::fabs(minY) < 0.025f,
    };
    return out;
}

std::optional<VelDecodedMWMSv2HeroV1040> VelBlenderHeroKitCatalogV1040::readMWMSv2(const std::string& filename,
                                                                                  const fs::path& resourceFolder) {
    const auto path = locateHeroAsset(filename, resourceFolder);
    if (!path) return std::nullopt;
    const auto bytes = pk::readFile(*path);
    if (!bytes) return std::nullopt;
    return decodeMWMSv2(*bytes, filename);
}

std::optional<VelLoadedMWMSv2HeroV1040> VelBlenderHeroKitCatalogV1040::upload(const VelDecodedMWMSv2HeroV1040& decoded,
                                                                            pk::gpu::Device& device) {
    try {
        VelLoadedMWMSv2HeroV1040 out;
        out.audit = decoded.audit;
        out.vertexBuffer = device.makeBuffer({decoded.vertices.size() * sizeof(VelHeroVertexV1040)},
                                             decoded.vertices.data());
        out.indexBuffer = device.makeBuffer({decoded.indices.size() * sizeof(uint32_t)}, decoded.indices.data());
        if (!out.vertexBuffer || !out.indexBuffer) return std::nullopt;
        out.indexCount = static_cast<int64_t>(decoded.indices.size());
        return out;
    } catch (const pk::StudioError&) {
        return std::nullopt;
    }
}

std::optional<VelLoadedMWMSv2HeroV1040> VelBlenderHeroKitCatalogV1040::loadMWMSv2(const std::string& filename,
                                                                                pk::gpu::Device& device) {
    const auto decoded = readMWMSv2(filename, bundleResourceFolder());
    if (!decoded) return std::nullopt;
    return upload(*decoded, device);
}

}  // namespace assetio
