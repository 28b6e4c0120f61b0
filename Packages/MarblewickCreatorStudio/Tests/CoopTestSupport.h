#pragma once
// Hex fixtures for the wire-format tests.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

inline std::vector<uint8_t> fromHex(std::string_view hex) {
    std::vector<uint8_t> out;
    auto nibble = [](char c) -> int { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
    for (size_t i = 0; i + 1 < hex.size();) {
        if (hex[i] == ' ') {
            ++i;
            continue;
        }
        out.push_back(static_cast<uint8_t>(nibble(hex[i]) * 16 + nibble(hex[i + 1])));
        i += 2;
    }
    return out;
}

inline std::string toHex(const std::vector<uint8_t>& bytes) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string s;
    for (uint8_t b : bytes) {
        s.push_back(digits[b >> 4]);
        s.push_back(digits[b & 15]);
    }
    return s;
}
