#pragma once
// Golf ball flight: drag and Magnus lift on a spinning ball, fixed 10 ms steps, capped
// at 28 s of flight.
#include "MarblewickSimCore/SimVec3.h"

namespace simcore {

struct SimGolfShotResult {
    double carryYards = 0.0;
    double apexYards = 0.0;
    double flightSeconds = 0.0;
    SimVec3 landingPoint;  // metres

    bool operator==(const SimGolfShotResult&) const = default;

    Json toJson() const;
    static SimGolfShotResult fromJson(const Json& j);
};

namespace SimGolfFlightKernel {

SimGolfShotResult simulateDrive(double ballSpeedMPS, double launchDeg, double spinRPM, double gravityMPS2,
                                double airDensityKgM3, SimVec3 windMPS);

}  // namespace SimGolfFlightKernel
}  // namespace simcore
