#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "MarblewickSimCore/SimGrimtideArenaKernel.h"

using namespace simcore;

namespace {

std::string bytes(const SimGrimtideArenaKernel& k) { return pk::json::dump(k.toJson()); }

// Walks with full input on one axis until the player's coordinate passes the target.
void walkZTo(SimGrimtideArenaKernel& k, float z) {
    const float dir = z < k.playerPos.z ? 1.0f : -1.0f;  // forward is -z
    for (int i = 0; i < 10000 && (dir > 0 ? k.playerPos.z > z : k.playerPos.z < z); ++i) k.step(0.05f, dir, 0, 0);
}
void walkXTo(SimGrimtideArenaKernel& k, float x) {
    const float dir = x > k.playerPos.x ? 1.0f : -1.0f;  // strafe +1 is +x at yaw 0
    for (int i = 0; i < 10000 && (dir > 0 ? k.playerPos.x < x : k.playerPos.x > x); ++i) k.step(0.05f, 0, dir, 0);
}

}  // namespace

TEST(SimGrimtideArena, DefaultWorld) {
    SimGrimtideArenaKernel k;
    const auto s = k.snapshot();
    EXPECT_EQ(s.aliveZombies, 5);
    EXPECT_EQ(s.scrap, 50);
    EXPECT_EQ(s.squallIntensity01, 0.35f);
    EXPECT_EQ(s.mercyFloorIndex, 0);
    EXPECT_EQ(s.playerPos, SimGrimtideVec3(0, 1.7f, -14));
    EXPECT_EQ(k.zombies[2].hp, 140.0f);
    EXPECT_EQ(k.zombies[4].pos, SimGrimtideVec3(-11, 0, -60));
}

TEST(SimGrimtideArena, TimeStepClamp) {
    struct Case {
        float dt, h;
    };
    for (Case c : {Case{0, 0.001f}, Case{-1, 0.001f}, Case{0.02f, 0.02f}, Case{0.05f, 0.05f}, Case{1, 0.05f},
                   Case{std::nanf(""), 0.05f}, Case{INFINITY, 0.05f}}) {
        SimGrimtideArenaKernel k;
        k.step(c.dt, 0, 0, 0);
        EXPECT_EQ(k.simTimeSec, c.h) << c.dt;
        EXPECT_EQ(k.tick, 1);
        EXPECT_EQ(k.squallIntensity01, (std::sin(0.35f * c.h) * 0.5f + 0.5f) * 0.52f + 0.38f);
    }
}

TEST(SimGrimtideArena, WalkingAndStreetBounds) {
    SimGrimtideArenaKernel k;
    k.step(0.05f, 1, 0, 0);
    EXPECT_EQ(k.playerPos.z, -14.0f + 0.05f * (6.1f * (-(0.0f * 0.0f) - 1.0f * 1.0f)));
    EXPECT_EQ(k.playerPos.x, 0.0f);
    for (int i = 0; i < 400; ++i) k.step(0.05f, 1, 0, 0);
    EXPECT_EQ(k.playerPos.z, -86.0f);

    SimGrimtideArenaKernel right, left;
    for (int i = 0; i < 400; ++i) {
        right.step(0.05f, 0, 1, 0);
        left.step(0.05f, 0, -1, 0);
    }
    EXPECT_EQ(right.playerPos.x, 28.0f);
    EXPECT_EQ(left.playerPos.x, -32.0f);

    // Yaw pi/2: forward is (-1, 0) in (x, z).
    SimGrimtideArenaKernel turned;
    turned.step(0.05f, 1, 0, 1.5707964f);
    EXPECT_NEAR(turned.playerPos.x, -0.305f, 1e-6f);
    EXPECT_NEAR(turned.playerPos.z, -14.0f, 1e-6f);
}

