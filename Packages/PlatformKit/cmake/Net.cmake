# Net: peer-to-peer sessions over ENet with UDP discovery beacons; an in-process hub for tests.
pkg_check_modules(PK_NET_ENET REQUIRED IMPORTED_TARGET libenet)
pk_add_module(Net LIBS PkgConfig::PK_NET_ENET Threads::Threads)
# Loopback LAN sessions for the tests of every package that meets peers for real.
add_library(pk_net_test_support INTERFACE)
target_include_directories(pk_net_test_support INTERFACE ${CMAKE_CURRENT_SOURCE_DIR}/Tests/Net)
target_link_libraries(pk_net_test_support INTERFACE PlatformKit::Net)
ks_add_tests(pk_net DIR Tests/Net LIBS PlatformKit::Net pk_net_test_support pk_thread_test_support)
ks_add_benchmarks(pk_net DIR Benchmarks/Net LIBS PlatformKit::Net)
ks_add_fuzzer(pk_net_DiscoveryBeacon SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/Tests/Net/Fuzz/FuzzDiscoveryBeacon.cpp LIBS PlatformKit::Net)
foreach(reader IN ITEMS LanLinkMessage LanLinkDatagrams)
  ks_add_fuzzer(pk_net_${reader} SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/Tests/Net/Fuzz/Fuzz${reader}.cpp LIBS PlatformKit::Net)
endforeach()
