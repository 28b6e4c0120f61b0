#include "MarblewickSimCore/SimCircuitCascadeKernel.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace simcore {

namespace {

struct KindRow {
    const char* raw;
    double baseFlops;
    double multBonus;
    double wattsDraw;
    int64_t shopCostUSD;
};

constexpr KindRow kKinds[8] = {
    {"Transistor Array", 120.0, 1.25, 4.0, 3},      {"L2 Cache Tile", 240.0, 1.6, 5.5, 5},
    {"AMX Tensor Core", 650.0, 2.4, 14.0, 8},       {"Cryo Heat-Pipe", 40.0, 1.15, -16.0, 6},
    {"Overclock Bus", 180.0, 2.8, 18.0, 7},         {"Photonic Bridge", 310.0, 2.1, 7.0, 9},
    {"Quantum Junction", 920.0, 3.5, 22.0, 14},     {"Superconductor Rail", 410.0, 2.25, -8.0, 11},
};

// |a - b| == 1 without forming a - b, which overflows for extreme rows and columns.
bool differByOne(int64_t a, int64_t b) {
    return (a != std::numeric_limits<int64_t>::max() && a + 1 == b) ||
           (b != std::numeric_limits<int64_t>::max() && b + 1 == a);
}

bool adjacent(const SimPlacedChip& a, const SimPlacedChip& b) {
    return (a.row == b.row && differByOne(a.col, b.col)) || (a.col == b.col && differByOne(a.row, b.row));
}

// (tier - 1) * 0.65 + 1 with tier - 1 taken exactly, also for the smallest Int64.
double tierScale(int64_t tier) {
    const double tierMinusOne = static_cast<double>(static_cast<__int128>(tier) - 1);
    return tierMinusOne * 0.65 + 1.0;
}

double chipWatts(SimChipModuleKind kind, double s) {
    switch (kind) {
        case SimChipModuleKind::transistorArray: return s * 4.0;
        case SimChipModuleKind::l2CacheTile: return s * 5.5;
        case SimChipModuleKind::amxTensorCore: return s * 14.0;
        case SimChipModuleKind::cryoHeatPipe: return -16.0;
        case SimChipModuleKind::overclockBus: return s * 18.0;
        case SimChipModuleKind::photonicBridge: return s * 7.0;
        case SimChipModuleKind::quantumJunction: return s * 22.0;
        case SimChipModuleKind::superconductor: return -8.0;
    }
    return 0.0;
}

}  // namespace

const std::array<SimChipModuleKind, 8> SimChipModuleKind::allCases = {
    transistorArray, l2CacheTile, amxTensorCore, cryoHeatPipe, overclockBus, photonicBridge, quantumJunction, superconductor};

std::string SimChipModuleKind::rawValue() const { return kKinds[value].raw; }

std::optional<SimChipModuleKind> SimChipModuleKind::fromRaw(std::string_view raw) {
    for (SimChipModuleKind k : allCases)
        if (raw == kKinds[k.value].raw) return k;
    return std::nullopt;
}

double SimChipModuleKind::baseFlops() const { return kKinds[value].baseFlops; }
double SimChipModuleKind::multBonus() const { return kKinds[value].multBonus; }
double SimChipModuleKind::wattsDraw() const { return kKinds[value].wattsDraw; }
int64_t SimChipModuleKind::shopCostUSD() const { return kKinds[value].shopCostUSD; }

SimChipModuleKind SimChipModuleKind::fromJson(const Json& j) {
    const std::string raw = pk::json::asString(j, "SimChipModuleKind");
    auto kind = fromRaw(raw);
    if (!kind)
        pk::json::failDecode(pk::json::dataCorrupted,
                             "Cannot initialize SimChipModuleKind from invalid String value " + raw);
    return *kind;
}

bool SimPlacedChip::operator==(const SimPlacedChip& o) const {
    return sameText(id, o.id) && kind == o.kind && row == o.row && col == o.col && tier == o.tier;
}

