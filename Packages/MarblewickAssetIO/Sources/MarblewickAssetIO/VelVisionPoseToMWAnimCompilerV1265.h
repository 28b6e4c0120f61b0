#pragma once
// Bakes captured body poses (pelvis position plus sixteen joint rotations per frame) into
// an "MWAN" animation clip, checks the written file by reading it back and reports the
// outcome in a receipt. Clip layout, little-endian, no padding:
//   0 "MWAN" | 4 version 1 | 8 bone count 16 | 12 frame count F | 16 fps (f32) | 20 0
//   24 F x 208-byte frames: timeSec, pelvis xyz, 16 joints xyz (radians)
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "PlatformKit/Foundation/Json.h"
#include "PlatformKit/Math/Math.h"

namespace assetio {

struct VelVision3DPoseFrameV1265 {
    float timeSec = 0;
    pk::float3 pelvisPos{0.0f};
    // Sixteen are expected; missing joints bake as zeros, extra ones are ignored.
    std::vector<pk::float3> jointEulerRad16;

    bool operator==(const VelVision3DPoseFrameV1265&) const = default;

    pk::json::Json toJson() const;
    // Strict: each vector must be an array of exactly three numbers.
    static VelVision3DPoseFrameV1265 fromJson(const pk::json::Json& j);
};

struct VelMWAnimBakeReceiptV1265 {
    std::string clipName;
    int64_t boneCount = 16;
    int64_t frameCount = 0;
    float fps = 0;
    int64_t fileBytes = 0;
    bool magicValid = false;
    std::string outputPath;

    bool operator==(const VelMWAnimBakeReceiptV1265&) const = default;

    pk::json::OrderedJson toJson() const;  // keys in declaration order
    static VelMWAnimBakeReceiptV1265 fromJson(const pk::json::OrderedJson& j);
};

struct VelVisionPoseToMWAnimCompilerV1265 {
    VelVisionPoseToMWAnimCompilerV1265() = delete;

    static constexpr uint32_t magic = 0x4E41574Du;  // "MWAN" little-endian
    static constexpr uint32_t kVersion = 1;
    static constexpr uint32_t kBoneCount = 16;
    static constexpr uint64_t kHeaderBytes = 24;
    static constexpr uint64_t kFrameBytes = 208;
    static constexpr const char* kErrorDomain = "MarblewickAssetIO.AnimBake";
    enum ErrorCode : int { clipTooLarge = 1 };

    // 24 + 208 x frameCount. Throws StudioError clipTooLarge when the count or the length
    // does not fit the format's 32-bit fields.
    static uint64_t clipByteCount(uint64_t frameCount);
    // The clip's bytes. Throws StudioError clipTooLarge when the frame count or the
    // file length would not fit the format's 32-bit fields.
    static std::vector<uint8_t> encodeClip(std::span<const VelVision3DPoseFrameV1265> frames, float fps);

    // Creates the folder, writes atomically, reads back. Folder, write and read errors
    // are the platform's, thrown unchanged; a read-back that differs only clears
    // magicValid.
    static VelMWAnimBakeReceiptV1265 compilePoseFramesToMWAnim(const std::string& clipName,
                                                               std::span<const VelVision3DPoseFrameV1265> frames,
                                                               float fps, const std::filesystem::path& outputURL);

    // The 30-frame synthetic reload loop the self-test bakes.
    static std::vector<VelVision3DPoseFrameV1265> selfTestFrames();
    static VelMWAnimBakeReceiptV1265 runSelfTestMoCapBake(const std::filesystem::path& outputURL);
};

}  // namespace assetio
