#pragma once
// The pack archive (.mwpak): "MWAK", a 32-bit manifest length, the JSON manifest and the
// LZFSE blob of every packed file back to back. Writers verify every entry after writing
// (one read of the written file) and time how fast the whole archive loads into a GPU
// buffer (file -> staging buffer -> GPU buffer -> fence); without a device they report
// fixed fallback figures.
#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "MarblewickAssetIO/VelMWPakManifestV1085.h"
#include "PlatformKit/Foundation/Clock.h"

namespace pk::gpu {
class Device;
}

namespace assetio {

struct VelMWPakBinaryArchiveStreamerV1085 {
    static const std::array<std::string, 3> grimTideV90HeroFilenames;
    static constexpr const char* kDefaultArchiveFilename = "GrimtideV90_Heroes.mwpak";
    // What the reader will allocate for one entry at most, and so the largest file packed
    // (a larger one is left out like an unreadable one): far above any hero mesh, and low
    // enough that no manifest can ask for more memory than a desktop has to give.
    static constexpr uint64_t kMaxEntryBytes = uint64_t(1) << 30;

    // Packs the readable, non-empty files in order (others are left out silently), writes
    // the archive atomically, verifies it and times the GPU load when a device is given.
    // Throws StudioError when a file name is not UTF-8 (before anything is made), the
    // folder cannot be made, the manifest cannot be encoded or the archive cannot be
    // written.
    static VelMWPakStreamReceiptV1085 packFilesToMWPak(const std::vector<std::filesystem::path>& fileURLs,
                                                       const std::filesystem::path& archiveURL,
                                                       pk::gpu::Device* device);
    static VelMWPakStreamReceiptV1085 packFilesToMWPak(const std::vector<std::filesystem::path>& fileURLs,
                                                       const std::filesystem::path& archiveURL,
                                                       pk::gpu::Device* device, const pk::Clock& clock);

    // The verified, decompressed bytes of the first entry named `named` (or `named` plus
    // ".mwmesh"), or nothing on any failure. From a file only the header, the manifest
    // and that entry's blob are read.
    static std::optional<std::vector<uint8_t>> extractEntryData(const std::string& named,
                                                                const std::filesystem::path& from);
    static std::optional<std::vector<uint8_t>> extractEntryData(const std::string& named,
                                                                std::span<const uint8_t> archive);

    // Packs the six canonical hero meshes of the hero kit (manifest version 1085).
    static VelMWPakStreamReceiptV1085 packVerifyAndStreamHeroKits(pk::gpu::Device& device,
                                                                  const std::filesystem::path& archiveURL);
    static VelMWPakStreamReceiptV1085 packVerifyAndStreamHeroKits(pk::gpu::Device& device,
                                                                  const std::filesystem::path& archiveURL,
                                                                  const std::filesystem::path& resourceFolder,
                                                                  const pk::Clock& clock);

    // Packs the three Grimtide hero files that can be found, through packFilesToMWPak.
    static VelMWPakStreamReceiptV1085 packGrimtideV90HeroesArchive(pk::gpu::Device& device,
                                                                   const std::filesystem::path& archiveURL);
    static VelMWPakStreamReceiptV1085 packGrimtideV90HeroesArchive(pk::gpu::Device& device,
                                                                   const std::filesystem::path& archiveURL,
                                                                   const std::filesystem::path& resourceFolder);

    // The override folder's archive, then <resources>/AmberCellarPack, <resources>/Assets3D
    // and <resources> (the folder beside the executable stands in for the bundle).
    static std::optional<std::filesystem::path> resolveDefaultGrimtideMWPakURL(
        const std::optional<std::filesystem::path>& directoryOverride);
    static std::optional<std::filesystem::path> resolveDefaultGrimtideMWPakURL(
        const std::optional<std::filesystem::path>& directoryOverride, const std::filesystem::path& resourceFolder);

    // ---- building blocks ----
    static std::array<uint8_t, 32> sha256(std::span<const uint8_t> bytes);
    static std::string hexDigest(const std::array<uint8_t, 32>& digest);
    // Empty input gives an empty result; nothing on failure.
    static std::optional<std::vector<uint8_t>> lzfseCompress(std::span<const uint8_t> bytes);
    // Exactly `expectedLength` bytes or nothing. The stream's block headers must declare that
    // length before anything is allocated, and memory then grows block by block with what
    // the stream really yields.
    static std::optional<std::vector<uint8_t>> lzfseDecompress(std::span<const uint8_t> blob, uint64_t expectedLength);

    struct GpuLoadTiming {
        int64_t streamedBytes = 0;
        double latencyMs = 0;  // before rounding
    };
    // Loads the archive file into a GPU buffer and times it; the fallback latency (and
    // the whole length as streamed) when there is no device or the setup fails.
    static GpuLoadTiming timeGpuLoad(const std::filesystem::path& archiveURL, uint64_t archiveLength,
                                     pk::gpu::Device* device, double fallbackLatencyMs, const pk::Clock& clock);
    static VelMWPakStreamReceiptV1085 makeReceipt(const std::filesystem::path& archiveURL, int64_t entryCount,
                                                  int64_t totalRawBytes, int64_t archiveLength, bool verified,
                                                  const GpuLoadTiming& timing);
};

}  // namespace assetio