Json SimPlacedChip::toJson() const {
    Json j = Json::object();
    j["id"] = id;
    j["kind"] = kind.toJson();
    j["row"] = row;
    j["col"] = col;
    j["tier"] = tier;
    return j;
}

SimPlacedChip SimPlacedChip::fromJson(const Json& j) {
    using namespace pk::json;
    requireObject(j, "SimPlacedChip");
    SimPlacedChip c;
    c.id = readString(j, "id");
    c.kind = SimChipModuleKind::fromJson(field(j, "kind"));
    c.row = readInteger<int64_t>(j, "row");
    c.col = readInteger<int64_t>(j, "col");
    c.tier = readInteger<int64_t>(j, "tier");
    return c;
}

bool SimCascadeChainStep::operator==(const SimCascadeChainStep& o) const {
    const bool sameSynergy = synergyName.has_value() == o.synergyName.has_value() &&
                             (!synergyName || sameText(*synergyName, *o.synergyName));
    return sameText(chipID, o.chipID) && row == o.row && col == o.col && sameText(label, o.label) &&
           addedFlops == o.addedFlops && appliedMult == o.appliedMult && runningTotalGFLOPS == o.runningTotalGFLOPS &&
           sameSynergy;
}

Json SimCascadeChainStep::toJson() const {
    Json j = Json::object();
    j["chipID"] = chipID;
    j["row"] = row;
    j["col"] = col;
    j["label"] = label;
    j["addedFlops"] = coding::number(addedFlops);
    j["appliedMult"] = coding::number(appliedMult);
    j["runningTotalGFLOPS"] = coding::number(runningTotalGFLOPS);
    if (synergyName) j["synergyName"] = *synergyName;
    return j;
}

SimCascadeChainStep SimCascadeChainStep::fromJson(const Json& j) {
    using namespace pk::json;
    requireObject(j, "SimCascadeChainStep");
    SimCascadeChainStep s;
    s.chipID = readString(j, "chipID");
    s.row = readInteger<int64_t>(j, "row");
    s.col = readInteger<int64_t>(j, "col");
    s.label = readString(j, "label");
    s.addedFlops = coding::readDouble(j, "addedFlops");
    s.appliedMult = coding::readDouble(j, "appliedMult");
    s.runningTotalGFLOPS = coding::readDouble(j, "runningTotalGFLOPS");
    s.synergyName = readOptionalString(j, "synergyName");
    return s;
}

Json SimCascadeEvaluation::toJson() const {
    Json j = Json::object();
    j["totalGFLOPS"] = coding::number(totalGFLOPS);
    j["totalMultiplier"] = coding::number(totalMultiplier);
    j["netWatts"] = coding::number(netWatts);
    j["dieTempC"] = coding::number(dieTempC);
    j["thermalThrottled"] = thermalThrottled;
    j["synergyCount"] = synergyCount;
    Json steps = Json::array();
    for (const auto& s : this->steps) steps.push_back(s.toJson());
    j["steps"] = std::move(steps);
    return j;
}

SimCascadeEvaluation SimCascadeEvaluation::fromJson(const Json& j) {
    using namespace pk::json;
    requireObject(j, "SimCascadeEvaluation");
    SimCascadeEvaluation e;
    e.totalGFLOPS = coding::readDouble(j, "totalGFLOPS");
    e.totalMultiplier = coding::readDouble(j, "totalMultiplier");
    e.netWatts = coding::readDouble(j, "netWatts");
    e.dieTempC = coding::readDouble(j, "dieTempC");
    e.thermalThrottled = readBool(j, "thermalThrottled");
    e.synergyCount = readInteger<int64_t>(j, "synergyCount");
    for (const auto& s : coding::readArray(j, "steps")) e.steps.push_back(SimCascadeChainStep::fromJson(s));
    return e;
}

