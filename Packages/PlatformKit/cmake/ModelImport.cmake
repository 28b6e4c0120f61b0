# ModelImport: model files (obj, stl, ply, ...) through Assimp 5.2.
find_package(assimp 5.2 REQUIRED)
pk_add_module(ModelImport LIBS PlatformKit::Math assimp::assimp)
ks_add_tests(pk_modelimport DIR Tests/ModelImport LIBS PlatformKit::ModelImport)
ks_add_benchmarks(pk_modelimport DIR Benchmarks/ModelImport LIBS PlatformKit::ModelImport)
