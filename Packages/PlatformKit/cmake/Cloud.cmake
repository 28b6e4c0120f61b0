# Cloud: the public record database, over SQLite (a file named by KESTRELUNE_CLOUD_DB).
pkg_check_modules(PK_CLOUD_SQLITE REQUIRED IMPORTED_TARGET sqlite3)
pk_add_module(Cloud LIBS PkgConfig::PK_CLOUD_SQLITE Threads::Threads)
ks_add_tests(pk_cloud DIR Tests/Cloud LIBS PlatformKit::Cloud)
ks_add_benchmarks(pk_cloud DIR Benchmarks/Cloud LIBS PlatformKit::Cloud)
