#pragma once
// What the exporters need of a renderer: frames drawn offscreen and the scene state.
// The studio's engine implements it; tests feed synthetic frames through it.
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "MarblewickLookDevKit/LookDevSceneState.h"

namespace lookdev {

// An offscreen frame that has been drawn and whose pixels may still be on their way
// back from the GPU.
class PendingOffscreenFrame {
public:
    virtual ~PendingOffscreenFrame() = default;
    // Waits for the pixels: what renderOffscreenBGRA gives for the same frame. Call once,
    // on the thread that started the frame.
    virtual std::optional<std::vector<uint8_t>> takeBGRA() = 0;
};

class LookDevOffscreenRenderer {
public:
    virtual ~LookDevOffscreenRenderer() = default;

    // width × height pixels as B, G, R, A bytes, rows top to bottom, 4 × width bytes per
    // row, or nothing when the frame cannot be drawn. Draws `overrideState` when given
    // (else the live state) with its yaw replaced by `overrideYaw` when given; the live
    // state is not changed. Synchronous, callable from any thread, the device's owner
    // included.
    virtual std::optional<std::vector<uint8_t>> renderOffscreenBGRA(int64_t width, int64_t height,
                                                                    std::optional<float> overrideYaw,
                                                                    const std::optional<LookDevSceneState>& overrideState) = 0;

    // The same frame, drawn now and read back later: a frame sequence draws frame n + 1
    // while frame n's pixels come back. Never null. This default draws and reads back at
    // once, for renderers that have nothing to overlap.
    virtual std::unique_ptr<PendingOffscreenFrame> startOffscreenBGRA(int64_t width, int64_t height,
                                                                      std::optional<float> overrideYaw,
                                                                      const std::optional<LookDevSceneState>& overrideState) {
        struct Ready final : PendingOffscreenFrame {
            std::optional<std::vector<uint8_t>> bytes;
            std::optional<std::vector<uint8_t>> takeBGRA() override { return std::move(bytes); }
        };
        auto frame = std::make_unique<Ready>();
        frame->bytes = renderOffscreenBGRA(width, height, overrideYaw, overrideState);
        return frame;
    }

    // A copy of the live scene state, taken under the renderer's state lock.
    virtual LookDevSceneState currentSceneState() const = 0;
};

}  // namespace lookdev
