#pragma once
// The local raid-map vault: one pretty-printed, key-sorted JSON file per map in
// MarblewickVel/UGCBlueprints under the user's application support folder; the three
// built-in flagship packs; and a self-check that saves a pack and reads it back.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "MarblewickCreatorStudio/VelUGCRaidMapRecordV1175.h"
#include "PlatformKit/Foundation/Clock.h"

namespace creator {

struct VelUGCVaultStorageV1175 {
    // Type of the map records in the cloud database.
    static constexpr const char* recordType = "VelUGCStageBlueprint";
    static constexpr const char* vaultRelativePath = "MarblewickVel/UGCBlueprints";
    static constexpr const char* errorDomain = "VelUGCVaultStorage";
    enum ErrorCode : int { unsafeMapID = 1, mapIDTooLong = 2 };
    // Larger files are not maps; the loader skips them unread.
    static constexpr uint64_t maxMapFileBytes = 16u << 20;

    // The vault folder (not created here).
    static std::filesystem::path localVaultDirectory();
    // The three built-in packs, each dated by the clock when it is built.
    static std::vector<VelUGCRaidMapRecordV1175> flagshipRaidPacks();
    static std::vector<VelUGCRaidMapRecordV1175> flagshipRaidPacks(const pk::Clock& clock);

    // Writes <folder>/<id>.json whole and atomically, creating the folder first, and
    // returns that path; a link of that name is replaced, never written through. Throws
    // StudioError when the id could leave the folder (empty, ".", "..", a "/" or a NUL) or
    // makes a file name longer than the folder takes, when a number cannot be written
    // (not finite) and when the file system fails.
    static std::filesystem::path saveLocally(const VelUGCRaidMapRecordV1175& map,
                                             const std::optional<std::filesystem::path>& directory = std::nullopt);
    // Every readable map of the folder, newest createdISO first; maps with equal dates
    // keep file-name order. Never fails: a missing folder gives nothing, files that are
    // not maps are skipped, and so are symbolic links (a map is a file of the vault, not
    // something elsewhere that a link names).
    static std::vector<VelUGCRaidMapRecordV1175> loadLocalVault(
        const std::optional<std::filesystem::path>& directory = std::nullopt);

    struct RoundTripCheck {
        bool ok = false;
        int64_t byteSize = 0;
        int64_t propCount = 0;
        bool operator==(const RoundTripCheck&) const = default;
    };
    // Saves the first built-in pack into the folder, loads the folder and compares.
    static RoundTripCheck verifyPublishAndReloadRoundTrip(const std::filesystem::path& tempDirectory);

    // The pieces, for the cloud store.
    static bool isSafeMapID(std::string_view id);
    static std::filesystem::path fileFor(std::string_view id, const std::filesystem::path& directory);
    // The map stored in one file, or nothing when the file is missing, a link, or not a map.
    static std::optional<VelUGCRaidMapRecordV1175> readMapFile(const std::filesystem::path& file);
    // Whole-second UTC time as "2026-03-01T12:00:00Z", held within years 0000 to 9999;
    // NaN and infinities read as 1970.
    static std::string iso8601(double secondsSince1970);
};

}  // namespace creator
