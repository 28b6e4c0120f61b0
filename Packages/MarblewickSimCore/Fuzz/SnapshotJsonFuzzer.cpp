#include <cstddef>
#include <cstdint>
#include <string_view>

#include "MarblewickSimCore/SimWorldSnapshot.h"
#include "PlatformKit/Foundation/StudioError.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    try {
        auto s = simcore::SimWorldSnapshot::decodeDeterministicJSON(
            std::string_view(reinterpret_cast<const char*>(data), size));
        try {
            const std::string bytes = s.encodeDeterministicJSON();
            if (simcore::SimWorldSnapshot::decodeDeterministicJSON(bytes).encodeDeterministicJSON() != bytes)
                __builtin_trap();
        } catch (const pk::StudioError&) {
            // ill-formed UTF-8 in a string reads but cannot be written
        }
    } catch (const pk::StudioError&) {
    }
    return 0;
}
