#pragma once
// The asset library's own hero kit: the six canonical hero mesh files, where they are
// found, and a reader that keeps each vertex record exactly as stored, with its own
// grounding audit. The upload to the GPU is a separate small step after the pure decode.
#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "PlatformKit/Foundation/Json.h"

namespace pk::gpu {
class Buffer;
class Device;
}  // namespace pk::gpu

namespace assetio {

// Byte for byte one 48-byte vertex record of the file.
struct VelHeroVertexV1040 {
    float px = 0, py = 0, pz = 0;
    float nx = 0, ny = 0, nz = 0;
    float u = 0, v = 0;
    float r = 0, g = 0, b = 0;
    float packedMat = 0;
};
static_assert(sizeof(VelHeroVertexV1040) == 48);

struct VelHeroKitAuditV1040 {
    std::string filename;
    int64_t meshletCount = 0;
    int64_t vertexCount = 0;
    int64_t triangleCount = 0;
    float minY = 0;
    float maxY = 0;
    int64_t fileSizeBytes = 0;
    bool groundedOK = false;

    pk::json::OrderedJson toJson() const;
    // Every key required; throws StudioError (JSONDecoding) otherwise.
    static VelHeroKitAuditV1040 fromJson(const pk::json::OrderedJson& j);
};

// The decoded file before upload.
struct VelDecodedMWMSv2HeroV1040 {
    VelHeroKitAuditV1040 audit;
    std::vector<VelHeroVertexV1040> vertices;
    std::vector<uint32_t> indices;
};

struct VelLoadedMWMSv2HeroV1040 {
    VelHeroKitAuditV1040 audit;
    std::shared_ptr<pk::gpu::Buffer> vertexBuffer;  // 48 bytes per vertex, file order
    std::shared_ptr<pk::gpu::Buffer> indexBuffer;   // 32-bit vertex indices
    int64_t indexCount = 0;
};

struct VelBlenderHeroKitCatalogV1040 {
    static const std::array<std::string, 6> canonicalFilenames;

    // The folder that stands in for the application bundle's resources: the one the
    // executable lives in.
    static std::filesystem::path bundleResourceFolder();

    // <resources>/AmberCellarPack/<name>, then <resources>/<name>; the first that exists
    // (a folder counts). With no resource folder there are no candidates.
    static std::optional<std::filesystem::path> locateHeroAsset(const std::string& filename);
    static std::optional<std::filesystem::path> locateHeroAsset(const std::string& filename,
                                                                const std::filesystem::path& resourceFolder);

    // Pure decode of a file's bytes; `filename` goes into the audit unchanged.
    static std::optional<VelDecodedMWMSv2HeroV1040> decodeMWMSv2(std::span<const uint8_t> bytes,
                                                                 const std::string& filename);
    // Located, read whole and decoded.
    static std::optional<VelDecodedMWMSv2HeroV1040> readMWMSv2(const std::string& filename,
                                                               const std::filesystem::path& resourceFolder);
    // Located, read, decoded and uploaded; none on any failure.
    static std::optional<VelLoadedMWMSv2HeroV1040> loadMWMSv2(const std::string& filename, pk::gpu::Device& device);
    static std::optional<VelLoadedMWMSv2HeroV1040> upload(const VelDecodedMWMSv2HeroV1040& decoded,
                                                          pk::gpu::Device& device);

    // Little-endian reads; the caller guarantees the four bytes lie inside the buffer.
    static uint32_t readUInt32LE(uint64_t offset, std::span<const uint8_t> bytes);
    static float readFloat32LE(uint64_t offset, std::span<const uint8_t> bytes);
};

}  // namespace assetio
