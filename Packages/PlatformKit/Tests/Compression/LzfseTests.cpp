// LZFSE: round trips, interop with the reference codec in both directions, the block
// kinds the encoder picks, capacity cuts and hostile streams.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>

#include "LzfseTestSupport.h"
#include "PlatformKit/Compression/LzfseFormat.h"
#include "PlatformKit/Foundation/Files.h"
#include "FuzzSeeds.h"

using namespace lzfsetest;
namespace fmt = pk::compression::fmt;

namespace {

struct Case {
    std::string name;
    std::vector<uint8_t> bytes;
};

std::vector<Case> interopCases() {
    std::vector<Case> cases;
    for (size_t n = 0; n <= 8; ++n) cases.push_back({"text" + std::to_string(n), text(n)});
    cases.push_back({"text100", text(100)});
    cases.push_back({"text4095", text(4095)});
    cases.push_back({"text4096", text(4096)});
    cases.push_back({"text180k", text(180 * 1000)});
    cases.push_back({"periodic", periodicRuns()});
    cases.push_back({"periodicSmall", periodicRuns(6)});
    cases.push_back({"mwmsSmall", mwmsFile(4, 6)});
    cases.push_back({"random4095", randomBytes(4095)});
    cases.push_back({"random300k", randomBytes(300 * 1024)});
    cases.push_back({"text2.4M", text(2400 * 1024)});
    cases.push_back({"zeros1M", std::vector<uint8_t>(1 << 20, 0)});
    cases.push_back({"mwms", mwmsFile()});
    return cases;
}

// Magic numbers of the blocks of a well-formed stream, in order.
std::vector<std::string> blockKinds(const std::vector<uint8_t>& s) {
    std::vector<std::string> kinds;
    size_t at = 0;
    while (at + 4 <= s.size()) {
        const uint32_t magic = fmt::load32(s.data() + at);
        kinds.emplace_back(reinterpret_cast<const char*>(s.data() + at), 4);
        if (magic == fmt::kEndMagic) break;
        if (magic == fmt::kRawMagic) at += 8 + fmt::load32(s.data() + at + 4);
        else if (magic == fmt::kLzvnMagic) at += 12 + fmt::load32(s.data() + at + 8);
        else if (magic == fmt::kV2Magic) {
            const uint64_t f0 = fmt::load64(s.data() + at + 8), f1 = fmt::load64(s.data() + at + 16),
                           f2 = fmt::load64(s.data() + at + 24);
            at += (f2 & 0xFFFFFFFF) + ((f0 >> 20) & 0xFFFFF) + ((f1 >> 40) & 0xFFFFF);
        } else if (magic == fmt::kV1Magic) {
            at += 772 + fmt::load32(s.data() + at + 20) + fmt::load32(s.data() + at + 24);
        } else break;
    }
    return kinds;
}

}  // namespace

TEST(Lzfse, RoundTripsEveryInputAndInteropsWithTheReference) {
    for (const auto& c : interopCases()) {
        SCOPED_TRACE(c.name);
        const auto ours = encode(c.bytes);
        ASSERT_FALSE(ours.empty());
        if (ours.size() < 64 * 1024) kstest::writeFuzzSeed("lzfse_decode", c.name, ours);
        const auto back = decode(ours, c.bytes.size());
        ASSERT_TRUE(back.has_value());
        EXPECT_TRUE(*back == c.bytes);
        if (!haveOracle()) continue;
        std::vector<uint8_t> refOut(c.bytes.size());
        EXPECT_EQ(oracleDecode(ours, refOut), c.bytes.size());
        EXPECT_TRUE(refOut == c.bytes);
        const auto theirs = oracleEncode(c.bytes, c.bytes.size() + 4096);
        ASSERT_FALSE(theirs.empty());
        const auto fromRef = decode(theirs, c.bytes.size());
        ASSERT_TRUE(fromRef.has_value());
        EXPECT_TRUE(*fromRef == c.bytes);
        // Same block kinds as the reference, and streams no more than 1% larger.
        EXPECT_EQ(blockKinds(ours).front(), blockKinds(theirs).front());
        EXPECT_LE(ours.size(), theirs.size() + theirs.size() / 100);
    }
    if (!haveOracle()) GTEST_SKIP() << "reference LZFSE codec (Debian apfs-dkms) not available: interop half skipped";
}

