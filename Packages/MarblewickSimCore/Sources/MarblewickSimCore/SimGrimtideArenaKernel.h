#pragma once
// The blackout arena in single precision: walk the street, carry the power core to the
// substation, climb the lobby, shoot zombies; a shotgun blast near the cab sets off its
// alarm and draws the zombies away. Deterministic; no randomness.
#include <cstdint>
#include <vector>

#include "MarblewickSimCore/SimCoding.h"

namespace simcore {

struct SimGrimtideVec3 {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;

    SimGrimtideVec3() = default;
    SimGrimtideVec3(float x, float y, float z) : x(x), y(y), z(z) {}

    // Horizontal distance, y ignored.
    float distanceXZ(const SimGrimtideVec3& other) const;

    bool operator==(const SimGrimtideVec3&) const = default;

    Json toJson() const;
    static SimGrimtideVec3 fromJson(const Json& j);
};

struct SimGrimtideZombie {
    int64_t id = 0;
    SimGrimtideVec3 pos;
    float hp = 0.0f;
    bool alive = true;
    bool distractedByAlarm = false;

    SimGrimtideZombie() = default;
    SimGrimtideZombie(int64_t id, SimGrimtideVec3 pos, float hp) : id(id), pos(pos), hp(hp) {}

    Json toJson() const;
    static SimGrimtideZombie fromJson(const Json& j);
};

struct SimGrimtideSnapshot {
    int64_t tick = 0;
    SimGrimtideVec3 playerPos;
    float playerYaw = 0.0f;
    float playerHP = 0.0f;
    int64_t scrap = 0;
    bool carryingWendmoorCore = false;
    float powerRestored01 = 0.0f;
    bool insideMercyLobby = false;
    int64_t mercyFloorIndex = 0;
    float squallIntensity01 = 0.0f;
    bool carAlarmActive = false;
    int64_t aliveZombies = 0;
    SimGrimtideVec3 corePos;
    SimGrimtideVec3 substationPos;
    SimGrimtideVec3 mercyLobbyPos;

    Json toJson() const;
    static SimGrimtideSnapshot fromJson(const Json& j);
};

struct SimGrimtideArenaKernel {
    int64_t tick = 0;
    float simTimeSec = 0.0f;
    SimGrimtideVec3 playerPos{0.0f, 1.7f, -14.0f};
    float playerYaw = 0.0f;  // forward at yaw 0 is -z
    float playerHP = 100.0f;
    int64_t scrap = 50;
    SimGrimtideVec3 corePos{0.0f, 0.0f, -24.0f};
    SimGrimtideVec3 substationPos{8.5f, 0.0f, -48.0f};
    SimGrimtideVec3 mercyLobbyPos{-18.0f, 0.0f, -68.0f};
    SimGrimtideVec3 parkedCabPos{-6.2f, 0.0f, -34.0f};
    bool carryingWendmoorCore = false;
    bool powerGridIgnited = false;
    float powerRestored01 = 0.0f;
    bool insideMercyLobby = false;
    int64_t mercyFloorIndex = 0;  // 0 outside, 1 ground floor, 2 upper floor
    float squallIntensity01 = 0.35f;
    bool carAlarmActive = false;
    float carAlarmTimerSec = 0.0f;
    std::vector<SimGrimtideZombie> zombies{
        {1, {-4.0f, 0.0f, -38.0f}, 100.0f},  {2, {5.0f, 0.0f, -42.0f}, 100.0f},
        {3, {-2.5f, 0.0f, -52.0f}, 140.0f},  {4, {9.2f, 0.0f, -55.0f}, 100.0f},
        {5, {-11.0f, 0.0f, -60.0f}, 120.0f},
    };

    // One step of 0.001 s to 0.05 s. A non-finite move or yaw input counts as 0.
    void step(float dt, float moveForward, float moveStrafe, float yawDelta);
    // 0 nothing happened, 1 core picked up, 2 core delivered.
    int triggerInteract();
    // 0 miss, 1 hit, 2 kill.
    int triggerFire(bool isShotgun);
    SimGrimtideSnapshot snapshot() const;

    Json toJson() const;
    static SimGrimtideArenaKernel fromJson(const Json& j);
};

}  // namespace simcore
