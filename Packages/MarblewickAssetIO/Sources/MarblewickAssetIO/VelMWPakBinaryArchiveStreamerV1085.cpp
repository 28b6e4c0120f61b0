#include "MarblewickAssetIO/VelMWPakBinaryArchiveStreamerV1085.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <unordered_map>

#include "MarblewickAssetIO/VelBlenderHeroKitCatalogV1040.h"
#include "PlatformKit/Compression/Lzfse.h"
#include "PlatformKit/Crypto/Sha256.h"
#include "PlatformKit/Foundation/Files.h"
#include "PlatformKit/Foundation/Numbers.h"
#include "PlatformKit/Foundation/Text.h"
#include "PlatformKit/Gpu/Device.h"
#include "PlatformKit/Gpu/Sync.h"

namespace assetio {

namespace fs = std::filesystem;
using Streamer = VelMWPakBinaryArchiveStreamerV1085;

const std::array<std::string, 3> Streamer::grimTideV90HeroFilenames = {
    "Arch_HarborgateLobby_V1150.mwmesh", "Prop_WendmoorFluxCore_V1150.mwmesh", "Prop_WendmoorRelayDock_V1150.mwmesh"};

namespace {

constexpr uint8_t kMagic[4] = {'M', 'W', 'A', 'K'};
constexpr uint64_t kHeaderBytes = 8;
constexpr double kPackFallbackMs = 0.2;
constexpr double kHeroKitFallbackMs = 0.25;
// No encoder makes a stream of more than about the data plus its block headers
// (raw blocks at worst); twice that is refused before it is read.
constexpr uint64_t kBlobSlack = 64 * 1024;

void createArchiveFolder(const fs::path& archiveURL) {
    const fs::path parent = archiveURL.parent_path();
    if (!parent.empty()) pk::createDirectories(parent);
}

// A path as people can read it: bytes that are not UTF-8 shown as \xNN.
std::string readablePath(std::string_view s) {
    std::string out;
    for (size_t i = 0; i < s.size();) {
        size_t k = 1;
        while (k <= 4 && i + k <= s.size() && !pk::isValidUtf8(s.substr(i, k))) ++k;
        if (k <= 4 && i + k <= s.size()) {
            out += s.substr(i, k);
            i += k;
            continue;
        }
        char byte[5];
        std::snprintf(byte, sizeof byte, "\\x%02X", static_cast<unsigned char>(s[i++]));
        out += byte;
    }
    return out;
}

// Entry names are text in the JSON manifest, so a file name that is not UTF-8 cannot be
// packed; it is refused before anything is made, naming the file.
void requireUtf8Names(const std::vector<fs::path>& fileURLs) {
    for (const auto& url : fileURLs)
        if (!pk::isValidUtf8(pk::lastComponent(url)))
            throw pk::StudioError("MWPak", 4,
                                  "Cannot pack " + readablePath(url.string()) +
                                      ": its file name is not valid UTF-8, which an archive entry name must be.");
}

// Reads exactly n bytes at offset; false on an error or a file that ends first.
bool readFully(int fd, uint8_t* dst, uint64_t n, uint64_t offset) {
    uint64_t done = 0;
    while (done < n) {
        const ssize_t r = ::pread(fd, dst + done, static_cast<size_t>(n - done), static_cast<off_t>(offset + done));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        done += static_cast<uint64_t>(r);
    }
    return true;
}

// Bytes that are written before they are read: growing them leaves the new part as it
// is instead of clearing it. Large buffers are asked to be backed by huge pages, so that
// filling one costs a fault per 2 MiB rather than per 4 KiB.
class UncheckedBytes {
public:
    uint8_t* data() const { return data_.get(); }
    uint64_t capacity() const { return capacity_; }
    // Room for n bytes, keeping the first `keep`; nullptr when memory runs out.
    uint8_t* reserve(uint64_t n, uint64_t keep) {
        if (n <= capacity_) return data_.get();
        uint64_t grown = std::max(n, 2 * capacity_);
        void* p = nullptr;
        if (grown >= kHugeFrom) {
            grown = (grown + kHugePage - 1) / kHugePage * kHugePage;
            p = std::aligned_alloc(kHugePage, static_cast<size_t>(grown));
            if (p) ::madvise(p, static_cast<size_t>(grown), MADV_HUGEPAGE);  // a hint: failure changes nothing
        } else {
            p = std::malloc(static_cast<size_t>(grown));
        }
        if (!p) return nullptr;
        std::unique_ptr<uint8_t, Free> next(static_cast<uint8_t*>(p));
        if (keep > 0) std::memcpy(next.get(), data_.get(), static_cast<size_t>(keep));
        data_ = std::move(next);
        capacity_ = grown;
        return data_.get();
    }

private:
    static constexpr uint64_t kHugePage = uint64_t(2) << 20;
    static constexpr uint64_t kHugeFrom = uint64_t(4) << 20;
    struct Free {
        void operator()(uint8_t* p) const noexcept { std::free(p); }
    };
    std::unique_ptr<uint8_t, Free> data_;
    uint64_t capacity_ = 0;
};

// A whole regular file of at most maxBytes into `into`; its length, or nothing.
std::optional<uint64_t> readWhole(const fs::path& path, uint64_t maxBytes, UncheckedBytes& into) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return std::nullopt;
    struct stat st {};
    std::optional<uint64_t> size;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && static_cast<uint64_t>(st.st_size) <= maxBytes) {
        const uint64_t n = static_cast<uint64_t>(st.st_size);
        if (into.reserve(std::max<uint64_t>(n, 1), 0) && readFully(fd, into.data(), n, 0)) size = n;
    }
    ::close(fd);
    return size;
}