TEST(Lzfse, RealDataStreamsStayWithinOnePercentOfTheReference) {
    if (!haveOracle()) GTEST_SKIP() << "reference LZFSE codec (Debian apfs-dkms) not available";
    // Real text (this package's own sources, in a fixed order) and real machine code (this
    // test's executable), cut at sizes on both sides of the LZVN threshold.
    std::vector<std::filesystem::path> files;
    for (const auto& e : std::filesystem::recursive_directory_iterator(std::string(KS_SOURCE_DIR) +
                                                                       "/Packages/PlatformKit/Sources"))
        if (e.is_regular_file()) files.push_back(e.path());
    std::sort(files.begin(), files.end());
    std::vector<uint8_t> sources;
    for (const auto& f : files) {
        const auto b = pk::readFile(f);
        if (b) sources.insert(sources.end(), b->begin(), b->end());
    }
    const auto exe = pk::readFile("/proc/self/exe");
    ASSERT_TRUE(exe.has_value());
    const std::pair<const char*, const std::vector<uint8_t>*> corpora[] = {{"sources", &sources}, {"executable", &*exe}};
    for (const auto& [name, data] : corpora) {
        ASSERT_GT(data->size(), 400000u) << name;
        for (size_t size : {16, 100, 700, 2000, 4095, 4096, 30000, 180000}) {
            for (size_t at : {size_t(0), data->size() / 3, data->size() - size}) {
                SCOPED_TRACE(std::string(name) + " " + std::to_string(size) + "@" + std::to_string(at));
                const std::vector<uint8_t> in(data->begin() + at, data->begin() + at + size);
                const auto ours = encode(in);
                const auto theirs = oracleEncode(in, in.size() + 4096);
                EXPECT_LE(ours.size(), theirs.size() + theirs.size() / 100);
                std::vector<uint8_t> back(in.size());
                EXPECT_EQ(oracleDecode(ours, back), in.size());
                EXPECT_TRUE(back == in);
                EXPECT_EQ(decode(theirs, in.size()), in);
            }
        }
    }
}

TEST(Lzfse, PicksBlockKindsLikeTheReferenceEncoder) {
    struct Row {
        std::vector<uint8_t> in;
        std::string first;
    };
    // 80 bytes of noise and its first 15 again: LZVN saves 2 bytes, less than its block
    // header costs beyond a raw one.
    std::vector<uint8_t> barely = randomBytes(80, 21);
    barely.insert(barely.end(), barely.begin(), barely.begin() + 15);
    const std::vector<Row> rows = {
        {{}, "bvx-"},
        {text(7), "bvx-"},
        {std::vector<uint8_t>(8, 'a'), "bvx-"},  // LZVN would take 11 bytes
        {std::vector<uint8_t>(64, 'a'), "bvxn"},
        {text(4095), "bvxn"},
        {randomBytes(4095), "bvx-"},  // LZVN would not be smaller
        {barely, "bvx-"},
        {text(4096), "bvx2"},
        {randomBytes(5000), "bvx2"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.in.size());
        const auto s = encode(r.in);
        const auto kinds = blockKinds(s);
        ASSERT_GE(kinds.size(), 2u);
        EXPECT_EQ(kinds.front(), r.first);
        EXPECT_EQ(kinds.back(), "bvx$");
    }
    // Big inputs span several FSE blocks, with matches reaching back across blocks.
    const auto big = text(2400 * 1024);
    const auto kinds = blockKinds(encode(big));
    EXPECT_GT(std::count(kinds.begin(), kinds.end(), "bvx2"), 3);
    // When the compressed form does not fit, a raw block is written; when nothing fits, 0.
    const auto rnd = randomBytes(100000);
    std::vector<uint8_t> tight(rnd.size() + 12);
    ASSERT_EQ(pk::compression::lzfseEncodeBuffer(tight, rnd), rnd.size() + 12);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(tight.data()), 4), "bvx-");
    std::vector<uint8_t> tooSmall(rnd.size() + 11);
    EXPECT_EQ(pk::compression::lzfseEncodeBuffer(tooSmall, rnd), 0u);
}

