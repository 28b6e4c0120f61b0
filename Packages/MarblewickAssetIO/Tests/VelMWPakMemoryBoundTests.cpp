// What a hostile archive can make the reader allocate, measured by counting every
// allocation of this test binary (it replaces the global operator new for that).
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>

#include "MarblewickAssetIO/VelMWPakBinaryArchiveStreamerV1085.h"
#include "PlatformKit/Compression/LzfseFormat.h"
#include "PlatformKit/Foundation/Json.h"

namespace {

std::atomic<int64_t> gLive{0}, gPeak{0};
constexpr size_t kPrefix = 16;  // keeps the caller's block 16-byte aligned

void* counted(size_t n) {
    void* p = std::malloc(n + kPrefix);
    if (!p) return nullptr;
    std::memcpy(p, &n, sizeof n);
    const int64_t live = gLive.fetch_add(int64_t(n)) + int64_t(n);
    int64_t peak = gPeak.load();
    while (live > peak && !gPeak.compare_exchange_weak(peak, live)) {
    }
    return static_cast<char*>(p) + kPrefix;
}
void release(void* q) {
    if (!q) return;
    void* p = static_cast<char*>(q) - kPrefix;
    size_t n;
    std::memcpy(&n, p, sizeof n);
    gLive.fetch_sub(int64_t(n));
    std::free(p);
}

}  // namespace

void* operator new(size_t n) {
    if (void* p = counted(n)) return p;
    throw std::bad_alloc();
}
void* operator new[](size_t n) { return operator new(n); }
void* operator new(size_t n, const std::nothrow_t&) noexcept { return counted(n); }
void* operator new[](size_t n, const std::nothrow_t&) noexcept { return counted(n); }
void operator delete(void* p) noexcept { release(p); }
void operator delete[](void* p) noexcept { release(p); }
void operator delete(void* p, size_t) noexcept { release(p); }
void operator delete[](void* p, size_t) noexcept { release(p); }

namespace {

using S = assetio::VelMWPakBinaryArchiveStreamerV1085;
namespace fs = std::filesystem;
namespace fmt = pk::compression::fmt;
using Bytes = std::vector<uint8_t>;

// The most the reader may hold beyond what was live before it ran.
constexpr int64_t kBudget = int64_t(64) << 20;
constexpr int64_t kDeclared = 2000000000;
constexpr size_t kArchiveBytes = 980 * 1000;

Bytes archiveOf(const Bytes& blob, int64_t declared) {
    assetio::VelMWPakEntryV1085 e{"bomb.mwmesh", declared, int64_t(blob.size()), 0, std::string(64, '0')};
    const std::string manifest = R"({"magic":"MWAK","version":1165,"compressionAlgorithm":"LZFSE","entries":[)" +
                                 pk::json::dump(e.toJson()) + "]}";
    Bytes a = {'M', 'W', 'A', 'K', 0, 0, 0, 0};
    const uint32_t n = uint32_t(manifest.size());
    std::memcpy(a.data() + 4, &n, 4);
    a.insert(a.end(), manifest.begin(), manifest.end());
    a.insert(a.end(), blob.begin(), blob.end());
    return a;
}

// FSE block headers with no payload, each promising `each` bytes (within what 10000
// matches could make), then the end marker and zeros to the archive's size.
Bytes promisingBlob(int64_t total, uint32_t each) {
    Bytes b;
    for (int64_t left = total; left > 0; left -= each) {
        uint8_t h[32] = {};
        fmt::store32(h, fmt::kV2Magic);
        fmt::store32(h + 4, uint32_t(std::min<int64_t>(left, each)));
        fmt::store64(h + 8, (uint64_t(10000) << 40) | (uint64_t(7) << 60));
        fmt::store64(h + 16, uint64_t(7) << 60);
        fmt::store64(h + 24, 32);
        b.insert(b.end(), h, h + 32);
    }
    for (uint8_t c : {'b', 'v', 'x', '$'}) b.push_back(c);
    return b;
}

}  // namespace

TEST(MWPakMemoryBound, ArchivesDeclaringGigabytesCostAtMostTheBudget) {
    struct Case {
        const char* what;
        Bytes blob;
        int64_t declared;
    };
    Bytes zeros(kArchiveBytes - 400, 0);
    auto promising = [](int64_t declared) {
        Bytes b = promisingBlob(declared, 20000000);
        b.resize(kArchiveBytes - 400, 0);
        return b;
    };
    // Two gigabytes are above what the reader takes for one entry at all; one gigabyte is
    // below it, so there the stream's own block headers must refuse it.
    const Case cases[] = {
        {"2 GB over a blob of zeros", zeros, kDeclared},
        {"1 GB over a blob of zeros", zeros, kDeclared / 2},
        {"2 GB promised by block headers that make nothing", promising(kDeclared), kDeclared},
        {"1 GB promised by block headers that make nothing", promising(kDeclared / 2), kDeclared / 2},
    };
    ASSERT_LT(kDeclared / 2, int64_t(S::kMaxEntryBytes));
    const fs::path dir = fs::path(KS_TEST_OUTPUT_DIR) / "mwpak-bound";
    fs::create_directories(dir);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Bytes a = archiveOf(c.blob, c.declared);
        ASSERT_GT(a.size(), 950u * 1000);
        ASSERT_LT(a.size(), 1000u * 1000);
        const fs::path path = dir / "bomb.mwpak";
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(a.data()), std::streamsize(a.size()));

        const int64_t before = gLive.load();
        gPeak.store(before);
        EXPECT_FALSE(S::extractEntryData("bomb.mwmesh", a).has_value());
        EXPECT_LE(gPeak.load() - before, kBudget) << "from memory";

        gPeak.store(gLive.load());
        const int64_t beforeFile = gLive.load();
        EXPECT_FALSE(S::extractEntryData("bomb.mwmesh", path).has_value());
        EXPECT_LE(gPeak.load() - beforeFile, kBudget) << "from the file";
    }
}

TEST(MWPakMemoryBound, AnHonestEntryCostsAboutItsOwnSize) {
    Bytes data(8 << 20);
    uint32_t x = 7;
    for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i % 97 < 60 ? 'a' + i % 13 : (x = x * 1664525u + 1013904223u) >> 24);
    const auto blob = S::lzfseCompress(data);
    ASSERT_TRUE(blob.has_value());
    const int64_t before = gLive.load();
    gPeak.store(before);
    const auto back = S::lzfseDecompress(*blob, data.size());
    ASSERT_TRUE(back.has_value());
    EXPECT_TRUE(*back == data);
    // The result itself, the growth of its buffer and the decoder's fixed scratch.
    EXPECT_LE(gPeak.load() - before, int64_t(data.size()) * 5 / 2 + (1 << 20));
}
