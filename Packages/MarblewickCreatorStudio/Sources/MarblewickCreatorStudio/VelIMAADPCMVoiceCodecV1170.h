#pragma once
// Live co-op voice as small self-describing 4-bit IMA ADPCM packets ("MWVC"), and the
// record in which the voice self-test reports its findings.
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "PlatformKit/Foundation/Json.h"

namespace creator {

struct VelIMAADPCMVoiceCodecV1170 {
    static constexpr uint32_t packetMagic = 0x4D575643;  // "MWVC"
    static constexpr size_t headerSize = 12;

    struct Decoded {
        std::vector<float> samples;
        double sampleRate = 0;
        bool operator==(const Decoded&) const = default;
    };

    // 12 + ⌈(n − 1) / 2⌉ bytes for n ≥ 1 samples; no samples give no bytes at all.
    static std::vector<uint8_t> encodeFloat32Packet(std::span<const float> samples, uint16_t sampleRate);
    // Nothing for fewer than 12 bytes, another magic or a count of 0. A short packet gives
    // fewer samples than its count. The rate is returned as stored, also 0.
    static std::optional<Decoded> decodeToFloat32(std::span<const uint8_t> packet);
    // 10·log10(signal / noise) over the common length; 0 dB for an empty side, 99 dB for
    // noise at or below 1e−12.
    static double measureSNRDB(std::span<const float> original, std::span<const float> decoded);

    // A sample on the 16-bit scale: truncated, clamped; NaN counts as full scale.
    static int32_t toPCM16(float sample);
};

struct VelLiveVoiceLoopbackAuditV1170 {
    int64_t rawPCMBytes = 0;
    int64_t adpcmPacketBytes = 0;
    double compressionRatio = 0;
    double decodedSNRDB = 0;
    float spatialLeftRMS = 0;
    float spatialRightRMS = 0;
    float wallOccludedCutoffHz = 0;
    bool packetRoundTripOK = false;
    bool passed = false;

    bool operator==(const VelLiveVoiceLoopbackAuditV1170&) const = default;

    pk::json::OrderedJson toJson() const;
    template <class J>
    static VelLiveVoiceLoopbackAuditV1170 fromJson(const J& j);
};

extern template VelLiveVoiceLoopbackAuditV1170 VelLiveVoiceLoopbackAuditV1170::fromJson(const pk::json::Json&);
extern template VelLiveVoiceLoopbackAuditV1170 VelLiveVoiceLoopbackAuditV1170::fromJson(const pk::json::OrderedJson&);

}  // namespace creator
