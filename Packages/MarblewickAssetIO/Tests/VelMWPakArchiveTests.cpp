// Pack archive: layout and offset invariants, what the packers leave out, the reader's
// name rules and rejections, the receipt's arithmetic, the GPU timing and the lookups.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>

#include "MarblewickAssetIO/VelBlenderHeroKitCatalogV1040.h"
#include "MarblewickAssetIO/VelMWPakBinaryArchiveStreamerV1085.h"
#include "MWMeshTestWriter.h"
#include "PlatformKit/Compression/Lzfse.h"
#include "PlatformKit/Foundation/Files.h"
#include "PlatformKit/Foundation/Numbers.h"
#include "PlatformKit/Gpu/HeadlessDevice.h"
#include "FuzzSeeds.h"

using assetio::VelMWPakBinaryArchiveStreamerV1085;
using assetio::VelMWPakEntryV1085;
using assetio::VelMWPakManifestV1085;
namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using S = VelMWPakBinaryArchiveStreamerV1085;

namespace {

fs::path scratch(const std::string& name) {
    const fs::path dir = fs::path(KS_TEST_OUTPUT_DIR) / "mwpak" / name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

Bytes textBytes(size_t n, int seed) {
    std::string s;
    uint32_t x = static_cast<uint32_t>(seed) * 2654435761u + 1;
    static const char* words[] = {"mesh ", "vertex ", "normal ", "brass ", "lantern ", "meshlet\n"};
    while (s.size() < n) {
        x = x * 1103515245u + 12345u;
        s += words[(x >> 16) % 6];
    }
    s.resize(n);
    return {s.begin(), s.end()};
}

Bytes noise(size_t n) {
    Bytes b(n);
    uint32_t x = 99;
    for (auto& v : b) v = static_cast<uint8_t>((x = x * 1664525u + 1013904223u) >> 24);
    return b;
}

void write(const fs::path& p, const Bytes& b) {
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

struct Parsed {
    uint32_t n = 0;
    VelMWPakManifestV1085 manifest;
    std::string manifestText;
    Bytes file;
};

Parsed parse(const fs::path& p) {
    Parsed r;
    r.file = *pk::readFile(p);
    EXPECT_EQ(std::string(r.file.begin(), r.file.begin() + 4), "MWAK");
    std::memcpy(&r.n, r.file.data() + 4, 4);
    r.manifestText.assign(r.file.begin() + 8, r.file.begin() + 8 + r.n);
    r.manifest = VelMWPakManifestV1085::fromJson(pk::json::parseOrdered(r.manifestText));
    return r;
}

// An archive from a manifest text and a payload area.
Bytes archive(const std::string& manifest, const Bytes& payload) {
    Bytes a = {'M', 'W', 'A', 'K'};
    const uint32_t n = static_cast<uint32_t>(manifest.size());
    a.insert(a.end(), reinterpret_cast<const uint8_t*>(&n), reinterpret_cast<const uint8_t*>(&n) + 4);
    a.insert(a.end(), manifest.begin(), manifest.end());
    a.insert(a.end(), payload.begin(), payload.end());
    return a;
}

Bytes compress(const Bytes& b) { return *S::lzfseCompress(b); }

// The reader on an archive in memory, and on the same bytes as a file (read at offsets):
// both must give the same answer.
std::optional<Bytes> extract(const std::string& named, const Bytes& archive) {
    static int serial = 0;
    const auto path = fs::path(KS_TEST_OUTPUT_DIR) / "mwpak" / "reader" / (std::to_string(serial++) + ".mwpak");
    write(path, archive);
    auto fromMemory = S::extractEntryData(named, archive);
    EXPECT_EQ(S::extractEntryData(named, path), fromMemory) << "file reader differs for " << named;
    fs::remove(path);
    return fromMemory;
}
std::string digest(const Bytes& b) { return S::hexDigest(S::sha256(b)); }

std::string entryJson(const std::string& name, int64_t raw, int64_t packed, int64_t offset, const std::string& sha) {
    VelMWPakEntryV1085 e{name, raw, packed, offset, sha};
    return pk::json::dump(e.toJson());
}
std::string manifestJson(const std::vector<std::string>& entries) {
    std::string s = R"({"magic":"MWAK","version":1165,"compressionAlgorithm":"LZFSE","entries":[)";
    for (size_t i = 0; i < entries.size(); ++i) s += (i ? "," : "") + entries[i];
    return s + "]}";
}

// Moves on by a fixed step at every reading, so a timed interval is exactly one step.
class SteppingClock : public pk::Clock {
public:
    explicit SteppingClock(double step) : step_(step) {}
    double now() const override { return t_ += step_; }
    double wallSeconds() const override { return 1.7e9; }

private:
    double step_;
    mutable double t_ = 100.0;
};

std::shared_ptr<pk::gpu::HeadlessDevice> device() {
    static std::shared_ptr<pk::gpu::HeadlessDevice> d = [] {
        try {
            return pk::gpu::HeadlessDevice::create();
        } catch (const pk::StudioError&) {
            return std::shared_ptr<pk::gpu::HeadlessDevice>();
        }
    }();
    return d;
}

}  // namespace

TEST(MWPakArchive, LayoutOffsetsAndVerifiedReceipt) {
    const auto dir = scratch("layout");
    const Bytes a = textBytes(50000, 1), b = noise(3000), c = textBytes(200, 2);
    write(dir / "in/a.mwmesh", a);
    write(dir / "in/b.bin", b);
    write(dir / "in/c.txt", c);
    const auto out = dir / "deep/folder/pack.mwpak";
    const auto r = S::packFilesToMWPak({dir / "in/a.mwmesh", dir / "in/b.bin", dir / "in/c.txt"}, out, nullptr);

    const auto p = parse(out);
    kstest::writeFuzzSeed("assetio_mwpak", "three-entries", *pk::readFile(out));
    EXPECT_EQ(p.manifest.version, 1165);
    EXPECT_EQ(p.manifest.magic, "MWAK");
    EXPECT_EQ(p.manifest.compressionAlgorithm, "LZFSE");
    EXPECT_EQ(p.manifestText.find_first_of(" \n"), std::string::npos);  // compact
    ASSERT_EQ(p.manifest.entries.size(), 3u);
    int64_t offset = 0, rawTotal = 0;
    const Bytes* inputs[] = {&a, &b, &c};
    for (size_t i = 0; i < 3; ++i) {
        const auto& e = p.manifest.entries[i];
        EXPECT_EQ(e.payloadOffset, offset);
        EXPECT_EQ(e.uncompressedBytes, int64_t(inputs[i]->size()));
        EXPECT_EQ(e.sha256Hex, digest(*inputs[i]));
        const Bytes blob(p.file.begin() + 8 + p.n + e.payloadOffset, p.file.begin() + 8 + p.n + e.payloadOffset + e.compressedBytes);
        EXPECT_EQ(S::lzfseDecompress(blob, e.uncompressedBytes), *inputs[i]);
        offset += e.compressedBytes;
        rawTotal += e.uncompressedBytes;
    }
    EXPECT_EQ(p.manifest.entries[0].name, "a.mwmesh");
    EXPECT_EQ(int64_t(p.file.size()), 8 + int64_t(p.n) + offset);

    EXPECT_EQ(r.archivePath, out.string());
    EXPECT_EQ(r.entryCount, 3);
    EXPECT_EQ(r.totalRawBytes, rawTotal);
    EXPECT_EQ(r.totalCompressedBytes, int64_t(p.file.size()));
    EXPECT_TRUE(r.allSHA256Verified);
    // No device: the fallback figures, bandwidth against 0.0002 s.
    EXPECT_EQ(r.mtlIOLatencyMs, 0.2);
    EXPECT_EQ(r.mtlIOStreamBytes, r.totalCompressedBytes);
    EXPECT_DOUBLE_EQ(r.mtlIOBandwidthMBps, pk::roundTo(double(p.file.size()) / 1048576.0 / 0.0002, 1));
    EXPECT_EQ(S::extractEntryData("c.txt", out), c);
}

TEST(MWPakArchive, LeavesOutEmptyMissingAndDuplicateNamesFailVerification) {
    const auto dir = scratch("skips");
    write(dir / "one.mwmesh", textBytes(5000, 3));
    write(dir / "empty.mwmesh", {});
    const auto r = S::packFilesToMWPak({dir / "one.mwmesh", dir / "empty.mwmesh", dir / "nope.mwmesh"}, dir / "a.mwpak", nullptr);
    const auto p = parse(dir / "a.mwpak");
    ASSERT_EQ(p.manifest.entries.size(), 1u);
    EXPECT_EQ(p.manifest.entries[0].payloadOffset, 0);
    EXPECT_EQ(r.entryCount, 1);
    EXPECT_TRUE(r.allSHA256Verified);

    // Nothing packable: the archive still holds its header and an empty list.
    const auto none = S::packFilesToMWPak({dir / "empty.mwmesh"}, dir / "none.mwpak", nullptr);
    const auto q = parse(dir / "none.mwpak");
    EXPECT_TRUE(q.manifest.entries.empty());
    EXPECT_EQ(q.file.size(), 8u + q.n);
    EXPECT_EQ(none.entryCount, 0);
    EXPECT_EQ(none.totalRawBytes, 0);
    EXPECT_EQ(none.compressionSavingsPct, 0.0);
    EXPECT_FALSE(none.allSHA256Verified);

    // Two files of one name: verification extracts the first for both.
    write(dir / "x/same.mwmesh", textBytes(3000, 4));
    write(dir / "y/same.mwmesh", textBytes(3000, 5));
    write(dir / "z/same.mwmesh", textBytes(3000, 4));
    EXPECT_FALSE(S::packFilesToMWPak({dir / "x/same.mwmesh", dir / "y/same.mwmesh"}, dir / "d.mwpak", nullptr).allSHA256Verified);
    EXPECT_TRUE(S::packFilesToMWPak({dir / "x/same.mwmesh", dir / "z/same.mwmesh"}, dir / "e.mwpak", nullptr).allSHA256Verified);
    // "same" is also found as "same.mwmesh" when that comes first, so it meets the other file.
    write(dir / "w/same", textBytes(3000, 4));
    EXPECT_FALSE(S::packFilesToMWPak({dir / "y/same.mwmesh", dir / "w/same"}, dir / "f.mwpak", nullptr).allSHA256Verified);
    EXPECT_TRUE(S::packFilesToMWPak({dir / "w/same", dir / "y/same.mwmesh"}, dir / "g.mwpak", nullptr).allSHA256Verified);

    // A tiny input grows: header and manifest count in the archive length.
    write(dir / "t.txt", {'h', 'i'});
    EXPECT_LT(S::packFilesToMWPak({dir / "t.txt"}, dir / "t.mwpak", nullptr).compressionSavingsPct, 0.0);

    // A folder that cannot be made is an error, and nothing is written.
    write(dir / "file", {'x'});
    EXPECT_THROW(S::packFilesToMWPak({dir / "one.mwmesh"}, dir / "file/sub/a.mwpak", nullptr), pk::StudioError);
}

// An entry name is manifest text: a file whose name is not UTF-8 stops the archive with
// the archive's own words, naming the file, before a folder or file is made.
TEST(MWPakArchive, FileNameThatIsNotUtf8IsRefusedBeforeAnythingIsWritten) {
    const auto dir = scratch("names");
    write(dir / "good.mwmesh", textBytes(2000, 8));
    write(dir / "bad\xFF\xC3.mwmesh", textBytes(2000, 9));
    const std::vector<fs::path> files = {dir / "good.mwmesh", dir / "bad\xFF\xC3.mwmesh"};
    try {
        S::packFilesToMWPak(files, dir / "out" / "a.mwpak", nullptr);
        ADD_FAILURE() << "packed a name that is not UTF-8";
    } catch (const pk::StudioError& e) {
        EXPECT_EQ(e.domain, "MWPak");
        EXPECT_EQ(e.description, "Cannot pack " + dir.string() +
                                     "/bad\\xFF\\xC3.mwmesh: its file name is not valid UTF-8, which an archive "
                                     "entry name must be.");
    }
    EXPECT_FALSE(fs::exists(dir / "out"));

    // An archive already there is left as it was.
    write(dir / "old.mwpak", {'o', 'l', 'd'});
    EXPECT_THROW(S::packFilesToMWPak(files, dir / "old.mwpak", nullptr), pk::StudioError);
    EXPECT_EQ(*pk::readFile(dir / "old.mwpak"), (Bytes{'o', 'l', 'd'}));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 3);
}

TEST(MWPakArchive, TwoHundredHeroMeshesVerifyAndExtract) {
    const auto dir = scratch("many");
    std::vector<fs::path> files;
    std::vector<Bytes> contents;
    for (int i = 0; i < 200; ++i) {
        mwmesh_test::File mesh = mwmesh_test::quad();
        for (int k = 0; k < 40 + i % 7; ++k)
            mesh.vertices.push_back(mwmesh_test::vertex(float(i) * 0.25f + float(k), float(k % 5), float(i % 11)));
        contents.push_back(mesh.bytes());
        files.push_back(dir / "in" / ("Hero_" + std::to_string(i) + ".mwmesh"));
        write(files.back(), contents.back());
    }
    const auto out = dir / "many.mwpak";
    const auto r = S::packFilesToMWPak(files, out, nullptr);
    EXPECT_EQ(r.entryCount, 200);
    EXPECT_TRUE(r.allSHA256Verified);
    const auto p = parse(out);
    ASSERT_EQ(p.manifest.entries.size(), 200u);
    for (int i = 0; i < 200; ++i) {
        SCOPED_TRACE(i);
        const auto got = S::extractEntryData("Hero_" + std::to_string(i), out);
        ASSERT_TRUE(got.has_value());
        EXPECT_EQ(*got, contents[size_t(i)]);
    }
}

TEST(MWPakArchive, ExtractingOneEntryReadsOnlyItsOwnBytes) {
    // An archive of more than 4 GiB, almost all of it a hole before the one entry asked
    // for: a reader that took the whole file would refuse it (or run out of memory).
    const auto dir = scratch("sparse");
    const Bytes hero = textBytes(5000, 14), blob = compress(hero);
    const int64_t gap = (int64_t(9) << 29);  // 4.5 GiB
    const std::string manifest = manifestJson({entryJson("Gap.mwmesh", 1, gap, 0, digest({'x'})),
                                               entryJson("Hero.mwmesh", int64_t(hero.size()), int64_t(blob.size()), gap, digest(hero))});
    const auto path = dir / "sparse.mwpak";
    write(path, archive(manifest, {}));
    {
        std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(std::streamoff(8 + manifest.size()) + gap);
        f.write(reinterpret_cast<const char*>(blob.data()), std::streamsize(blob.size()));
        ASSERT_TRUE(f.good());
    }
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    if (uint64_t(st.st_blocks) * 512 > (uint64_t(64) << 20)) {
        fs::remove(path);
        GTEST_SKIP() << "the file system does not keep holes";
    }
    EXPECT_EQ(S::extractEntryData("Hero", path), hero);
    // A blob recorded far longer than its data is refused before anything is read.
    EXPECT_FALSE(S::extractEntryData("Gap", path).has_value());
    fs::remove(path);
}

TEST(MWPakArchive, ExtractionNameRules) {
    const Bytes mesh = textBytes(4000, 6), plain = textBytes(3000, 7);
    const Bytes pm = compress(mesh), pp = compress(plain);
    Bytes payload = pm;
    payload.insert(payload.end(), pp.begin(), pp.end());
    const auto a = archive(manifestJson({entryJson("Hero.mwmesh", int64_t(mesh.size()), int64_t(pm.size()), 0, digest(mesh)),
                                         entryJson("notes", int64_t(plain.size()), int64_t(pp.size()), int64_t(pm.size()), digest(plain))}),
                           payload);
    struct Row {
        const char* ask;
        const Bytes* expect;
    };
    const Row rows[] = {{"Hero", &mesh}, {"Hero.mwmesh", &mesh}, {"hero", nullptr}, {"HERO.mwmesh", nullptr},
                        {"notes", &plain}, {"notes.mwmesh", nullptr}, {"", nullptr}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.ask);
        const auto got = extract(r.ask, a);
        if (r.expect) {
            ASSERT_TRUE(got.has_value());
            EXPECT_EQ(*got, *r.expect);
        } else {
            EXPECT_FALSE(got.has_value());
        }
    }
}

