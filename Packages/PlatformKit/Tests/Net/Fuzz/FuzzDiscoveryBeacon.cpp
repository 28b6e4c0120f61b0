#include <cstdint>
#include <cstdlib>

#include "PlatformKit/Net/DiscoveryBeacon.h"

using pk::net::DiscoveryBeacon;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto b = DiscoveryBeacon::decode({data, size});
    if (!b) return 0;
    auto again = DiscoveryBeacon::decode(b->encode());
    if (!again || !(*again == *b)) abort();
    return 0;
}
