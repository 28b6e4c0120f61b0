#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "CoopTestSupport.h"
#include "MarblewickCreatorStudio/VelDeterministicReplayClipV1250.h"
#include "FuzzSeeds.h"

using namespace creator;
using Frame = VelReplayInputFrameV1250;
using Clip = VelDeterministicReplayClipV1250;

TEST(ReplayClip, Quantisation) {
    const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
    struct Stick {
        float v;
        int q;
    };
    for (Stick c : {Stick{0.016f, 2}, Stick{0.014f, 1}, Stick{-0.016f, -2}, Stick{1.0f, 100}, Stick{1.5f, 127},
                    Stick{-2.0f, -128}, Stick{0.005f, 1}, Stick{0.015f, 2}, Stick{-0.005f, -1}, Stick{inf, 127},
                    Stick{-inf, -128}, Stick{nan, 0}, Stick{1e30f, 127}}) {
        EXPECT_EQ(Frame::quantiseStick(c.v), c.q) << c.v;
    }
    for (Stick c : {Stick{0.0314f, 31}, Stick{40.0f, 32767}, Stick{-40.0f, -32768}, Stick{nan, 0}, Stick{-inf, -32768}}) {
        EXPECT_EQ(Frame::quantiseYaw(c.v), c.q) << c.v;
    }
    const Frame f(16, 0.5f, -0.25f, 0.1f, 0xA5);
    Frame expected;
    expected.dtMs = 16;
    expected.moveForwardQ = 50;
    expected.moveStrafeQ = -25;
    expected.yawDeltaQ = 100;
    expected.actionMask = 0xA5;
    EXPECT_EQ(f, expected);
}

TEST(ReplayClip, GoldenBytesAndRoundTrip) {
    Clip clip{0x0102030405060708ull, "Lap", {Frame(16, 1.0f, -0.5f, 0.0314f, 0x05)}, {7}};
    const auto bytes = clip.encodeCompactBinary();
    kstest::writeFuzzSeed("creator_ReplayClip", "lap", bytes);
    EXPECT_EQ(toHex(bytes),
              "5052574d" "0807060504030201" "01000000" "01000000"
              "100064ce1f000500" "07000000");
    EXPECT_EQ(Clip::decodeCompactBinary(bytes, "Lap"), clip);

    Clip big{42, "Long", {}, {}};
    for (int i = 0; i < 300; ++i) big.frames.emplace_back(static_cast<uint16_t>(i), 0.01f * i - 1.5f, 0.3f, -0.002f * i, i & 0xFF);
    big.highlightTickBookmarks = {0, 299, 4294967295};
    const auto encoded = big.encodeCompactBinary();
    EXPECT_EQ(encoded.size(), 20u + 8 * 300 + 4 * 3);
    EXPECT_EQ(Clip::decodeCompactBinary(encoded, "Long"), big);

    const Clip empty{9, "Empty", {}, {}};
    EXPECT_EQ(empty.encodeCompactBinary().size(), 20u);
    EXPECT_EQ(Clip::decodeCompactBinary(empty.encodeCompactBinary(), "Empty"), empty);
}

TEST(ReplayClip, BookmarksOutsideTheWordRange) {
    const Clip clip{1, "B", {}, {-5, int64_t{1} << 40}};
    auto back = Clip::decodeCompactBinary(clip.encodeCompactBinary(), "B");
    ASSERT_TRUE(back);
    EXPECT_EQ(back->highlightTickBookmarks, (std::vector<int64_t>{0, 4294967295}));
}

TEST(ReplayClip, MalformedInput) {
    Clip clip{5, "T", {Frame(10, 0, 0, 0, 1), Frame(10, 0.2f, 0, 0, 2)}, {1}};
    auto bytes = clip.encodeCompactBinary();

    EXPECT_FALSE(Clip::decodeCompactBinary(std::span(bytes).first(19), "T"));
    EXPECT_FALSE(Clip::decodeCompactBinary(std::span(bytes).first(bytes.size() - 1), "T"));
    auto wrongMagic = bytes;
    wrongMagic[0] = 'Q';
    EXPECT_FALSE(Clip::decodeCompactBinary(wrongMagic, "T"));
    auto moreFrames = bytes;
    moreFrames[12] = 3;
    EXPECT_FALSE(Clip::decodeCompactBinary(moreFrames, "T"));
    // Counts whose 32-bit byte total would wrap to a small number.
    auto huge = bytes;
    for (int i = 12; i < 20; ++i) huge[i] = 0xFF;
    EXPECT_FALSE(Clip::decodeCompactBinary(huge, "T"));
    auto wraps32 = bytes;  // 8 × 0x20000000 = 2^32
    wraps32[12] = 0; wraps32[13] = 0; wraps32[14] = 0; wraps32[15] = 0x20;
    wraps32[16] = 0; wraps32[17] = 0; wraps32[18] = 0; wraps32[19] = 0;
    EXPECT_FALSE(Clip::decodeCompactBinary(wraps32, "T"));

    auto trailing = bytes;
    trailing.push_back(0x77);
    EXPECT_EQ(Clip::decodeCompactBinary(trailing, "T"), clip);

    auto padded = bytes;
    padded[20 + 7] = 0x9C;  // a stored pad byte is never read back
    EXPECT_EQ(Clip::decodeCompactBinary(padded, "T")->frames[0].pad, 0);
}
