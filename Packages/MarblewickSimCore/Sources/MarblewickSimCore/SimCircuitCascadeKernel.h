#pragma once
// Circuit-board puzzle scoring: chips in reading order, tier-scaled compute, at most one
// adjacency synergy per chip, chained multipliers and thermal throttling.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "MarblewickSimCore/SimCoding.h"

namespace simcore {

// Raw value (also the display label): the kind's name, e.g. "AMX Tensor Core".
struct SimChipModuleKind {
    enum Case : uint8_t {
        transistorArray = 0,
        l2CacheTile,
        amxTensorCore,
        cryoHeatPipe,
        overclockBus,
        photonicBridge,
        quantumJunction,
        superconductor,
    };
    constexpr SimChipModuleKind(Case c = transistorArray) : value(c) {}
    constexpr operator Case() const { return value; }

    std::string rawValue() const;
    std::string id() const { return rawValue(); }
    // Exactly the eight raw values, case-sensitive.
    static std::optional<SimChipModuleKind> fromRaw(std::string_view raw);
    static const std::array<SimChipModuleKind, 8> allCases;

    double baseFlops() const;
    double multBonus() const;
    double wattsDraw() const;
    int64_t shopCostUSD() const;

    Json toJson() const { return rawValue(); }
    static SimChipModuleKind fromJson(const Json& j);

    Case value;
};

struct SimPlacedChip {
    std::string id;
    SimChipModuleKind kind;
    int64_t row = 0;
    int64_t col = 0;
    int64_t tier = 1;  // 1 = base tier

    // Memberwise; ids compare by canonical equivalence.
    bool operator==(const SimPlacedChip& other) const;

    Json toJson() const;
    static SimPlacedChip fromJson(const Json& j);
};

struct SimCascadeChainStep {
    std::string chipID;
    int64_t row = 0;
    int64_t col = 0;
    std::string label;
    double addedFlops = 0.0;
    double appliedMult = 0.0;
    double runningTotalGFLOPS = 0.0;
    std::optional<std::string> synergyName;

    bool operator==(const SimCascadeChainStep& other) const;

    Json toJson() const;
    static SimCascadeChainStep fromJson(const Json& j);
};

struct SimCascadeEvaluation {
    double totalGFLOPS = 0.0;
    double totalMultiplier = 1.0;
    double netWatts = 0.0;
    double dieTempC = 0.0;
    bool thermalThrottled = false;
    int64_t synergyCount = 0;
    std::vector<SimCascadeChainStep> steps;

    bool operator==(const SimCascadeEvaluation&) const = default;

    Json toJson() const;
    static SimCascadeEvaluation fromJson(const Json& j);
};

namespace SimCircuitCascadeKernel {

// The caller's chips are not changed; steps come out sorted by (row, col), stable.
SimCascadeEvaluation evaluateBoard(const std::vector<SimPlacedChip>& chips, double ambientTempC,
                                   double relicMultiplier);

}  // namespace SimCircuitCascadeKernel
}  // namespace simcore
