#include "MarblewickAssetIO/VelVisionPoseToMWAnimCompilerV1265.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "PlatformKit/Foundation/Files.h"
#include "PlatformKit/Foundation/StudioError.h"

namespace assetio {

namespace json = pk::json;
namespace fs = std::filesystem;
using Compiler = VelVisionPoseToMWAnimCompilerV1265;

namespace {

json::Json vectorJson(const pk::float3& v) {
    return json::Json::array({json::floatNumber(v.x), json::floatNumber(v.y), json::floatNumber(v.z)});
}

pk::float3 readVector(const json::Json& v, const std::string& what) {
    if (!v.is_array() || v.size() != 3)
        json::failDecode(json::typeMismatch, "Expected an array of three numbers for " + what + ".");
    return {json::asFloat(v[0], what), json::asFloat(v[1], what), json::asFloat(v[2], what)};
}

// Appends into storage sized up front: no growth while the frames are written.
struct FieldWriter {
    uint8_t* out;
    void u32(uint32_t v) {
        std::memcpy(out, &v, 4);
        out += 4;
    }
    void f32(float v) {
        std::memcpy(out, &v, 4);
        out += 4;
    }
};

}  // namespace

json::Json VelVision3DPoseFrameV1265::toJson() const {
    json::Json joints = json::Json::array();
    for (const auto& j : jointEulerRad16) joints.push_back(vectorJson(j));
    json::Json j;
    j["timeSec"] = json::floatNumber(timeSec);
    j["pelvisPos"] = vectorJson(pelvisPos);
    j["jointEulerRad16"] = std::move(joints);
    return j;
}

VelVision3DPoseFrameV1265 VelVision3DPoseFrameV1265::fromJson(const json::Json& j) {
    VelVision3DPoseFrameV1265 f;
    f.timeSec = json::readFloat(j, "timeSec");
    f.pelvisPos = readVector(json::field(j, "pelvisPos"), "pelvisPos");
    const auto& joints = json::readArray(j, "jointEulerRad16");
    f.jointEulerRad16.reserve(joints.size());
    for (const auto& v : joints) f.jointEulerRad16.push_back(readVector(v, "jointEulerRad16"));
    return f;
}

json::OrderedJson VelMWAnimBakeReceiptV1265::toJson() const {
    json::OrderedJson j;
    j["clipName"] = clipName;
    j["boneCount"] = boneCount;
    j["frameCount"] = frameCount;
    j["fps"] = json::floatNumber(fps);
    j["fileBytes"] = fileBytes;
    j["magicValid"] = magicValid;
    j["outputPath"] = outputPath;
    return j;
}

VelMWAnimBakeReceiptV1265 VelMWAnimBakeReceiptV1265::fromJson(const json::OrderedJson& j) {
    VelMWAnimBakeReceiptV1265 r;
    r.clipName = json::readString(j, "clipName");
    r.boneCount = json::readInteger<int64_t>(j, "boneCount");
    r.frameCount = json::readInteger<int64_t>(j, "frameCount");
    r.fps = json::readFloat(j, "fps");
    r.fileBytes = json::readInteger<int64_t>(j, "fileBytes");
    r.magicValid = json::readBool(j, "magicValid");
    r.outputPath = json::readString(j, "outputPath");
    return r;
}

uint64_t Compiler::clipByteCount(uint64_t frameCount) {
    // The header holds the count in 32 bits, and a clip past 4 GiB could not be read
    // back whole: either would give a clip that lies about itself.
    constexpr uint64_t kMaxBytes = std::numeric_limits<uint32_t>::max();
    if (frameCount > (kMaxBytes - kHeaderBytes) / kFrameBytes)
        throw pk::StudioError(kErrorDomain, clipTooLarge,
                              "Too many frames for one clip (" + std::to_string(frameCount) + ").");
    return kHeaderBytes + kFrameBytes * frameCount;
}

std::vector<uint8_t> Compiler::encodeClip(std::span<const VelVision3DPoseFrameV1265> frames, float fps) {
    const uint64_t count = frames.size();
    std::vector<uint8_t> bytes(clipByteCount(count));
    FieldWriter w{bytes.data()};
    w.u32(magic);
    w.u32(kVersion);
    w.u32(kBoneCount);
    w.u32(static_cast<uint32_t>(count));
    w.f32(fps);
    w.u32(0);
    for (const auto& f : frames) {
        w.f32(f.timeSec);
        w.f32(f.pelvisPos.x);
        w.f32(f.pelvisPos.y);
        w.f32(f.pelvisPos.z);
        for (size_t i = 0; i < kBoneCount; ++i) {
            const pk::float3 v = i < f.jointEulerRad16.size() ? f.jointEulerRad16[i] : pk::float3(0.0f);
            w.f32(v.x);
            w.f32(v.y);
            w.f32(v.z);
        }
    }
    return bytes;
}

VelMWAnimBakeReceiptV1265 Compiler::compilePoseFramesToMWAnim(const std::string& clipName,
                                                             std::span<const VelVision3DPoseFrameV1265> frames,
                                                             float fps, const fs::path& outputURL) {
    if (outputURL.has_parent_path()) pk::createDirectories(outputURL.parent_path());
    const auto bytes = encodeClip(frames, fps);
    pk::atomicWrite(outputURL, bytes);
    const auto back = pk::readFileOrThrow(outputURL);
    uint32_t head = 0;
    if (back.size() >= 4) std::memcpy(&head, back.data(), 4);
    VelMWAnimBakeReceiptV1265 r;
    r.clipName = clipName;
    r.boneCount = kBoneCount;
    r.frameCount = static_cast<int64_t>(frames.size());
    r.fps = fps;
    r.fileBytes = static_cast<int64_t>(back.size());
    r.magicValid = back.size() >= 4 && head == magic && back.size() == bytes.size();
    r.outputPath = outputURL.string();
    return r;
}

std::vector<VelVision3DPoseFrameV1265> Compiler::selfTestFrames() {
    // The loop's constant is one ulp below the float nearest pi; kept so the clip's
    // bytes stay those of the recorded reference.
    constexpr float kPi = 3.1415925f;
    std::vector<VelVision3DPoseFrameV1265> frames;
    frames.reserve(30);
    for (int i = 0; i < 30; ++i) {
        const float t = static_cast<float>(i) / 30.0f;
        const float theta = 2.0f * (t * kPi);
        const float s = std::sin(theta), c = std::cos(theta);
        VelVision3DPoseFrameV1265 f;
        f.timeSec = t;
        f.pelvisPos = {0.0f, 0.94f + 0.04f * std::fabs(s), 0.0f};
        f.jointEulerRad16.assign(16, pk::float3(0.0f));
        f.jointEulerRad16[1] = {0.08f * s, 0.0f, 0.04f * c};
        f.jointEulerRad16[4] = {-0.35f * s - 0.45f, 0.15f, -0.2f};
        f.jointEulerRad16[5] = {0.25f * s - 0.32f, -0.1f, 0.12f};
        f.jointEulerRad16[8] = {0.22f * s, 0.0f, 0.0f};
        f.jointEulerRad16[9] = {-0.22f * s, 0.0f, 0.0f};
        frames.push_back(std::move(f));
    }
    return frames;
}

VelMWAnimBakeReceiptV1265 Compiler::runSelfTestMoCapBake(const fs::path& outputURL) {
    const auto frames = selfTestFrames();
    return compilePoseFramesToMWAnim("mocap_tactical_reload_v1265", frames, 30.0f, outputURL);
}

}  // namespace assetio