// The entries packed so far and their blobs back to back, encoded in place.
struct Packed {
    std::vector<VelMWPakEntryV1085> entries;
    UncheckedBytes payload;
    uint64_t payloadBytes = 0;
    int64_t rawTotal = 0;
};

// A decode target reused from entry to entry, for digests that need no copy of their own.
class ScratchSink final : public pk::compression::DecodeSink {
public:
    void start() { used_ = 0; }
    // Every block fills what was reserved before it, so the bytes to keep are the last total.
    uint8_t* reserve(uint64_t total) override {
        uint8_t* p = bytes_.reserve(total, used_);
        used_ = total;
        return p;
    }
    const uint8_t* data() const { return bytes_.data(); }

private:
    UncheckedBytes bytes_;
    uint64_t used_ = 0;
};

// Decodes into a vector grown block by block, so a stream that declares more than it
// makes fails after costing its real yield and one block, not the declared whole.
class VectorSink final : public pk::compression::DecodeSink {
public:
    explicit VectorSink(uint64_t expected) : expected_(expected) {}
    uint8_t* reserve(uint64_t total) override {
        try {
            if (total > out.capacity()) out.reserve(static_cast<size_t>(std::min(expected_, std::max<uint64_t>(total, 2 * out.capacity()))));
            out.resize(static_cast<size_t>(total));
        } catch (const std::bad_alloc&) {
            return nullptr;
        }
        return out.data();
    }
    std::vector<uint8_t> out;

private:
    uint64_t expected_;
};

// The entry's stream checked against its manifest before anything is allocated for it:
// the block headers must add up to the recorded length exactly.
bool declaresLength(std::span<const uint8_t> blob, uint64_t expected) {
    if (expected > Streamer::kMaxEntryBytes) return false;
    const auto declared = pk::compression::lzfseDecodedSize(blob);
    return declared && *declared == expected;
}

// Encodes the file straight into the payload area, after the blobs before it.
void addEntry(Packed& p, const std::string& name, const fs::path& file, UncheckedBytes& input) {
    const auto size = readWhole(file, Streamer::kMaxEntryBytes, input);
    if (!size || *size == 0) return;
    const std::span<const uint8_t> bytes(input.data(), static_cast<size_t>(*size));
    const uint64_t bound = pk::compression::lzfseEncodeBound(bytes.size());
    if (!p.payload.reserve(p.payloadBytes + bound, p.payloadBytes)) return;
    const size_t n = pk::compression::lzfseEncodeBuffer(
        std::span(p.payload.data() + p.payloadBytes, static_cast<size_t>(bound)), bytes);
    if (n == 0) return;
    VelMWPakEntryV1085 e;
    e.name = name;
    e.uncompressedBytes = static_cast<int64_t>(bytes.size());
    e.compressedBytes = static_cast<int64_t>(n);
    e.payloadOffset = static_cast<int64_t>(p.payloadBytes);
    e.sha256Hex = Streamer::hexDigest(Streamer::sha256(bytes));
    p.entries.push_back(std::move(e));
    p.payloadBytes += n;
    p.rawTotal += static_cast<int64_t>(bytes.size());
}

