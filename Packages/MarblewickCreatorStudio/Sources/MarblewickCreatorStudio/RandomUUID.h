#pragma once
// Random (version 4) UUIDs, for ids that only need to be unique.
#include <array>
#include <cstdint>

namespace creator {

// 16 random bytes with the version 4 and RFC 4122 variant bits set, from a generator
// seeded once per thread.
std::array<uint8_t, 16> randomUUIDBytes();

}  // namespace creator
