# Image: decode and resize over OpenImageIO 2.4 with HEIF decoded by libheif and TIFF by libtiff;
# PNG encode over libdeflate.
find_package(OpenImageIO CONFIG QUIET)
if(TARGET OpenImageIO::OpenImageIO)
  set(PK_OIIO_LIBS OpenImageIO::OpenImageIO)
else()
  pkg_check_modules(PK_OIIO REQUIRED IMPORTED_TARGET OpenImageIO)
  set(PK_OIIO_LIBS PkgConfig::PK_OIIO)
endif()
# PNG writing deflates with libdeflate; zlib only combines the strips' checksums.
pkg_check_modules(PK_DEFLATE REQUIRED IMPORTED_TARGET libdeflate)
find_package(ZLIB REQUIRED)
pkg_check_modules(PK_HEIF REQUIRED IMPORTED_TARGET libheif)
# libtiff 4.5 or later: per-open error handlers and a cap on its own allocations.
pkg_check_modules(PK_TIFF REQUIRED IMPORTED_TARGET libtiff-4>=4.5)
pk_add_module(Image LIBS ${PK_OIIO_LIBS} PkgConfig::PK_HEIF PkgConfig::PK_TIFF PkgConfig::PK_DEFLATE ZLIB::ZLIB Threads::Threads)
ks_add_tests(pk_image DIR Tests/Image LIBS PlatformKit::Image
  ENV LSAN_OPTIONS=suppressions=${CMAKE_CURRENT_SOURCE_DIR}/Tests/Image/lsan.supp)
ks_add_benchmarks(pk_image DIR Benchmarks/Image LIBS PlatformKit::Image)
ks_add_fuzzer(image_decode SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/Tests/Image/ImageDecodeFuzz.cpp LIBS PlatformKit::Image)
ks_add_fuzzer(image_deflate_join SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/Tests/Image/DeflateJoinFuzz.cpp LIBS PlatformKit::Image)