// Encodes the manifest and writes the whole archive atomically; returns its length.
uint64_t writeArchive(const fs::path& archiveURL, const Packed& p, int64_t version) {
    VelMWPakManifestV1085 m;
    m.version = version;
    m.entries = p.entries;
    const std::string manifest = pk::json::dump(m.toJson());
    if (manifest.size() > UINT32_MAX)
        throw pk::StudioError("MWPak", 1, "The archive manifest is too large for its 32-bit length field.");
    uint8_t header[kHeaderBytes] = {kMagic[0], kMagic[1], kMagic[2], kMagic[3]};
    const uint32_t n = static_cast<uint32_t>(manifest.size());
    for (int i = 0; i < 4; ++i) header[4 + i] = static_cast<uint8_t>(n >> (8 * i));
    const std::span<const uint8_t> parts[] = {
        {header, kHeaderBytes},
        {reinterpret_cast<const uint8_t*>(manifest.data()), manifest.size()},
        {p.payload.data(), static_cast<size_t>(p.payloadBytes)}};
    pk::atomicWrite(archiveURL, std::span<const std::span<const uint8_t>>(parts));
    return kHeaderBytes + manifest.size() + p.payloadBytes;
}

uint32_t manifestLength(std::span<const uint8_t> header) {
    return uint32_t(header[4]) | uint32_t(header[5]) << 8 | uint32_t(header[6]) << 16 | uint32_t(header[7]) << 24;
}

// The manifest length from the first eight bytes of an archive of `size` bytes, or
// nothing when the archive is too short, has another magic or is shorter than its
// manifest claims.
std::optional<uint64_t> checkedManifestLength(std::span<const uint8_t> header, uint64_t size) {
    if (size < 12 || header.size() < kHeaderBytes || std::memcmp(header.data(), kMagic, 4) != 0) return std::nullopt;
    const uint64_t n = manifestLength(header);
    if (size < kHeaderBytes + n) return std::nullopt;
    return n;
}

std::optional<VelMWPakManifestV1085> decodeManifest(std::span<const uint8_t> text) {
    try {
        return VelMWPakManifestV1085::fromJson(
            pk::json::parseOrdered(std::string_view(reinterpret_cast<const char*>(text.data()), text.size())));
    } catch (const std::exception&) {  // StudioError and the JSON library's own errors
        return std::nullopt;
    }
}

// The reader also accepts a requested name with ".mwmesh" appended when it does not end so.
std::string alternativeName(const std::string& named) {
    static constexpr std::string_view kExt = ".mwmesh";
    const bool hasExt = named.size() >= kExt.size() && named.compare(named.size() - kExt.size(), kExt.size(), kExt) == 0;
    return hasExt ? named : named + std::string(kExt);
}

// The first entry named `named` or its alternative name.
const VelMWPakEntryV1085* findEntry(const VelMWPakManifestV1085& m, const std::string& named) {
    const std::string alternative = alternativeName(named);
    for (const auto& e : m.entries)
        if (e.name == named || e.name == alternative) return &e;
    return nullptr;
}

struct BlobRange {
    uint64_t offset = 0, length = 0;  // in the archive file
};

