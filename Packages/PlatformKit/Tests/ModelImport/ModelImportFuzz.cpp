// Model files of every accepted format: the first byte picks the reader, the rest is the
// file, so one corpus covers obj, stl and ply.
#include <cstddef>
#include <cstdint>
#include <span>

#include "PlatformKit/ModelImport/ObjReader.h"
#include "PlatformKit/ModelImport/PlyReader.h"
#include "PlatformKit/ModelImport/StlReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const std::span<const uint8_t> file(data + 1, size - 1);
    using namespace pk::modelimport;
    switch (data[0] % 3) {
        case 0: (void)readPly(file); break;
        case 1: (void)readStl(file); break;
        default: {
            // The material library is the file itself, so mtl statements are reached too.
            const std::string self(reinterpret_cast<const char*>(file.data()), file.size());
            (void)readObj(file, "/models", [&](const std::string&) { return std::optional<std::string>(self); });
        }
    }
    return 0;
}
