#pragma once
// Deterministic replays: a seed plus one quantised 8-byte input frame per tick, and the
// compact little-endian clip format ("MWRP") that carries them.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace creator {

struct VelReplayInputFrameV1250 {
    uint16_t dtMs = 0;
    int8_t moveForwardQ = 0;
    int8_t moveStrafeQ = 0;
    int16_t yawDeltaQ = 0;
    uint8_t actionMask = 0;
    uint8_t pad = 0;

    VelReplayInputFrameV1250() = default;
    // Sticks in hundredths, yaw in milliradians, rounded half away from zero in single
    // precision and clamped to the field; NaN quantises to 0.
    VelReplayInputFrameV1250(uint16_t dtMs, float moveForward, float moveStrafe, float yawDeltaRad, uint8_t actionMask);

    bool operator==(const VelReplayInputFrameV1250&) const = default;

    static int8_t quantiseStick(float value);
    static int16_t quantiseYaw(float radians);
};
static_assert(sizeof(VelReplayInputFrameV1250) == 8);

struct VelDeterministicReplayClipV1250 {
    static constexpr uint32_t magic = 0x4D575250;  // "MWRP"
    static constexpr size_t headerSize = 20;

    uint64_t seed = 0;
    std::string title;  // not part of the binary form
    std::vector<VelReplayInputFrameV1250> frames;
    std::vector<int64_t> highlightTickBookmarks;

    bool operator==(const VelDeterministicReplayClipV1250&) const = default;

    // 20 + 8F + 4B bytes. A negative bookmark is written as 0, one above the u32 range as
    // 4294967295; at most 4294967295 frames and bookmarks are written.
    std::vector<uint8_t> encodeCompactBinary() const;
    // Nothing when too short, of another magic, or when the counts run past the end; bytes
    // beyond the announced length are ignored and every frame's pad reads as 0.
    static std::optional<VelDeterministicReplayClipV1250> decodeCompactBinary(std::span<const uint8_t> data,
                                                                               const std::string& title);
};

}  // namespace creator
