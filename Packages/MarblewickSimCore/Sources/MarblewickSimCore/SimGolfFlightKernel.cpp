#include "MarblewickSimCore/SimGolfFlightKernel.h"

#include <cmath>

namespace simcore {

namespace SimGolfFlightKernel {

SimGolfShotResult simulateDrive(double ballSpeedMPS, double launchDeg, double spinRPM, double gravityMPS2,
                                double airDensityKgM3, SimVec3 windMPS) {
    constexpr double pi = 3.141592653589793;
    constexpr double radius = 0.021335;
    constexpr double mass = 0.04593;
    constexpr double area = 0.0014299971341046563;  // pi * radius^2
    constexpr double dt = 0.01;

    const double theta = launchDeg * pi / 180.0;
    const double sinT = std::sin(theta);
    const double cosT = std::cos(theta);

    SimVec3 position{0.0, 0.05, 0.0};
    SimVec3 velocity{0.0, ballSpeedMPS * sinT, ballSpeedMPS * cosT};
    double omega = (spinRPM + spinRPM) * pi / 60.0;
    double apex = 0.05;
    double t = 0.0;

    while (position.y > 0.0 || velocity.y > 0.0) {
        const SimVec3 r = velocity - windMPS;
        const double speed = std::fmax(r.length(), 0.001);
        const double spinFactor = omega * radius / speed;
        const double cd = 0.215 + 0.14 * std::fmin(spinFactor, 0.5);
        const double cl = std::fmin(0.58 * spinFactor, 0.32);
        const double q = ((0.5 * airDensityKgM3) * speed) * speed * area;
        const double k = -(q * cd) / (speed * mass);
        const SimVec3 accel{r.x * k, (q * cl / mass + r.y * k) - gravityMPS2, r.z * k};
        velocity = velocity + accel * dt;
        position = position + velocity * dt;
        apex = std::fmax(apex, position.y);
        omega = omega * 0.9992;
        t = t + dt;
        if (t >= 28.0) break;
    }

    SimGolfShotResult result;
    result.carryYards = std::sqrt(position.x * position.x + position.z * position.z) * 1.09361;
    result.apexYards = apex * 1.09361;
    result.flightSeconds = t;
    result.landingPoint = position;
    return result;
}

}  // namespace SimGolfFlightKernel

Json SimGolfShotResult::toJson() const {
    Json j = Json::object();
    j["carryYards"] = coding::number(carryYards);
    j["apexYards"] = coding::number(apexYards);
    j["flightSeconds"] = coding::number(flightSeconds);
    j["landingPoint"] = landingPoint.toJson();
    return j;
}

SimGolfShotResult SimGolfShotResult::fromJson(const Json& j) {
    pk::json::requireObject(j, "SimGolfShotResult");
    SimGolfShotResult r;
    r.carryYards = coding::readDouble(j, "carryYards");
    r.apexYards = coding::readDouble(j, "apexYards");
    r.flightSeconds = coding::readDouble(j, "flightSeconds");
    r.landingPoint = SimVec3::fromJson(pk::json::field(j, "landingPoint"));
    return r;
}

}  // namespace simcore