namespace SimCircuitCascadeKernel {

SimCascadeEvaluation evaluateBoard(const std::vector<SimPlacedChip>& chips, double ambientTempC,
                                   double relicMultiplier) {
    std::vector<SimPlacedChip> sorted = chips;
    std::stable_sort(sorted.begin(), sorted.end(), [](const SimPlacedChip& a, const SimPlacedChip& b) {
        if (a.row != b.row) return a.row < b.row;
        return a.col < b.col;
    });
    std::vector<std::string> keys;
    keys.reserve(sorted.size());
    for (const auto& c : sorted) keys.push_back(identityKey(c.id));

    double mult = std::fmax(relicMultiplier, 1.0);
    double flops = 0.0;
    double watts = 0.0;
    int64_t synergyCount = 0;
    SimCascadeEvaluation result;
    result.steps.reserve(sorted.size());

    for (size_t i = 0; i < sorted.size(); ++i) {
        const SimPlacedChip& chip = sorted[i];
        const double s = tierScale(chip.tier);
        const double addedFlops = s * chip.kind.baseFlops();
        double appliedMult = chip.kind.multBonus();

        size_t neighbourCount = 0;
        bool sameKind = false, l2 = false, coolant = false, tensorOrRail = false;
        for (size_t j = 0; j < sorted.size(); ++j) {
            const SimPlacedChip& other = sorted[j];
            if (keys[j] == keys[i] || !adjacent(chip, other)) continue;
            ++neighbourCount;
            sameKind |= other.kind == chip.kind;
            l2 |= other.kind == SimChipModuleKind::l2CacheTile;
            coolant |= other.kind == SimChipModuleKind::cryoHeatPipe || other.kind == SimChipModuleKind::superconductor;
            tensorOrRail |= other.kind == SimChipModuleKind::superconductor || other.kind == SimChipModuleKind::amxTensorCore;
        }

        std::optional<std::string> synergy;
        if (chip.kind == SimChipModuleKind::amxTensorCore && l2) {
            appliedMult *= 1.85;
            synergy = "ZERO-STALL L2 FEED (\u00D71.85)";
        } else if (chip.kind == SimChipModuleKind::overclockBus && coolant) {
            appliedMult *= 2.1;
            synergy = "SUB-ZERO OVERCLOCK (\u00D72.10)";
        } else if (chip.kind == SimChipModuleKind::photonicBridge && neighbourCount >= 2) {
            appliedMult *= 1.75;
            synergy = "OPTICAL MESH BUS (\u00D71.75)";
        } else if (chip.kind == SimChipModuleKind::quantumJunction && tensorOrRail) {
            appliedMult *= 2.5;
            synergy = "ENTANGLED TENSOR CASCADE (\u00D72.50)";
        } else if (sameKind) {
            appliedMult *= 1.35;
            synergy = "PAIRED SILICON CLUSTER (\u00D71.35)";
        }
        if (synergy) ++synergyCount;

        flops = flops + addedFlops;
        mult = mult * appliedMult;
        watts = watts + chipWatts(chip.kind, s);

        SimCascadeChainStep step;
        step.chipID = chip.id;
        step.row = chip.row;
        step.col = chip.col;
        step.label = chip.kind.rawValue();
        step.addedFlops = addedFlops;
        step.appliedMult = appliedMult;
        step.runningTotalGFLOPS = std::round(flops * mult);
        step.synergyName = std::move(synergy);
        result.steps.push_back(std::move(step));
    }

    result.netWatts = std::fmax(watts, 4.0);
    result.dieTempC = ambientTempC + result.netWatts * 1.12;
    result.thermalThrottled = result.dieTempC > 95.0;
    result.totalGFLOPS = std::round(flops * mult * (result.thermalThrottled ? 0.55 : 1.0));
    result.totalMultiplier = mult;
    result.synergyCount = synergyCount;
    return result;
}

}  // namespace SimCircuitCascadeKernel
}  // namespace simcore
