#include "MarblewickSimCore/SimCargoBody.h"

#include <cmath>
#include <limits>

namespace simcore {

SimCargoBody::SimCargoBody(std::string label, SimVec3 position, double massKg, double valueUSD, double impactThresholdG)
    : label(std::move(label)),
      position(position),
      velocity(SimVec3::zero),
      massKg(std::fmax(massKg, 1.0)),
      initialValueUSD(valueUSD),
      currentValueUSD(valueUSD),
      integrity(1.0),
      crackCount(0),
      impactThresholdG(impactThresholdG) {}

double SimCargoBody::step(double dt, double gravityMPS2, const std::vector<SimVec3>& carryHands, double floorY) {
    double h;
    if (dt > 0.05) h = 0.05;
    else if (dt <= 1.0 / 240.0) h = 1.0 / 240.0;
    else if (std::isnan(dt)) h = 1.0 / 240.0;  // a NaN step would poison position and velocity for good
    else h = dt;

    SimVec3 force{0.0, -(massKg * gravityMPS2), 0.0};
    double drag = 0.16;
    const size_t n = carryHands.size();
    if (n > 0) {
        SimVec3 sum = SimVec3::zero;
        for (const SimVec3& hand : carryHands) sum = sum + hand;
        const double count = static_cast<double>(n);
        const SimVec3 anchor = sum * (1.0 / count);
        const double k = 1450.0 * count;
        const double c = 92.0 * count;
        force = force + (anchor - position) * k - velocity * c;
        drag = 1.85;
    }

    double s = 1.0 - h * drag;
    if (s < 0.0) s = 0.0;

    const SimVec3 newVelocity = (velocity + (force * (1.0 / massKg)) * h) * s;
    SimVec3 newPosition = position + newVelocity * h;

    if (!(newPosition.y < floorY)) {
        velocity = newVelocity;
        position = newPosition;
        return 0.0;
    }

    newPosition.y = floorY;
    const double g = ((std::fmax(-newVelocity.y, 0.0) / h) / 9.81) * 0.12;
    if (g >= impactThresholdG) {
        const double loss = std::fmin(0.14 + 0.11 * (g - impactThresholdG), 0.68);
        integrity = std::fmax(integrity - loss, 0.0);
        if (crackCount < std::numeric_limits<int64_t>::max()) crackCount += 1;
        double value = std::round(integrity * (integrity * initialValueUSD));
        if (value < 0.0) value = 0.0;
        currentValueUSD = value;
    }
    velocity = SimVec3{0.72 * newVelocity.x, 0.22 * std::fabs(newVelocity.y), 0.72 * newVelocity.z};
    position = newPosition;
    return g;
}

bool SimCargoBody::operator==(const SimCargoBody& o) const {
    return sameText(label, o.label) && position == o.position && velocity == o.velocity && massKg == o.massKg &&
           initialValueUSD == o.initialValueUSD && currentValueUSD == o.currentValueUSD && integrity == o.integrity &&
           crackCount == o.crackCount && impactThresholdG == o.impactThresholdG;
}

Json SimCargoBody::toJson() const {
    Json j = Json::object();
    j["label"] = label;
    j["position"] = position.toJson();
    j["velocity"] = velocity.toJson();
    j["massKg"] = coding::number(massKg);
    j["initialValueUSD"] = coding::number(initialValueUSD);
    j["currentValueUSD"] = coding::number(currentValueUSD);
    j["integrity"] = coding::number(integrity);
    j["crackCount"] = crackCount;
    j["impactThresholdG"] = coding::number(impactThresholdG);
    return j;
}

SimCargoBody SimCargoBody::fromJson(const Json& j) {
    using namespace pk::json;
    requireObject(j, "SimCargoBody");
    SimCargoBody b;
    b.label = readString(j, "label");
    b.position = SimVec3::fromJson(field(j, "position"));
    b.velocity = SimVec3::fromJson(field(j, "velocity"));
    b.massKg = coding::readDouble(j, "massKg");
    b.initialValueUSD = coding::readDouble(j, "initialValueUSD");
    b.currentValueUSD = coding::readDouble(j, "currentValueUSD");
    b.integrity = coding::readDouble(j, "integrity");
    b.crackCount = readInteger<int64_t>(j, "crackCount");
    b.impactThresholdG = coding::readDouble(j, "impactThresholdG");
    return b;
}

}  // namespace simcore
