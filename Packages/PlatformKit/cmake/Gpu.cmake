# Gpu: OpenGL 4.5 core through libepoxy; EGL for headless devices.
pkg_check_modules(PK_EPOXY REQUIRED IMPORTED_TARGET epoxy)
pkg_check_modules(PK_EGL REQUIRED IMPORTED_TARGET egl)
pk_add_module(Gpu LIBS PkgConfig::PK_EPOXY PkgConfig::PK_EGL Threads::Threads)
ks_add_tests(pk_gpu DIR Tests/Gpu LIBS PlatformKit::Gpu)
ks_add_benchmarks(pk_gpu DIR Benchmarks/Gpu LIBS PlatformKit::Gpu)
