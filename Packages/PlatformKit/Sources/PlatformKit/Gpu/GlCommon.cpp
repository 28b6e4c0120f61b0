#include "PlatformKit/Gpu/GlCommon.h"

#include <cstdio>

#include "PlatformKit/Foundation/StudioError.h"
#include "PlatformKit/Gpu/GpuTypes.h"

namespace pk::gpu {

size_t bytesPerPixel(PixelFormat format) {
    switch (format) {
        case PixelFormat::rgba8Unorm: return 4;
        case PixelFormat::rgba16Float: return 8;
        case PixelFormat::depth32Float: return 4;
    }
    return 4;
}

int fullMipLevels(int width, int height) {
    int levels = 1;
    for (int s = width > height ? width : height; s > 1; s >>= 1) ++levels;
    return levels;
}

namespace detail {

void checkGl(const char* what) {
    GLenum first = glGetError();
    if (first == GL_NO_ERROR) return;
    while (glGetError() != GL_NO_ERROR) {
    }
    char text[256];
    std::snprintf(text, sizeof text, "%s: GL error 0x%04X", what, static_cast<unsigned>(first));
    throw StudioError("PlatformKit.Gpu", static_cast<int>(first), text);
}

void clearGlErrors() {
    while (glGetError() != GL_NO_ERROR) {
    }
}

GLenum internalFormat(int pixelFormat) {
    switch (static_cast<PixelFormat>(pixelFormat)) {
        case PixelFormat::rgba8Unorm: return GL_RGBA8;
        case PixelFormat::rgba16Float: return GL_RGBA16F;
        case PixelFormat::depth32Float: return GL_DEPTH_COMPONENT32F;
    }
    return GL_RGBA8;
}

}  // namespace detail
}  // namespace pk::gpu