TEST(SimGrimtideArena, PickUpDeliveryAndPowerRamp) {
    SimGrimtideArenaKernel k;
    EXPECT_EQ(k.triggerInteract(), 0);  // the core is 10 m away
    walkZTo(k, -19.0f);
    EXPECT_EQ(k.triggerInteract(), 1);
    EXPECT_TRUE(k.carryingWendmoorCore);
    const float z0 = k.playerPos.z;
    k.step(0.05f, 1, 0, 0);
    EXPECT_EQ(k.playerPos.z, z0 + 0.05f * (4.4f * (-(0.0f * 0.0f) - 1.0f * 1.0f)));  // slower while carrying
    EXPECT_EQ(k.corePos, SimGrimtideVec3(k.playerPos.x - 1.15f * 0.0f, 1.7f - 0.55f, k.playerPos.z - 1.15f * 1.0f));

    EXPECT_EQ(k.triggerInteract(), 0);  // far from the substation
    walkZTo(k, -48.0f);
    walkXTo(k, 5.0f);
    EXPECT_EQ(k.triggerInteract(), 2);
    EXPECT_FALSE(k.carryingWendmoorCore);
    EXPECT_TRUE(k.powerGridIgnited);
    EXPECT_EQ(k.scrap, 300);
    EXPECT_EQ(k.corePos, SimGrimtideVec3(8.5f, 0.45f, -48.0f + 0.65f));
    EXPECT_EQ(k.triggerInteract(), 0);  // a delivered core stays delivered

    EXPECT_EQ(k.powerRestored01, 0.0f);
    for (int i = 0; i < 34; ++i) k.step(0.05f, 0, 0, 0);
    EXPECT_GT(k.powerRestored01, 0.98f);
    EXPECT_LT(k.powerRestored01, 1.0f);
    k.step(0.05f, 0, 0, 0);
    EXPECT_EQ(k.powerRestored01, 1.0f);
    EXPECT_EQ(k.playerHP, 100.0f);
}

TEST(SimGrimtideArena, LobbyFloorsAndStairs) {
    struct Case {
        float dx, dz;
        bool inside;
        int64_t floor;
        float y;
    };
    const Case cases[] = {
        {0, -2, true, 1, 1.7f},     {0, -5, true, 2, 5.5f},         {3, -3.6f, true, 1, 3.6f},
        {3, -4.02f, true, 2, 3.98f}, {3, -6.4f, true, 2, 5.5f},     {7.4f, 6.4f, true, 1, 1.7f},
        {7.6f, 0, false, 0, 1.7f},  {0, 6.6f, false, 0, 1.7f},
    };
    for (const auto& c : cases) {
        SimGrimtideArenaKernel k;
        k.playerPos = {-18.0f + c.dx, 0, -68.0f + c.dz};
        k.step(0.05f, 0, 0, 0);
        EXPECT_EQ(k.insideMercyLobby, c.inside) << c.dx << "," << c.dz;
        EXPECT_EQ(k.mercyFloorIndex, c.floor) << c.dx << "," << c.dz;
        EXPECT_NEAR(k.playerPos.y, c.y, 1e-5f) << c.dx << "," << c.dz;
        EXPECT_EQ(k.squallIntensity01 == 0.12f, c.inside);
    }
    // Carried core on the upper floor hovers at player height - 0.55.
    SimGrimtideArenaKernel k;
    k.carryingWendmoorCore = true;
    k.playerPos = {-18, 0, -73};
    k.step(0.05f, 0, 0, 0);
    EXPECT_EQ(k.corePos.y, 5.5f - 0.55f);
}

TEST(SimGrimtideArena, WeaponKills) {
    struct Case {
        float hp;
        bool shotgun;
        int shotsToKill;
    };
    for (Case c : {Case{100, false, 2}, Case{140, false, 3}, Case{100, true, 1}, Case{120, true, 1},
                   Case{140, true, 2}}) {
        for (bool ignited : {false, true}) {
            SimGrimtideArenaKernel k;
            k.powerGridIgnited = ignited;
            k.zombies = {SimGrimtideZombie(9, {0.5f, 0, -30}, c.hp)};
            for (int shot = 1; shot <= c.shotsToKill; ++shot)
                EXPECT_EQ(k.triggerFire(c.shotgun), shot == c.shotsToKill ? 2 : 1) << c.hp << " shot " << shot;
            EXPECT_FALSE(k.zombies[0].alive);
            EXPECT_LE(k.zombies[0].hp, 0.0f);
            EXPECT_EQ(k.scrap, 50 + (ignited ? 45 : 30));
            EXPECT_EQ(k.triggerFire(c.shotgun), 0);  // the dead are no target
            EXPECT_EQ(k.snapshot().aliveZombies, 0);
        }
    }
}

