#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "CoopTestSupport.h"
#include "MarblewickCreatorStudio/VelCoopPlayerStatePacketV1170.h"
#include "FuzzSeeds.h"

using namespace creator;
using Packet = VelCoopPlayerStatePacketV1170;
using Avatar = VelRemoteCoopAvatarV1170;

namespace {
Packet withCallsign(std::string_view callsign) { return Packet(1, {0, 0, 0}, 0, 0, false, false, -1, callsign); }

// A valid packet whose callsign area holds exactly these bytes (zero padded).
std::vector<uint8_t> wireWithCallsignBytes(const std::vector<uint8_t>& area) {
    auto bytes = withCallsign("").encodeBinary();
    std::copy(area.begin(), area.end(), bytes.begin() + 32);
    return bytes;
}
}  // namespace

TEST(CoopPlayerStatePacket, GoldenBytesAndRoundTrip) {
    const Packet p(42, {-17.5f, 5.5f, -71.2f}, 1.42f, 0.64f, true, true, 1, "ORVEN-M6");
    EXPECT_EQ(p.flags, 0x0Bu);
    const auto bytes = p.encodeBinary();
    EXPECT_EQ(toHex(bytes),
              "5043574d2a00000000008cc10000b04066668ec28fc2b53f0ad7233f0b000000"
              "4f5256454e2d4d360000000000000000");
    auto back = Packet::decodeBinary(bytes);
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, p);
    EXPECT_TRUE(back->carryingCore());
    EXPECT_TRUE(back->insideMercy());
    EXPECT_EQ(back->warthogSeat(), 1);
    EXPECT_EQ(back->worldPos(), pk::float3(-17.5f, 5.5f, -71.2f));
}

