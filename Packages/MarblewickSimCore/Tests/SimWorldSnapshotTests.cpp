#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <limits>

#include "MarblewickSimCore/SimGolfFlightKernel.h"
#include "MarblewickSimCore/SimWorldSnapshot.h"
#include "FuzzSeeds.h"

using namespace simcore;
using K = SimChipModuleKind;

namespace {

SimWorldSnapshot sample() {
    SimWorldSnapshot s;
    s.schemaVersion = 1010;
    s.gameID = "Quartz Fall";
    s.tick = 42;
    SimCargoBody body("Vase", {0, 2.5, -1}, 3, 800, 1.5);
    body.velocity = {0.1, -0.0, 1e-300};
    s.cargo = {body};
    s.chips = {SimPlacedChip{"c1", K::amxTensorCore, 1, 2, 3}};
    return s;
}

}  // namespace

TEST(SimWorldSnapshot, CompactSortedBytes) {
    SimWorldSnapshot empty;
    empty.schemaVersion = 1;
    empty.gameID = "g";
    EXPECT_EQ(empty.encodeDeterministicJSON(), R"({"cargo":[],"chips":[],"gameID":"g","schemaVersion":1,"tick":0})");

    EXPECT_EQ(sample().encodeDeterministicJSON(),
              R"({"cargo":[{"crackCount":0,"currentValueUSD":800.0,"impactThresholdG":1.5,"initialValueUSD":800.0,)"
              R"("integrity":1.0,"label":"Vase","massKg":3.0,"position":{"x":0.0,"y":2.5,"z":-1.0},)"
              R"("velocity":{"x":0.1,"y":-0.0,"z":1e-300}}],"chips":[{"col":2,"id":"c1","kind":"AMX Tensor Core",)"
              R"("row":1,"tier":3}],"gameID":"Quartz Fall","schemaVersion":1010,"tick":42})");
}

TEST(SimWorldSnapshot, EqualValuesGiveEqualBytesWhateverTheAssignmentOrder) {
    SimWorldSnapshot a = sample();
    SimWorldSnapshot b;
    b.chips = a.chips;
    b.tick = a.tick;
    b.cargo = a.cargo;
    b.gameID = a.gameID;
    b.schemaVersion = a.schemaVersion;
    EXPECT_EQ(a, b);
    EXPECT_EQ(a.encodeDeterministicJSON(), b.encodeDeterministicJSON());
}

TEST(SimWorldSnapshot, RoundTripIsExactToTheBit) {
    const double values[] = {0.1,
                             1.0 / 3.0,
                             -0.0,
                             std::numeric_limits<double>::denorm_min(),
                             std::numeric_limits<double>::min(),
                             DBL_MAX,
                             -DBL_MAX,
                             9007199254740993.0,
                             1e22,
                             123456789012345678901234567890.0,
                             853261.6176,
                             -2.5e-8};
    SimWorldSnapshot s = sample();
    s.tick = std::numeric_limits<uint64_t>::max();
    s.schemaVersion = std::numeric_limits<int64_t>::min();
    for (double v : values) {
        SimCargoBody b("n", {v, -v, v}, 1, v, v);
        b.massKg = v;
        b.integrity = v;
        b.crackCount = std::numeric_limits<int64_t>::max();
        s.cargo.push_back(b);
    }
    const std::string bytes = s.encodeDeterministicJSON();
    kstest::writeFuzzSeed("simcore_snapshot_json", "extremes", bytes);
    kstest::writeFuzzSeed("simcore_snapshot_json", "sample", sample().encodeDeterministicJSON());
    EXPECT_NE(bytes.find("\"tick\":18446744073709551615"), std::string::npos);
    const SimWorldSnapshot back = SimWorldSnapshot::decodeDeterministicJSON(bytes);
    EXPECT_EQ(back, s);
    EXPECT_EQ(back.encodeDeterministicJSON(), bytes);
    for (size_t i = 0; i < std::size(values); ++i) {
        const auto& b = back.cargo[i + 1];
        EXPECT_EQ(std::bit_cast<uint64_t>(b.position.x), std::bit_cast<uint64_t>(values[i])) << values[i];
        EXPECT_EQ(std::bit_cast<uint64_t>(b.massKg), std::bit_cast<uint64_t>(values[i])) << values[i];
    }
}

TEST(SimWorldSnapshot, NonFiniteNumbersFailTheWrite) {
    for (double bad : {std::nan(""), std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()}) {
        SimWorldSnapshot s = sample();
        s.cargo[0].massKg = bad;
        EXPECT_THROW(s.encodeDeterministicJSON(), pk::StudioError);
        s = sample();
        s.cargo[0].velocity.z = bad;
        EXPECT_THROW(s.encodeDeterministicJSON(), pk::StudioError);
    }
}

