// libFuzzer entry: a LAN link packet of any content is refused or read whole, and what is
// read writes out and reads back the same.
#include <cstdint>
#include <cstdlib>

#include "PlatformKit/Net/LanLinkMessage.h"

using pk::net::LanLinkMessage;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> packet(data, size);
    if (auto m = LanLinkMessage::decode(packet)) {
        auto again = LanLinkMessage::decode(m->encode());
        if (!again || !(*again == *m) || m->encode().size() != size) abort();
    }
    if (auto payload = LanLinkMessage::decodeData(packet)) {
        if (payload->size() + LanLinkMessage::dataHeaderBytes != size) abort();
        if (LanLinkMessage::encodeData(*payload) != std::vector<uint8_t>(data, data + size)) abort();
    }
    return 0;
}
