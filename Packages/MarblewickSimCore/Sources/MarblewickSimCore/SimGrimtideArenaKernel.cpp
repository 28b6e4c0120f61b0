#include "MarblewickSimCore/SimGrimtideArenaKernel.h"

#include <cmath>
#include <limits>

namespace simcore {

namespace {

float finiteOrZero(float v) { return std::isfinite(v) ? v : 0.0f; }

void addSaturating(int64_t& value, int64_t amount) {
    if (value > std::numeric_limits<int64_t>::max() - amount) value = std::numeric_limits<int64_t>::max();
    else value += amount;
}

}  // namespace

float SimGrimtideVec3::distanceXZ(const SimGrimtideVec3& o) const {
    const float dx = x - o.x;
    const float dz = z - o.z;
    return std::sqrt(dx * dx + dz * dz);
}

void SimGrimtideArenaKernel::step(float dt, float moveForward, float moveStrafe, float yawDelta) {
    moveForward = finiteOrZero(moveForward);
    moveStrafe = finiteOrZero(moveStrafe);
    yawDelta = finiteOrZero(yawDelta);

    const float h = dt < 0.05f ? std::fmax(dt, 0.001f) : 0.05f;
    addSaturating(tick, 1);
    simTimeSec += h;

    // Finite deltas can still sum to infinity; a heading of inf would freeze the player.
    const float newYaw = playerYaw + yawDelta;
    if (std::isfinite(newYaw)) playerYaw = newYaw;

    const float v = carryingWendmoorCore ? 4.4f : 6.1f;
    const float s = std::sin(playerYaw);
    const float c = std::cos(playerYaw);

    // fmin/fmax so that an overflowing move (inf - inf) lands on a bound, never NaN.
    float x = playerPos.x + h * (v * (moveStrafe * c - moveForward * s));
    x = std::fmax(std::fmin(x, 28.0f), -32.0f);
    float z = playerPos.z + h * (v * (-(s * moveStrafe) - moveForward * c));
    z = std::fmax(std::fmin(z, 4.0f), -86.0f);
    playerPos.x = x;
    playerPos.z = z;

    if (std::fabs(x - mercyLobbyPos.x) <= 7.5f && std::fabs(z - mercyLobbyPos.z) <= 6.5f) {
        insideMercyLobby = true;
        const float dx = x - mercyLobbyPos.x;
        const float dz = z - mercyLobbyPos.z;
        if (dz < -1.5f && dx > 1.0f) {
            const float t = std::fmax(std::fmin((-1.5f - dz) / 4.2f, 1.0f), 0.0f);
            playerPos.y = t * 3.8f + 1.7f;
            mercyFloorIndex = t > 0.55f ? 2 : 1;
        } else if (dz < -4.2f) {
            playerPos.y = 5.5f;
            mercyFloorIndex = 2;
        } else {
            playerPos.y = 1.7f;
            mercyFloorIndex = 1;
        }
    } else {
        insideMercyLobby = false;
        mercyFloorIndex = 0;
        playerPos.y = 1.7f;
    }

    if (carryingWendmoorCore)
        corePos = SimGrimtideVec3(x - 1.15f * s, std::fmax(playerPos.y - 0.55f, 0.35f), z - 1.15f * c);

    if (powerGridIgnited) powerRestored01 = std::fmin(h * 0.58f + powerRestored01, 1.0f);

    squallIntensity01 =
        insideMercyLobby ? 0.12f : (std::sin(0.35f * simTimeSec) * 0.5f + 0.5f) * 0.52f + 0.38f;

    if (carAlarmActive) {
        carAlarmTimerSec = std::fmax(carAlarmTimerSec - h, 0.0f);
        if (carAlarmTimerSec <= 0.0f) carAlarmActive = false;
    }

    const bool alarm = carAlarmActive;
    const SimGrimtideVec3 target = alarm ? parkedCabPos : playerPos;
    const float speed = alarm ? 3.2f : 2.35f;
    for (SimGrimtideZombie& zombie : zombies) {
        if (!zombie.alive) continue;
        const float dx = target.x - zombie.pos.x;
        const float dz = target.z - zombie.pos.z;
        const float d = std::sqrt(dx * dx + dz * dz);
        if (d > 1.35f) {
            zombie.pos.x += h * (speed * (dx / d));
            zombie.pos.z += h * (speed * (dz / d));
            zombie.distractedByAlarm = alarm;
        }
    }
}

int SimGrimtideArenaKernel::triggerInteract() {
    if (carryingWendmoorCore) {
        if (playerPos.distanceXZ(substationPos) <= 6.0f) {
            carryingWendmoorCore = false;
            powerGridIgnited = true;
            corePos = SimGrimtideVec3(substationPos.x, 0.45f, substationPos.z + 0.65f);
            addSaturating(scrap, 250);
            return 2;
        }
        return 0;
    }
    if (powerGridIgnited) return 0;
    if (playerPos.distanceXZ(corePos) <= 5.2f) {
        carryingWendmoorCore = true;
        return 1;
    }
    return 0;
}

int SimGrimtideArenaKernel::triggerFire(bool isShotgun) {
    if (isShotgun && playerPos.distanceXZ(parkedCabPos) <= 22.0f) {
        carAlarmActive = true;
        carAlarmTimerSec = 14.0f;
    }
    const float s = std::sin(playerYaw);
    const float c = std::cos(playerYaw);
    float best = 45.0f;
    SimGrimtideZombie* target = nullptr;
    for (SimGrimtideZombie& zombie : zombies) {
        if (!zombie.alive) continue;
        const float dx = zombie.pos.x - playerPos.x;
        const float dz = zombie.pos.z - playerPos.z;
        const float l = std::sqrt(dx * dx + dz * dz);
        if (!(l < best && l > 0.1f)) continue;
        if ((dz * (-c) - s * dx) / l > 0.82f) {
            target = &zombie;
            best = l;
        }
    }
    if (!target) return 0;
    target->hp -= isShotgun ? 120.0f : 55.0f;
    if (target->hp > 0.0f) return 1;
    target->alive = false;
    addSaturating(scrap, powerGridIgnited ? 45 : 30);
    return 2;
}

SimGrimtideSnapshot SimGrimtideArenaKernel::snapshot() const {
    SimGrimtideSnapshot s;
    s.tick = tick;
    s.playerPos = playerPos;
    s.playerYaw = playerYaw;
    s.playerHP = playerHP;
    s.scrap = scrap;
    s.carryingWendmoorCore = carryingWendmoorCore;
    s.powerRestored01 = powerRestored01;
    s.insideMercyLobby = insideMercyLobby;
    s.mercyFloorIndex = mercyFloorIndex;
    s.squallIntensity01 = squallIntensity01;
    s.carAlarmActive = carAlarmActive;
    s.aliveZombies = 0;
    for (const auto& z : zombies) s.aliveZombies += z.alive ? 1 : 0;
    s.corePos = corePos;
    s.substationPos = substationPos;
    s.mercyLobbyPos = mercyLobbyPos;
    return s;
}

// ---- JSON ----

Json SimGrimtideVec3::toJson() const {
    Json j = Json::object();
    j["x"] = coding::number(x);
    j["y"] = coding::number(y);
    j["z"] = coding::number(z);
    return j;
}

SimGrimtideVec3 SimGrimtideVec3::fromJson(const Json& j) {
    pk::json::requireObject(j, "SimGrimtideVec3");
    return {coding::readFloat(j, "x"), coding::readFloat(j, "y"), coding::readFloat(j, "z")};
}

Json SimGrimtideZombie::toJson() const {
    Json j = Json::object();
    j["id"] = id;
    j["pos"] = pos.toJson();
    j["hp"] = coding::number(hp);
    j["alive"] = alive;
    j["distractedByAlarm"] = distractedByAlarm;
    return j;
}

SimGrimtideZombie SimGrimtideZombie::fromJson(const Json& j) {
    using namespace pk::json;
    requireObject(j, "SimGrimtideZombie");
    SimGrimtideZombie z;
    z.id = readInteger<int64_t>(j, "id");
    z.pos = SimGrimtideVec3::fromJson(field(j, "pos"));
    z.hp = coding::readFloat(j, "hp");
    z.alive = readBool(j, "alive");
    z.distractedByAlarm = readBool(j, "distractedByAlarm");
    return z;
}

Json SimGrimtideSnapshot::toJson() const {
    Json j = Json::object();
    j["tick"] = tick;
    j["playerPos"] = playerPos.toJson();
    j["playerYaw"] = coding::number(playerYaw);
    j["playerHP"] = coding::number(playerHP);
    j["scrap"] = scrap;
    j["carryingWendmoorCore"] = carryingWendmoorCore;
    j["powerRestored01"] = coding::number(powerRestored01);
    j["insideMercyLobby"] = insideMercyLobby;
    j["mercyFloorIndex"] = mercyFloorIndex;
    j["squallIntensity01"] = coding::number(squallIntensity01);
    j["carAlarmActive"] = carAlarmActive;
    j["aliveZombies"] = aliveZombies;
    j["corePos"] = corePos.toJson();
    j["substationPos"] = substationPos.toJson();
    j["mercyLobbyPos"] = mercyLobbyPos.toJson();
    return j;
}

SimGrimtideSnapshot SimGrimtideSnapshot::fromJson(const Json& j) {
    using namespace pk::json;
    requireObject(j, "SimGrimtideSnapshot");
    SimGrimtideSnapshot s;
    s.tick = readInteger<int64_t>(j, "tick");
    s.playerPos = SimGrimtideVec3::fromJson(field(j, "playerPos"));
    s.playerYaw = coding::readFloat(j, "playerYaw");
    s.playerHP = coding::readFloat(j, "playerHP");
    s.scrap = readInteger<int64_t>(j, "scrap");
    s.carryingWendmoorCore = readBool(j, "carryingWendmoorCore");
    s.powerRestored01 = coding::readFloat(j, "powerRestored01");
    s.insideMercyLobby = readBool(j, "insideMercyLobby");
    s.mercyFloorIndex = readInteger<int64_t>(j, "mercyFloorIndex");
    s.squallIntensity01 = coding::readFloat(j, "squallIntensity01");
    s.carAlarmActive = readBool(j, "carAlarmActive");
    s.aliveZombies = readInteger<int64_t>(j, "aliveZombies");
    s.corePos = SimGrimtideVec3::fromJson(field(j, "corePos"));
    s.substationPos = SimGrimtideVec3::fromJson(field(j, "substationPos"));
    s.mercyLobbyPos = SimGrimtideVec3::fromJson(field(j, "mercyLobbyPos"));
    return s;
}

Json SimGrimtideArenaKernel::toJson() const {
    Json j = Json::object();
    j["tick"] = tick;
    j["simTimeSec"] = coding::number(simTimeSec);
    j["playerPos"] = playerPos.toJson();
    j["playerYaw"] = coding::number(playerYaw);
    j["playerHP"] = coding::number(playerHP);
    j["scrap"] = scrap;
    j["corePos"] = corePos.toJson();
    j["substationPos"] = substationPos.toJson();
    j["mercyLobbyPos"] = mercyLobbyPos.toJson();
    j["parkedCabPos"] = parkedCabPos.toJson();
    j["carryingWendmoorCore"] = carryingWendmoorCore;
    j["powerGridIgnited"] = powerGridIgnited;
    j["powerRestored01"] = coding::number(powerRestored01);
    j["insideMercyLobby"] = insideMercyLobby;
    j["mercyFloorIndex"] = mercyFloorIndex;
    j["squallIntensity01"] = coding::number(squallIntensity01);
    j["carAlarmActive"] = carAlarmActive;
    j["carAlarmTimerSec"] = coding::number(carAlarmTimerSec);
    Json zs = Json::array();
    for (const auto& z : zombies) zs.push_back(z.toJson());
    j["zombies"] = std::move(zs);
    return j;
}

SimGrimtideArenaKernel SimGrimtideArenaKernel::fromJson(const Json& j) {
    using namespace pk::json;
    requireObject(j, "SimGrimtideArenaKernel");
    SimGrimtideArenaKernel k;
    k.tick = readInteger<int64_t>(j, "tick");
    k.simTimeSec = coding::readFloat(j, "simTimeSec");
    k.playerPos = SimGrimtideVec3::fromJson(field(j, "playerPos"));
    k.playerYaw = coding::readFloat(j, "playerYaw");
    k.playerHP = coding::readFloat(j, "playerHP");
    k.scrap = readInteger<int64_t>(j, "scrap");
    k.corePos = SimGrimtideVec3::fromJson(field(j, "corePos"));
    k.substationPos = SimGrimtideVec3::fromJson(field(j, "substationPos"));
    k.mercyLobbyPos = SimGrimtideVec3::fromJson(field(j, "mercyLobbyPos"));
    k.parkedCabPos = SimGrimtideVec3::fromJson(field(j, "parkedCabPos"));
    k.carryingWendmoorCore = readBool(j, "carryingWendmoorCore");
    k.powerGridIgnited = readBool(j, "powerGridIgnited");
    k.powerRestored01 = coding::readFloat(j, "powerRestored01");
    k.insideMercyLobby = readBool(j, "insideMercyLobby");
    k.mercyFloorIndex = readInteger<int64_t>(j, "mercyFloorIndex");
    k.squallIntensity01 = coding::readFloat(j, "squallIntensity01");
    k.carAlarmActive = readBool(j, "carAlarmActive");
    k.carAlarmTimerSec = coding::readFloat(j, "carAlarmTimerSec");
    k.zombies.clear();
    for (const auto& z : coding::readArray(j, "zombies")) k.zombies.push_back(SimGrimtideZombie::fromJson(z));
    return k;
}

}  // namespace simcore
