# ModelImport: model files through readers of our own: obj with mtl, stl, ply, and USD
# (usdz, usda, usdc), whose crate sections are LZ4 framed and whose packages carry CRCs.
find_package(ZLIB REQUIRED)
pkg_check_modules(PK_LZ4 REQUIRED IMPORTED_TARGET liblz4)
pk_add_module(ModelImport LIBS PlatformKit::Math ZLIB::ZLIB PkgConfig::PK_LZ4)
ks_add_tests(pk_modelimport DIR Tests/ModelImport LIBS PlatformKit::ModelImport)
ks_add_benchmarks(pk_modelimport DIR Benchmarks/ModelImport LIBS PlatformKit::ModelImport)
ks_add_fuzzer(model_import SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/Tests/ModelImport/ModelImportFuzz.cpp
  LIBS PlatformKit::ModelImport)
foreach(reader Usdz Usda Usdc)
  ks_add_fuzzer(modelimport_${reader} SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/Tests/ModelImport/Fuzz/Fuzz${reader}.cpp
                LIBS PlatformKit::ModelImport)
endforeach()
