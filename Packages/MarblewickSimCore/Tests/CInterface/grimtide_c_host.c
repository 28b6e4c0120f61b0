/* A plain C11 host of the arena library: linked calls through the header, then the same
 * six functions looked up with dlopen/dlsym. Exits non-zero on the first failed check. */
#include <dlfcn.h>
#include <stddef.h>
#include <stdio.h>
#include <string.h>

#include "mw_grimtide_sim.h"

static int failures = 0;

#define CHECK(cond)                                                          \
    do {                                                                     \
        if (!(cond)) {                                                       \
            fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
            ++failures;                                                      \
        }                                                                    \
    } while (0)

typedef void* (*create_fn)(void);
typedef void (*destroy_fn)(void*);
typedef void (*step_fn)(void*, float, float, float, float);
typedef int32_t (*interact_fn)(void*);
typedef int32_t (*fire_fn)(void*, int32_t);
typedef int32_t (*snapshot_fn)(void*, float*);

struct api {
    create_fn create;
    destroy_fn destroy;
    step_fn step;
    interact_fn interact;
    fire_fn fire;
    snapshot_fn snapshot;
};

static void exercise(const struct api* a) {
    float buf[MW_GRIMTIDE_SIM_SNAPSHOT_FLOATS + 1];
    MWGrimtideCSnapshot snap;
    void* h;
    int i;

    /* NULL handles are ignored and answer 0. */
    a->destroy(NULL);
    a->step(NULL, 0.016f, 1.0f, 0.0f, 0.0f);
    CHECK(a->interact(NULL) == 0);
    CHECK(a->fire(NULL, 1) == 0);
    CHECK(a->snapshot(NULL, buf) == 0);

    h = a->create();
    CHECK(h != NULL);
    if (!h) return;

    /* The default world, and nothing written past the 20th float. */
    buf[MW_GRIMTIDE_SIM_SNAPSHOT_FLOATS] = -123.0f;
    CHECK(a->snapshot(h, buf) == 20);
    CHECK(buf[MW_GRIMTIDE_SIM_SNAPSHOT_FLOATS] == -123.0f);
    memcpy(&snap, buf, sizeof snap);
    CHECK(snap.tick == 0.0f);
    CHECK(snap.playerX == 0.0f && snap.playerY == 1.7f && snap.playerZ == -14.0f);
    CHECK(snap.playerYaw == 0.0f);
    CHECK(snap.coreX == 0.0f && snap.coreY == 0.0f && snap.coreZ == -24.0f);
    CHECK(snap.substationX == 8.5f && snap.substationZ == -48.0f);
    CHECK(snap.mercyX == -18.0f && snap.mercyZ == -68.0f);
    CHECK(snap.powerRestored01 == 0.0f && snap.squallIntensity01 == 0.35f);
    CHECK(snap.scrap == 50.0f);
    CHECK(snap.carryingCore == 0.0f && snap.insideMercyLobby == 0.0f);
    CHECK(snap.mercyFloorIndex == 0.0f && snap.carAlarmActive == 0.0f);
    CHECK(snap.aliveZombies == 5.0f);

    /* A NULL output writes nothing and leaves the world alone. */
    CHECK(a->snapshot(h, NULL) == 0);
    CHECK(a->interact(h) == 0); /* the core is 10 m away */

    a->step(h, 0.0f, 0.0f, 0.0f, 0.0f);
    CHECK(a->snapshot(h, (float*)&snap) == 20);
    CHECK(snap.tick == 1.0f);

    /* Walk 6 m toward the core and pick it up. */
    for (i = 0; i < 20; ++i) a->step(h, 0.05f, 1.0f, 0.0f, 0.0f);
    CHECK(a->interact(h) == 1);
    CHECK(a->snapshot(h, (float*)&snap) == 20);
    CHECK(snap.carryingCore == 1.0f);
    CHECK(snap.tick == 21.0f);

    /* Any non-zero isShotgun is the shotgun: within 22 m of the cab it sets off the alarm. */
    for (i = 0; i < 40; ++i) a->step(h, 0.05f, 1.0f, 0.0f, 0.0f);
    (void)a->fire(h, 2);
    CHECK(a->snapshot(h, (float*)&snap) == 20);
    CHECK(snap.carAlarmActive == 1.0f);

    a->destroy(h);

    /* Independent handles share nothing. */
    {
        void* h1 = a->create();
        void* h2 = a->create();
        CHECK(h1 && h2 && h1 != h2);
        a->step(h1, 0.05f, 1.0f, 0.0f, 0.0f);
        a->snapshot(h2, (float*)&snap);
        CHECK(snap.tick == 0.0f && snap.playerZ == -14.0f);
        a->destroy(h1);
        a->destroy(h2);
    }
}

int main(int argc, char** argv) {
    struct api linked;
    struct api loaded;
    void* lib;

    linked.create = mw_grimtide_sim_create;
    linked.destroy = mw_grimtide_sim_destroy;
    linked.step = mw_grimtide_sim_step;
    linked.interact = mw_grimtide_sim_interact;
    linked.fire = mw_grimtide_sim_fire;
    linked.snapshot = mw_grimtide_sim_snapshot;
    exercise(&linked);

    if (argc < 2) {
        fprintf(stderr, "usage: %s <path of libmw_grimtide_sim.so>\n", argv[0]);
        return 2;
    }
    lib = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
        fprintf(stderr, "dlopen failed: %s\n", dlerror());
        return 1;
    }
    /* Object and function pointers differ in ISO C; POSIX guarantees this copy works. */
#define LOOKUP(field, name)                                      \
    do {                                                         \
        void* sym = dlsym(lib, name);                            \
        CHECK(sym != NULL);                                      \
        memcpy(&loaded.field, &sym, sizeof sym);                 \
    } while (0)
    LOOKUP(create, "mw_grimtide_sim_create");
    LOOKUP(destroy, "mw_grimtide_sim_destroy");
    LOOKUP(step, "mw_grimtide_sim_step");
    LOOKUP(interact, "mw_grimtide_sim_interact");
    LOOKUP(fire, "mw_grimtide_sim_fire");
    LOOKUP(snapshot, "mw_grimtide_sim_snapshot");
    /* Internal C++ symbols stay hidden. */
    CHECK(dlsym(lib, "_ZN7simcore22SimGrimtideArenaKernel4stepEffff") == NULL);
    if (failures == 0) exercise(&loaded);
    dlclose(lib);

    if (failures) {
        fprintf(stderr, "%d check(s) failed\n", failures);
        return 1;
    }
    printf("C interface: all checks passed\n");
    return 0;
}