TEST(Lzfse, UncompressedTableBlocksDecodeHereAndInTheReference) {
    for (const auto& in : {text(3000), text(200000), randomBytes(50000), mwmsFile(20, 30)}) {
        std::vector<uint8_t> out(in.size() + 8192);
        out.resize(pk::compression::detail::lzfseEncodeBuffer(out, in, {.v1Headers = true, .forceFse = true}));
        ASSERT_EQ(blockKinds(out).front(), "bvx1");
        const auto back = decode(out, in.size());
        ASSERT_TRUE(back.has_value());
        EXPECT_TRUE(*back == in);
        if (haveOracle()) {
            std::vector<uint8_t> ref(in.size());
            EXPECT_EQ(oracleDecode(out, ref), in.size());
            EXPECT_TRUE(ref == in);
        }
    }
}

TEST(Lzfse, MatchesReachIntoEarlierBlocks) {
    // A raw block of eight bytes, then an LZVN block that copies them (distance 8).
    std::vector<uint8_t> s = {'b', 'v', 'x', '-', 8, 0, 0, 0, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h',
                              'b', 'v', 'x', 'n', 8, 0, 0, 0, 10, 0, 0, 0, 0x28, 0x08, 0x06, 0, 0, 0, 0, 0, 0, 0,
                              'b', 'v', 'x', '$'};
    const auto out = decode(s, 16);
    ASSERT_TRUE(out.has_value());
    EXPECT_EQ(std::string(out->begin(), out->end()), "abcdefghabcdefgh");
    if (haveOracle()) {
        std::vector<uint8_t> ref(16);
        EXPECT_EQ(oracleDecode(s, ref), 16u);
    }
}

TEST(Lzfse, CapacityCutsTheOutput) {
    for (const auto& in : {text(3000), text(100000), std::vector<uint8_t>(70000, 0), randomBytes(20), periodicRuns(),
                           periodicRuns(6)}) {
        const auto s = encode(in);
        std::vector<size_t> caps = {0, 1, in.size() / 3, in.size() + 10};
        // The last bytes before the capacity are where wide copies give way to exact ones.
        for (size_t back = 0; back <= 48 && back <= in.size(); ++back) caps.push_back(in.size() - back);
        for (size_t cap : caps) {
            SCOPED_TRACE(cap);
            std::vector<uint8_t> out(cap);  // exactly cap bytes: the sanitizers see any overrun
            const size_t n = pk::compression::lzfseDecodeBuffer(out, s);
            EXPECT_EQ(n, std::min(cap, in.size()));
            EXPECT_TRUE(std::equal(out.begin(), out.begin() + n, in.begin()));
        }
    }
}

TEST(Lzfse, CommittedReferenceFixturesDecode) {
    const std::string dir = std::string(KS_SOURCE_DIR) + "/Packages/PlatformKit/Tests/Compression/Fixtures/";
    int seen = 0;
    for (const char* stem : {"tiny", "small", "medium"}) {
        SCOPED_TRACE(stem);
        const auto raw = pk::readFile(dir + stem + ".bin");
        const auto packed = pk::readFile(dir + stem + ".lzfse");
        ASSERT_TRUE(raw && packed);
        const auto back = decode(*packed, raw->size());
        ASSERT_TRUE(back.has_value());
        EXPECT_TRUE(*back == *raw);
        ++seen;
    }
    EXPECT_EQ(seen, 3);
}

