// SHA-256 against the published test vectors, and the hex text the archive stores.
#include <gtest/gtest.h>

#include <string>

#include "PlatformKit/Crypto/Sha256.h"

namespace {
std::string digestOf(const std::string& s) {
    return pk::crypto::hexDigest(pk::crypto::sha256({reinterpret_cast<const uint8_t*>(s.data()), s.size()}));
}
}  // namespace

TEST(Sha256, MatchesKnownVectors) {
    EXPECT_EQ(digestOf(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(digestOf("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(digestOf("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(digestOf(std::string(1000000, 'a')), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(Sha256, HexIsLowercaseTwoDigitsPerByte) {
    pk::crypto::Sha256Digest d{};
    d[0] = 0x0A;
    d[31] = 0xF0;
    const auto h = pk::crypto::hexDigest(d);
    ASSERT_EQ(h.size(), 64u);
    EXPECT_EQ(h.substr(0, 2), "0a");
    EXPECT_EQ(h.substr(62), "f0");
}
