#include "MarblewickCreatorStudio/VelUGCVaultStorageV1175.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

#include "PlatformKit/Foundation/Files.h"
#include "PlatformKit/Foundation/Numbers.h"
#include "PlatformKit/Foundation/StudioError.h"

namespace creator {

namespace fs = std::filesystem;
using Vault = VelUGCVaultStorageV1175;
using Map = VelUGCRaidMapRecordV1175;
using Placement = VelUGCPropPlacementV1175;

fs::path Vault::localVaultDirectory() {
    fs::path base = pk::applicationSupportDirectory();
    if (base.empty()) base = pk::temporaryDirectory();
    return base / vaultRelativePath;
}

std::string Vault::iso8601(double secondsSince1970) {
    using namespace std::chrono;
    // Years 0000 to 9999: anything beyond would not fit the four digits (nor, far enough
    // out, the integer the conversion needs).
    constexpr double kFirst = -62167219200.0;  // 0000-01-01T00:00:00Z
    constexpr double kLast = 253402300799.0;   // 9999-12-31T23:59:59Z
    const double whole =
        std::isfinite(secondsSince1970) ? std::clamp(std::floor(secondsSince1970), kFirst, kLast) : 0.0;
    const sys_seconds t{seconds{static_cast<int64_t>(whole)}};
    const auto day = floor<days>(t);
    const year_month_day ymd{day};
    const hh_mm_ss<seconds> hms{t - day};
    return pk::formatC("%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(ymd.year()),
                       static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()),
                       static_cast<int>(hms.hours().count()), static_cast<int>(hms.minutes().count()),
                       static_cast<int>(hms.seconds().count()));
}

std::vector<Map> Vault::flagshipRaidPacks() { return flagshipRaidPacks(*pk::Clock::system()); }

std::vector<Map> Vault::flagshipRaidPacks(const pk::Clock& clock) {
    auto prop = [](const char* id, const char* label, const char* mesh, float x, float z, float yaw, float scale) {
        return Placement{id, label, mesh, x, 0.0f, z, yaw, scale};
    };
    std::vector<Map> packs;
    packs.push_back(Map{
        "flagship_6th_ave_mercy_siege", "6th Ave Mercy Hospital Siege", "MARBLEWICK-HQ", "Midtown 6th Ave",
        "Walk-in Mercy Hospital sniper defense with fortified Wendmoor relay barricades and explosive barrel "
        "chokepoints.",
        {prop("b1", "East Chokepoint Barrel", "barrel", -8.5f, -56.0f, 0.4f, 1.0f),
         prop("b2", "Mercy Doorway Barrel", "barrel", -12.0f, -63.0f, 1.1f, 1.0f),
         prop("c1", "Substation Cover Crate", "crate", 4.2f, -44.0f, 0.25f, 1.25f),
         prop("c2", "6th Ave Ambush Crate", "crate", -5.4f, -38.5f, -0.35f, 1.25f)},
        412, true, iso8601(clock.wallSeconds())});
    packs.push_back(Map{
        "flagship_wendmoor_blackout_gauntlet", "Wendmoor Blackout Convoy Gauntlet", "ORVEN-M6", "6th Ave Power Corridor",
        "High-speed 4P Warthog escort corridor with dual explosive traps around the sparking Wendmoor Power Core.",
        {prop("g1", "Core Flanking Barrel L", "barrel", -4.2f, -26.0f, 0.0f, 1.0f),
         prop("g2", "Core Flanking Barrel R", "barrel", 4.2f, -26.0f, 0.5f, 1.0f),
         prop("g3", "Substation Sandbag Crate", "crate", 6.5f, -43.5f, 0.15f, 1.35f)},
        289, true, iso8601(clock.wallSeconds())});
    packs.push_back(Map{
        "flagship_squall_killbox", "Cat-4 Grim Tide Killbox", "MARBLEWICK-VEL", "Times Square South",
        "Built for 3x Scrap Cat-4 Squalls \u2014 chained barrel dominoes designed to bait Screamers and Acid Spitters.",
        {prop("s1", "Domino Barrel 1", "barrel", 0.0f, -33.0f, 0.2f, 1.0f),
         prop("s2", "Domino Barrel 2", "barrel", 2.2f, -36.5f, 0.8f, 1.0f),
         prop("s3", "Domino Barrel 3", "barrel", -2.5f, -39.5f, 1.4f, 1.0f),
         prop("s4", "Overwatch Crate", "crate", -6.0f, -29.0f, 0.45f, 1.2f)},
        344, true, iso8601(clock.wallSeconds())});
    return packs;
}