// Where an entry's blob lies in an archive of `size` bytes whose manifest is n long, or
// nothing when the recorded numbers are negative, point outside the file or claim a blob
// far longer than its data.
std::optional<BlobRange> blobOf(uint64_t size, uint64_t n, const VelMWPakEntryV1085& e) {
    if (e.payloadOffset < 0 || e.compressedBytes < 0 || e.uncompressedBytes < 0) return std::nullopt;
    const uint64_t raw = std::min(static_cast<uint64_t>(e.uncompressedBytes), Streamer::kMaxEntryBytes);
    if (static_cast<uint64_t>(e.compressedBytes) > 2 * raw + kBlobSlack) return std::nullopt;
    const uint64_t start = kHeaderBytes + n;
    if (start > size) return std::nullopt;
    const uint64_t area = size - start;
    const uint64_t off = static_cast<uint64_t>(e.payloadOffset), len = static_cast<uint64_t>(e.compressedBytes);
    if (off > area || len > area - off) return std::nullopt;
    return BlobRange{start + off, len};
}

// Decompresses a blob to its recorded length and checks its digest.
std::optional<std::vector<uint8_t>> verifiedEntry(std::span<const uint8_t> blob, const VelMWPakEntryV1085& e) {
    auto bytes = Streamer::lzfseDecompress(blob, static_cast<uint64_t>(e.uncompressedBytes));
    if (!bytes) return std::nullopt;
    // An entry of 0 bytes is returned only when its digest is that of empty input.
    if (Streamer::hexDigest(Streamer::sha256(*bytes)) != e.sha256Hex) return std::nullopt;
    return bytes;
}

// A whole archive in memory with its manifest decoded once.
struct ParsedArchive {
    std::span<const uint8_t> bytes;
    uint64_t manifestBytes = 0;
    VelMWPakManifestV1085 manifest;

    static std::optional<ParsedArchive> parse(std::span<const uint8_t> a) {
        const auto n = checkedManifestLength(a.first(std::min<size_t>(a.size(), kHeaderBytes)), a.size());
        if (!n) return std::nullopt;
        auto m = decodeManifest(a.subspan(kHeaderBytes, static_cast<size_t>(*n)));
        if (!m) return std::nullopt;
        return ParsedArchive{a, *n, std::move(*m)};
    }
    std::optional<std::vector<uint8_t>> extract(const VelMWPakEntryV1085& e) const {
        const auto range = blobOf(bytes.size(), manifestBytes, e);
        if (!range) return std::nullopt;
        return verifiedEntry(blobBytes(*range), e);
    }
    // Whether the entry decodes to its length and digest, without keeping the bytes.
    bool verifies(const VelMWPakEntryV1085& e, ScratchSink& scratch) const {
        const auto range = blobOf(bytes.size(), manifestBytes, e);
        if (!range) return false;
        const auto blob = blobBytes(*range);
        const uint64_t expected = static_cast<uint64_t>(e.uncompressedBytes);
        if (!declaresLength(blob, expected)) return false;
        scratch.start();
        if (pk::compression::lzfseDecodeInto(scratch, blob, expected) != expected) return false;
        const std::span<const uint8_t> decoded(scratch.data(), static_cast<size_t>(expected));
        return Streamer::hexDigest(Streamer::sha256(decoded)) == e.sha256Hex;
    }

private:
    std::span<const uint8_t> blobBytes(const BlobRange& r) const {
        return bytes.subspan(static_cast<size_t>(r.offset), static_cast<size_t>(r.length));
    }
};

// An archive file read at offsets, so that one entry costs its own bytes only.
class ArchiveFile {
public:
    explicit ArchiveFile(const fs::path& path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
        struct stat st {};
        if (fd_ >= 0 && ::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode)) size_ = static_cast<uint64_t>(st.st_size);
        else close();
    }
    ~ArchiveFile() { close(); }
    ArchiveFile(const ArchiveFile&) = delete;
    ArchiveFile& operator=(const ArchiveFile&) = delete;

    bool isOpen() const { return fd_ >= 0; }
    uint64_t size() const { return size_; }
    // Exactly length bytes from offset (the caller has checked them against size()).
    std::optional<std::vector<uint8_t>> read(uint64_t offset, uint64_t length) const {
        std::vector<uint8_t> out(static_cast<size_t>(length));
        if (!readFully(fd_, out.data(), length, offset)) return std::nullopt;
        return out;
    }

private:
    void close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    int fd_;
    uint64_t size_ = 0;
};