TEST(MWPakArchive, ReaderRejections) {
    const Bytes data = textBytes(6000, 8);
    const Bytes blob = compress(data);
    const std::string sha = digest(data);
    const int64_t raw = int64_t(data.size()), packed = int64_t(blob.size());
    auto one = [&](const std::string& entry, const Bytes& payload) { return archive(manifestJson({entry}), payload); };
    std::string upper = sha;
    for (auto& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    const Bytes good = one(entryJson("e", raw, packed, 0, sha), blob);
    ASSERT_TRUE(extract("e", good).has_value());

    std::vector<std::pair<std::string, Bytes>> bad;
    bad.push_back({"11 bytes", Bytes(good.begin(), good.begin() + 11)});
    {
        Bytes b = good;
        b[0] = 'X';
        bad.push_back({"wrong magic", b});
    }
    {
        Bytes b = good;
        const uint32_t n = static_cast<uint32_t>(b.size());
        std::memcpy(b.data() + 4, &n, 4);
        bad.push_back({"N beyond file", b});
    }
    for (const char* key : {"name", "uncompressedBytes", "compressedBytes", "payloadOffset", "sha256Hex"}) {
        auto j = pk::json::parseOrdered(entryJson("e", raw, packed, 0, sha));
        j.erase(key);
        bad.push_back({std::string("entry without ") + key, one(pk::json::dump(j), blob)});
    }
    for (const char* key : {"magic", "version", "compressionAlgorithm", "entries"}) {
        auto j = pk::json::parseOrdered(manifestJson({entryJson("e", raw, packed, 0, sha)}));
        j.erase(key);
        bad.push_back({std::string("manifest without ") + key, archive(pk::json::dump(j), blob)});
    }
    bad.push_back({"text where a number belongs", one(R"({"name":"e","uncompressedBytes":"6000","compressedBytes":1,"payloadOffset":0,"sha256Hex":"x"})", blob)});
    bad.push_back({"blob past end", one(entryJson("e", raw, packed + 1, 0, sha), blob)});
    bad.push_back({"offset past end", one(entryJson("e", raw, packed, 1, sha), blob)});
    bad.push_back({"offset near int64 max", one(entryJson("e", raw, packed, INT64_MAX - 2, sha), blob)});
    bad.push_back({"negative offset", one(entryJson("e", raw, packed, -1, sha), blob)});
    bad.push_back({"negative compressed", one(entryJson("e", raw, -1, 0, sha), blob)});
    bad.push_back({"negative uncompressed", one(entryJson("e", -5, packed, 0, sha), blob)});
    bad.push_back({"huge uncompressed", one(entryJson("e", INT64_MAX, packed, 0, sha), blob)});
    bad.push_back({"uncompressed beyond any ratio", one(entryJson("e", int64_t(1) << 31, packed, 0, sha), blob)});
    bad.push_back({"decompresses shorter", one(entryJson("e", raw + 1, packed, 0, sha), blob)});
    {
        Bytes padded = blob;  // a blob recorded as more than twice its data and the slack
        padded.resize(size_t(2 * raw + 64 * 1024 + 1), 0);
        bad.push_back({"blob far longer than its data", one(entryJson("e", raw, int64_t(padded.size()), 0, sha), padded)});
    }
    bad.push_back({"cut stream, digest of the whole", one(entryJson("e", raw - 1, packed, 0, sha), blob)});
    bad.push_back({"upper-case digest", one(entryJson("e", raw, packed, 0, upper), blob)});
    bad.push_back({"zero bytes, digest of other data", one(entryJson("e", 0, packed, 0, sha), blob)});
    bad.push_back({"not json", archive("{oops", blob)});
    for (const auto& [name, a] : bad) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(extract("e", a).has_value());
    }
    // The stream's block headers must add up to the recorded length: a stream cut to the
    // recorded length is refused even under the digest of the cut bytes.
    const Bytes head(data.begin(), data.end() - 1);
    EXPECT_FALSE(extract("e", one(entryJson("e", raw - 1, packed, 0, digest(head)), blob)).has_value());
    EXPECT_FALSE(extract("e", one(entryJson("e", 0, packed, 0, digest({})), blob)).has_value());
    // An entry of 0 bytes is empty data only from a stream of no blocks, under the digest
    // of empty input.
    const Bytes endOnly = {'b', 'v', 'x', '$'};
    const auto empty = extract("e", one(entryJson("e", 0, 4, 0, digest({})), endOnly));
    ASSERT_TRUE(empty.has_value());
    EXPECT_TRUE(empty->empty());
    EXPECT_FALSE(extract("e", one(entryJson("e", 0, 4, 0, sha), endOnly)).has_value());
    EXPECT_FALSE(S::extractEntryData("e", fs::path("/nonexistent/x.mwpak")).has_value());
}

