# Helpers shared by every package: tests, benchmarks, fuzzers and embedded text (shaders).

# ks_add_tests(<prefix> LIBS <libs...> [DIR <folder>] [ENV <VAR=value>...])
# Every Tests/*Tests.cpp of the calling package becomes its own test binary, so one
# failing build or crash is reported on its own and ctest runs them in parallel.
function(ks_add_tests prefix)
  cmake_parse_arguments(ARG "" "DIR" "LIBS;ENV;EXTRA_SOURCES" ${ARGN})
  if(NOT ARG_DIR)
    set(ARG_DIR Tests)
  endif()
  file(GLOB test_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${ARG_DIR}/*Tests.cpp)
  foreach(src IN LISTS test_sources)
    get_filename_component(stem ${src} NAME_WE)
    set(target ${prefix}_${stem})
    add_executable(${target} ${src} ${ARG_EXTRA_SOURCES})
    target_link_libraries(${target} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main GTest::gmock Threads::Threads)
    target_include_directories(${target} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/${ARG_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/Tests
      ${PROJECT_SOURCE_DIR}/Packages/PlatformKit/Tests/Support)
    target_compile_definitions(${target} PRIVATE
      KS_TEST_OUTPUT_DIR="${CMAKE_BINARY_DIR}/test-output"
      KS_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
    add_test(NAME ${target} COMMAND ${target})
    set_tests_properties(${target} PROPERTIES
      ENVIRONMENT "SDL_AUDIODRIVER=dummy;SDL_VIDEODRIVER=dummy;LC_ALL=C.UTF-8;${ARG_ENV}"
      TIMEOUT 600)
  endforeach()
endfunction()

# ks_add_benchmarks(<prefix> LIBS <libs...> [DIR <folder>]): every <folder>/*.cpp is one binary.
function(ks_add_benchmarks prefix)
  if(NOT KS_BENCHMARKS)
    return()
  endif()
  cmake_parse_arguments(ARG "" "DIR" "LIBS" ${ARGN})
  if(NOT ARG_DIR)
    set(ARG_DIR Benchmarks)
  endif()
  file(GLOB bench_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${ARG_DIR}/*.cpp)
  foreach(src IN LISTS bench_sources)
    get_filename_component(stem ${src} NAME_WE)
    set(target bench_${prefix}_${stem})
    add_executable(${target} ${src})
    target_link_libraries(${target} PRIVATE ${ARG_LIBS} benchmark::benchmark benchmark::benchmark_main Threads::Threads)
    set_property(GLOBAL APPEND PROPERTY KS_BENCHMARK_TARGETS ${target})
  endforeach()
endfunction()

# ks_add_fuzzer(<name> SOURCES <files> LIBS <libs>): a libFuzzer target, only with KS_FUZZ.
function(ks_add_fuzzer name)
  if(NOT KS_FUZZ)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(fuzz_${name} ${ARG_SOURCES})
  target_compile_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(fuzz_${name} PRIVATE ${ARG_LIBS})
  set_property(GLOBAL APPEND PROPERTY KS_FUZZ_TARGETS fuzz_${name})
endfunction()

# ks_embed_text(<target> <namespace> <files...>)
# Each file becomes `extern const char* const <namespace>::<identifier>` where the
# identifier is the file name with every non-alphanumeric replaced by '_'
# (Shaders/hero.glsl -> hero_glsl), declared in the generated header
# "embedded/<identifier>.h". Several calls for one target may embed different files.
function(ks_embed_text target ns)
  set(gen_dir ${CMAKE_CURRENT_BINARY_DIR}/embedded_${target})
  set(outputs)
  foreach(file IN LISTS ARGN)
    get_filename_component(abs ${file} ABSOLUTE)
    get_filename_component(fname ${file} NAME)
    string(MAKE_C_IDENTIFIER ${fname} ident)
    set(out ${gen_dir}/${ident}.cpp)
    add_custom_command(OUTPUT ${out}
      COMMAND ${CMAKE_COMMAND} -DIN=${abs} -DOUT=${out} -DNS=${ns} -DIDENT=${ident}
              -P ${CMAKE_SOURCE_DIR}/cmake/EmbedFile.cmake
      DEPENDS ${abs} ${CMAKE_SOURCE_DIR}/cmake/EmbedFile.cmake
      COMMENT "Embedding ${fname}")
    list(APPEND outputs ${out})
    set(decl "#pragma once\n// Generated: the text of ${fname}.\nnamespace ${ns} {\nextern const char* const ${ident};\n}\n")
    file(WRITE ${gen_dir}/embedded/${ident}.h.tmp "${decl}")
    file(COPY_FILE ${gen_dir}/embedded/${ident}.h.tmp ${gen_dir}/embedded/${ident}.h ONLY_IF_DIFFERENT)
  endforeach()
  target_sources(${target} PRIVATE ${outputs})
  target_include_directories(${target} PRIVATE ${gen_dir})
endfunction()

# ks_add_package(<Name> LIBS <libs...>): the library of Packages/<Name>, from every
# Sources/<Name>/*.cpp (an interface target while it has none). Headers are included
# as "<Name>/File.h".
function(ks_add_package name)
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/Sources/${name}/*.cpp)
  if(sources)
    add_library(${name} STATIC ${sources})
    target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/Sources)
    target_link_libraries(${name} PUBLIC ${ARG_LIBS})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${CMAKE_CURRENT_SOURCE_DIR}/Sources)
    target_link_libraries(${name} INTERFACE ${ARG_LIBS})
  endif()
endfunction()
