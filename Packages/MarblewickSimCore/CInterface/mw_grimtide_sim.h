/* C interface of the blackout arena simulation (libmw_grimtide_sim).
 *
 * A handle is one independent world. Create it, step it once per frame, trigger interact
 * and fire, read the state back as 20 floats, destroy it. One handle must not be used
 * from two threads at once; different handles may run on different threads. */
#ifndef MW_GRIMTIDE_SIM_H
#define MW_GRIMTIDE_SIM_H

#include <stdint.h>

#if defined(__GNUC__)
#define MW_GRIMTIDE_SIM_API __attribute__((visibility("default")))
#else
#define MW_GRIMTIDE_SIM_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Number of floats mw_grimtide_sim_snapshot writes. */
#define MW_GRIMTIDE_SIM_SNAPSHOT_FLOATS 20

/* The snapshot buffer viewed as a record. Every field is a float: counts and flags
 * arrive as float values (tick 7 reads 7.0f, true reads 1.0f). */
typedef struct MWGrimtideCSnapshot {
    float tick;
    float playerX;
    float playerY;
    float playerZ;
    float playerYaw;
    float coreX;
    float coreY;
    float coreZ;
    float substationX;
    float substationZ;
    float mercyX;
    float mercyZ;
    float powerRestored01;
    float squallIntensity01;
    float scrap;
    float carryingCore;
    float insideMercyLobby;
    float mercyFloorIndex;
    float carAlarmActive;
    float aliveZombies;
} MWGrimtideCSnapshot;

#if defined(__cplusplus)
static_assert(sizeof(MWGrimtideCSnapshot) == 80, "snapshot is 20 packed floats");
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
_Static_assert(sizeof(MWGrimtideCSnapshot) == 80, "snapshot is 20 packed floats");
#endif

/* A new default world, or NULL when it cannot be allocated. */
MW_GRIMTIDE_SIM_API void* mw_grimtide_sim_create(void);
/* Releases the world; NULL is ignored. The handle must not be used afterwards. */
MW_GRIMTIDE_SIM_API void mw_grimtide_sim_destroy(void* handle);
/* One step (dt clamped to 0.001..0.05 s); NULL is ignored. */
MW_GRIMTIDE_SIM_API void mw_grimtide_sim_step(void* handle, float dt, float moveForward, float moveStrafe,
                                              float yawDelta);
/* 0 nothing happened, 1 core picked up, 2 core delivered; 0 for NULL. */
MW_GRIMTIDE_SIM_API int32_t mw_grimtide_sim_interact(void* handle);
/* Any non-zero isShotgun fires the shotgun. 0 miss, 1 hit, 2 kill; 0 for NULL. */
MW_GRIMTIDE_SIM_API int32_t mw_grimtide_sim_fire(void* handle, int32_t isShotgun);
/* Writes MW_GRIMTIDE_SIM_SNAPSHOT_FLOATS floats to out (80 bytes) in MWGrimtideCSnapshot
 * order and returns 20; returns 0 and writes nothing when handle or out is NULL. */
MW_GRIMTIDE_SIM_API int32_t mw_grimtide_sim_snapshot(void* handle, float* out);

#ifdef __cplusplus
}
#endif

#endif /* MW_GRIMTIDE_SIM_H */
