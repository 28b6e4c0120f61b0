#include "PlatformKit/Crypto/Sha256.h"

#include <openssl/evp.h>

#include "PlatformKit/Foundation/StudioError.h"

namespace pk::crypto {

Sha256Digest sha256(std::span<const uint8_t> bytes) {
    Sha256Digest out{};
    unsigned int len = 0;
    static const uint8_t kEmpty = 0;
    const void* data = bytes.empty() ? &kEmpty : bytes.data();
    if (EVP_Digest(data, bytes.size(), out.data(), &len, EVP_sha256(), nullptr) != 1 || len != out.size())
        throw StudioError::library("OpenSSL", 1, "SHA-256 digest failed");
    return out;
}

std::string hexDigest(const Sha256Digest& digest) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string s;
    s.reserve(64);
    for (uint8_t b : digest) {
        s.push_back(kHex[b >> 4]);
        s.push_back(kHex[b & 15]);
    }
    return s;
}

}  // namespace pk::crypto
