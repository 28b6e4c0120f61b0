# Ui: Dear ImGui 1.86 (Debian's static library, which carries the SDL2 and OpenGL3
# backends; the OpenGL3 backend loads GL itself from libGL.so.1), the studio widget kit,
# probe, driver, file panels and the SDL window host. Our own GL calls go through epoxy.
find_package(SDL2 REQUIRED)
pkg_check_modules(PK_UI_DEPS REQUIRED IMPORTED_TARGET imgui epoxy)
pk_add_module(Ui LIBS PkgConfig::PK_UI_DEPS SDL2::SDL2 ${CMAKE_DL_LIBS})
# Test helpers for windows under a private X server, shared with the application's tests.
add_library(pk_ui_test_support INTERFACE)
target_include_directories(pk_ui_test_support INTERFACE ${CMAKE_CURRENT_SOURCE_DIR}/Tests/Ui/Support)
# The window tests resize the X window behind SDL's back, as a user without a window
# manager can.
find_package(X11 REQUIRED)
target_link_libraries(pk_ui_test_support INTERFACE X11::X11)
ks_add_tests(pk_ui DIR Tests/Ui LIBS PlatformKit::Ui PlatformKit::Gpu pk_ui_test_support)
ks_add_benchmarks(pk_ui DIR Benchmarks/Ui LIBS PlatformKit::Ui)
