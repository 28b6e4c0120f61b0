#include "MarblewickCreatorStudio/VelDeterministicReplayClipV1250.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "PlatformKit/Foundation/ByteIO.h"

namespace creator {

namespace {
// Rounds in single precision (0.005 × 100 is 0.5 in float, 0.49999999 in double), then
// clamps while still a float so no out-of-range value is ever converted.
template <class T>
T quantise(float value, float scale) {
    const float r = std::round(value * scale);
    if (std::isnan(r)) return 0;
    constexpr float lo = static_cast<float>(std::numeric_limits<T>::min());
    constexpr float hi = static_cast<float>(std::numeric_limits<T>::max());
    return static_cast<T>(std::clamp(r, lo, hi));
}
}  // namespace

int8_t VelReplayInputFrameV1250::quantiseStick(float value) { return quantise<int8_t>(value, 100.0f); }
int16_t VelReplayInputFrameV1250::quantiseYaw(float radians) { return quantise<int16_t>(radians, 1000.0f); }

VelReplayInputFrameV1250::VelReplayInputFrameV1250(uint16_t dtMs_, float moveForward, float moveStrafe,
                                                   float yawDeltaRad, uint8_t actionMask_)
    : dtMs(dtMs_),
      moveForwardQ(quantiseStick(moveForward)),
      moveStrafeQ(quantiseStick(moveStrafe)),
      yawDeltaQ(quantiseYaw(yawDeltaRad)),
      actionMask(actionMask_),
      pad(0) {}

std::vector<uint8_t> VelDeterministicReplayClipV1250::encodeCompactBinary() const {
    constexpr uint64_t maxCount = std::numeric_limits<uint32_t>::max();
    const uint64_t f = std::min<uint64_t>(frames.size(), maxCount);
    const uint64_t b = std::min<uint64_t>(highlightTickBookmarks.size(), maxCount);
    pk::ByteWriter w;
    w.u32(magic);
    w.u64(seed);
    w.u32(static_cast<uint32_t>(f));
    w.u32(static_cast<uint32_t>(b));
    std::vector<uint8_t> out = w.take();
    out.reserve(static_cast<size_t>(24 + 8 * f + 4 * b));
    for (uint64_t i = 0; i < f; ++i) {
        const auto& fr = frames[static_cast<size_t>(i)];
        out.push_back(static_cast<uint8_t>(fr.dtMs & 0xFF));
        out.push_back(static_cast<uint8_t>(fr.dtMs >> 8));
        out.push_back(static_cast<uint8_t>(fr.moveForwardQ));
        out.push_back(static_cast<uint8_t>(fr.moveStrafeQ));
        const auto yaw = static_cast<uint16_t>(fr.yawDeltaQ);
        out.push_back(static_cast<uint8_t>(yaw & 0xFF));
        out.push_back(static_cast<uint8_t>(yaw >> 8));
        out.push_back(fr.actionMask);
        out.push_back(fr.pad);
    }
    for (uint64_t i = 0; i < b; ++i) {
        const int64_t mark = highlightTickBookmarks[static_cast<size_t>(i)];
        const uint32_t v = mark < 0 ? 0u : static_cast<uint32_t>(std::min<int64_t>(mark, static_cast<int64_t>(maxCount)));
        for (int s = 0; s < 32; s += 8) out.push_back(static_cast<uint8_t>(v >> s));
    }
    return out;
}

std::optional<VelDeterministicReplayClipV1250> VelDeterministicReplayClipV1250::decodeCompactBinary(
    std::span<const uint8_t> data, const std::string& title) {
    pk::ByteReader r(data);
    if (!r.has(headerSize)) return std::nullopt;
    if (*r.u32() != magic) return std::nullopt;
    VelDeterministicReplayClipV1250 clip;
    clip.seed = *r.u64();
    const uint64_t f = *r.u32();
    const uint64_t b = *r.u32();
    // At most 20 + 8·(2^32 − 1) + 4·(2^32 − 1): no wrap in 64 bits.
    if (static_cast<uint64_t>(data.size()) < headerSize + 8 * f + 4 * b) return std::nullopt;
    clip.title = title;
    clip.frames.reserve(static_cast<size_t>(f));
    for (uint64_t i = 0; i < f; ++i) {
        VelReplayInputFrameV1250 fr;
        fr.dtMs = *r.u16();
        fr.moveForwardQ = static_cast<int8_t>(*r.u8());
        fr.moveStrafeQ = static_cast<int8_t>(*r.u8());
        fr.yawDeltaQ = *r.i16();
        fr.actionMask = *r.u8();
        r.skip(1);
        fr.pad = 0;
        clip.frames.push_back(fr);
    }
    clip.highlightTickBookmarks.reserve(static_cast<size_t>(b));
    for (uint64_t i = 0; i < b; ++i) clip.highlightTickBookmarks.push_back(static_cast<int64_t>(*r.u32()));
    return clip;
}

}  // namespace creator
