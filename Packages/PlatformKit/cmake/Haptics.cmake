# Haptics: game-controller rumble through SDL2; a recording engine for tests.
pkg_check_modules(PK_HAPTICS_SDL2 REQUIRED IMPORTED_TARGET sdl2)
pk_add_module(Haptics LIBS PkgConfig::PK_HAPTICS_SDL2)
ks_add_tests(pk_haptics DIR Tests/Haptics LIBS PlatformKit::Haptics)
ks_add_benchmarks(pk_haptics DIR Benchmarks/Haptics LIBS PlatformKit::Haptics)