// What extracting each written entry by its name gives, checked against the entry: the
// file is read back once and its manifest decoded once, and every name resolves through
// an index to the same first entry that extraction by name would take (so two files of
// one name both meet the first).
bool verifyWrittenArchive(const fs::path& archiveURL, const std::vector<VelMWPakEntryV1085>& written) {
    if (written.empty()) return false;
    UncheckedBytes bytes;
    const auto size = readWhole(archiveURL, UINT64_MAX, bytes);
    if (!size) return false;
    const auto parsed = ParsedArchive::parse({bytes.data(), static_cast<size_t>(*size)});
    if (!parsed) return false;
    const auto& entries = parsed->manifest.entries;
    std::unordered_map<std::string_view, size_t> first;
    for (size_t i = 0; i < entries.size(); ++i) first.emplace(entries[i].name, i);
    std::vector<int8_t> checked(entries.size(), -1);  // -1 not yet, 0 failed, 1 passed
    ScratchSink scratch;
    for (const auto& e : written) {
        size_t at = entries.size();
        for (const std::string& name : {e.name, alternativeName(e.name)})
            if (const auto it = first.find(name); it != first.end()) at = std::min(at, it->second);
        if (at == entries.size()) return false;
        if (checked[at] < 0) checked[at] = parsed->verifies(entries[at], scratch);
        // The extracted bytes have the found entry's length and digest; they must be this one's.
        if (!checked[at] || entries[at].uncompressedBytes != e.uncompressedBytes ||
            entries[at].sha256Hex != e.sha256Hex)
            return false;
    }
    return true;
}

}  // namespace

std::array<uint8_t, 32> Streamer::sha256(std::span<const uint8_t> bytes) { return pk::crypto::sha256(bytes); }

std::string Streamer::hexDigest(const std::array<uint8_t, 32>& digest) { return pk::crypto::hexDigest(digest); }

std::optional<std::vector<uint8_t>> Streamer::lzfseCompress(std::span<const uint8_t> bytes) {
    if (bytes.empty()) return std::vector<uint8_t>{};
    UncheckedBytes scratch;
    const uint64_t bound = pk::compression::lzfseEncodeBound(bytes.size());
    if (!scratch.reserve(bound, 0)) return std::nullopt;
    const size_t n = pk::compression::lzfseEncodeBuffer(std::span(scratch.data(), static_cast<size_t>(bound)), bytes);
    if (n == 0) return std::nullopt;
    return std::vector<uint8_t>(scratch.data(), scratch.data() + n);
}

std::optional<std::vector<uint8_t>> Streamer::lzfseDecompress(std::span<const uint8_t> blob, uint64_t expectedLength) {
    if (!declaresLength(blob, expectedLength)) return std::nullopt;
    VectorSink sink(expectedLength);
    if (pk::compression::lzfseDecodeInto(sink, blob, expectedLength) != expectedLength) return std::nullopt;
    return std::move(sink.out);
}

std::optional<std::vector<uint8_t>> Streamer::extractEntryData(const std::string& named, const fs::path& from) {
    // Only the header, the manifest and the entry's own blob are read.
    const ArchiveFile file(from);
    if (!file.isOpen() || file.size() < 12) return std::nullopt;
    const auto header = file.read(0, kHeaderBytes);
    if (!header) return std::nullopt;
    const auto n = checkedManifestLength(*header, file.size());
    if (!n) return std::nullopt;
    const auto text = file.read(kHeaderBytes, *n);
    if (!text) return std::nullopt;
    const auto manifest = decodeManifest(*text);
    if (!manifest) return std::nullopt;
    const VelMWPakEntryV1085* e = findEntry(*manifest, named);
    if (!e) return std::nullopt;
    const auto range = blobOf(file.size(), *n, *e);
    if (!range) return std::nullopt;
    const auto blob = file.read(range->offset, range->length);
    if (!blob) return std::nullopt;
    return verifiedEntry(*blob, *e);
}

std::optional<std::vector<uint8_t>> Streamer::extractEntryData(const std::string& named,
                                                               std::span<const uint8_t> archive) {
    const auto parsed = ParsedArchive::parse(archive);
    if (!parsed) return std::nullopt;
    const VelMWPakEntryV1085* e = findEntry(parsed->manifest, named);
    if (!e) return std::nullopt;
    return parsed->extract(*e);
}

