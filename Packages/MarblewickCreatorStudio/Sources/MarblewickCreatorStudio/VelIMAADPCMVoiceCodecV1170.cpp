#include "MarblewickCreatorStudio/VelIMAADPCMVoiceCodecV1170.h"

#include <algorithm>
#include <cmath>

#include "PlatformKit/Foundation/ByteIO.h"

namespace creator {

namespace {
constexpr int32_t kStepTable[89] = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,    25,    28,
    31,    34,    37,    41,    45,    50,    55,    60,    66,    73,    80,    88,    97,    107,   118,
    130,   143,   157,   173,   190,   209,   230,   253,   279,   307,   337,   371,   408,   449,   494,
    544,   598,   658,   724,   796,   876,   963,   1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,
    2272,  2499,  2749,  3024,  3327,  3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,
    9493,  10442, 11487, 12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};
constexpr int32_t kIndexTable[16] = {-1, -1, -1, -1, 2, 4, 6, 8, -1, -1, -1, -1, 2, 4, 6, 8};

inline int32_t applyCode(int32_t code, int32_t& predictor, int32_t& index) {
    const int32_t step = kStepTable[index];
    int32_t delta = step >> 3;
    if (code & 4) delta += step;
    if (code & 2) delta += step >> 1;
    if (code & 1) delta += step >> 2;
    if (code & 8) delta = -delta;
    predictor = std::clamp(predictor + delta, -32768, 32767);
    index = std::clamp(index + kIndexTable[code], 0, 88);
    return predictor;
}
}  // namespace

int32_t VelIMAADPCMVoiceCodecV1170::toPCM16(float sample) {
    const float scaled = sample * 32767.0f;
    if (std::isnan(scaled)) return 32767;
    return static_cast<int32_t>(std::clamp(scaled, -32768.0f, 32767.0f));
}

std::vector<uint8_t> VelIMAADPCMVoiceCodecV1170::encodeFloat32Packet(std::span<const float> samples, uint16_t sampleRate) {
    const size_t n = samples.size();
    if (n == 0) return {};
    std::vector<uint8_t> out;
    out.reserve(headerSize + (n + 1) / 2);
    int32_t predictor = toPCM16(samples[0]);
    int32_t index = 0;
    const uint16_t count = static_cast<uint16_t>(std::min<size_t>(n, 65535));
    auto put16 = [&](uint16_t v) {
        out.push_back(static_cast<uint8_t>(v & 0xFF));
        out.push_back(static_cast<uint8_t>(v >> 8));
    };
    put16(static_cast<uint16_t>(packetMagic & 0xFFFF));
    put16(static_cast<uint16_t>(packetMagic >> 16));
    put16(count);
    put16(sampleRate);
    put16(static_cast<uint16_t>(static_cast<int16_t>(predictor)));
    out.push_back(0);
    out.push_back(0);

    uint8_t pending = 0;
    bool havePending = false;
    for (size_t i = 1; i < n; ++i) {
        const int32_t s = toPCM16(samples[i]);
        const int32_t step = kStepTable[index];
        int32_t diff = s - predictor;
        int32_t code = 0;
        if (diff < 0) {
            code = 8;
            diff = -diff;
        }
        if (diff >= step) {
            code |= 4;
            diff -= step;
        }
        if (diff >= (step >> 1)) {
            code |= 2;
            diff -= step >> 1;
        }
        if (diff >= (step >> 2)) code |= 1;
        // The decoder's reconstruction keeps both sides' predictors in step.
        applyCode(code, predictor, index);
        if (!havePending) {
            pending = static_cast<uint8_t>(code);
            havePending = true;
        } else {
            out.push_back(static_cast<uint8_t>(pending | (code << 4)));
            havePending = false;
        }
    }
    if (havePending) out.push_back(pending);
    return out;
}

