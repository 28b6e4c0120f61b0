#pragma once
// SHA-256 over OpenSSL's libcrypto.
#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace pk::crypto {

using Sha256Digest = std::array<uint8_t, 32>;

Sha256Digest sha256(std::span<const uint8_t> bytes);
// 64 lowercase hexadecimal digits, two per byte.
std::string hexDigest(const Sha256Digest& digest);

}  // namespace pk::crypto
