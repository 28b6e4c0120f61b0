#include "PlatformKit/ModelImport/UsdzPackage.h"

#include <zlib.h>

#include <algorithm>

#include "PlatformKit/ModelImport/Malformed.h"

namespace pk::modelimport {

namespace {

constexpr uint32_t kLocalSignature = 0x04034b50;
constexpr uint32_t kCentralSignature = 0x02014b50;
constexpr uint32_t kEndSignature = 0x06054b50;
constexpr uint64_t kLocalHeaderBytes = 30;
constexpr uint64_t kCentralHeaderBytes = 46;
constexpr uint64_t kEndRecordBytes = 22;
// Encrypted (bit 0) and strongly encrypted (bit 6) entries cannot be read.
constexpr uint16_t kEncryptedFlags = 0x0001 | 0x0040;

uint16_t u16(std::span<const uint8_t> b, uint64_t at) { return static_cast<uint16_t>(b[at] | (b[at + 1] << 8)); }
uint32_t u32(std::span<const uint8_t> b, uint64_t at) {
    return uint32_t(b[at]) | (uint32_t(b[at + 1]) << 8) | (uint32_t(b[at + 2]) << 16) | (uint32_t(b[at + 3]) << 24);
}

struct Located {
    uint64_t headerOffset;
    uint64_t end;
};

}  // namespace

UsdzPackage UsdzPackage::read(std::span<const uint8_t> bytes) {
    const uint64_t size = bytes.size();
    if (size < kEndRecordBytes) refuse("shorter than a zip end record");
    // The end record is the last thing in the file: its comment must reach the end exactly.
    uint64_t end = UINT64_MAX;
    const uint64_t lowest = size > kEndRecordBytes + 0xFFFF ? size - kEndRecordBytes - 0xFFFF : 0;
    for (uint64_t at = size - kEndRecordBytes + 1; at-- > lowest;) {
        if (u32(bytes, at) == kEndSignature && at + kEndRecordBytes + u16(bytes, at + 20) == size) {
            end = at;
            break;
        }
    }
    if (end == UINT64_MAX) refuse("no zip end record reaching the end of the file");
    const uint16_t disk = u16(bytes, end + 4), directoryDisk = u16(bytes, end + 6);
    const uint16_t onDisk = u16(bytes, end + 8), total = u16(bytes, end + 10);
    const uint64_t directorySize = u32(bytes, end + 12), directoryOffset = u32(bytes, end + 16);
    // Spanned archives and zip64 (sizes and counts saturated) are not what a package is.
    if (disk != 0 || directoryDisk != 0 || onDisk != total) refuseAt("a spanned archive", end);
    if (total == 0xFFFF || directorySize == 0xFFFFFFFF || directoryOffset == 0xFFFFFFFF)
        refuseAt("a zip64 archive", end);
    if (total == 0 || directoryOffset + directorySize > end) refuseAt("no entries, or a directory past its end record", end);

    UsdzPackage package;
    package.bytes_ = bytes;
    package.entries_.reserve(total);
    std::vector<Located> spans;
    spans.reserve(total);
    uint64_t at = directoryOffset;
    const uint64_t directoryEnd = directoryOffset + directorySize;
    for (uint32_t i = 0; i < total; ++i) {
        if (at + kCentralHeaderBytes > directoryEnd || u32(bytes, at) != kCentralSignature)
            refuseAt("no central directory header", at);
        const uint16_t flags = u16(bytes, at + 8), method = u16(bytes, at + 10);
        const uint32_t crc = u32(bytes, at + 16);
        const uint64_t compressed = u32(bytes, at + 20), uncompressed = u32(bytes, at + 24);
        const uint64_t nameLength = u16(bytes, at + 28), extraLength = u16(bytes, at + 30);
        const uint64_t commentLength = u16(bytes, at + 32);
        const uint16_t startDisk = u16(bytes, at + 34);
        const uint64_t local = u32(bytes, at + 42);
        const uint64_t next = at + kCentralHeaderBytes + nameLength + extraLength + commentLength;
        if (next > directoryEnd) refuseAt("a central header runs past the directory", at);
        if ((flags & kEncryptedFlags) != 0) refuseAt("an encrypted entry", at);
        if (method != 0 || compressed != uncompressed) refuseAt("a compressed entry (a package stores its entries)", at);
        if (startDisk != 0) refuseAt("an entry on another disk", at);
        if (compressed == 0xFFFFFFFF || local == 0xFFFFFFFF || nameLength == 0)
            refuseAt("an entry with a zip64 size or no name", at);
        std::string name(reinterpret_cast<const char*>(bytes.data() + at + kCentralHeaderBytes), nameLength);
        if (name.find('\0') != std::string::npos) refuseAt("an entry name with a NUL", at);

        // The local header must agree with the directory on name and method.
        if (local + kLocalHeaderBytes > directoryOffset || u32(bytes, local) != kLocalSignature)
            refuseAt("no local header where the directory says", local);
        const uint16_t localFlags = u16(bytes, local + 6), localMethod = u16(bytes, local + 8);
        const uint64_t localName = u16(bytes, local + 26), localExtra = u16(bytes, local + 28);
        if ((localFlags & kEncryptedFlags) != 0 || localMethod != 0 || localName != nameLength)
            refuseAt("a local header that disagrees with the directory", local);
        const uint64_t data = local + kLocalHeaderBytes + localName + localExtra;
        if (data > directoryOffset || compressed > directoryOffset - data)
            refuseAt("entry data runs into the directory", local);
        if (!std::equal(name.begin(), name.end(), bytes.begin() + static_cast<ptrdiff_t>(local + kLocalHeaderBytes)))
            refuseAt("a local name that differs from the directory's", local);
        spans.push_back({local, data + compressed});
        package.entries_.push_back({std::move(name), data, compressed, crc});
        at = next;
    }
    for (size_t i = 0; i < package.entries_.size(); ++i) {
        const Entry& e = package.entries_[i];
        if (!package.byName_.emplace(e.name, i).second) refuse("two entries named " + e.name);
        // zlib takes 32-bit lengths; entries are below 4 GiB by construction.
        const uLong crc = crc32(crc32(0L, Z_NULL, 0), bytes.data() + e.dataOffset, static_cast<uInt>(e.size));
        if (crc != e.crc32) refuseAt("entry checksum mismatch for " + e.name, e.dataOffset);
    }
    std::sort(spans.begin(), spans.end(), [](const Located& a, const Located& b) { return a.headerOffset < b.headerOffset; });
    for (size_t i = 1; i < spans.size(); ++i)
        if (spans[i].headerOffset < spans[i - 1].end) refuseAt("entries overlap", spans[i].headerOffset);
    return package;
}

std::optional<UsdzPackage> UsdzPackage::open(std::span<const uint8_t> bytes) {
    return noneIfRefused("usdz", [&] { return read(bytes); });
}

std::span<const uint8_t> UsdzPackage::data(const Entry& entry) const {
    return bytes_.subspan(entry.dataOffset, entry.size);
}

std::optional<std::span<const uint8_t>> UsdzPackage::find(std::string_view name) const {
    const auto it = byName_.find(std::string(name));
    if (it == byName_.end()) return std::nullopt;
    return data(entries_[it->second]);
}

std::optional<std::string> resolvePackagePath(std::string_view layerName, std::string_view assetPath) {
    if (assetPath.empty() || assetPath.front() == '/' || assetPath.find('\\') != std::string_view::npos ||
        assetPath.find(':') != std::string_view::npos || assetPath.find('[') != std::string_view::npos ||
        assetPath.find('\0') != std::string_view::npos)
        return std::nullopt;
    std::string resolved;
    const size_t slash = layerName.rfind('/');
    if (slash != std::string_view::npos) resolved.assign(layerName.substr(0, slash + 1));
    size_t start = 0;
    while (start <= assetPath.size()) {
        size_t stop = assetPath.find('/', start);
        if (stop == std::string_view::npos) stop = assetPath.size();
        const std::string_view segment = assetPath.substr(start, stop - start);
        if (segment == "..") return std::nullopt;
        if (!segment.empty() && segment != ".") {
            resolved += segment;
            if (stop < assetPath.size()) resolved += '/';
        }
        start = stop + 1;
    }
    if (resolved.empty() || resolved.back() == '/') return std::nullopt;
    return resolved;
}

}  // namespace pk::modelimport