std::optional<VelIMAADPCMVoiceCodecV1170::Decoded> VelIMAADPCMVoiceCodecV1170::decodeToFloat32(
    std::span<const uint8_t> packet) {
    pk::ByteReader r(packet);
    if (!r.has(headerSize)) return std::nullopt;
    if (*r.u32() != packetMagic) return std::nullopt;
    const uint16_t count = *r.u16();
    const uint16_t rate = *r.u16();
    const int16_t first = *r.i16();
    const uint8_t headerIndex = *r.u8();
    r.skip(1);
    if (count == 0) return std::nullopt;

    Decoded d;
    d.sampleRate = rate;
    const uint64_t available = 1 + 2 * (packet.size() - headerSize);
    d.samples.reserve(static_cast<size_t>(std::min<uint64_t>(count, available)));
    int32_t predictor = first;
    int32_t index = std::min<int32_t>(headerIndex, 88);
    d.samples.push_back(static_cast<float>(predictor) / 32767.0f);
    for (size_t b = headerSize; b < packet.size() && d.samples.size() < count; ++b) {
        const uint8_t byte = packet[b];
        d.samples.push_back(static_cast<float>(applyCode(byte & 0x0F, predictor, index)) / 32767.0f);
        if (d.samples.size() >= count) break;
        d.samples.push_back(static_cast<float>(applyCode(byte >> 4, predictor, index)) / 32767.0f);
    }
    return d;
}

double VelIMAADPCMVoiceCodecV1170::measureSNRDB(std::span<const float> original, std::span<const float> decoded) {
    const size_t m = std::min(original.size(), decoded.size());
    if (m == 0) return 0.0;
    double signal = 0, noise = 0;
    for (size_t i = 0; i < m; ++i) {
        const double o = original[i];
        const double e = static_cast<double>(original[i] - decoded[i]);
        signal += o * o;
        noise += e * e;
    }
    if (noise <= 1e-12) return 99.0;
    return 10.0 * std::log10(signal / noise);
}

pk::json::OrderedJson VelLiveVoiceLoopbackAuditV1170::toJson() const {
    using pk::json::floatNumber;
    pk::json::OrderedJson j = pk::json::OrderedJson::object();
    j["rawPCMBytes"] = rawPCMBytes;
    j["adpcmPacketBytes"] = adpcmPacketBytes;
    j["compressionRatio"] = pk::json::doubleNumber(compressionRatio);
    j["decodedSNRDB"] = pk::json::doubleNumber(decodedSNRDB);
    j["spatialLeftRMS"] = floatNumber(spatialLeftRMS);
    j["spatialRightRMS"] = floatNumber(spatialRightRMS);
    j["wallOccludedCutoffHz"] = floatNumber(wallOccludedCutoffHz);
    j["packetRoundTripOK"] = packetRoundTripOK;
    j["passed"] = passed;
    return j;
}

template <class J>
VelLiveVoiceLoopbackAuditV1170 VelLiveVoiceLoopbackAuditV1170::fromJson(const J& j) {
    using namespace pk::json;
    VelLiveVoiceLoopbackAuditV1170 a;
    a.rawPCMBytes = readInteger<int64_t>(j, "rawPCMBytes");
    a.adpcmPacketBytes = readInteger<int64_t>(j, "adpcmPacketBytes");
    a.compressionRatio = readDouble(j, "compressionRatio");
    a.decodedSNRDB = readDouble(j, "decodedSNRDB");
    a.spatialLeftRMS = readFloat(j, "spatialLeftRMS");
    a.spatialRightRMS = readFloat(j, "spatialRightRMS");
    a.wallOccludedCutoffHz = readFloat(j, "wallOccludedCutoffHz");
    a.packetRoundTripOK = readBool(j, "packetRoundTripOK");
    a.passed = readBool(j, "passed");
    return a;
}

template VelLiveVoiceLoopbackAuditV1170 VelLiveVoiceLoopbackAuditV1170::fromJson(const pk::json::Json&);
template VelLiveVoiceLoopbackAuditV1170 VelLiveVoiceLoopbackAuditV1170::fromJson(const pk::json::OrderedJson&);

}  // namespace creator
