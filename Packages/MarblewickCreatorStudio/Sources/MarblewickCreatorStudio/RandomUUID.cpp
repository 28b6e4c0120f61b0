#include "MarblewickCreatorStudio/RandomUUID.h"

#include <random>

namespace creator {

std::array<uint8_t, 16> randomUUIDBytes() {
    thread_local std::mt19937_64 engine = [] {
        std::random_device rd;
        std::seed_seq seq{rd(), rd(), rd(), rd()};
        return std::mt19937_64(seq);
    }();
    std::array<uint8_t, 16> id;
    const uint64_t a = engine(), b = engine();
    for (int i = 0; i < 8; ++i) {
        id[i] = static_cast<uint8_t>(a >> (8 * i));
        id[8 + i] = static_cast<uint8_t>(b >> (8 * i));
    }
    id[6] = static_cast<uint8_t>((id[6] & 0x0F) | 0x40);  // version 4
    id[8] = static_cast<uint8_t>((id[8] & 0x3F) | 0x80);  // RFC 4122 variant
    return id;
}

}  // namespace creator
