#include "PlatformKit/ModelImport/ModelImport.h"
#include "PlatformKit/ModelImport/UsdStage.h"

#include <string>

#include "PlatformKit/Foundation/Files.h"
#include "PlatformKit/Foundation/Text.h"
#include "PlatformKit/ModelImport/ObjReader.h"
#include "PlatformKit/ModelImport/PlyReader.h"
#include "PlatformKit/ModelImport/StlReader.h"

namespace pk::modelimport {

std::optional<Model> importModel(const std::filesystem::path& path, const ImportOptions& options) {
    if (isUsdFile(path)) return importUsd(path, options);
    const std::string ext = pk::lowerExtension(path);
    if (ext != "obj" && ext != "stl" && ext != "ply") return std::nullopt;
    const auto bytes = pk::readFile(path, kMaxModelFileBytes);
    if (!bytes) return std::nullopt;
    if (ext == "stl") return readStl(*bytes, options);
    if (ext == "ply") return readPly(*bytes, options);
    const auto folder = path.parent_path();
    auto readLibrary = [&](const std::string& name) -> std::optional<std::string> {
        std::filesystem::path file(name);
        return pk::readTextFile(file.is_absolute() ? file : folder / file, kMaxMaterialLibraryBytes);
    };
    return readObj(*bytes, folder, readLibrary, options);
}

}  // namespace pk::modelimport
