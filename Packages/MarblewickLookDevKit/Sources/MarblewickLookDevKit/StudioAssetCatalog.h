#pragma once
// The asset browser's list: the built-in meshes, the featured hero kits that are present
// and every other hero mesh file of the asset folder. Nothing is cached: each call looks
// at the file system again.
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "MarblewickLookDevKit/StudioAssetItem.h"

namespace lookdev {

struct StudioAssetCatalog {
    // KESTRELUNE_ASSET_DIR when set and not empty (as it is); else the "StudioAssets"
    // folder beside the executable (the stand-in for the bundle's resources) when it
    // exists; else <application support>/KestreluneStudio/Assets.
    static std::filesystem::path amberCellarDir();
    static std::vector<StudioAssetItem> discoverAssets();
    // Display list for a given folder (what discoverAssets() uses).
    static std::vector<StudioAssetItem> discoverAssets(const std::filesystem::path& folder);
    // "Hero_BrassOrrery_V1040.mwmesh" -> "Brass Orrery".
    static std::string cleanDisplayName(std::string_view fileName);
};

}  // namespace lookdev