Streamer::GpuLoadTiming Streamer::timeGpuLoad(const fs::path& archiveURL, uint64_t archiveLength,
                                               pk::gpu::Device* device, double fallbackLatencyMs,
                                               const pk::Clock& clock) {
    const GpuLoadTiming fallback{static_cast<int64_t>(archiveLength), fallbackLatencyMs};
    if (!device) return fallback;
    const int fd = ::open(archiveURL.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return fallback;
    std::optional<GpuLoadTiming> timed;
    try {
        const size_t bufferBytes = static_cast<size_t>(std::max<uint64_t>(archiveLength, 4096));
        timed = device->run([&]() -> std::optional<GpuLoadTiming> {
            auto staging = device->makeBuffer({bufferBytes, pk::gpu::BufferStorage::persistentMapped});
            auto target = device->makeBuffer({bufferBytes, pk::gpu::BufferStorage::deviceLocal});
            if (!staging || !target || !staging->mapped()) return std::nullopt;
            auto* dst = static_cast<uint8_t*>(staging->mapped());
            const double t0 = clock.now();
            bool complete = readFully(fd, dst, archiveLength, 0);
            if (complete && archiveLength > 0) device->copyBuffer(*staging, 0, *target, 0, archiveLength);
            pk::gpu::Fence fence(*device);
            complete = fence.wait(UINT64_C(30000000000)) && complete;
            const double t1 = clock.now();
            return GpuLoadTiming{complete ? static_cast<int64_t>(archiveLength) : 0,
                                 std::max((t1 - t0) * 1000.0, 0.02)};
        });
    } catch (const pk::StudioError&) {
        timed.reset();
    }
    ::close(fd);
    return timed ? *timed : fallback;
}

VelMWPakStreamReceiptV1085 Streamer::makeReceipt(const fs::path& archiveURL, int64_t entryCount, int64_t totalRawBytes,
                                                 int64_t archiveLength, bool verified, const GpuLoadTiming& timing) {
    VelMWPakStreamReceiptV1085 r;
    r.archivePath = archiveURL.string();
    r.entryCount = entryCount;
    r.totalRawBytes = totalRawBytes;
    r.totalCompressedBytes = archiveLength;
    r.compressionSavingsPct =
        totalRawBytes < 1
            ? 0.0
            : pk::roundHalfAway((1.0 - double(archiveLength) / double(totalRawBytes)) * 100.0 * 10.0) / 10.0;
    r.allSHA256Verified = verified;
    r.mtlIOStreamBytes = timing.streamedBytes;
    const double bandwidth =
        (double(timing.streamedBytes) / 1048576.0) / std::max(timing.latencyMs / 1000.0, 0.00001);
    r.mtlIOLatencyMs = pk::roundHalfAway(timing.latencyMs * 100.0) / 100.0;
    r.mtlIOBandwidthMBps = pk::roundHalfAway(bandwidth * 10.0) / 10.0;
    return r;
}

VelMWPakStreamReceiptV1085 Streamer::packFilesToMWPak(const std::vector<fs::path>& fileURLs, const fs::path& archiveURL,
                                                      pk::gpu::Device* device) {
    return packFilesToMWPak(fileURLs, archiveURL, device, *pk::Clock::system());
}

VelMWPakStreamReceiptV1085 Streamer::packFilesToMWPak(const std::vector<fs::path>& fileURLs, const fs::path& archiveURL,
                                                      pk::gpu::Device* device, const pk::Clock& clock) {
    requireUtf8Names(fileURLs);
    createArchiveFolder(archiveURL);
    Packed p;
    UncheckedBytes input;
    for (const auto& url : fileURLs) addEntry(p, pk::lastComponent(url), url, input);
    const uint64_t length = writeArchive(archiveURL, p, 1165);

    const bool verified = verifyWrittenArchive(archiveURL, p.entries);
    const auto timing = timeGpuLoad(archiveURL, length, device, kPackFallbackMs, clock);
    return makeReceipt(archiveURL, static_cast<int64_t>(p.entries.size()), p.rawTotal, static_cast<int64_t>(length),
                       verified, timing);
}

VelMWPakStreamReceiptV1085 Streamer::packVerifyAndStreamHeroKits(pk::gpu::Device& device, const fs::path& archiveURL) {
    return packVerifyAndStreamHeroKits(device, archiveURL, VelBlenderHeroKitCatalogV1040::bundleResourceFolder(),
                                       *pk::Clock::system());
}

VelMWPakStreamReceiptV1085 Streamer::packVerifyAndStreamHeroKits(pk::gpu::Device& device, const fs::path& archiveURL,
                                                                 const fs::path& resourceFolder,
                                                                 const pk::Clock& clock) {
    createArchiveFolder(archiveURL);
    Packed p;
    UncheckedBytes input;
    for (const auto& name : VelBlenderHeroKitCatalogV1040::canonicalFilenames) {
        const auto url = VelBlenderHeroKitCatalogV1040::locateHeroAsset(name, resourceFolder);
        if (url) addEntry(p, name, *url, input);
    }
    const uint64_t length = writeArchive(archiveURL, p, 1085);

    const auto bytes = pk::readFile(archiveURL);
    if (!bytes) throw pk::StudioError("MWPak", 2, "The written archive could not be read back.");
    const std::span<const uint8_t> a(*bytes);
    if (a.size() < kHeaderBytes) throw pk::StudioError("MWPak", 3, "The written archive is truncated.");
    const uint64_t n = manifestLength(a);
    if (a.size() < kHeaderBytes + n) throw pk::StudioError("MWPak", 3, "The written archive is truncated.");
    const ParsedArchive parsed{a, n, VelMWPakManifestV1085::fromJson(pk::json::parseOrdered(std::string_view(
                                         reinterpret_cast<const char*>(a.data() + kHeaderBytes), static_cast<size_t>(n))))};
    bool verified = parsed.manifest.entries.size() == p.entries.size() && !p.entries.empty();
    ScratchSink decoded;
    for (const auto& e : parsed.manifest.entries) {
        if (!verified) break;
        verified = parsed.verifies(e, decoded);
    }
    const auto timing = timeGpuLoad(archiveURL, length, &device, kHeroKitFallbackMs, clock);
    return makeReceipt(archiveURL, static_cast<int64_t>(p.entries.size()), p.rawTotal, static_cast<int64_t>(length),
                       verified, timing);
}

VelMWPakStreamReceiptV1085 Streamer::packGrimtideV90HeroesArchive(pk::gpu::Device& device, const fs::path& archiveURL) {
    return packGrimtideV90HeroesArchive(device, archiveURL, VelBlenderHeroKitCatalogV1040::bundleResourceFolder());
}

VelMWPakStreamReceiptV1085 Streamer::packGrimtideV90HeroesArchive(pk::gpu::Device& device, const fs::path& archiveURL,
                                                                  const fs::path& resourceFolder) {
    std::vector<fs::path> urls;
    for (const auto& name : grimTideV90HeroFilenames)
        if (auto url = VelBlenderHeroKitCatalogV1040::locateHeroAsset(name, resourceFolder)) urls.push_back(*url);
    return packFilesToMWPak(urls, archiveURL, &device);
}

std::optional<fs::path> Streamer::resolveDefaultGrimtideMWPakURL(const std::optional<fs::path>& directoryOverride) {
    return resolveDefaultGrimtideMWPakURL(directoryOverride, VelBlenderHeroKitCatalogV1040::bundleResourceFolder());
}

std::optional<fs::path> Streamer::resolveDefaultGrimtideMWPakURL(const std::optional<fs::path>& directoryOverride,
                                                                 const fs::path& resourceFolder) {
    std::error_code ec;
    if (directoryOverride) {
        const fs::path p = *directoryOverride / kDefaultArchiveFilename;
        if (fs::exists(p, ec)) return p;
    }
    if (resourceFolder.empty()) return std::nullopt;
    for (const fs::path& dir : {resourceFolder / "AmberCellarPack", resourceFolder / "Assets3D", resourceFolder}) {
        const fs::path p = dir / kDefaultArchiveFilename;
        if (fs::exists(p, ec)) return p;
    }
    return std::nullopt;
}

}  // namespace assetio