TEST(Lzfse, HostileStreamsFailCleanly) {
    auto v2 = encode(text(20000));
    auto lzvn = encode(text(1000));
    std::vector<uint8_t> v1(30000);
    const auto v1In = text(20000);
    v1.resize(pk::compression::detail::lzfseEncodeBuffer(v1, v1In, {.v1Headers = true, .forceFse = true}));
    std::map<std::string, std::vector<uint8_t>> bad;
    bad["bad magic"] = {'b', 'v', 'x', 'Q', 0, 0, 0, 0};
    bad["empty"] = {};
    bad["missing end"] = std::vector<uint8_t>(v2.begin(), v2.end() - 4);
    bad["distance beyond output"] = {'b', 'v', 'x', 'n', 8, 0, 0, 0, 10, 0, 0, 0, 0x28, 0x05, 0x06, 0, 0, 0, 0, 0, 0, 0,
                                     'b', 'v', 'x', '$'};
    bad["undefined LZVN opcode"] = {'b', 'v', 'x', 'n', 8, 0, 0, 0, 9, 0, 0, 0, 0x70, 0x06, 0, 0, 0, 0, 0, 0, 0,
                                    'b', 'v', 'x', '$'};
    bad["repeat match before any distance"] = {'b', 'v', 'x', 'n', 4, 0, 0, 0, 9, 0, 0, 0, 0xF4, 0x06, 0, 0, 0, 0, 0, 0, 0,
                                               'b', 'v', 'x', '$'};
    bad["raw block longer than input"] = {'b', 'v', 'x', '-', 0xFF, 0xFF, 0xFF, 0x7F, 'a', 'b', 'v', 'x', '$'};
    {
        auto s = v1;  // l_freq[0] += 64: the L table now sums past its 64 states
        uint16_t f;
        std::memcpy(&f, s.data() + 50, 2);
        f = static_cast<uint16_t>(f + 64);
        std::memcpy(s.data() + 50, &f, 2);
        bad["frequency sum over state count"] = s;
    }
    {
        auto s = v1;
        fmt::store32(s.data() + 12, 40004);
        bad["too many literals"] = s;
    }
    {
        auto s = v1;
        uint16_t st = 1024;
        std::memcpy(s.data() + 32, &st, 2);
        bad["state beyond table"] = s;
    }
    {
        auto s = v2;  // header size below the fixed part
        uint64_t f2 = fmt::load64(s.data() + 24);
        f2 = (f2 & ~uint64_t(0xFFFFFFFF)) | 16;
        fmt::store64(s.data() + 24, f2);
        bad["header size below fixed part"] = s;
    }
    {
        auto s = v2;  // header size past the input
        uint64_t f2 = fmt::load64(s.data() + 24);
        f2 = (f2 & ~uint64_t(0xFFFFFFFF)) | 0xFFFFFF00u;
        fmt::store64(s.data() + 24, f2);
        bad["header size past input"] = s;
    }
    for (const auto& [name, s] : bad) {
        SCOPED_TRACE(name);
        std::vector<uint8_t> out(1 << 16);
        EXPECT_EQ(pk::compression::lzfseDecodeBuffer(out, s), 0u);
    }
    // Truncation at every header field (and everywhere else) of each block kind.
    for (const auto* s : {&v2, &lzvn, &v1}) {
        for (size_t cut = 0; cut < s->size(); ++cut) {
            std::vector<uint8_t> t(s->begin(), s->begin() + cut);
            std::vector<uint8_t> out(30000);
            ASSERT_EQ(pk::compression::lzfseDecodeBuffer(out, t), 0u) << "cut at " << cut;
        }
    }
    // Flipped bytes: any result, but never past the capacity (ASan watches the rest).
    Lcg r(3);
    for (int i = 0; i < 3000; ++i) {
        auto s = (i % 3 == 0) ? v2 : (i % 3 == 1) ? lzvn : v1;
        for (int k = 0; k < 1 + int(r.next() % 4); ++k) s[r.next() % s.size()] ^= uint8_t(1u << (r.next() % 8));
        std::vector<uint8_t> out(r.next() % 25000);
        EXPECT_LE(pk::compression::lzfseDecodeBuffer(out, s), out.size());
    }
}

namespace {

// Grows exactly to what the decoder asks, keeping the written bytes, and remembers the
// most it was ever asked for.
class RecordingSink final : public pk::compression::DecodeSink {
public:
    uint8_t* reserve(uint64_t total) override {
        largest = std::max(largest, total);
        bytes.resize(static_cast<size_t>(total));
        return bytes.data();
    }
    std::vector<uint8_t> bytes;
    uint64_t largest = 0;
};

// A v2 FSE block header with no tables and no payload, declaring `nraw` bytes from
// `matches` matches: a header that costs 32 bytes and decodes to nothing.
std::vector<uint8_t> emptyFseBlock(uint32_t nraw, uint32_t matches) {
    std::vector<uint8_t> b(32, 0);
    fmt::store32(b.data(), fmt::kV2Magic);
    fmt::store32(b.data() + 4, nraw);
    fmt::store64(b.data() + 8, (uint64_t(matches) << 40) | (uint64_t(7) << 60));
    fmt::store64(b.data() + 16, uint64_t(7) << 60);
    fmt::store64(b.data() + 24, 32);
    return b;
}

}  // namespace

