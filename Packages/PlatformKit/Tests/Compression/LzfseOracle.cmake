# Test oracle: the reference LZFSE sources ship inside Debian's apfs-dkms package. At
# configure time the package is fetched with `apt-get download` into the build tree and
# unpacked with `dpkg-deb -x`; its lzfse sources become the static library lzfse_oracle,
# linked only into tests and benchmarks (never into the product, never committed).
# Without the package the target is absent and the interop tests skip.
option(KS_LZFSE_ORACLE "Fetch the reference LZFSE codec for interop tests" ON)

set(_oracle_dir ${CMAKE_BINARY_DIR}/lzfse-oracle)
if(KS_LZFSE_ORACLE)
  file(GLOB _oracle_src_dir LIST_DIRECTORIES true ${_oracle_dir}/root/usr/src/linux-apfs-rw-*/lzfse)
  if(NOT _oracle_src_dir)
    find_program(_apt_get apt-get)
    find_program(_dpkg_deb dpkg-deb)
    if(_apt_get AND _dpkg_deb)
      file(MAKE_DIRECTORY ${_oracle_dir})
      file(GLOB _debs ${_oracle_dir}/apfs-dkms_*.deb)
      if(NOT _debs)
        message(STATUS "Fetching apfs-dkms (reference LZFSE test oracle)")
        execute_process(COMMAND ${_apt_get} download apfs-dkms WORKING_DIRECTORY ${_oracle_dir}
                        RESULT_VARIABLE _rc OUTPUT_QUIET ERROR_QUIET TIMEOUT 120)
        file(GLOB _debs ${_oracle_dir}/apfs-dkms_*.deb)
      endif()
      if(_debs)
        list(GET _debs 0 _deb)
        execute_process(COMMAND ${_dpkg_deb} -x ${_deb} ${_oracle_dir}/root RESULT_VARIABLE _rc OUTPUT_QUIET ERROR_QUIET)
        file(GLOB _oracle_src_dir LIST_DIRECTORIES true ${_oracle_dir}/root/usr/src/linux-apfs-rw-*/lzfse)
      endif()
    endif()
  endif()
  if(_oracle_src_dir)
    list(GET _oracle_src_dir 0 _oracle_src_dir)
    # The sources were adapted for the kernel; these stand-ins map the few kernel headers
    # they use onto the C library.
    set(_shim ${_oracle_dir}/shim/linux)
    file(MAKE_DIRECTORY ${_shim})
    file(WRITE ${_shim}/stddef.h "#pragma once\n#include <stddef.h>\n")
    file(WRITE ${_shim}/types.h "#pragma once\n#include <stdint.h>\n#include <stdlib.h>\n")
    file(WRITE ${_shim}/string.h "#pragma once\n#include <string.h>\n")
    file(WRITE ${_shim}/limits.h "#pragma once\n#include <limits.h>\n")
    file(WRITE ${_shim}/slab.h "#pragma once\n#include <stdlib.h>\n#define GFP_KERNEL 0\n#define kmalloc(n, f) malloc(n)\n#define kfree(p) free(p)\n")
    add_library(lzfse_oracle STATIC
      ${_oracle_src_dir}/lzfse_decode.c ${_oracle_src_dir}/lzfse_decode_base.c
      ${_oracle_src_dir}/lzfse_encode.c ${_oracle_src_dir}/lzfse_encode_base.c
      ${_oracle_src_dir}/lzfse_fse.c ${_oracle_src_dir}/lzvn_decode_base.c ${_oracle_src_dir}/lzvn_encode_base.c)
    target_include_directories(lzfse_oracle SYSTEM PRIVATE ${_oracle_dir}/shim)
    # The reference relies on wrapping pointer arithmetic; it is only an oracle, so it runs
    # without the sanitizers that the rest of a sanitised build uses.
    target_compile_options(lzfse_oracle PRIVATE -w -O2 -fno-sanitize=all)
    target_compile_definitions(lzfse_oracle INTERFACE KS_LZFSE_ORACLE=1)
    # The reference command-line tool, used to regenerate the committed fixtures.
    add_executable(lzfse_oracle_cli ${_oracle_src_dir}/lzfse_main.c)
    target_include_directories(lzfse_oracle_cli SYSTEM PRIVATE ${_oracle_dir}/shim)
    target_compile_options(lzfse_oracle_cli PRIVATE -w)
    target_link_libraries(lzfse_oracle_cli PRIVATE lzfse_oracle)
    message(STATUS "LZFSE test oracle: ${_oracle_src_dir}")
  else()
    message(STATUS "LZFSE test oracle unavailable (apfs-dkms could not be fetched); interop tests will skip")
  endif()
endif()
