#pragma once
// A usdz package: a zip archive whose entries are stored uncompressed, the first being
// the root layer and the others its textures and further layers. Only what such a
// package may hold is accepted: no compression, encryption, zip64, spanning, entries
// out of range or overlapping each other, or two entries of one name. The bytes are
// viewed, not copied: the package must not outlive them.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace pk::modelimport {

class UsdzPackage {
public:
    struct Entry {
        std::string name;
        uint64_t dataOffset = 0;
        uint64_t size = 0;
        uint32_t crc32 = 0;
    };

    // Throws Malformed unless the whole central directory, every local header and every
    // entry's checksum check out.
    static UsdzPackage read(std::span<const uint8_t> bytes);
    // None on refusal, the reason in the debug log.
    static std::optional<UsdzPackage> open(std::span<const uint8_t> bytes);

    const std::vector<Entry>& entries() const { return entries_; }
    // The data of the entry of exactly this name; none when there is none.
    std::optional<std::span<const uint8_t>> find(std::string_view name) const;
    std::span<const uint8_t> data(const Entry& entry) const;

private:
    std::span<const uint8_t> bytes_;
    std::vector<Entry> entries_;
    std::unordered_map<std::string, size_t> byName_;
};

// The package entry an asset path of the layer `layerName` names: relative to the
// layer's folder, "." segments dropped. None for an empty, absolute, URL-like, nested
// package ("a.usdz[b.png]") or backslashed path, and for any ".." segment: nothing
// outside the package is ever named.
std::optional<std::string> resolvePackagePath(std::string_view layerName, std::string_view assetPath);

}  // namespace pk::modelimport
