# Vision: text recognition over Tesseract 5 (LSTM, English data) and our own image
# feature print.
pkg_check_modules(PK_VISION_DEPS REQUIRED IMPORTED_TARGET tesseract lept)
pk_add_module(Vision LIBS PlatformKit::Image PkgConfig::PK_VISION_DEPS)
ks_add_tests(pk_vision DIR Tests/Vision LIBS PlatformKit::Vision)
ks_add_benchmarks(pk_vision DIR Benchmarks/Vision LIBS PlatformKit::Vision)
# Person segmentation and matte compositing over OpenCV (face, profile and upper-body
# cascades, optical flow, GrabCut).
find_package(OpenCV REQUIRED COMPONENTS core imgproc objdetect video)
target_link_libraries(PlatformKit_Vision PUBLIC PlatformKit::Draw2D opencv_core opencv_imgproc opencv_objdetect
  opencv_video)
ks_add_fuzzer(pk_vision_PersonSegmenter SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/Tests/Vision/Fuzz/PersonSegmenterFuzzer.cpp
  LIBS PlatformKit::Vision)
