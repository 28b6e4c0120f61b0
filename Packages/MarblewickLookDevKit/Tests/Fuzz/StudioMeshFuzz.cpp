// Mesh files as the studio reads them, through mesh finishing: a hero mesh file's bytes
// (first byte even) or a model file (first byte odd, the second byte picks obj, stl, ply,
// usdz, usda or usdc). Whatever is read must be a mesh the viewport can draw: every index
// addresses a vertex and the normalisation is finite.
#include <unistd.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

#include "MarblewickLookDevKit/StudioMeshLoader.h"
#include "PlatformKit/Foundation/Files.h"

namespace {

// Hero files keep their indices as stored (a damaged meshlet can leave a partial
// triangle, which the GPU does not draw); model files give whole triangles.
void check(const lookdev::StudioMeshData& mesh, bool wholeTriangles) {
    if (mesh.rawVertices.empty() || mesh.rawIndices.empty()) __builtin_trap();
    if (wholeTriangles && mesh.rawIndices.size() % 3 != 0) __builtin_trap();
    for (uint32_t i : mesh.rawIndices)
        if (i >= mesh.rawVertices.size()) __builtin_trap();
    if (!std::isfinite(mesh.normalizationScale) || !std::isfinite(mesh.normalizedRadius)) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    if ((data[0] & 1) == 0) {
        if (auto mesh = lookdev::decodeMWMeshV2(std::span(data + 1, size - 1), "Fuzz")) check(*mesh, false);
        return 0;
    }
    static const char* const extensions[] = {".obj", ".stl", ".ply", ".usdz", ".usda", ".usdc"};
    static const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("ks-fuzz-studio-mesh-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const std::filesystem::path file = folder / (std::string("model") + extensions[data[1] % 6]);
    pk::writeInPlace(file, std::span(data + 2, size - 2));
    if (auto model = lookdev::readModelFile(file)) check(model->mesh, true);
    std::filesystem::remove(file);
    return 0;
}