TEST(MWPakArchive, ReceiptRounding) {
    struct Row {
        int64_t raw, archive, streamed;
        double latency;
        double savings, latencyOut, bandwidthOut;
    };
    const Row rows[] = {
        {1000, 250, 250, 1.0, 75.0, 1.0, 0.2},
        {3, 2, 2, 0.2, 33.3, 0.2, 0.0},
        {200, 201, 201, 0.125, -0.5, 0.13, 1.5},            // halves away from zero
        {0, 40, 40, 0.2, 0.0, 0.2, 0.2},
        {1048576, 524288, 1048576, 0.005, 50.0, 0.01, 100000.0},  // bandwidth floor of 0.00001 s
        {1000, 10, 0, 3.14159, 99.0, 3.14, 0.0},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.raw);
        const auto rec = S::makeReceipt("/x/a.mwpak", 1, r.raw, r.archive, true, {r.streamed, r.latency});
        EXPECT_DOUBLE_EQ(rec.compressionSavingsPct, r.savings);
        EXPECT_DOUBLE_EQ(rec.mtlIOLatencyMs, r.latencyOut);
        EXPECT_DOUBLE_EQ(rec.mtlIOBandwidthMBps, r.bandwidthOut);
        EXPECT_EQ(rec.totalCompressedBytes, r.archive);
    }
    // Receipts keep their declared key order.
    const auto j = S::makeReceipt("/x", 1, 2, 3, false, {3, 0.2}).toJson();
    std::vector<std::string> keys;
    for (auto it = j.begin(); it != j.end(); ++it) keys.push_back(it.key());
    EXPECT_EQ(keys, (std::vector<std::string>{"archivePath", "entryCount", "totalRawBytes", "totalCompressedBytes",
                                              "compressionSavingsPct", "allSHA256Verified", "mtlIOStreamBytes",
                                              "mtlIOLatencyMs", "mtlIOBandwidthMBps"}));
    EXPECT_EQ(assetio::VelMWPakStreamReceiptV1085::fromJson(j), S::makeReceipt("/x", 1, 2, 3, false, {3, 0.2}));
}

