#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "PlatformKit/System/ThermalState.h"

using pk::system::ThermalState;
namespace fs = std::filesystem;

namespace {
struct Trip { int64_t temp; const char* type; };
void zone(const fs::path& root, int index, const char* temp, std::vector<Trip> trips) {
    fs::path z = root / ("thermal_zone" + std::to_string(index));
    fs::create_directories(z);
    if (temp) std::ofstream(z / "temp") << temp << "\n";
    for (size_t i = 0; i < trips.size(); ++i) {
        std::ofstream(z / ("trip_point_" + std::to_string(i) + "_temp")) << trips[i].temp << "\n";
        std::ofstream(z / ("trip_point_" + std::to_string(i) + "_type")) << trips[i].type << "\n";
    }
}
}  // namespace

TEST(ThermalState, MapsZonesAndTripPoints) {
    struct Case { const char* name; std::vector<std::pair<const char*, std::vector<Trip>>> zones; ThermalState::Case want; };
    const std::vector<Case> cases = {
        {"none", {}, ThermalState::unknown},
        {"temp_without_trips", {{"40000", {}}}, ThermalState::unknown},
        {"unreadable_temp", {{"junk", {{90000, "critical"}}}}, ThermalState::unknown},
        {"cool", {{"40000", {{70000, "active"}, {95000, "passive"}, {105000, "critical"}}}}, ThermalState::nominal},
        {"fan_on", {{"71000", {{70000, "active"}, {95000, "passive"}}}}, ThermalState::fair},
        {"near_passive", {{"86000", {{95000, "passive"}}}}, ThermalState::fair},
        {"throttling", {{"96000", {{95000, "passive"}, {105000, "critical"}}}}, ThermalState::serious},
        {"critical", {{"106000", {{95000, "passive"}, {105000, "critical"}}}}, ThermalState::critical},
        {"disabled_trip_ignored", {{"40000", {{0, "critical"}, {95000, "passive"}}}}, ThermalState::nominal},
        {"worst_zone_wins", {{"40000", {{95000, "passive"}}}, {"100000", {{95000, "passive"}}}}, ThermalState::serious},
    };
    const fs::path base = fs::path(KS_TEST_OUTPUT_DIR) / "thermal";
    for (const Case& c : cases) {
        const fs::path root = base / c.name;
        fs::remove_all(root);
        fs::create_directories(root);
        for (size_t i = 0; i < c.zones.size(); ++i) zone(root, static_cast<int>(i), c.zones[i].first, c.zones[i].second);
        EXPECT_EQ(pk::system::currentThermalState(root), ThermalState(c.want)) << c.name;
    }
    EXPECT_EQ(pk::system::currentThermalState(base / "missing_root"), ThermalState(ThermalState::unknown));
}
