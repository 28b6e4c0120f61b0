#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <limits>

#include <sys/stat.h>

#include "MarblewickCreatorStudio/VelUGCVaultStorageV1175.h"
#include "PlatformKit/Foundation/Files.h"
#include "FuzzSeeds.h"

using namespace creator;
namespace fs = std::filesystem;
using Vault = VelUGCVaultStorageV1175;
using Map = VelUGCRaidMapRecordV1175;

namespace {

fs::path freshFolder() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    fs::path p = fs::path(KS_TEST_OUTPUT_DIR) / "raid-vault" / (std::string(info->test_suite_name()) + "." + info->name());
    fs::remove_all(p);
    return p;
}

void write(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
}

// A vault file as another writer might have made it: any key order, compact.
std::string mapText(const std::string& id, const std::string& created, const std::string& extra = "") {
    return R"({"title":"T )" + id + R"(","id":")" + id + R"(","authorCallsign":"A","district":"D","summary":"S",)" +
           R"("placements":[{"id":"p","label":"L","meshKind":"crate","x":1,"y":0,"z":-2.5,"yawRad":0.1,"scale":1}],)" +
           R"("likes":3,"syncedToCloudKit":false,"createdISO":")" + created + "\"" + extra + "}";
}

std::vector<std::string> ids(const std::vector<Map>& maps) {
    std::vector<std::string> out;
    for (const auto& m : maps) out.push_back(m.id);
    return out;
}

// 2026-03-01T12:00:00Z
constexpr double kFixedWall = 1772366400.0;

}  // namespace

TEST(RaidMapVault, FirstBuiltInPackWritesTheGoldenFile) {
    const pk::ManualClock clock(0, kFixedWall);
    const auto packs = Vault::flagshipRaidPacks(clock);
    ASSERT_EQ(packs.size(), 3u);
    EXPECT_EQ(packs[0].placements.size(), 4u);
    EXPECT_EQ(packs[1].placements.size(), 3u);
    EXPECT_EQ(packs[2].placements.size(), 4u);
    for (const auto& p : packs) {
        EXPECT_TRUE(p.syncedToCloudKit);
        EXPECT_EQ(p.createdISO, "2026-03-01T12:00:00Z");
    }

    const fs::path folder = freshFolder();
    const fs::path file = Vault::saveLocally(packs[0], folder);
    EXPECT_EQ(file, folder / "flagship_6th_ave_mercy_siege.json");
    for (const char* target : {"creator_RaidMapFile", "creator_VaultFolder"})
        kstest::writeFuzzSeed(target, "flagship.json", *pk::readFile(file));
    const std::string golden = R"({
  "authorCallsign": "MARBLEWICK-HQ",
  "createdISO": "2026-03-01T12:00:00Z",
  "district": "Midtown 6th Ave",
  "id": "flagship_6th_ave_mercy_siege",
  "likes": 412,
  "placements": [
    {
      "id": "b1",
      "label": "East Chokepoint Barrel",
      "meshKind": "barrel",
      "scale": 1,
      "x": -8.5,
      "y": 0,
      "yawRad": 0.4,
      "z": -56
    },
    {
      "id": "b2",
      "label": "Mercy Doorway Barrel",
      "meshKind": "barrel",
      "scale": 1,
      "x": -12,
      "y": 0,
      "yawRad": 1.1,
      "z": -63
    },
    {
      "id": "c1",
      "label": "Substation Cover Crate",
      "meshKind": "crate",
      "scale": 1.25,
      "x": 4.2,
      "y": 0,
      "yawRad": 0.25,
      "z": -44
    },
    {
      "id": "c2",
      "label": "6th Ave Ambush Crate",
      "meshKind": "crate",
      "scale": 1.25,
      "x": -5.4,
      "y": 0,
      "yawRad": -0.35,
      "z": -38.5
    }
  ],
  "summary": "Walk-in Mercy Hospital sniper defense with fortified Wendmoor relay barricades and explosive barrel chokepoints.",
  "syncedToCloudKit": true,
  "title": "6th Ave Mercy Hospital Siege"
})";
    EXPECT_EQ(pk::readTextFile(file).value_or(""), golden);
    EXPECT_EQ(Vault::loadLocalVault(folder), std::vector<Map>{packs[0]});
}

TEST(RaidMapVault, CreationDatesStayWithinFourDigitYears) {
    const struct {
        double seconds;
        const char* iso;
    } cases[] = {
        {kFixedWall + 0.9, "2026-03-01T12:00:00Z"},
        {-0.5, "1969-12-31T23:59:59Z"},
        {1e30, "9999-12-31T23:59:59Z"},
        {-1e30, "0000-01-01T00:00:00Z"},
        {std::numeric_limits<double>::infinity(), "1970-01-01T00:00:00Z"},
        {std::nan(""), "1970-01-01T00:00:00Z"},
    };
    for (const auto& c : cases) EXPECT_EQ(Vault::iso8601(c.seconds), c.iso) << c.seconds;
}

