#pragma once
// A carried parcel: a spring-damper pulls it toward the carrying hands, the floor bounces
// it, and hard impacts crack it and lower its value with the square of its integrity.
#include <cstdint>
#include <string>
#include <vector>

#include "MarblewickSimCore/SimVec3.h"

namespace simcore {

struct SimCargoBody {
    std::string label;
    SimVec3 position;
    SimVec3 velocity;
    double massKg = 1.0;
    double initialValueUSD = 0.0;
    double currentValueUSD = 0.0;
    double integrity = 1.0;  // 1 intact, 0 destroyed; never below 0
    int64_t crackCount = 0;
    double impactThresholdG = 0.0;

    SimCargoBody() = default;
    // Velocity zero, full integrity; a mass below 1 kg (or NaN) becomes 1 kg.
    SimCargoBody(std::string label, SimVec3 position, double massKg, double valueUSD, double impactThresholdG);

    // Advances one clamped step (1/240 s to 0.05 s). Returns the impact strength in g of a
    // floor contact during this step, or 0 when the parcel stayed above floorY.
    double step(double dt, double gravityMPS2, const std::vector<SimVec3>& carryHands, double floorY);

    // Memberwise; labels compare by canonical equivalence, doubles by IEEE equality.
    bool operator==(const SimCargoBody& other) const;

    Json toJson() const;
    static SimCargoBody fromJson(const Json& j);
};

}  // namespace simcore
