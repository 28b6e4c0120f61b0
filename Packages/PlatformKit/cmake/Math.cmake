# Math: GLM vector and matrix types, re-exported on purpose (header-only).
add_library(PlatformKit_Math INTERFACE)
add_library(PlatformKit::Math ALIAS PlatformKit_Math)
target_include_directories(PlatformKit_Math INTERFACE ${CMAKE_CURRENT_SOURCE_DIR}/Sources)
target_link_libraries(PlatformKit_Math INTERFACE PlatformKit::Foundation)
