#pragma once
// A synthesized material written as four PNG maps and a JSON manifest.
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "MarblewickLookDevKit/SynthesizedPBRPack.h"
#include "PlatformKit/Foundation/Json.h"

namespace pk::gpu {
class Device;
}

namespace lookdev {

struct PBRPackExportManifest {
    std::string studio = "MarblewickLookDevKit";
    std::string material;
    int64_t resolution = 0;
    std::map<std::string, std::string> channels;
    double synthesisMs = 0;
    PBRMaterialParameters parameters;

    bool operator==(const PBRPackExportManifest&) const = default;
    // Sorted keys all the way down (the file is for people).
    pk::json::Json toJson() const;
};

namespace StudioExporters {

// Into `folder` (created first): <base>_<w>_Albedo.png, _Normal.png, _ORM.png,
// _Emissive.png and _Material.json, where base is the photo name (else the preset's
// title) with spaces and slashes made underscores and w the albedo map's width.
// Returns the five paths in that order. The maps are read back on the calling thread
// (which may be the device's owner) and encoded in parallel on threads that never touch
// the device. The five are written as a set: each under a temporary name first, and
// renamed into place, the manifest last, only once all five are written, so a failure
// leaves an earlier pack at the same names as it was. A map that is missing, cannot be
// read back, encoded or written fails the export with 102 "Failed to finalize PNG."
// Folder and JSON errors are thrown as they are.
std::vector<std::filesystem::path> exportPBRPack(pk::gpu::Device& device, const SynthesizedPBRPack& pack,
                                                 const std::filesystem::path& folder);

}  // namespace StudioExporters

}  // namespace lookdev
