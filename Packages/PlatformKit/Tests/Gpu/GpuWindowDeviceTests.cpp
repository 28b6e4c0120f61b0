// The window-device variant: a context made current on this thread (here by EGL, in the
// app by SDL) is adopted; other threads' work waits for the loop's drainJobs().
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "PlatformKit/Foundation/StudioError.h"
#include "PlatformKit/Gpu/EglPlatform.h"
#include "PlatformKit/Gpu/WindowDevice.h"

using namespace pk::gpu;

TEST(GpuWindowDevice, RefusesWhenNoContextIsCurrent) {
    std::thread([] { EXPECT_THROW(WindowDevice::adoptCurrentContext(), pk::StudioError); }).join();
}

TEST(GpuWindowDevice, BackgroundWorkRunsWhenTheLoopDrains) {
    auto platform = EglPlatform::create();  // current on this thread, like SDL_GL_MakeCurrent
    auto device = WindowDevice::adoptCurrentContext();
    ASSERT_TRUE(device->isOwnerThread());

    std::atomic<bool> done{false};
    std::vector<uint8_t> bytes;
    std::thread worker([&] {
        auto tex = device->makeTexture({PixelFormat::rgba8Unorm, 2, 2});
        const uint8_t px[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
        device->upload(*tex, px, 8);
        bytes = device->readback(*tex, ByteOrder::bgra);
        tex.reset();  // released from this thread: queued to the owner
        done = true;
    });
    // The "main loop": nothing runs until it drains.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done && std::chrono::steady_clock::now() < deadline) {
        device->drainJobs();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    worker.join();
    ASSERT_TRUE(done);
    ASSERT_EQ(bytes.size(), 16u);
    EXPECT_EQ(bytes[0], 3);
    EXPECT_EQ(bytes[2], 1);
    // Work from the owner itself runs inline.
    EXPECT_EQ(device->run([] { return 7; }), 7);
    device->drainJobs();
    device.reset();
}
