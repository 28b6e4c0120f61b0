#pragma once
// EGL display and context creation for headless devices: the Mesa surfaceless platform
// first (llvmpipe in CI), then the EGL device platform (NVIDIA). The context is an
// OpenGL 4.5 core context without surfaces.
#include <memory>
#include <string>

namespace pk::gpu {

class EglPlatform {
public:
    // Throws StudioError("PlatformKit.Gpu", 1, ...) naming what failed.
    static std::unique_ptr<EglPlatform> create();
    ~EglPlatform();
    EglPlatform(const EglPlatform&) = delete;
    EglPlatform& operator=(const EglPlatform&) = delete;

    // Makes the context current on / releases it from the calling thread.
    void makeCurrent();
    void releaseCurrent();
    const std::string& platformName() const { return platformName_; }

private:
    EglPlatform() = default;
    void* display_ = nullptr;
    void* context_ = nullptr;
    std::string platformName_;
};

}  // namespace pk::gpu
