#pragma once
// The records of a .mwpak archive: one entry per packed file, the manifest stored after
// the "MWAK" magic, and the receipt a writer returns.
#include <cstdint>
#include <string>
#include <vector>

#include "PlatformKit/Foundation/Json.h"

namespace assetio {

struct VelMWPakEntryV1085 {
    std::string name;            // last path component of the packed file
    int64_t uncompressedBytes = 0;
    int64_t compressedBytes = 0;
    int64_t payloadOffset = 0;   // from the start of the payload area
    std::string sha256Hex;       // of the uncompressed bytes, 64 lowercase digits

    bool operator==(const VelMWPakEntryV1085&) const = default;
    pk::json::OrderedJson toJson() const;
    // Every key required with its type; unknown keys ignored. Throws StudioError.
    static VelMWPakEntryV1085 fromJson(const pk::json::OrderedJson& j);
};

struct VelMWPakManifestV1085 {
    std::string magic = "MWAK";
    int64_t version = 1165;
    std::string compressionAlgorithm = "LZFSE";
    std::vector<VelMWPakEntryV1085> entries;

    bool operator==(const VelMWPakManifestV1085&) const = default;
    pk::json::OrderedJson toJson() const;
    static VelMWPakManifestV1085 fromJson(const pk::json::OrderedJson& j);
};

struct VelMWPakStreamReceiptV1085 {
    std::string archivePath;
    int64_t entryCount = 0;
    int64_t totalRawBytes = 0;
    int64_t totalCompressedBytes = 0;  // the whole archive file
    double compressionSavingsPct = 0;  // one decimal; negative when the archive grew
    bool allSHA256Verified = false;
    int64_t mtlIOStreamBytes = 0;
    double mtlIOLatencyMs = 0;         // two decimals
    double mtlIOBandwidthMBps = 0;     // MiB per second, one decimal

    bool operator==(const VelMWPakStreamReceiptV1085&) const = default;
    pk::json::OrderedJson toJson() const;  // keys in declaration order
    static VelMWPakStreamReceiptV1085 fromJson(const pk::json::OrderedJson& j);
};

}  // namespace assetio
