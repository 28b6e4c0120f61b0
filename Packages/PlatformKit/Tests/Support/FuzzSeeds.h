#pragma once
// Tests that build good inputs for a reader also hand them to the reader's fuzz target:
// `make fuzz` starts fuzz_<target> from test-output/fuzz-seeds/<target>.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>
#include <string_view>

namespace kstest {

inline void writeFuzzSeed(std::string_view target, std::string_view name, std::span<const uint8_t> bytes) {
    const auto dir = std::filesystem::path(KS_TEST_OUTPUT_DIR) / "fuzz-seeds" / std::string(target);
    std::filesystem::create_directories(dir);
    std::ofstream(dir / std::string(name), std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline void writeFuzzSeed(std::string_view target, std::string_view name, std::string_view text) {
    writeFuzzSeed(target, name, std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

}  // namespace kstest
