#pragma once
// A device over the GL context of the app's SDL window. The thread that adopts the
// context (the main thread) is the owner; jobs submitted from other threads wait until
// the main loop calls drainJobs(), which it does every iteration (also while a panel is
// open), so background exports make progress.
#include <memory>

#include "PlatformKit/Gpu/Device.h"

namespace pk::gpu {

class WindowDevice final : public Device {
public:
    // Adopts the context current on the calling thread (made by the app with SDL, 4.5
    // core requested). Throws StudioError code 1 when none is current or it is below
    // 4.5 core.
    static std::shared_ptr<WindowDevice> adoptCurrentContext();
    // Closes the queue (waiting submitters get an error) after running what is queued.
    ~WindowDevice() override;

    // Owner thread: runs the jobs submitted so far. Returns how many ran.
    size_t drainJobs();

private:
    WindowDevice();
};

}  // namespace pk::gpu