TEST(MWPakArchive, GpuLoadIsTimedWithTheInjectedClock) {
    auto dev = device();
    if (!dev) GTEST_SKIP() << "no OpenGL 4.5 device";
    const auto dir = scratch("gpu");
    write(dir / "a.mwmesh", textBytes(100000, 9));
    const SteppingClock clock(0.0125);  // one interval = 12.5 ms
    const auto r = S::packFilesToMWPak({dir / "a.mwmesh"}, dir / "a.mwpak", dev.get(), clock);
    EXPECT_TRUE(r.allSHA256Verified);
    EXPECT_EQ(r.mtlIOStreamBytes, r.totalCompressedBytes);
    EXPECT_DOUBLE_EQ(r.mtlIOLatencyMs, 12.5);
    EXPECT_DOUBLE_EQ(r.mtlIOBandwidthMBps, pk::roundTo(double(r.totalCompressedBytes) / 1048576.0 / 0.0125, 1));
    // A clock that does not move reports the 0.02 ms floor.
    const pk::ManualClock still;
    EXPECT_DOUBLE_EQ(S::packFilesToMWPak({dir / "a.mwmesh"}, dir / "b.mwpak", dev.get(), still).mtlIOLatencyMs, 0.02);
    // The bytes really reach the GPU buffer path: a missing archive falls back.
    EXPECT_EQ(S::timeGpuLoad(dir / "missing.mwpak", 123, dev.get(), 0.25, clock).latencyMs, 0.25);
}