TEST(CoopPlayerStatePacket, CallsignRules) {
    struct Case {
        const char* name;
        std::string callsign;
        std::string inPacket;
        std::string received;
    };
    const std::string nineA = "\xC3\x84\xC3\x84\xC3\x84\xC3\x84\xC3\x84\xC3\x84\xC3\x84\xC3\x84\xC3\x84";  // Ä ×9
    std::string seventeenAcute;
    for (int i = 0; i < 17; ++i) seventeenAcute += "e\xCC\x81";  // e + combining acute: one character each
    const std::string replacement = "\xEF\xBF\xBD";
    const Case cases[] = {
        {"17 ASCII letters keep 16", "ABCDEFGHIJKLMNOPQ", "ABCDEFGHIJKLMNOP", "ABCDEFGHIJKLMNOP"},
        {"nine 2-byte letters: 8 reach the wire", nineA, nineA, nineA.substr(0, 16)},
        {"cut inside a 3-byte character", "ABCDEFGHIJKLMN\xE2\x82\xAC", "ABCDEFGHIJKLMN\xE2\x82\xAC",
         "ABCDEFGHIJKLMN" + replacement},
        {"characters, not code points", seventeenAcute, seventeenAcute.substr(0, 48),
         seventeenAcute.substr(0, 15) + "e"},
        {"one flag is one character", "\xF0\x9F\x87\xBA\xF0\x9F\x87\xB8", "\xF0\x9F\x87\xBA\xF0\x9F\x87\xB8",
         "\xF0\x9F\x87\xBA\xF0\x9F\x87\xB8"},
        {"empty is received as OPERATOR", "", "", "OPERATOR"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Packet p = withCallsign(c.callsign);
        EXPECT_EQ(p.callsign16, c.inPacket);
        const auto bytes = p.encodeBinary();
        ASSERT_EQ(bytes.size(), 48u);
        auto back = Packet::decodeBinary(bytes);
        ASSERT_TRUE(back);
        EXPECT_EQ(back->callsign16, c.received);
    }
    EXPECT_EQ(toHex(withCallsign("").encodeBinary()).substr(64), std::string(32, '0'));
}

TEST(CoopPlayerStatePacket, ReceivedCallsignBytes) {
    const std::string fffd = "\xEF\xBF\xBD";
    struct Case {
        const char* name;
        std::vector<uint8_t> area;
        std::string expected;
    };
    const Case cases[] = {
        {"zero at offset 35 ends the text", {'A', 'B', 'C', 0, 'D', 'E'}, "ABC"},
        {"no zero: all 16 bytes", std::vector<uint8_t>(16, 'Z'), std::string(16, 'Z')},
        // A truncated E2 82 is one maximal subpart: one U+FFFD; a lone FF is another.
        {"one U+FFFD per maximal subpart", {'A', 0xE2, 0x82, 'A', 0xFF, 'B'}, "A" + fffd + "A" + fffd + "B"},
        {"surrogate encoding is three subparts", {0xED, 0xA0, 0x80}, fffd + fffd + fffd},
        {"lone continuation bytes", {0x80, 0x80}, fffd + fffd},
        {"leading zero: empty, so OPERATOR", {0, 'X'}, "OPERATOR"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto p = Packet::decodeBinary(wireWithCallsignBytes(c.area));
        ASSERT_TRUE(p);
        EXPECT_EQ(p->callsign16, c.expected);
    }
}

TEST(CoopPlayerStatePacket, SeatCodes) {
    struct Case {
        int64_t seat;
        uint32_t code;
        int64_t decoded;
    };
    const Case cases[] = {{-5, 0, -1},
                          {-1, 0, -1},
                          {0, 1, 0},
                          {1, 2, 1},
                          {6, 7, 6},
                          {9, 7, 6},
                          {std::numeric_limits<int64_t>::max(), 7, 6},
                          {std::numeric_limits<int64_t>::min(), 0, -1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.seat);
        const Packet p(0, {0, 0, 0}, 0, 0, false, false, c.seat, "X");
        EXPECT_EQ((p.flags >> 2) & 7u, c.code);
        EXPECT_EQ(p.flags & ~0x1Cu, 0u);
        EXPECT_EQ(Packet::decodeBinary(p.encodeBinary())->warthogSeat(), c.decoded);
    }
}

TEST(CoopPlayerStatePacket, LengthsMagicAndFlagBits) {
    const auto good = Packet(7, {1, 2, 3}, 0.5f, 0.1f, true, false, 2, "KESTREL").encodeBinary();
    kstest::writeFuzzSeed("creator_PlayerStatePacket", "kestrel", good);
    EXPECT_FALSE(Packet::decodeBinary(std::span(good).first(47)));
    EXPECT_FALSE(Packet::decodeBinary({}));
    auto longer = good;
    longer.resize(60, 0xAB);
    auto fromLonger = Packet::decodeBinary(longer);
    ASSERT_TRUE(fromLonger);
    EXPECT_EQ(*fromLonger, *Packet::decodeBinary(good));

    auto wrongMagic = good;
    wrongMagic[3] = 'X';
    EXPECT_FALSE(Packet::decodeBinary(wrongMagic));

    auto highBits = good;
    highBits[28] |= 0x80;  // bit 7
    highBits[31] = 0xFF;   // bits 24..31
    auto p = Packet::decodeBinary(highBits);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->flags, 0x0Du);  // core, seat code 3
}

TEST(CoopPlayerStatePacket, EqualityComparesFloatsAsIEEE) {
    Packet a = withCallsign("A"), b = withCallsign("A");
    a.posX = 0.0f;
    b.posX = -0.0f;
    EXPECT_EQ(a, b);
    a.yaw = b.yaw = std::numeric_limits<float>::quiet_NaN();
    EXPECT_NE(a, b);
    // A NaN travels bit for bit even though it never compares equal.
    auto back = Packet::decodeBinary(a.encodeBinary());
    EXPECT_TRUE(std::isnan(back->yaw));
}

TEST(RemoteCoopAvatar, FromPacketAccentAndJson) {
    const Packet p(3, {1.5f, 0, -2}, 0.25f, 0.35f, true, false, 4, "RAVEN");
    const Avatar a = Avatar::fromPacket(p, "Marblewick-Mac");
    EXPECT_EQ(a.id, "Marblewick-Mac");
    EXPECT_EQ(a.callsign, "RAVEN");
    EXPECT_EQ(a.worldPos, pk::float3(1.5f, 0, -2));
    EXPECT_TRUE(a.carryingWendmoorCore);
    EXPECT_EQ(a.inWarthogSeat, 4);
    EXPECT_FALSE(a.isIndoorsMercy);
    EXPECT_EQ(a.voiceRMS, 0.35f);
    const pk::float3 palette[3] = {{0.18f, 0.92f, 1.0f}, {1.0f, 0.72f, 0.16f}, {0.32f, 1.0f, 0.56f}};
    EXPECT_EQ(a.accentRGB, palette[Avatar::accentIndex("Marblewick-Mac")]);
    EXPECT_EQ(Avatar::fromPacket(p, "Marblewick-Mac").accentRGB, a.accentRGB);

    // |hash| mod 3 for hashes whose magnitude has no signed form.
    EXPECT_EQ(Avatar::accentIndexForHash(std::numeric_limits<int64_t>::min()), 2u);  // 2^63 mod 3
    EXPECT_EQ(Avatar::accentIndexForHash(std::numeric_limits<int64_t>::max()), 1u);
    EXPECT_EQ(Avatar::accentIndexForHash(-4), 1u);

    const std::string text = pk::json::dump(a.toJson());
    EXPECT_EQ(text.substr(0, text.find(",\"accentRGB\"")),
              R"({"id":"Marblewick-Mac","callsign":"RAVEN","worldPos":[1.5,0,-2],"yaw":0.25,)"
              R"("carryingWendmoorCore":true,"inWarthogSeat":4,"isIndoorsMercy":false,"voiceRMS":0.35)");
    EXPECT_EQ(Avatar::fromJson(pk::json::parse(pk::json::dump(a.toJson()))), a);

    for (const char* key : {"voiceRMS", "accentRGB"}) {
        auto j = a.toJson();
        j.erase(key);
        EXPECT_THROW(Avatar::fromJson(j), pk::StudioError) << key;
    }
    auto bad = a.toJson();
    bad["worldPos"] = "here";
    EXPECT_THROW(Avatar::fromJson(bad), pk::StudioError);
}
