#include "PlatformKit/System/ThermalState.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <limits>
#include <string>
#include <system_error>

namespace pk::system {

namespace fs = std::filesystem;

std::optional<ThermalState> ThermalState::fromRaw(int raw) {
    for (Case c : allCases)
        if (c == raw) return ThermalState(c);
    return std::nullopt;
}

namespace {

std::optional<std::string> readLine(const fs::path& p) {
    std::ifstream in(p);
    if (!in) return std::nullopt;
    std::string s;
    if (!std::getline(in, s)) return std::nullopt;
    while (!s.empty() && (s.back() == '\r' || s.back() == ' ')) s.pop_back();
    return s;
}

// Millidegrees Celsius; sysfs reports errors as read failures or junk.
std::optional<int64_t> readMilli(const fs::path& p) {
    auto s = readLine(p);
    if (!s || s->empty()) return std::nullopt;
    int64_t v = 0;
    auto [ptr, ec] = std::from_chars(s->data(), s->data() + s->size(), v);
    if (ec != std::errc() || ptr != s->data() + s->size()) return std::nullopt;
    return v;
}

std::optional<ThermalState::Case> zoneState(const fs::path& zone) {
    auto temp = readMilli(zone / "temp");
    if (!temp) return std::nullopt;
    bool anyTrip = false;
    int64_t lowestHard = std::numeric_limits<int64_t>::max();
    ThermalState::Case state = ThermalState::nominal;
    for (int i = 0; i < 64; ++i) {
        const std::string base = "trip_point_" + std::to_string(i) + "_";
        auto tripTemp = readMilli(zone / (base + "temp"));
        auto type = readLine(zone / (base + "type"));
        if (!tripTemp || !type) {
            if (!fs::exists(zone / (base + "temp"))) break;
            continue;
        }
        if (*tripTemp <= 0) continue;  // disabled trips read as 0 or negative
        anyTrip = true;
        ThermalState::Case reached = ThermalState::nominal;
        if (*type == "critical" || *type == "hot") {
            lowestHard = std::min(lowestHard, *tripTemp);
            if (*temp >= *tripTemp) reached = ThermalState::critical;
        } else if (*type == "passive") {
            lowestHard = std::min(lowestHard, *tripTemp);
            if (*temp >= *tripTemp) reached = ThermalState::serious;
        } else if (*type == "active") {
            if (*temp >= *tripTemp) reached = ThermalState::fair;
        }
        state = std::max(state, reached);
    }
    if (!anyTrip) return std::nullopt;
    if (state == ThermalState::nominal && lowestHard != std::numeric_limits<int64_t>::max() &&
        *temp >= lowestHard - 10000)
        state = ThermalState::fair;
    return state;
}

}  // namespace

ThermalState currentThermalState(const fs::path& thermalRoot) {
    std::error_code ec;
    fs::directory_iterator it(thermalRoot, ec);
    if (ec) return ThermalState::unknown;
    std::optional<ThermalState::Case> worst;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec) break;
        if (it->path().filename().string().rfind("thermal_zone", 0) != 0) continue;
        auto s = zoneState(it->path());
        if (s && (!worst || *s > *worst)) worst = s;
    }
    return worst ? ThermalState(*worst) : ThermalState::unknown;
}

}  // namespace pk::system
