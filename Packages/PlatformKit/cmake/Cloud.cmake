# Cloud: the public record database named by KESTRELUNE_CLOUD_DB, over SQLite (a file)
# or PostgreSQL through libpq (a postgresql:// URL).
pkg_check_modules(PK_CLOUD_SQLITE REQUIRED IMPORTED_TARGET sqlite3)
pkg_check_modules(PK_CLOUD_PQ REQUIRED IMPORTED_TARGET libpq)
pk_add_module(Cloud LIBS PkgConfig::PK_CLOUD_SQLITE PkgConfig::PK_CLOUD_PQ Threads::Threads)
ks_add_benchmarks(pk_cloud DIR Benchmarks/Cloud LIBS PlatformKit::Cloud)
# A throwaway PostgreSQL cluster on loopback, for the tests of every package that stores
# records through the PostgreSQL backend.
add_library(pk_cloud_test_support STATIC ${CMAKE_CURRENT_SOURCE_DIR}/Tests/Cloud/PostgresTestCluster.cpp)
target_include_directories(pk_cloud_test_support PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/Tests/Cloud)
target_link_libraries(pk_cloud_test_support PUBLIC PlatformKit::Cloud)
ks_add_tests(pk_cloud DIR Tests/Cloud LIBS PlatformKit::Cloud pk_cloud_test_support)
ks_add_fuzzer(pk_cloud_rows SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/Tests/Cloud/Fuzz/FuzzCloudRows.cpp LIBS PlatformKit::Cloud PkgConfig::PK_CLOUD_SQLITE)
