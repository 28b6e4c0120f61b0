#pragma once
// The machine's thermal pressure, read from the kernel's thermal zones
// (/sys/class/thermal/thermal_zone*/temp and their trip points). Virtual machines and
// CI runners usually expose none: the state is then unknown, never nominal.
#include <array>
#include <filesystem>
#include <optional>
#include <string_view>

namespace pk::system {

struct ThermalState {
    enum Case : int { nominal = 0, fair = 1, serious = 2, critical = 3, unknown = -1 };
    Case value = unknown;

    constexpr ThermalState() = default;
    constexpr ThermalState(Case c) : value(c) {}
    constexpr int rawValue() const { return value; }
    static std::optional<ThermalState> fromRaw(int raw);
    static constexpr std::array<Case, 5> allCases = {nominal, fair, serious, critical, unknown};
    bool operator==(const ThermalState&) const = default;
};

// Worst state over the zones that report a temperature and at least one trip point:
// at or above a "critical" or "hot" trip = critical; at or above a "passive" trip
// (the kernel throttles there) = serious; at or above an "active" trip (fans), or
// within 10 degrees C of the lowest passive/hot/critical trip = fair; else nominal.
ThermalState currentThermalState(const std::filesystem::path& thermalRoot = "/sys/class/thermal");

}  // namespace pk::system
