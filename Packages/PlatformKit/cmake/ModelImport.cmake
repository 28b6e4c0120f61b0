# ModelImport: model files (obj with mtl, stl, ply) through readers of our own.
pk_add_module(ModelImport LIBS PlatformKit::Math)
ks_add_tests(pk_modelimport DIR Tests/ModelImport LIBS PlatformKit::ModelImport)
ks_add_benchmarks(pk_modelimport DIR Benchmarks/ModelImport LIBS PlatformKit::ModelImport)
ks_add_fuzzer(model_import SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/Tests/ModelImport/ModelImportFuzz.cpp
  LIBS PlatformKit::ModelImport)