TEST(MWPakArchive, HeroKitAndGrimtidePackersFindTheirFiles) {
    auto dev = device();
    if (!dev) GTEST_SKIP() << "no OpenGL 4.5 device";
    const auto res = scratch("resources");
    const auto& names = assetio::VelBlenderHeroKitCatalogV1040::canonicalFilenames;
    write(res / "AmberCellarPack" / names[0], textBytes(9000, 10));
    write(res / names[2], textBytes(7000, 11));
    write(res / names[4], {});  // empty: left out
    const auto r = S::packVerifyAndStreamHeroKits(*dev, res / "out/kit.mwpak", res, pk::ManualClock());
    const auto p = parse(res / "out/kit.mwpak");
    EXPECT_EQ(p.manifest.version, 1085);
    ASSERT_EQ(p.manifest.entries.size(), 2u);
    EXPECT_EQ(p.manifest.entries[0].name, names[0]);
    EXPECT_EQ(p.manifest.entries[1].name, names[2]);
    EXPECT_EQ(r.entryCount, 2);
    EXPECT_TRUE(r.allSHA256Verified);
    EXPECT_DOUBLE_EQ(r.mtlIOLatencyMs, 0.02);
    EXPECT_FALSE(S::packVerifyAndStreamHeroKits(*dev, res / "out/none.mwpak", scratch("empty-res"), pk::ManualClock())
                     .allSHA256Verified);

    write(res / S::grimTideV90HeroFilenames[2], textBytes(5000, 12));
    write(res / "AmberCellarPack" / S::grimTideV90HeroFilenames[0], textBytes(5000, 13));
    const auto g = S::packGrimtideV90HeroesArchive(*dev, res / "out/grim.mwpak", res);
    const auto q = parse(res / "out/grim.mwpak");
    EXPECT_EQ(q.manifest.version, 1165);
    ASSERT_EQ(q.manifest.entries.size(), 2u);
    EXPECT_EQ(q.manifest.entries[0].name, S::grimTideV90HeroFilenames[0]);
    EXPECT_EQ(q.manifest.entries[1].name, S::grimTideV90HeroFilenames[2]);
    EXPECT_TRUE(g.allSHA256Verified);
}

TEST(MWPakArchive, DefaultArchiveLookupOrder) {
    const auto res = scratch("lookup");
    const auto over = scratch("lookup-override");
    const std::string f = S::kDefaultArchiveFilename;
    EXPECT_FALSE(S::resolveDefaultGrimtideMWPakURL(over, res).has_value());
    write(res / f, {'1'});
    EXPECT_EQ(S::resolveDefaultGrimtideMWPakURL(std::nullopt, res), res / f);
    write(res / "Assets3D" / f, {'2'});
    EXPECT_EQ(S::resolveDefaultGrimtideMWPakURL(over, res), res / "Assets3D" / f);
    write(res / "AmberCellarPack" / f, {'3'});
    EXPECT_EQ(S::resolveDefaultGrimtideMWPakURL(over, res), res / "AmberCellarPack" / f);
    write(over / f, {'4'});
    EXPECT_EQ(S::resolveDefaultGrimtideMWPakURL(over, res), over / f);
    EXPECT_EQ(S::resolveDefaultGrimtideMWPakURL(std::nullopt, res), res / "AmberCellarPack" / f);
}
