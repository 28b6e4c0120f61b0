#pragma once
// A device without a window: an EGL context owned by a thread of its own. Used by tests,
// tools and anything that renders offscreen without the app's window.
#include <memory>
#include <thread>

#include "PlatformKit/Gpu/Device.h"

namespace pk::gpu {

class EglPlatform;

class HeadlessDevice final : public Device {
public:
    // Starts the owner thread and makes the context there. Throws StudioError code 1
    // when no OpenGL 4.5 core context can be had.
    static std::shared_ptr<HeadlessDevice> create();
    // Runs the jobs already queued, releases the context and joins the owner thread.
    ~HeadlessDevice() override;

    const std::string& platformName() const { return platformName_; }

private:
    HeadlessDevice();
    std::thread thread_;
    std::string platformName_;
};

}  // namespace pk::gpu