TEST(SimGrimtideArena, AimConeAndRange) {
    struct Case {
        const char* name;
        SimGrimtideVec3 pos;
        int result;
    };
    const Case cases[] = {
        {"ahead", {0, 0, -20}, 1},         {"behind", {0, 0, -4}, 0},         {"beyond 45 m", {0, 0, -60}, 0},
        {"within 0.1 m", {0, 0, -14.05f}, 0}, {"outside the cone", {5, 0, -20}, 0}, {"edge of the cone", {3, 0, -20}, 1},
    };
    for (const auto& c : cases) {
        SimGrimtideArenaKernel k;
        k.zombies = {SimGrimtideZombie(1, c.pos, 100)};
        EXPECT_EQ(k.triggerFire(false), c.result) << c.name;
        EXPECT_EQ(k.zombies[0].hp, c.result ? 45.0f : 100.0f) << c.name;
    }
    // Nearest in the cone wins; at equal distance the earlier one stays the target.
    SimGrimtideArenaKernel k;
    k.zombies = {SimGrimtideZombie(1, {1, 0, -24}, 100), SimGrimtideZombie(2, {-1, 0, -24}, 100),
                 SimGrimtideZombie(3, {0, 0, -22}, 100)};
    EXPECT_EQ(k.triggerFire(false), 1);
    EXPECT_EQ(k.zombies[2].hp, 45.0f);
    k.zombies[2].alive = false;
    EXPECT_EQ(k.triggerFire(false), 1);
    EXPECT_EQ(k.zombies[0].hp, 45.0f);
    EXPECT_EQ(k.zombies[1].hp, 100.0f);
}

TEST(SimGrimtideArena, ShotgunAlarmDrawsZombiesToTheCab) {
    SimGrimtideArenaKernel k;
    k.playerYaw = 3.14159265f;  // facing +z: nothing in the cone
    EXPECT_EQ(k.triggerFire(true), 0);
    EXPECT_TRUE(k.carAlarmActive);
    EXPECT_EQ(k.carAlarmTimerSec, 14.0f);

    const SimGrimtideVec3 z1 = k.zombies[0].pos;
    k.step(0.05f, 0, 0, 0);
    const float dx = -6.2f - z1.x, dz = -34.0f - z1.z, d = std::sqrt(dx * dx + dz * dz);
    EXPECT_EQ(k.zombies[0].pos.x, z1.x + 0.05f * (3.2f * (dx / d)));
    EXPECT_EQ(k.zombies[0].pos.z, z1.z + 0.05f * (3.2f * (dz / d)));
    EXPECT_TRUE(k.zombies[0].distractedByAlarm);

    int steps = 1;
    while (k.carAlarmTimerSec > 0.05f && steps < 1000) {
        k.step(0.05f, 0, 0, 0);
        ++steps;
    }
    // Zombie 1 reached the cab well within 14 s and waits there with its flag still set.
    EXPECT_TRUE(k.carAlarmActive);
    EXPECT_LE(std::hypot(k.zombies[0].pos.x + 6.2f, k.zombies[0].pos.z + 34.0f), 1.36f);
    EXPECT_TRUE(k.zombies[0].distractedByAlarm);
    // The step that runs the timer out already sends the zombies back to the player.
    while (k.carAlarmActive && steps < 1000) {
        k.step(0.05f, 0, 0, 0);
        ++steps;
    }
    EXPECT_GE(steps, 279);
    EXPECT_LE(steps, 281);
    EXPECT_EQ(k.carAlarmTimerSec, 0.0f);
    EXPECT_FALSE(k.zombies[0].distractedByAlarm);

    // Out of range of the cab the shotgun leaves the alarm off; the pistol never sets it.
    SimGrimtideArenaKernel far;
    far.playerPos = {25, 1.7f, 0};
    far.triggerFire(true);
    EXPECT_FALSE(far.carAlarmActive);
    SimGrimtideArenaKernel pistol;
    pistol.triggerFire(false);
    EXPECT_FALSE(pistol.carAlarmActive);
}