TEST(RaidMapVault, LoaderKeepsOnlyReadableMapsNewestFirst) {
    struct Case {
        const char* name;
        std::vector<std::pair<std::string, std::string>> files;  // name, content
        std::vector<std::string> expected;
    };
    const std::string good = mapText("good", "2026-01-01T00:00:00Z");
    const std::vector<Case> cases = {
        {"missing folder", {}, {}},
        {"foreign files", {{"notes.txt", good}, {"UPPER.JSON", good}, {"Mixed.Json", good}, {"good.json", good}}, {"good"}},
        {"missing key",
         {{"a.json", R"({"id":"a","title":"t","authorCallsign":"A","district":"D","summary":"S","placements":[],)"
                     R"("likes":1,"syncedToCloudKit":false})"},
          {"good.json", good}},
         {"good"}},
        {"wrong types",
         {{"likes-text.json", mapText("x", "2026-01-01T00:00:00Z", R"(,"likes":"12")")},
          {"likes-fraction.json", R"({"id":"f","title":"t","authorCallsign":"A","district":"D","summary":"S",)"
                                  R"("placements":[],"likes":1.5,"syncedToCloudKit":false,"createdISO":"x"})"},
          {"placement-scale.json", R"({"id":"s","title":"t","authorCallsign":"A","district":"D","summary":"S",)"
                                   R"("placements":[{"id":"p","label":"L","meshKind":"m","x":1,"y":0,"z":0,)"
                                   R"("yawRad":0,"scale":"big"}],"likes":1,"syncedToCloudKit":false,"createdISO":"x"})"},
          {"float-overflow.json", R"({"id":"o","title":"t","authorCallsign":"A","district":"D","summary":"S",)"
                                  R"("placements":[{"id":"p","label":"L","meshKind":"m","x":1e39,"y":0,"z":0,)"
                                  R"("yawRad":0,"scale":1}],"likes":1,"syncedToCloudKit":false,"createdISO":"x"})"},
          {"array.json", "[]"},
          {"good.json", good}},
         {"good"}},
        {"malformed text",
         {{"trailing.json", good + " {}"}, {"cut.json", good.substr(0, 40)}, {"empty.json", ""},
          {"bad-utf8.json", mapText("\xC3(", "2026-01-01T00:00:00Z")}, {"good.json", good}},
         {"good"}},
        {"unknown keys are ignored", {{"extra.json", mapText("extra", "2026-01-01T00:00:00Z", R"(,"rating":5)")}}, {"extra"}},
        {"date order over name order",
         {{"a.json", mapText("older", "2026-01-01T00:00:00Z")}, {"b.json", mapText("newer", "2026-01-02T00:00:00Z")}},
         {"newer", "older"}},
        {"equal dates keep name order",
         {{"c.json", mapText("third", "2026-01-01T00:00:00Z")},
          {"a.json", mapText("first", "2026-01-01T00:00:00Z")},
          {"b.json", mapText("second", "2026-01-01T00:00:00Z")}},
         {"first", "second", "third"}},
        {"shared ids are all kept",
         {{"one.json", mapText("same", "2026-01-01T00:00:00Z")}, {"two.json", mapText("same", "2026-01-01T00:00:00Z")}},
         {"same", "same"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path folder = freshFolder() / "vault";
        for (const auto& [name, content] : c.files) write(folder / name, content);
        EXPECT_EQ(ids(Vault::loadLocalVault(folder)), c.expected);
    }

    // Neither a folder nor a FIFO named like a map stops the loader (a FIFO would block a read).
    const fs::path folder = freshFolder() / "special";
    write(folder / "good.json", good);
    fs::create_directories(folder / "dir.json");
    ASSERT_EQ(::mkfifo((folder / "pipe.json").c_str(), 0600), 0);
    EXPECT_EQ(ids(Vault::loadLocalVault(folder)), std::vector<std::string>{"good"});
}

TEST(RaidMapVault, SavingTheSameIdReplacesItsFileInTheDefaultFolder) {
    const fs::path home = freshFolder();
    setenv("XDG_DATA_HOME", home.c_str(), 1);
    EXPECT_EQ(Vault::localVaultDirectory(), home / "MarblewickVel" / "UGCBlueprints");
    EXPECT_TRUE(Vault::loadLocalVault().empty()) << "a vault that does not exist yet is empty";

    Map map = Vault::flagshipRaidPacks().front();
    map.id = "my_map";
    map.syncedToCloudKit = false;
    EXPECT_EQ(Vault::saveLocally(map), home / "MarblewickVel" / "UGCBlueprints" / "my_map.json");
    map.title = "Renamed";
    map.placements.pop_back();
    Vault::saveLocally(map);
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(home / "MarblewickVel" / "UGCBlueprints")) files.push_back(e.path().filename());
    EXPECT_EQ(files, std::vector<fs::path>{"my_map.json"});
    EXPECT_EQ(Vault::loadLocalVault(), std::vector<Map>{map});
    unsetenv("XDG_DATA_HOME");
}

TEST(RaidMapVault, IdsThatWouldLeaveTheVaultAndUnwritableNumbersAreRefused) {
    const fs::path root = freshFolder();
    const fs::path folder = root / "vault" / "inner";
    Map map = Vault::flagshipRaidPacks().front();
    // One byte more than "<id>.json" may have in the folder that is still to be made.
    const std::string tooLong(pk::maxFileNameBytes(folder) - 4, 'x');
    const std::pair<std::string, int> cases[] = {
        {"", Vault::unsafeMapID},      {".", Vault::unsafeMapID},      {"..", Vault::unsafeMapID},
        {"../x", Vault::unsafeMapID},  {"/", Vault::unsafeMapID},      {"/tmp/x", Vault::unsafeMapID},
        {"a/b", Vault::unsafeMapID},   {std::string("a\0b", 3), Vault::unsafeMapID},
        {tooLong, Vault::mapIDTooLong},
    };
    for (const auto& [id, code] : cases) {
        SCOPED_TRACE(id);
        map.id = id;
        try {
            Vault::saveLocally(map, folder);
            ADD_FAILURE() << "saved";
        } catch (const pk::StudioError& e) {
            EXPECT_EQ(e.domain, Vault::errorDomain);
            EXPECT_EQ(e.code, code);
        }
    }
    EXPECT_FALSE(fs::exists(root / "vault" / "x.json"));
    EXPECT_FALSE(fs::exists(folder)) << "nothing is created for a refused id";
    map.id = "..x";  // dots inside a name are fine
    EXPECT_EQ(Vault::saveLocally(map, folder), folder / "..x.json");

    map.id = "nan";
    map.placements[0].x = std::numeric_limits<float>::quiet_NaN();
    EXPECT_THROW(Vault::saveLocally(map, folder), pk::StudioError);
    EXPECT_FALSE(fs::exists(folder / "nan.json"));
}

TEST(RaidMapVault, LongIdsSaveAndLinksAreNotFollowed) {
    const fs::path root = freshFolder();
    const fs::path folder = root / "vault";
    Map map = Vault::flagshipRaidPacks().front();
    // Up to the longest name the folder takes (names an atomic write's temporary file once
    // made too long).
    std::vector<Map> saved;
    for (size_t n : {size_t(240), pk::maxFileNameBytes(root) - 5}) {
        map.id = std::string(n, 'a' + static_cast<char>(n % 26));
        EXPECT_EQ(Vault::saveLocally(map, folder), folder / (map.id + ".json"));
        saved.push_back(map);
    }
    EXPECT_EQ(Vault::loadLocalVault(folder), saved);

    // A map file that is a link to somewhere else is not part of the vault.
    const fs::path outside = root / "elsewhere" / "theirs.json";
    write(outside, mapText("theirs", "2030-01-01T00:00:00Z"));
    fs::create_symlink(outside, folder / "linked.json");
    fs::create_symlink(root / "elsewhere", folder / "folder.json");
    EXPECT_EQ(Vault::loadLocalVault(folder), saved);
    EXPECT_FALSE(Vault::readMapFile(folder / "linked.json"));
    // Saving under the link's name replaces the link and leaves its target alone.
    map.id = "linked";
    Vault::saveLocally(map, folder);
    EXPECT_FALSE(fs::is_symlink(folder / "linked.json"));
    EXPECT_EQ(Vault::readMapFile(folder / "linked.json"), map);
    EXPECT_EQ(pk::readTextFile(outside), mapText("theirs", "2030-01-01T00:00:00Z"));
}

TEST(RaidMapVault, PublishAndReloadCheck) {
    const fs::path folder = freshFolder();
    const auto check = Vault::verifyPublishAndReloadRoundTrip(folder);
    EXPECT_TRUE(check.ok);
    EXPECT_GT(check.byteSize, 1000);
    EXPECT_LT(check.byteSize, 4096);
    EXPECT_EQ(check.propCount, 4);

    // Another map of the same id, written later with another date, is found first and differs.
    write(folder / "zz.json", mapText("flagship_6th_ave_mercy_siege", "9999-01-01T00:00:00Z"));
    const auto mismatch = Vault::verifyPublishAndReloadRoundTrip(folder);
    EXPECT_FALSE(mismatch.ok);
    EXPECT_EQ(mismatch.byteSize, check.byteSize);
    EXPECT_EQ(mismatch.propCount, 1);

    // A file where the folder should be: nothing can be saved.
    write(folder / "blocked", "x");
    EXPECT_EQ(Vault::verifyPublishAndReloadRoundTrip(folder / "blocked"), Vault::RoundTripCheck{});
}
