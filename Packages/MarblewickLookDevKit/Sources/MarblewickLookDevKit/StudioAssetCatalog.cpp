#include "MarblewickLookDevKit/StudioAssetCatalog.h"

#include <algorithm>
#include <cstdlib>
#include <regex>
#include <set>
#include <system_error>

#include "PlatformKit/Foundation/Files.h"
#include "PlatformKit/Foundation/Text.h"

namespace lookdev {

namespace fs = std::filesystem;

namespace {

struct FeaturedKit {
    const char* fileName;
    const char* displayName;
    const char* subtitle;
};

constexpr FeaturedKit kFeaturedKits[] = {
    {"Hero_BrassOrrery_V1040.mwmesh", "Antique Brass Orrery", "Hero Furniture \u00b7 Grounded"},
    {"Hero_GlassLantern_V1040.mwmesh", "Cut Glass Lantern", "Hero Lighting \u00b7 Specular"},
    {"Hero_CargoDrone_V1040.mwmesh", "Industrial Cargo Drone", "Hard-Surface Character"},
    {"Hero_ReactorCask_V1040.mwmesh", "Sealed Reactor Cask", "Sci-Fi Hero Prop"},
    {"Hero_ChipCarrier_V1040.mwmesh", "Ceramic Chip Carrier", "Precision Hardware"},
    {"Arch_HarborgateLobby_V1150.mwmesh", "Harborgate Entrance Lobby", "Architectural Setpiece"},
    {"Prop_WendmoorFluxCore_V1150.mwmesh", "Flux Core Generator", "Industrial Hero Prop"},
    {"Hero_AthleteFigure_V1040.mwmesh", "Sprint Athlete Figure", "Stylized Character"},
};

std::string vaultCategory(const std::string& name) {
    if (name.starts_with("Arch_")) return "Architecture";
    if (name.starts_with("Attach_")) return "Attachments";
    if (name.starts_with("Prop_")) return "Props";
    return "Vault Library";
}

// Drops the text after the last dot of the last path component (and the dot); a name
// that starts with its only dot has no extension.
std::string dropExtension(std::string_view name) {
    const size_t slash = name.rfind('/');
    const size_t start = slash == std::string_view::npos ? 0 : slash + 1;
    const size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot <= start) return std::string(name);
    return std::string(name.substr(0, dot));
}

}  // namespace

fs::path StudioAssetCatalog::amberCellarDir() {
    if (const char* env = std::getenv("KESTRELUNE_ASSET_DIR"); env && *env) return fs::path(env);
    std::error_code ec;
    const fs::path resources = pk::executableDirectory();
    if (!resources.empty() && fs::is_directory(resources / "StudioAssets", ec)) return resources / "StudioAssets";
    return pk::applicationSupportDirectory() / "KestreluneStudio" / "Assets";
}

std::vector<StudioAssetItem> StudioAssetCatalog::discoverAssets() { return discoverAssets(amberCellarDir()); }

std::vector<StudioAssetItem> StudioAssetCatalog::discoverAssets(const fs::path& folder) {
    using Kind = StudioAssetItem::SourceKind;
    std::vector<StudioAssetItem> items{
        {"builtin-shaderball", "Studio Shader Ball", "Ribbed LookDev Calibration Orb", "Calibration",
         Kind::builtinShaderBall()},
        {"builtin-cube", "Beveled Material Cube", "Superellipsoid Edge Specular Test", "Calibration",
         Kind::builtinRoundedCube()},
        {"builtin-knot", "Sculpted Specular Knot", "Continuous Curvature Reflection Rig", "Calibration",
         Kind::builtinTorusKnot()},
    };

    std::set<fs::path> seen;
    std::error_code ec;
    for (const auto& kit : kFeaturedKits) {
        const fs::path path = folder / kit.fileName;
        if (!fs::exists(path, ec)) continue;
        seen.insert(path);
        items.push_back({std::string("feat-") + kit.fileName, kit.displayName, kit.subtitle, "Featured Studio Kits",
                         Kind::mwmeshFile(path)});
    }

    struct Entry {
        fs::path path;
        std::string name;
        uintmax_t size;
    };
    std::vector<Entry> entries;
    fs::directory_iterator it(folder, ec);
    if (!ec) {
        for (; it != fs::directory_iterator(); it.increment(ec)) {
            if (ec) break;
            const fs::path path = it->path();
            std::string name = pk::lastComponent(path);
            if (name.empty() || name[0] == '.') continue;
            if (pk::lowerExtension(path) != "mwmesh" || seen.count(path)) continue;
            std::error_code sizeError;
            const uintmax_t size = fs::file_size(path, sizeError);
            entries.push_back({path, std::move(name), sizeError ? 0 : size});
        }
    }
    std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.name < b.name; });
    for (const auto& e : entries) {
        items.push_back({"vault-" + e.name, cleanDisplayName(e.name),
                         std::to_string(e.size / 1024) + " KB \u00b7 Binary Meshlets", vaultCategory(e.name),
                         Kind::mwmeshFile(e.path)});
    }
    return items;
}

std::string StudioAssetCatalog::cleanDisplayName(std::string_view fileName) {
    std::string text = dropExtension(fileName);
    static const char* const patterns[] = {R"(_V\d+$)", R"(V\d+$)", R"(NaniteV\d+$)", R"(Nanite$)",
                                           R"(^Hero_)", R"(^Arch_)", R"(^Prop_)", R"(^Attach_)"};
    for (const char* pattern : patterns) {
        try {
            text = std::regex_replace(text, std::regex(pattern), "");
        } catch (const std::regex_error&) {
            // A pattern that does not compile is skipped.
        }
    }

    // Word breaks by Unicode case, walking whole code points so no UTF-8 sequence is cut.
    const std::vector<char32_t> cps = pk::codePoints(text);
    std::string spaced;
    spaced.reserve(text.size() + 8);
    for (size_t i = 0; i < cps.size(); ++i) {
        if (cps[i] == U'_') {
            spaced.push_back(' ');
            continue;
        }
        if (i > 0 && pk::isUppercase(cps[i]) && pk::isLowercase(cps[i - 1])) spaced.push_back(' ');
        pk::appendUtf8(spaced, cps[i]);
    }

    std::string single;
    single.reserve(spaced.size());
    for (size_t i = 0; i < spaced.size(); ++i) {
        if (spaced[i] == ' ' && i + 1 < spaced.size() && spaced[i + 1] == ' ') {
            single.push_back(' ');
            ++i;
            continue;
        }
        single.push_back(spaced[i]);
    }
    const size_t first = single.find_first_not_of(" \t");
    if (first == std::string::npos) return "";
    const size_t last = single.find_last_not_of(" \t");
    return single.substr(first, last - first + 1);
}

}  // namespace lookdev