TEST(SimWorldSnapshot, StrictDecoding) {
    const std::string good = sample().encodeDeterministicJSON();
    auto replace = [&](const std::string& from, const std::string& to) {
        std::string t = good;
        const auto at = t.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return t.replace(at, from.size(), to);
    };
    struct Case {
        const char* name;
        std::string text;
    };
    const Case failures[] = {
        {"not JSON", "{\"tick\":"},
        {"top-level array", "[]"},
        {"missing tick", replace(",\"tick\":42", "")},
        {"tick as string", replace("\"tick\":42", "\"tick\":\"42\"")},
        {"negative tick", replace("\"tick\":42", "\"tick\":-1")},
        {"fractional tick", replace("\"tick\":42", "\"tick\":42.5")},
        {"tick beyond UInt64", replace("\"tick\":42", "\"tick\":18446744073709551616")},
        {"schemaVersion beyond Int64", replace("\"schemaVersion\":1010", "\"schemaVersion\":9223372036854775808")},
        {"null gameID", replace("\"gameID\":\"Quartz Fall\"", "\"gameID\":null")},
        {"cargo not an array", replace("\"cargo\":[", "\"cargo\":\"x\",\"ignored\":[")},
        {"kind in wrong case", replace("AMX Tensor Core", "amx tensor core")},
        {"kind as number", replace("\"AMX Tensor Core\"", "2")},
        {"fractional crackCount", replace("\"crackCount\":0", "\"crackCount\":0.5")},
        {"label as number", replace("\"label\":\"Vase\"", "\"label\":5")},
        {"mass as string", replace("\"massKg\":3.0", "\"massKg\":\"3\"")},
        {"mass overflows Double", replace("\"massKg\":3.0", "\"massKg\":1e400")},
        {"position missing y", replace("\"y\":2.5,", "")},
        {"missing tier", replace(",\"tier\":3", "")},
        {"bool for integrity", replace("\"integrity\":1.0", "\"integrity\":true")},
    };
    for (const auto& c : failures) {
        EXPECT_THROW(SimWorldSnapshot::decodeDeterministicJSON(c.text), pk::StudioError) << c.name << ": " << c.text;
    }
    // Extra keys are ignored; an integral token is a fine Double; 2.0 is a fine Int.
    const auto extra = SimWorldSnapshot::decodeDeterministicJSON(replace("\"tick\":42", "\"tick\":42.0,\"extra\":[1]"));
    EXPECT_EQ(extra, sample());
    EXPECT_EQ(SimWorldSnapshot::decodeDeterministicJSON(replace("\"massKg\":3.0", "\"massKg\":3")), sample());
}

TEST(SimWorldSnapshot, EqualityComparesGameIDCanonically) {
    SimWorldSnapshot a = sample(), b = sample();
    a.gameID = "Caf\xC3\xA9";
    b.gameID = "Cafe\xCC\x81";
    EXPECT_EQ(a, b);
    b.cargo[0].integrity = 0.5;
    EXPECT_NE(a, b);
}

TEST(SimRecordsJson, ChainStepOmitsAbsentSynergyAndKeysAreSorted) {
    SimCascadeChainStep step{"s1", 1, 2, "L2 Cache Tile", 240, 1.6, 384, std::nullopt};
    EXPECT_EQ(pk::json::dump(step.toJson()),
              R"({"addedFlops":240.0,"appliedMult":1.6,"chipID":"s1","col":2,"label":"L2 Cache Tile","row":1,)"
              R"("runningTotalGFLOPS":384.0})");
    step.synergyName = "PAIRED SILICON CLUSTER (\u00D71.35)";
    const auto j = step.toJson();
    EXPECT_TRUE(j.at("synergyName").is_string());
    EXPECT_EQ(SimCascadeChainStep::fromJson(pk::json::parse(pk::json::dump(j))), step);

    const auto eval = SimCircuitCascadeKernel::evaluateBoard(
        {SimPlacedChip{"a", K::amxTensorCore, 0, 0, 1}, SimPlacedChip{"b", K::l2CacheTile, 0, 1, 1}}, 30, 1.2);
    EXPECT_EQ(SimCascadeEvaluation::fromJson(pk::json::parse(pk::json::dump(eval.toJson()))), eval);

    const auto shot = SimGolfFlightKernel::simulateDrive(70, 11, 2500, 9.81, 1.2, SimVec3::zero);
    const std::string shotText = pk::json::dump(shot.toJson());
    EXPECT_EQ(shotText.rfind("{\"apexYards\":", 0), 0u);
    EXPECT_EQ(SimGolfShotResult::fromJson(pk::json::parse(shotText)), shot);
}
