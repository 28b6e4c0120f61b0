// The arena behind the C handle. No exception may cross into C, so every entry point
// catches everything and answers as for a NULL handle.
#include <new>

#include "MarblewickSimCore/SimGrimtideArenaKernel.h"
#include "mw_grimtide_sim.h"

namespace {

struct MWGrimtideSimBox {
    simcore::SimGrimtideArenaKernel kernel;
};

MWGrimtideSimBox* box(void* handle) { return static_cast<MWGrimtideSimBox*>(handle); }

float asFloat(bool b) { return b ? 1.0f : 0.0f; }

}  // namespace

extern "C" {

void* mw_grimtide_sim_create(void) {
    try {
        return new (std::nothrow) MWGrimtideSimBox();
    } catch (...) {
        return nullptr;  // the zombie array could not be allocated
    }
}

void mw_grimtide_sim_destroy(void* handle) { delete box(handle); }

void mw_grimtide_sim_step(void* handle, float dt, float moveForward, float moveStrafe, float yawDelta) {
    if (!handle) return;
    try {
        box(handle)->kernel.step(dt, moveForward, moveStrafe, yawDelta);
    } catch (...) {
    }
}

int32_t mw_grimtide_sim_interact(void* handle) {
    if (!handle) return 0;
    try {
        return box(handle)->kernel.triggerInteract();
    } catch (...) {
        return 0;
    }
}

int32_t mw_grimtide_sim_fire(void* handle, int32_t isShotgun) {
    if (!handle) return 0;
    try {
        return box(handle)->kernel.triggerFire(isShotgun != 0);
    } catch (...) {
        return 0;
    }
}

int32_t mw_grimtide_sim_snapshot(void* handle, float* out) {
    if (!handle || !out) return 0;
    try {
        const simcore::SimGrimtideSnapshot s = box(handle)->kernel.snapshot();
        const float values[MW_GRIMTIDE_SIM_SNAPSHOT_FLOATS] = {
            static_cast<float>(s.tick),
            s.playerPos.x,
            s.playerPos.y,
            s.playerPos.z,
            s.playerYaw,
            s.corePos.x,
            s.corePos.y,
            s.corePos.z,
            s.substationPos.x,
            s.substationPos.z,
            s.mercyLobbyPos.x,
            s.mercyLobbyPos.z,
            s.powerRestored01,
            s.squallIntensity01,
            static_cast<float>(s.scrap),
            asFloat(s.carryingWendmoorCore),
            asFloat(s.insideMercyLobby),
            static_cast<float>(s.mercyFloorIndex),
            asFloat(s.carAlarmActive),
            static_cast<float>(s.aliveZombies),
        };
        for (int i = 0; i < MW_GRIMTIDE_SIM_SNAPSHOT_FLOATS; ++i) out[i] = values[i];
        return MW_GRIMTIDE_SIM_SNAPSHOT_FLOATS;
    } catch (...) {
        return 0;
    }
}

}  // extern "C"
