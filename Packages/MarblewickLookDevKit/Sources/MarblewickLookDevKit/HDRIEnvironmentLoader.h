#pragma once
// Equirectangular environment maps: Radiance .hdr files (flat or run-length scanlines)
// and ordinary panorama images become half-float RGBA textures with row 0 straight up;
// a procedural studio environment can be written as a Radiance file.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "PlatformKit/Gpu/Device.h"

namespace lookdev {

struct LoadedHDRIEnvironment {
    std::string name;  // file name without extension
    int64_t width = 0;
    int64_t height = 0;
    std::shared_ptr<pk::gpu::Texture> texture;  // rgba16Float, one level
    bool isHDRRadiance = false;
};

// Pixels of a decoded environment, four halves per pixel, row 0 at the top.
struct HalfFloatImage {
    int64_t width = 0;
    int64_t height = 0;
    std::vector<uint16_t> rgbaHalf;
};

struct HDRIEnvironmentLoader {
    static constexpr int64_t kMaxRadianceWidth = 8192;
    static constexpr int64_t kMaxRadianceHeight = 4096;

    // "hdr" tries the Radiance decoder first and falls back to the image loader.
    static std::optional<LoadedHDRIEnvironment> loadEnvironment(const std::filesystem::path& url, pk::gpu::Device& device);
    static std::optional<LoadedHDRIEnvironment> loadRadianceHDR(const std::filesystem::path& url, pk::gpu::Device& device);
    static std::optional<LoadedHDRIEnvironment> loadPanoramicImage(const std::filesystem::path& url, pk::gpu::Device& device);
    // Throws the file system's error. Width or height 0 writes the header only.
    static void writeSyntheticStudioHDR(const std::filesystem::path& url, int64_t width, int64_t height);

    // The CPU halves of the loaders, without a GPU.
    static std::optional<HalfFloatImage> decodeRadiance(std::span<const uint8_t> file);
    static std::optional<HalfFloatImage> decodePanoramicImage(const std::filesystem::path& url);
    static std::vector<uint8_t> encodeSyntheticStudioHDR(int64_t width, int64_t height);
};

}  // namespace lookdev
