#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "MarblewickSimCore/SimCircuitCascadeKernel.h"

using namespace simcore;
using K = SimChipModuleKind;

namespace {
SimPlacedChip chip(std::string id, K kind, int64_t row, int64_t col, int64_t tier = 1) {
    return SimPlacedChip{std::move(id), kind, row, col, tier};
}
}  // namespace

TEST(SimChipModuleKind, RawValuesAreExact) {
    EXPECT_EQ(K::allCases.size(), 8u);
    for (K k : K::allCases) EXPECT_EQ(K::fromRaw(k.rawValue()), k);
    EXPECT_EQ(K(K::superconductor).rawValue(), "Superconductor Rail");
    EXPECT_EQ(K(K::cryoHeatPipe).rawValue(), "Cryo Heat-Pipe");
    EXPECT_FALSE(K::fromRaw("amx tensor core"));
    EXPECT_FALSE(K::fromRaw("Superconductor"));
    EXPECT_EQ(K(K::quantumJunction).shopCostUSD(), 14);
    EXPECT_EQ(K(K::cryoHeatPipe).wattsDraw(), -16.0);
}

TEST(SimCircuitCascadeKernel, ReferenceBoardRunningTotals) {
    const std::vector<SimPlacedChip> board = {chip("s1", K::l2CacheTile, 1, 1), chip("s2", K::amxTensorCore, 1, 2),
                                              chip("s3", K::cryoHeatPipe, 2, 2), chip("s4", K::overclockBus, 2, 1),
                                              chip("s5", K::quantumJunction, 0, 2)};
    const auto before = board;
    const auto e = SimCircuitCascadeKernel::evaluateBoard(board, 32, 1.0);
    EXPECT_EQ(board, before);
    ASSERT_EQ(e.steps.size(), 5u);
    struct Row {
        const char* id;
        double mult;
        double running;
        const char* synergy;
    };
    const Row rows[] = {
        {"s5", 3.5 * 2.5, 8050, "ENTANGLED TENSOR CASCADE (\u00D72.50)"},
        {"s1", 1.6, 16240, nullptr},
        {"s2", 2.4 * 1.85, 112510, "ZERO-STALL L2 FEED (\u00D71.85)"},
        {"s4", 2.8 * 2.1, 727347, "SUB-ZERO OVERCLOCK (\u00D72.10)"},
        {"s3", 1.15, 853262, nullptr},
    };
    for (size_t i = 0; i < 5; ++i) {
        SCOPED_TRACE(rows[i].id);
        EXPECT_EQ(e.steps[i].chipID, rows[i].id);
        EXPECT_EQ(e.steps[i].appliedMult, rows[i].mult);
        EXPECT_EQ(e.steps[i].runningTotalGFLOPS, rows[i].running);
        if (rows[i].synergy) EXPECT_EQ(e.steps[i].synergyName, std::optional<std::string>(rows[i].synergy));
        else EXPECT_FALSE(e.steps[i].synergyName);
    }
    EXPECT_EQ(e.steps[0].label, "Quantum Junction");
    EXPECT_EQ(e.steps[0].addedFlops, 920.0);
    EXPECT_EQ(e.synergyCount, 3);
    EXPECT_EQ(e.netWatts, 43.5);
    EXPECT_EQ(e.dieTempC, 32 + 43.5 * 1.12);
    EXPECT_FALSE(e.thermalThrottled);
    EXPECT_EQ(e.totalGFLOPS, 853262.0);
    EXPECT_GT(e.totalGFLOPS, 50000.0);
}

TEST(SimCircuitCascadeKernel, EmptyBoardAndRelicMultiplier) {
    for (double relic : {0.5, 1.0, 2.5, std::nan("")}) {
        const auto e = SimCircuitCascadeKernel::evaluateBoard({}, 20, relic);
        EXPECT_EQ(e.totalGFLOPS, 0.0);
        EXPECT_EQ(e.totalMultiplier, relic > 1.0 ? relic : 1.0);
        EXPECT_EQ(e.netWatts, 4.0);
        EXPECT_EQ(e.dieTempC, 20 + 4.0 * 1.12);
        EXPECT_FALSE(e.thermalThrottled);
        EXPECT_EQ(e.synergyCount, 0);
        EXPECT_TRUE(e.steps.empty());
    }
}

TEST(SimCircuitCascadeKernel, ThrottlingAppliesToTheTotalOnly) {
    const auto e = SimCircuitCascadeKernel::evaluateBoard({chip("a", K::amxTensorCore, 0, 0)}, 80, 1.0);
    EXPECT_EQ(e.netWatts, 14.0);
    EXPECT_DOUBLE_EQ(e.dieTempC, 95.68);
    EXPECT_TRUE(e.thermalThrottled);
    EXPECT_EQ(e.steps[0].runningTotalGFLOPS, 1560.0);
    EXPECT_EQ(e.totalGFLOPS, 858.0);
}

TEST(SimCircuitCascadeKernel, TiersAndCooling) {
    const auto e = SimCircuitCascadeKernel::evaluateBoard(
        {chip("q", K::quantumJunction, 0, 0, 3), chip("c", K::cryoHeatPipe, 5, 5, 3)}, 0, 1);
    EXPECT_EQ(e.steps[0].addedFlops, 2.3 * 920.0);
    EXPECT_EQ(e.netWatts, 2.3 * 22.0 - 16.0);
    const auto cooled = SimCircuitCascadeKernel::evaluateBoard(
        {chip("c", K::cryoHeatPipe, 0, 0), chip("r", K::superconductor, 0, 1)}, 25, 1);
    EXPECT_EQ(cooled.netWatts, 4.0);
}

