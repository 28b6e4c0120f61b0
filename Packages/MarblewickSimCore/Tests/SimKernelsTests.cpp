// Vector, cargo and golf kernels. Expected figures were worked out independently of this
// code, with the same order of IEEE double operations.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "MarblewickSimCore/SimCargoBody.h"
#include "MarblewickSimCore/SimGolfFlightKernel.h"

using namespace simcore;

TEST(SimVec3, ZeroLengthAndExactArithmetic) {
    EXPECT_EQ(SimVec3::zero.length(), 0.0);
    EXPECT_EQ((SimVec3{3, 4, 12}).length(), 13.0);
    const SimVec3 a{1.5, -2.25, 8}, b{0.5, 4, -0.125};
    EXPECT_EQ((a + b) - b, a);
    EXPECT_EQ(a * 2.0, (SimVec3{3, -4.5, 16}));
    EXPECT_EQ((SimVec3{0.0, 0, 0}), (SimVec3{-0.0, 0, 0}));
    EXPECT_NE((SimVec3{std::nan(""), 0, 0}), (SimVec3{std::nan(""), 0, 0}));
}

TEST(SimCargoBody, InitializerClampsMassAndCopiesValue) {
    SimCargoBody light("Vase", {1, 2, 3}, 0.2, 800, 1.5);
    EXPECT_EQ(light.massKg, 1.0);
    EXPECT_EQ(light.initialValueUSD, 800.0);
    EXPECT_EQ(light.currentValueUSD, 800.0);
    EXPECT_EQ(light.integrity, 1.0);
    EXPECT_EQ(light.crackCount, 0);
    EXPECT_EQ(light.velocity, SimVec3::zero);
    EXPECT_EQ(SimCargoBody("x", {}, std::nan(""), 1, 1).massKg, 1.0);
    EXPECT_EQ(SimCargoBody("x", {}, 320, 1, 1).massKg, 320.0);
}

TEST(SimCargoBody, StepClampsTheTimeStep) {
    struct Case {
        double dt;
        double h;
    };
    // A free fall from rest under gravity 10, no hands: y = 10 - s * (-10 h) * h with s = 1 - 0.16 h.
    for (Case c : {Case{0.5, 0.05}, Case{0.05, 0.05}, Case{0.0, 1.0 / 240}, Case{-3, 1.0 / 240},
                   Case{std::nan(""), 1.0 / 240}, Case{0.02, 0.02}}) {
        SimCargoBody b("x", {0, 10, 0}, 2, 100, 3);
        EXPECT_EQ(b.step(c.dt, 10, {}, 0), 0.0);
        const double s = 1.0 - c.h * 0.16;
        const double vy = (0.0 + (-(2.0 * 10.0) * (1.0 / 2.0)) * c.h) * s;
        EXPECT_EQ(b.velocity.y, vy) << c.dt;
        EXPECT_EQ(b.position.y, 10.0 + vy * c.h) << c.dt;
    }
}

TEST(SimCargoBody, GrandPianoDropCracksOnce) {
    SimCargoBody piano("Grand Piano", {0, 2.5, 0}, 320, 145000, 2.4);
    int impacts = 0;
    double firstImpact = 0;
    for (int i = 0; i < 80; ++i) {
        const double g = piano.step(1.0 / 60.0, 9.81, {}, 0);
        if (g != 0 && impacts++ == 0) {
            firstImpact = g;
            EXPECT_EQ(i, 43);
        }
    }
    EXPECT_NEAR(firstImpact, 4.974977037547111, 1e-12);
    EXPECT_EQ(piano.crackCount, 1);
    EXPECT_NEAR(piano.integrity, 0.5767525258698177, 1e-15);
    // Value falls with the square of integrity, rounded: 0.57675^2 * 145000 = 48232.6...
    EXPECT_EQ(piano.currentValueUSD, 48233.0);
    EXPECT_EQ(piano.position.y, 0.0);
    EXPECT_NEAR(piano.velocity.y, 0.029419130509744935, 1e-15);
}

TEST(SimCargoBody, SingleImpactBelowAndAboveThreshold) {
    // Gravity 0, h = 0.05: the parcel crosses the floor in one step with vy' = 0.992 * vy.
    struct Case {
        double vy;
        double threshold;
        bool damages;
    };
    for (Case c : {Case{-2.0, 5.0, false}, Case{-2.0, 0.48, true}, Case{-40.0, 1.0, true}}) {
        SimCargoBody b("crate", {0, 0.01, 0}, 10, 1000, c.threshold);
        b.velocity = {1.0, c.vy, -2.0};
        const double g = b.step(0.05, 0, {}, 0);
        const double vyNew = c.vy * 0.992;
        const double expectedG = ((-vyNew / 0.05) / 9.81) * 0.12;
        EXPECT_NEAR(g, expectedG, 1e-12);
        EXPECT_EQ(b.position.y, 0.0);
        EXPECT_NEAR(b.velocity.x, 0.72 * 0.992, 1e-15);
        EXPECT_NEAR(b.velocity.y, 0.22 * -vyNew, 1e-15);
        EXPECT_NEAR(b.velocity.z, 0.72 * -2.0 * 0.992, 1e-15);
        if (!c.damages) {
            EXPECT_EQ(b.crackCount, 0);
            EXPECT_EQ(b.integrity, 1.0);
            EXPECT_EQ(b.currentValueUSD, 1000.0);
        } else {
            const double loss = std::fmin(0.14 + 0.11 * (g - c.threshold), 0.68);
            EXPECT_EQ(b.crackCount, 1);
            EXPECT_DOUBLE_EQ(b.integrity, 1.0 - loss);
            EXPECT_EQ(b.currentValueUSD, std::round(b.integrity * b.integrity * 1000.0));
        }
    }
}

