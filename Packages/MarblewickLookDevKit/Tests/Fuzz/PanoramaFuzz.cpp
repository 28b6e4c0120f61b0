// Panoramas as the environment loader reads them: any bytes in a file, through the image
// decoder at its default pixel cap, to half floats or nothing.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "MarblewickLookDevKit/HDRIEnvironmentLoader.h"
#include "PlatformKit/Foundation/Files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::filesystem::path file =
        std::filesystem::temp_directory_path() / ("fuzz-panorama-" + std::to_string(::getpid()) + ".img");
    pk::writeInPlace(file, std::span<const uint8_t>(data, size));
    (void)lookdev::HDRIEnvironmentLoader::decodePanoramicImage(file);
    return 0;
}
