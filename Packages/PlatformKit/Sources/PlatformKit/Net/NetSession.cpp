#include "PlatformKit/Net/NetSession.h"

#include <random>

namespace pk::net {

std::string makePeerId() {
    static thread_local std::mt19937_64 rng{(static_cast<uint64_t>(std::random_device{}()) << 32) ^ std::random_device{}()};
    static constexpr char hex[] = "0123456789abcdef";
    uint64_t v = rng();
    std::string id;
    for (int i = 0; i < 16; ++i, v >>= 4) id.push_back(hex[v & 15]);
    return id;
}

}  // namespace pk::net