TEST(SimCircuitCascadeKernel, SynergyRules) {
    struct Case {
        const char* name;
        std::vector<SimPlacedChip> chips;
        const char* subject;  // id whose step is checked
        double mult;
        bool synergy;
    };
    const Case cases[] = {
        {"amx beside l2", {chip("a", K::amxTensorCore, 0, 0), chip("l", K::l2CacheTile, 0, 1)}, "a", 2.4 * 1.85, true},
        {"l2 gets nothing from amx", {chip("a", K::amxTensorCore, 0, 0), chip("l", K::l2CacheTile, 0, 1)}, "l", 1.6,
         false},
        {"amx pair", {chip("a", K::amxTensorCore, 0, 0), chip("b", K::amxTensorCore, 1, 0)}, "a", 2.4 * 1.35, true},
        {"overclock prefers coolant over pairing",
         {chip("o", K::overclockBus, 1, 1), chip("c", K::cryoHeatPipe, 1, 2), chip("p", K::overclockBus, 0, 1)},
         "o",
         2.8 * 2.1,
         true},
        {"photonic with one neighbour pairs",
         {chip("p", K::photonicBridge, 0, 0), chip("q", K::photonicBridge, 0, 1)},
         "p",
         2.1 * 1.35,
         true},
        {"photonic mesh",
         {chip("p", K::photonicBridge, 1, 1), chip("t", K::transistorArray, 0, 1), chip("u", K::transistorArray, 1, 0)},
         "p",
         2.1 * 1.75,
         true},
        {"quantum beside rail", {chip("q", K::quantumJunction, 0, 0), chip("r", K::superconductor, 0, 1)}, "q",
         3.5 * 2.5, true},
        {"diagonal is no neighbour", {chip("a", K::transistorArray, 0, 0), chip("b", K::transistorArray, 1, 1)}, "a",
         1.25, false},
        {"same cell is no neighbour", {chip("a", K::transistorArray, 0, 0), chip("b", K::transistorArray, 0, 0)}, "a",
         1.25, false},
        {"same id never neighbours", {chip("x", K::transistorArray, 0, 0), chip("x", K::transistorArray, 0, 1)}, "x",
         1.25, false},
        // "é" precomposed and decomposed are one identity.
        {"canonically equal ids never neighbours",
         {chip("\xC3\xA9", K::transistorArray, 0, 0), chip("e\xCC\x81", K::transistorArray, 0, 1)},
         "\xC3\xA9",
         1.25,
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto e = SimCircuitCascadeKernel::evaluateBoard(c.chips, 20, 1);
        const SimCascadeChainStep* step = nullptr;
        for (const auto& s : e.steps)
            if (s.chipID == c.subject && !step) step = &s;
        ASSERT_NE(step, nullptr);
        EXPECT_EQ(step->appliedMult, c.mult);
        EXPECT_EQ(step->synergyName.has_value(), c.synergy);
    }
}

TEST(SimCircuitCascadeKernel, StableReadingOrder) {
    const auto e = SimCircuitCascadeKernel::evaluateBoard(
        {chip("c", K::l2CacheTile, 2, 0), chip("b1", K::l2CacheTile, 1, 5), chip("a", K::l2CacheTile, 1, -3),
         chip("b2", K::l2CacheTile, 1, 5)},
        20, 1);
    std::vector<std::string> ids;
    for (const auto& s : e.steps) ids.push_back(s.chipID);
    EXPECT_EQ(ids, (std::vector<std::string>{"a", "b1", "b2", "c"}));
}

TEST(SimCircuitCascadeKernel, ExtremeCoordinatesAndTiersDoNotOverflow) {
    constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
    constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
    // Wrapping arithmetic would make kMax and kMin rows look one apart.
    auto e = SimCircuitCascadeKernel::evaluateBoard(
        {chip("a", K::l2CacheTile, kMax, 0), chip("b", K::l2CacheTile, kMin, 0), chip("c", K::l2CacheTile, kMin, kMax),
         chip("d", K::l2CacheTile, kMin, kMin)},
        20, 1);
    EXPECT_EQ(e.synergyCount, 0);
    e = SimCircuitCascadeKernel::evaluateBoard(
        {chip("a", K::l2CacheTile, kMax, kMin), chip("b", K::l2CacheTile, kMax - 1, kMin)}, 20, 1);
    EXPECT_EQ(e.synergyCount, 2);
    e = SimCircuitCascadeKernel::evaluateBoard({chip("t", K::transistorArray, 0, 0, kMin)}, 20, 1);
    EXPECT_EQ(e.steps[0].addedFlops, (-9223372036854775808.0 * 0.65 + 1.0) * 120.0);
    e = SimCircuitCascadeKernel::evaluateBoard({chip("t", K::transistorArray, 0, 0, kMax)}, 20, 1);
    EXPECT_TRUE(std::isfinite(e.totalGFLOPS));
}

TEST(SimPlacedChip, EqualityIsCanonical) {
    EXPECT_EQ(chip("\xC3\xA9", K::l2CacheTile, 0, 0), chip("e\xCC\x81", K::l2CacheTile, 0, 0));
    EXPECT_NE(chip("a", K::l2CacheTile, 0, 0), chip("a", K::l2CacheTile, 0, 0, 2));
    // Different ill-formed bytes do not become equal through repair.
    EXPECT_NE(chip("\xFF", K::l2CacheTile, 0, 0), chip("\xFE", K::l2CacheTile, 0, 0));
}
