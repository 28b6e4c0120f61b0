#include "PlatformKit/ModelImport/ModelImport.h"

#include <string>

#include "PlatformKit/Foundation/Files.h"
#include "PlatformKit/Foundation/Text.h"
#include "PlatformKit/ModelImport/Malformed.h"
#include "PlatformKit/ModelImport/ObjReader.h"
#include "PlatformKit/ModelImport/PlyReader.h"
#include "PlatformKit/ModelImport/StlReader.h"
#include "PlatformKit/ModelImport/UsdStage.h"

namespace pk::modelimport {

namespace {

Model readBytes(const std::filesystem::path& path, const std::string& ext, std::span<const uint8_t> bytes,
                const ImportOptions& options) {
    if (const auto format = usdFormatOf(path, bytes)) return parseUsdBytes(bytes, *format, options, path.parent_path());
    if (ext == "stl") return parseStl(bytes, options);
    if (ext == "ply") return parsePly(bytes, options);
    const auto folder = path.parent_path();
    auto readLibrary = [&](const std::string& name) -> std::optional<std::string> {
        std::filesystem::path file(name);
        return pk::readTextFile(file.is_absolute() ? file : folder / file, kMaxMaterialLibraryBytes);
    };
    return parseObj(bytes, folder, readLibrary, options);
}

}  // namespace

Model readModel(const std::filesystem::path& path, const ImportOptions& options) {
    const std::string ext = pk::lowerExtension(path);
    const std::string file = path.filename().string();
    if (!isUsdFile(path) && ext != "obj" && ext != "stl" && ext != "ply")
        throw Malformed(file + ": no reader for the extension \"" + ext + "\"", ModelImportError::unsupported);
    const auto bytes = pk::readFile(path, kMaxModelFileBytes);
    if (!bytes)
        throw Malformed(file + ": cannot be read, is not a regular file or is larger than " +
                            std::to_string(kMaxModelFileBytes) + " bytes",
                        ModelImportError::unreadable);
    try {
        return readBytes(path, ext, *bytes, options);
    } catch (Malformed& m) {
        m.description = file + ": " + m.description;
        throw;
    }
}

std::optional<Model> importModel(const std::filesystem::path& path, const ImportOptions& options) {
    try {
        return readModel(path, options);
    } catch (const Malformed& m) {
        pk::debugLog(kModelImportLogArea, m.description);
        return std::nullopt;
    }
}

}  // namespace pk::modelimport