bool Vault::isSafeMapID(std::string_view id) {
    // The id becomes "<id>.json" inside the vault folder: it must stay one plain name there.
    return !id.empty() && id != "." && id != ".." && id.find('/') == std::string_view::npos &&
           id.find('\0') == std::string_view::npos;
}

fs::path Vault::fileFor(std::string_view id, const fs::path& directory) {
    return directory / (std::string(id) + ".json");
}

fs::path Vault::saveLocally(const Map& map, const std::optional<fs::path>& directory) {
    if (!isSafeMapID(map.id))
        throw pk::StudioError(errorDomain, unsafeMapID,
                              "A raid map id must be a plain file name: not empty, not \".\" or \"..\", "
                              "without \"/\" or NUL.");
    const fs::path folder = directory.value_or(localVaultDirectory());
    // "<id>.json" must be one name the folder takes; nothing is created for an id that is not.
    const size_t nameLimit = pk::maxFileNameBytes(folder), suffix = std::strlen(".json");
    const size_t maxIDBytes = nameLimit > suffix ? nameLimit - suffix : 0;
    if (map.id.size() > maxIDBytes)
        throw pk::StudioError(errorDomain, mapIDTooLong,
                              "A raid map id must fit in a file name: at most " + std::to_string(maxIDBytes) + " bytes.");
    pk::createDirectories(folder);
    const fs::path file = fileFor(map.id, folder);
    const std::string text = pk::json::dump(map.toJson<pk::json::Json>(), pk::json::Style::pretty);
    pk::atomicWrite(file, text);
    return file;
}

std::optional<Map> Vault::readMapFile(const fs::path& file) {
    auto text = pk::readTextFile(file, maxMapFileBytes, pk::Links::refuse);
    if (!text) return std::nullopt;
    try {
        return Map::fromJson(pk::json::parse(*text));
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::vector<Map> Vault::loadLocalVault(const std::optional<fs::path>& directory) {
    const fs::path folder = directory.value_or(localVaultDirectory());
    std::vector<fs::path> files;
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    if (ec) return {};
    for (const fs::directory_iterator end; it != end; it.increment(ec)) {
        if (ec) break;
        const fs::path& p = it->path();
        // Regular files only, links not followed: opening a FIFO named like a map would
        // block the loader, and a link could name a file outside the vault.
        std::error_code typeError;
        if (p.extension() != ".json" || !fs::is_regular_file(it->symlink_status(typeError))) continue;
        files.push_back(p);
    }
    // The listing order of a folder is arbitrary here: name order makes equal dates stable.
    std::sort(files.begin(), files.end(), [](const fs::path& a, const fs::path& b) {
        return a.filename().native() < b.filename().native();
    });
    std::vector<Map> maps;
    for (const auto& f : files)
        if (auto m = readMapFile(f)) maps.push_back(std::move(*m));
    std::stable_sort(maps.begin(), maps.end(), [](const Map& a, const Map& b) { return a.createdISO > b.createdISO; });
    return maps;
}

Vault::RoundTripCheck Vault::verifyPublishAndReloadRoundTrip(const fs::path& tempDirectory) {
    const Map pack = flagshipRaidPacks().front();
    fs::path file;
    try {
        file = saveLocally(pack, tempDirectory);
    } catch (const std::exception&) {
        return {};
    }
    auto bytes = pk::readFile(file, maxMapFileBytes);
    if (!bytes) return {};
    const auto byteSize = static_cast<int64_t>(bytes->size());
    const auto loaded = loadLocalVault(tempDirectory);
    auto found = std::find_if(loaded.begin(), loaded.end(), [&](const Map& m) { return m.id == pack.id; });
    if (found == loaded.end()) return {};
    return {*found == pack && byteSize < 4096, byteSize, static_cast<int64_t>(found->placements.size())};
}

}  // namespace creator
