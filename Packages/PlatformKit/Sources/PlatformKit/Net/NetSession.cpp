#include "PlatformKit/Net/NetSession.h"

#include <random>

namespace pk::net {

std::string makePeerId() {
    // Fresh from the system every time: a generator kept in memory would hand a forked
    // process the same ids as its parent.
    std::random_device device;
    uint64_t v = (static_cast<uint64_t>(device()) << 32) ^ device();
    static constexpr char hex[] = "0123456789abcdef";
    std::string id;
    for (int i = 0; i < 16; ++i, v >>= 4) id.push_back(hex[v & 15]);
    return id;
}

}  // namespace pk::net
