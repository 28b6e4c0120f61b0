#pragma once
// What the exporters need of a renderer: frames drawn offscreen and the scene state.
// The studio's engine implements it; tests feed synthetic frames through it.
#include <cstdint>
#include <optional>
#include <vector>

#include "MarblewickLookDevKit/LookDevSceneState.h"

namespace lookdev {

class LookDevOffscreenRenderer {
public:
    virtual ~LookDevOffscreenRenderer() = default;

    // width × height pixels as B, G, R, A bytes, rows top to bottom, 4 × width bytes per
    // row, or nothing when the frame cannot be drawn. Draws `overrideState` when given
    // (else the live state) with its yaw replaced by `overrideYaw` when given; the live
    // state is not changed. Synchronous, callable from any thread.
    virtual std::optional<std::vector<uint8_t>> renderOffscreenBGRA(int64_t width, int64_t height,
                                                                    std::optional<float> overrideYaw,
                                                                    const std::optional<LookDevSceneState>& overrideState) = 0;

    // A copy of the live scene state, taken under the renderer's state lock.
    virtual LookDevSceneState currentSceneState() const = 0;
};

}  // namespace lookdev