TEST(Lzfse, DecodedSizeComesFromBlockHeadersAndBoundsWhatTheyCanMake) {
    std::vector<uint8_t> v1(30000);
    const auto v1In = text(20000);
    v1.resize(pk::compression::detail::lzfseEncodeBuffer(v1, v1In, {.v1Headers = true, .forceFse = true}));
    const std::vector<uint8_t> end = {'b', 'v', 'x', '$'};
    // Well-formed streams of every block kind and several blocks.
    for (const auto& [stream, size] : std::vector<std::pair<std::vector<uint8_t>, uint64_t>>{
             {encode(randomBytes(5)), 5}, {encode(text(1000)), 1000}, {encode(text(300000)), 300000},
             {encode(randomBytes(70000)), 70000}, {v1, 20000}, {end, 0}}) {
        SCOPED_TRACE(size);
        EXPECT_EQ(pk::compression::lzfseDecodedSize(stream), size);
        for (size_t cut : {size_t(0), stream.size() / 2, stream.size() - 1})
            EXPECT_FALSE(pk::compression::lzfseDecodedSize(std::span(stream.data(), cut)).has_value()) << cut;
    }
    // Headers that claim more than their payload can make.
    auto cat = [](std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    std::vector<uint8_t> lzvn = {'b', 'v', 'x', 'n', 0, 0, 0, 0, 8, 0, 0, 0, 0x06, 0, 0, 0, 0, 0, 0, 0};
    fmt::store32(lzvn.data() + 4, 136 * 8);
    EXPECT_EQ(pk::compression::lzfseDecodedSize(cat(lzvn, end)), 136u * 8);
    fmt::store32(lzvn.data() + 4, 136 * 8 + 1);
    EXPECT_FALSE(pk::compression::lzfseDecodedSize(cat(lzvn, end)).has_value());
    EXPECT_EQ(pk::compression::lzfseDecodedSize(cat(emptyFseBlock(10 * 2359, 10), end)), 10u * 2359);
    EXPECT_FALSE(pk::compression::lzfseDecodedSize(cat(emptyFseBlock(10 * 2359 + 1, 10), end)).has_value());
    EXPECT_FALSE(pk::compression::lzfseDecodedSize(std::vector<uint8_t>(4096, 0)).has_value());
}

TEST(Lzfse, GrowingDecodeFollowsTheBlocksAndRefusesWhatDiffersFromThem) {
    for (const auto& in : {text(1000), text(300000), randomBytes(70000), periodicRuns(), std::vector<uint8_t>(200000, 7)}) {
        SCOPED_TRACE(in.size());
        const auto s = encode(in);
        RecordingSink sink;
        ASSERT_EQ(pk::compression::lzfseDecodeInto(sink, s, in.size()), in.size());
        EXPECT_TRUE(sink.bytes == in);
        EXPECT_EQ(sink.largest, in.size());
        RecordingSink tooSmall;
        EXPECT_EQ(pk::compression::lzfseDecodeInto(tooSmall, s, in.size() - 1), 0u);
        EXPECT_LT(tooSmall.largest, in.size());
    }
    // A block that makes more or less than it declares is refused, not cut or padded.
    auto s = encode(text(300000));
    ASSERT_EQ(fmt::load32(s.data()), fmt::kV2Magic);
    for (int delta : {-1, 1}) {
        auto t = s;
        fmt::store32(t.data() + 4, fmt::load32(t.data() + 4) + uint32_t(delta));
        RecordingSink sink;
        EXPECT_EQ(pk::compression::lzfseDecodeInto(sink, t, 1 << 20), 0u) << delta;
    }
    // A run of headers promising 20 MB each costs one block's promise, not their sum.
    std::vector<uint8_t> bomb;
    for (int i = 0; i < 50; ++i) {
        const auto b = emptyFseBlock(20000000, 10000);
        bomb.insert(bomb.end(), b.begin(), b.end());
    }
    for (uint8_t c : {'b', 'v', 'x', '$'}) bomb.push_back(c);
    ASSERT_EQ(pk::compression::lzfseDecodedSize(bomb), uint64_t(50) * 20000000);
    RecordingSink sink;
    EXPECT_EQ(pk::compression::lzfseDecodeInto(sink, bomb, uint64_t(1) << 40), 0u);
    EXPECT_LE(sink.largest, 20000000u);
}
