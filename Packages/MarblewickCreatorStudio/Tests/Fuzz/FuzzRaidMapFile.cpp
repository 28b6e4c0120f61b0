// libFuzzer entry: the reader of raid-map vault files must reject any text without a
// crash, and whatever it accepts must write out and read back the same.
#include <cstddef>
#include <cstdint>
#include <string>

#include "MarblewickCreatorStudio/VelUGCRaidMapRecordV1175.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using creator::VelUGCRaidMapRecordV1175;
    VelUGCRaidMapRecordV1175 map;
    try {
        map = VelUGCRaidMapRecordV1175::fromJson(pk::json::parse(std::string(reinterpret_cast<const char*>(data), size)));
    } catch (const pk::StudioError&) {
        return 0;
    }
    const std::string text = pk::json::dump(map.toJson<pk::json::Json>(), pk::json::Style::pretty);
    if (!(VelUGCRaidMapRecordV1175::fromJson(pk::json::parse(text)) == map)) __builtin_trap();
    return 0;
}
