#include "PlatformKit/Gpu/EglPlatform.h"

#include <epoxy/egl.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "PlatformKit/Foundation/StudioError.h"

namespace pk::gpu {

namespace {
[[noreturn]] void fail(const std::string& what) {
    char code[32];
    std::snprintf(code, sizeof code, " (EGL error 0x%04X)", static_cast<unsigned>(eglGetError()));
    throw StudioError("PlatformKit.Gpu", 1, "No OpenGL 4.5 core context: " + what + code);
}

bool hasExtension(const char* list, const char* name) {
    if (!list) return false;
    const size_t n = std::strlen(name);
    for (const char* p = list; (p = std::strstr(p, name)); p += n)
        if ((p == list || p[-1] == ' ') && (p[n] == ' ' || p[n] == '\0')) return true;
    return false;
}

// Initialises the display; returns it, or EGL_NO_DISPLAY when that platform is unusable.
EGLDisplay initialized(EGLDisplay display) {
    if (display == EGL_NO_DISPLAY) return EGL_NO_DISPLAY;
    EGLint major = 0, minor = 0;
    if (!eglInitialize(display, &major, &minor)) return EGL_NO_DISPLAY;
    return display;
}

EGLContext makeContext(EGLDisplay display) {
    if (!eglBindAPI(EGL_OPENGL_API)) return EGL_NO_CONTEXT;
    const EGLint attributes[] = {EGL_CONTEXT_MAJOR_VERSION,
                                 4,
                                 EGL_CONTEXT_MINOR_VERSION,
                                 5,
                                 EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                 EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT,
                                 EGL_NONE};
    EGLConfig config = EGL_NO_CONFIG_KHR;
    if (!hasExtension(eglQueryString(display, EGL_EXTENSIONS), "EGL_KHR_no_config_context")) {
        const EGLint want[] = {EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_NONE};
        EGLint count = 0;
        if (!eglChooseConfig(display, want, &config, 1, &count) || count < 1) return EGL_NO_CONTEXT;
    }
    return eglCreateContext(display, config, EGL_NO_CONTEXT, attributes);
}
}  // namespace

std::unique_ptr<EglPlatform> EglPlatform::create() {
    const char* client = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    if (!hasExtension(client, "EGL_EXT_platform_base")) fail("EGL lacks EGL_EXT_platform_base");

    struct Candidate {
        EGLDisplay display;
        std::string name;
    };
    std::vector<Candidate> candidates;
    if (hasExtension(client, "EGL_MESA_platform_surfaceless")) {
        EGLDisplay d = initialized(eglGetPlatformDisplayEXT(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr));
        if (d != EGL_NO_DISPLAY) candidates.push_back({d, "surfaceless"});
    }
    if (hasExtension(client, "EGL_EXT_platform_device") && hasExtension(client, "EGL_EXT_device_enumeration")) {
        EGLDeviceEXT devices[8];
        EGLint count = 0;
        if (eglQueryDevicesEXT(8, devices, &count)) {
            for (EGLint i = 0; i < count; ++i) {
                EGLDisplay d = initialized(eglGetPlatformDisplayEXT(EGL_PLATFORM_DEVICE_EXT, devices[i], nullptr));
                if (d != EGL_NO_DISPLAY) candidates.push_back({d, "device " + std::to_string(i)});
            }
        }
    }
    if (candidates.empty()) fail("neither the surfaceless nor the device platform has a display");

    for (auto& c : candidates) {
        EGLContext context = makeContext(c.display);
        if (context == EGL_NO_CONTEXT) continue;
        if (!eglMakeCurrent(c.display, EGL_NO_SURFACE, EGL_NO_SURFACE, context)) {
            eglDestroyContext(c.display, context);
            continue;
        }
        std::unique_ptr<EglPlatform> platform(new EglPlatform());
        platform->display_ = c.display;
        platform->context_ = context;
        platform->platformName_ = c.name;
        return platform;
    }
    fail("no display gives a 4.5 core context without surfaces");
}

EglPlatform::~EglPlatform() {
    auto display = static_cast<EGLDisplay>(display_);
    if (eglGetCurrentContext() == static_cast<EGLContext>(context_))
        eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    eglDestroyContext(display, static_cast<EGLContext>(context_));
    // The display is shared per platform in the process; other devices may still use it.
}

void EglPlatform::makeCurrent() {
    if (!eglMakeCurrent(static_cast<EGLDisplay>(display_), EGL_NO_SURFACE, EGL_NO_SURFACE,
                        static_cast<EGLContext>(context_)))
        fail("the context cannot be made current");
}

void EglPlatform::releaseCurrent() {
    eglMakeCurrent(static_cast<EGLDisplay>(display_), EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
}

}  // namespace pk::gpu
