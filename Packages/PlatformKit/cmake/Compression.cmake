# Compression: our own LZFSE codec (no system library provides one on Linux).
pk_add_module(Compression)
# The reference codec, fetched into the build tree as a test oracle only.
include(${CMAKE_CURRENT_SOURCE_DIR}/Tests/Compression/LzfseOracle.cmake)
set(_pk_compression_test_libs PlatformKit::Compression)
if(TARGET lzfse_oracle)
  list(APPEND _pk_compression_test_libs lzfse_oracle)
endif()
ks_add_tests(pk_compression DIR Tests/Compression LIBS ${_pk_compression_test_libs})
ks_add_benchmarks(pk_compression DIR Benchmarks/Compression LIBS ${_pk_compression_test_libs})
if(TARGET bench_pk_compression_LzfseBench)
  # Real text for the benchmark: this package's own sources.
  target_compile_definitions(bench_pk_compression_LzfseBench PRIVATE
    KS_PLATFORMKIT_SOURCES="${CMAKE_CURRENT_SOURCE_DIR}/Sources")
endif()
ks_add_fuzzer(lzfse_decode SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/Tests/Compression/Fuzz/LzfseDecodeFuzzer.cpp
              LIBS PlatformKit::Compression)
if(KS_FUZZ)
  # Coverage feedback needs the decoder itself instrumented, not only the fuzz entry point.
  target_compile_options(PlatformKit_Compression PRIVATE -fsanitize=fuzzer-no-link)
endif()