TEST(SimGrimtideArena, NonFiniteInputsCountAsZero) {
    const float bad[] = {std::nanf(""), INFINITY, -INFINITY};
    for (float b : bad) {
        SimGrimtideArenaKernel poisoned, clean;
        for (int i = 0; i < 50; ++i) {
            poisoned.step(0.05f, b, b, b);
            clean.step(0.05f, 0, 0, 0);
            poisoned.step(0.05f, 1, 0.5f, 0.01f);
            clean.step(0.05f, 1, 0.5f, 0.01f);
        }
        EXPECT_EQ(bytes(poisoned), bytes(clean));
    }
    // Finite inputs that overflow land on the street bounds instead of NaN.
    SimGrimtideArenaKernel huge;
    huge.step(0.05f, FLT_MAX, FLT_MAX, 0.7f);
    huge.step(0.05f, -FLT_MAX, FLT_MAX, FLT_MAX);
    huge.step(0.05f, 1, 0, FLT_MAX);
    EXPECT_TRUE(std::isfinite(huge.playerPos.x) && std::isfinite(huge.playerPos.z));
    EXPECT_TRUE(std::isfinite(huge.playerYaw));
    EXPECT_NO_THROW(bytes(huge));
}

TEST(SimGrimtideArena, TenThousandStepsAreDeterministic) {
    auto run = [] {
        SimGrimtideArenaKernel k;
        for (int i = 0; i < 10000; ++i) {
            const float t = static_cast<float>(i);
            k.step(0.016f + 0.001f * static_cast<float>(i % 7), std::sin(t * 0.01f), std::cos(t * 0.013f), 0.002f);
            if (i % 97 == 0) k.triggerInteract();
            if (i % 131 == 0) k.triggerFire(i % 262 == 0);
        }
        return bytes(k);
    };
    const std::string a = run();
    EXPECT_EQ(a, run());
    EXPECT_NE(a.find("\"tick\":10000"), std::string::npos);
}

TEST(SimGrimtideArena, JsonRoundTripKeepsEveryBit) {
    SimGrimtideArenaKernel k;
    for (int i = 0; i < 300; ++i) k.step(0.033f, 0.7f, -0.3f, 0.01f);
    k.triggerFire(true);
    k.playerHP = -0.0f;
    k.zombies[1].hp = FLT_MAX;
    k.zombies[2].hp = std::numeric_limits<float>::denorm_min();
    // Its shortest text "7.038531e-26" read through a double lands on the next float.
    k.zombies[3].hp = std::strtof("7.038531e-26", nullptr);
    k.zombies[4].hp = 0.22f;
    const std::string text = bytes(k);
    EXPECT_EQ(text.rfind("{\"carAlarmActive\":", 0), 0u);
    EXPECT_NE(text.find("\"carryingWendmoorCore\":false,\"corePos\":"), std::string::npos);
    SimGrimtideArenaKernel back = SimGrimtideArenaKernel::fromJson(pk::json::parse(text));
    EXPECT_EQ(bytes(back), text);
    EXPECT_EQ(std::bit_cast<uint32_t>(back.playerHP), std::bit_cast<uint32_t>(-0.0f));
    EXPECT_EQ(back.zombies[1].hp, FLT_MAX);
    EXPECT_EQ(back.zombies[2].hp, std::numeric_limits<float>::denorm_min());
    EXPECT_EQ(back.zombies[3].hp, k.zombies[3].hp);
    EXPECT_NE(text.find("\"hp\":0.22,"), std::string::npos);
    for (int i = 0; i < 200; ++i) {
        k.step(0.05f, 1, 0, 0.02f);
        back.step(0.05f, 1, 0, 0.02f);
    }
    EXPECT_EQ(bytes(back), bytes(k));

    const std::string snap = pk::json::dump(k.snapshot().toJson());
    EXPECT_EQ(snap.rfind("{\"aliveZombies\":", 0), 0u);
    EXPECT_EQ(pk::json::dump(SimGrimtideSnapshot::fromJson(pk::json::parse(snap)).toJson()), snap);

    pk::json::Json missing = k.toJson();
    missing.erase("zombies");
    EXPECT_THROW(SimGrimtideArenaKernel::fromJson(missing), pk::StudioError);
    pk::json::Json tooBig = k.toJson();
    tooBig["playerYaw"] = 1e39;
    EXPECT_THROW(SimGrimtideArenaKernel::fromJson(tooBig), pk::StudioError);
    k.playerYaw = std::nanf("");
    EXPECT_THROW(bytes(k), pk::StudioError);
}
