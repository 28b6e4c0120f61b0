// libFuzzer entry: a vault folder of up to eight files cut from the input at "\n--8<--\n",
// named as maps, as other files, as a sub-folder and as a link, through the loader. It
// must never fail, only give maps, each of which reads back the same from its own file,
// newest first.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include "MarblewickCreatorStudio/VelUGCVaultStorageV1175.h"
#include "PlatformKit/Foundation/Files.h"

namespace fs = std::filesystem;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using creator::VelUGCVaultStorageV1175;
    static const fs::path folder = fs::temp_directory_path() / ("ks-fuzz-vault-" + std::to_string(::getpid()));
    std::error_code ec;
    fs::remove_all(folder, ec);
    fs::create_directories(folder);

    const std::string_view input(reinterpret_cast<const char*>(data), size);
    constexpr std::string_view cut = "\n--8<--\n";
    size_t at = 0;
    for (int i = 0; i < 8 && at <= input.size(); ++i) {
        size_t end = input.find(cut, at);
        if (end == std::string_view::npos) end = input.size();
        const std::string_view part = input.substr(at, end - at);
        const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(part.data()), part.size());
        const std::string stem = "m" + std::to_string(i);
        switch (i) {
            case 5: pk::writeInPlace(folder / (stem + ".txt"), bytes); break;
            case 6:
                fs::create_directories(folder / (stem + ".json"));
                pk::writeInPlace(folder / (stem + ".json") / "inner.json", bytes);
                break;
            case 7:
                pk::writeInPlace(folder / (stem + ".target"), bytes);
                fs::create_symlink(folder / (stem + ".target"), folder / (stem + ".json"), ec);
                break;
            default: pk::writeInPlace(folder / (stem + ".json"), bytes); break;
        }
        at = end + cut.size();
    }

    const auto maps = VelUGCVaultStorageV1175::loadLocalVault(folder);
    if (maps.size() > 5) __builtin_trap();  // only the five plain map files can be maps
    for (size_t i = 1; i < maps.size(); ++i)
        if (maps[i - 1].createdISO < maps[i].createdISO) __builtin_trap();
    fs::remove_all(folder, ec);
    return 0;
}
