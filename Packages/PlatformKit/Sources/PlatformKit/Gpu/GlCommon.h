#pragma once
// Internal to the Gpu module: the GL entry points and error checks. Public headers do
// not include this, so users of the module never see GL names.
#include <epoxy/gl.h>

#include <string>

namespace pk::gpu::detail {

// Throws StudioError("PlatformKit.Gpu", <GL error>, "<what>: GL error 0x....") when the
// GL error flag is set; clears every pending flag.
void checkGl(const char* what);
// Clears pending error flags so a later check reports only what follows.
void clearGlErrors();

GLenum internalFormat(int pixelFormat);

}  // namespace pk::gpu::detail