TEST(SimCargoBody, RepeatedHardImpactsEndAtZeroValue) {
    SimCargoBody b("glass", {0, 0.01, 0}, 1, 999, 0.1);
    for (int i = 0; i < 3; ++i) {
        b.position.y = 0.01;
        b.velocity = {0, -50, 0};
        b.step(0.05, 0, {}, 0);
        EXPECT_LE(1.0 - b.integrity, 0.68 * (i + 1) + 1e-12);
    }
    EXPECT_EQ(b.integrity, 0.0);
    EXPECT_EQ(b.crackCount, 3);
    EXPECT_EQ(b.currentValueUSD, 0.0);
}

TEST(SimCargoBody, CarryHandsHoldTheParcelNearTheirMean) {
    SimCargoBody b("box", {0, 1.0, 0}, 12, 500, 2.0);
    for (int i = 0; i < 60; ++i) EXPECT_EQ(b.step(1.0 / 60, 9.81, {{0, 1.2, 0}, {0.4, 1.2, 0.2}}, 0), 0.0);
    EXPECT_NEAR(b.position.x, 0.19998794089281802, 1e-15);
    EXPECT_NEAR(b.position.y, 1.1593972850274687, 1e-15);
    EXPECT_NEAR(b.position.z, 0.09999397044640901, 1e-15);
    EXPECT_EQ(b.crackCount, 0);
}

TEST(SimCargoBody, CrackCountSaturates) {
    SimCargoBody b("x", {0, 0.01, 0}, 1, 1, 0.0);
    b.crackCount = std::numeric_limits<int64_t>::max();
    b.velocity = {0, -10, 0};
    b.step(0.05, 0, {}, 0);
    EXPECT_EQ(b.crackCount, std::numeric_limits<int64_t>::max());
}

TEST(SimGolfFlightKernel, ReferenceDrives) {
    struct Case {
        double speed, deg, rpm, gravity, rho;
        SimVec3 wind;
        double carry, apex, seconds;
        SimVec3 landing;
    };
    const Case cases[] = {
        {76, 13.5, 2400, 1.62, 0.02, SimVec3::zero, 1688.7331899234478, 105.7943512541285, 22.06000000000065,
         {0.0, -0.07649067861138953, 1544.1822861197757}},
        {70, 12, 2600, 9.81, 1.225, {1.0, 0.0, -2.0}, 179.70919360938393, 13.356237270161486, 3.649999999999966,
         {1.2146192055297744, -0.05682421267906254, 164.3220932578373}},
    };
    for (const auto& c : cases) {
        const auto r = SimGolfFlightKernel::simulateDrive(c.speed, c.deg, c.rpm, c.gravity, c.rho, c.wind);
        EXPECT_DOUBLE_EQ(r.carryYards, c.carry);
        EXPECT_DOUBLE_EQ(r.apexYards, c.apex);
        EXPECT_DOUBLE_EQ(r.flightSeconds, c.seconds);
        EXPECT_DOUBLE_EQ(r.landingPoint.x, c.landing.x);
        EXPECT_DOUBLE_EQ(r.landingPoint.y, c.landing.y);
        EXPECT_DOUBLE_EQ(r.landingPoint.z, c.landing.z);
    }
}

TEST(SimGolfFlightKernel, DroppedBallAndCappedFlight) {
    const auto drop = SimGolfFlightKernel::simulateDrive(0, 0, 0, 9.81, 1.2, SimVec3::zero);
    EXPECT_LE(drop.landingPoint.y, 0.0);
    EXPECT_GT(drop.flightSeconds, 0.0);
    EXPECT_LT(drop.flightSeconds, 0.2);
    EXPECT_EQ(drop.apexYards, 0.05 * 1.09361);
    EXPECT_EQ(drop.carryYards, 0.0);

    // Negative gravity never comes down: the loop stops at the first t not below 28.
    const auto up = SimGolfFlightKernel::simulateDrive(30, 45, 0, -1, 0, SimVec3::zero);
    EXPECT_GE(up.flightSeconds, 28.0);
    EXPECT_LT(up.flightSeconds, 28.0 + 0.01);
    EXPECT_GT(up.landingPoint.y, 0.0);
}
