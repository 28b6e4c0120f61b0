#include <cstdint>
#include <cstdlib>

#include "MarblewickCreatorStudio/VelCoopPlayerStatePacketV1170.h"

using creator::VelCoopPlayerStatePacketV1170;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto p = VelCoopPlayerStatePacketV1170::decodeBinary({data, size});
    if (!p) return 0;
    // A decoded packet re-encodes to 48 bytes and decodes to the same fields (NaN aside).
    auto again = VelCoopPlayerStatePacketV1170::decodeBinary(p->encodeBinary());
    if (!again || again->flags != p->flags || again->seq != p->seq || again->encodeBinary().size() != 48) abort();
    return 0;
}
