#pragma once
// The studio's real-time renderer and the single owner of what the viewport shows: it
// holds the scene state, hero mesh, material pack and environment behind one lock and
// encodes backdrop, floor and hero mesh for the viewport and for offscreen renders of
// any size. The name stays as callers and receipts know it.
#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "MarblewickLookDevKit/HDRIEnvironmentLoader.h"
#include "MarblewickLookDevKit/LoadedStudioMesh.h"
#include "MarblewickLookDevKit/LookDevBatchEngine.h"
#include "MarblewickLookDevKit/LookDevSceneState.h"
#include "MarblewickLookDevKit/PBRMaterialForgeEngine.h"
#include "MarblewickLookDevKit/SynthesizedPBRPack.h"
#include "PlatformKit/Foundation/Clock.h"
#include "PlatformKit/Foundation/MainQueue.h"
#include "PlatformKit/Gpu/Device.h"
#include "PlatformKit/Gpu/Pipeline.h"
#include "PlatformKit/Image/Image.h"
#include "PlatformKit/Math/Math.h"

namespace lookdev {

// The per-frame uniform block shared by every viewport stage (std140, 320 bytes).
struct FrameUniforms {
    pk::float4x4 viewProj;
    pk::float4x4 modelMatrix;
    pk::float4x4 normalMatrix;
    pk::float4 cameraPos;
    pk::float4 keyDirAndInt;
    pk::float4 keyColorAndExp;
    pk::float4 rimColorAndInt;
    pk::float4 skyTopAndFill;
    pk::float4 skyHorizonAndFloor;
    pk::float4 params0;
    pk::float4 params1;
};
static_assert(sizeof(FrameUniforms) == 320);
static_assert(offsetof(FrameUniforms, modelMatrix) == 64);
static_assert(offsetof(FrameUniforms, normalMatrix) == 128);
static_assert(offsetof(FrameUniforms, cameraPos) == 192);
static_assert(offsetof(FrameUniforms, keyDirAndInt) == 208);
static_assert(offsetof(FrameUniforms, keyColorAndExp) == 224);
static_assert(offsetof(FrameUniforms, rimColorAndInt) == 240);
static_assert(offsetof(FrameUniforms, skyTopAndFill) == 256);
static_assert(offsetof(FrameUniforms, skyHorizonAndFloor) == 272);
static_assert(offsetof(FrameUniforms, params0) == 288);
static_assert(offsetof(FrameUniforms, params1) == 304);

// Camera maths of the viewport, pure (clip depth 0..1).
struct StudioCamera {
    static pk::float3 eye(const LookDevSceneState& s);
    static pk::float4x4 lookAt(pk::float3 eye, pk::float3 target, pk::float3 up);
    static pk::float4x4 perspective(float verticalFOVRadians, float aspect, float nearZ, float farZ);
    static pk::float3 keyDirection(const LookDevSceneState& s);
    static FrameUniforms frameUniforms(const LookDevSceneState& s, const LoadedStudioMesh& mesh, bool hasEnvironment,
                                       float aspect);
};

class LookDevMetalEngine : public LookDevBatchEngine {
public:
    // Builds pipelines, states, samplers, fallback textures, the floor, the synthesizer,
    // the default pack and the shader ball. None when any step fails.
    static std::shared_ptr<LookDevMetalEngine> create(std::shared_ptr<pk::gpu::Device> device,
                                                      std::shared_ptr<pk::Clock> clock = pk::Clock::system(),
                                                      pk::MainQueue* mainQueue = &pk::MainQueue::main());
    ~LookDevMetalEngine();

    pk::gpu::Device& device() override { return *device_; }
    const std::shared_ptr<pk::gpu::Device>& sharedDevice() const { return device_; }
    // The studio's one material synthesizer.
    const std::shared_ptr<PBRMaterialForgeEngine>& pbrForge() const { return pbrForge_; }

    // Receives the measured frame rate on the main queue. Safe to set from any thread.
    void setOnFPSUpdate(std::function<void(double)> callback);

    void updateSceneState(const std::function<void(LookDevSceneState&)>& edit) override;
    LookDevSceneState currentSceneState() const override;
    void setActivePBRPack(SynthesizedPBRPack pack);
    std::optional<SynthesizedPBRPack> currentPBRPack() const;
    void setActiveMesh(StudioMeshHandle mesh) override;
    StudioMeshHandle currentMesh() const override;
    // Also sets the environment blend: 0.85 with a map, 0 without.
    void setActiveHDRI(std::optional<LoadedHDRIEnvironment> environment);
    std::optional<LoadedHDRIEnvironment> currentHDRI() const;

    void orbitBy(float deltaX, float deltaY);
    void zoomBy(float delta);
    void resetCamera();

    // The textures of a viewport target: 4-sample colour and 32-bit float depth, resolved
    // into a single-sample colour texture that can be sampled or read back. Call on the
    // device's owner thread.
    static pk::gpu::FramebufferDesc makeViewportTargetTextures(pk::gpu::Device& device, int width, int height);

    // One viewport frame into the given framebuffer (the window's, or any target) of the
    // given drawable size. Advances the turntable and the frame-rate window. Returns false
    // when nothing was drawn (no mesh or pack, or a GPU failure).
    bool drawFrame(const pk::gpu::Framebuffer& target, int drawableWidth, int drawableHeight);

    // Top-down BGRA bytes of an offscreen render, or none (bad size, no mesh or pack, GPU
    // failure). The turntable is not advanced.
    std::optional<std::vector<uint8_t>> renderOffscreenBGRA(int64_t width, int64_t height,
                                                            std::optional<float> overrideYaw,
                                                            const std::optional<LookDevSceneState>& overrideState) override;
    std::optional<std::vector<uint8_t>> renderOffscreenBGRA(int64_t width, int64_t height,
                                                            std::optional<float> overrideYaw = std::nullopt) {
        return renderOffscreenBGRA(width, height, overrideYaw, std::nullopt);
    }
    // The same frame with its read-back through a pixel buffer, waited for by takeBGRA.
    std::unique_ptr<PendingOffscreenFrame> startOffscreenBGRA(int64_t width, int64_t height,
                                                              std::optional<float> overrideYaw,
                                                              const std::optional<LookDevSceneState>& overrideState) override;

    // The same render as an image (R, G, B, A bytes; alpha is always opaque here).
    std::optional<pk::image::RgbaImage> renderOffscreenCGImage(int64_t width, int64_t height,
                                                               std::optional<float> overrideYaw = std::nullopt,
                                                               const std::optional<LookDevSceneState>& overrideState = std::nullopt);

private:
    LookDevMetalEngine(std::shared_ptr<pk::gpu::Device> device, std::shared_ptr<pk::Clock> clock, pk::MainQueue* queue);
    void initialize();

    struct Snapshot {
        LookDevSceneState state;
        std::shared_ptr<const LoadedStudioMesh> mesh;
        std::optional<SynthesizedPBRPack> pack;
        std::optional<LoadedHDRIEnvironment> environment;
    };
    // Owner thread, inside a pass over `target`.
    void encodeScene(const pk::gpu::Framebuffer& target, const Snapshot& snap, float aspect);

    std::shared_ptr<pk::gpu::Device> device_;
    std::shared_ptr<pk::Clock> clock_;
    pk::MainQueue* mainQueue_;
    std::shared_ptr<PBRMaterialForgeEngine> pbrForge_;

    std::shared_ptr<pk::gpu::RenderPipeline> backdropPSO_, floorPSO_, heroPSO_, heroNoEmissivePSO_;
    // Whether the last emissive map looked at is black everywhere (owner thread only).
    bool emissiveIsBlack(const std::shared_ptr<pk::gpu::Texture>& map);
    std::weak_ptr<pk::gpu::Texture> checkedEmissive_;
    bool checkedEmissiveBlack_ = false;
    std::shared_ptr<pk::gpu::Sampler> linearSampler_, clampSampler_;
    std::shared_ptr<pk::gpu::Texture> fallbackWhiteTex_, fallbackHDRITex_;
    std::shared_ptr<pk::gpu::Buffer> floorVB_, floorIB_;
    int64_t floorIndexCount_ = 6;

    mutable std::mutex stateLock_;
    LookDevSceneState sceneState_;
    std::shared_ptr<const LoadedStudioMesh> activeMesh_;
    std::optional<SynthesizedPBRPack> activePBR_;
    std::optional<LoadedHDRIEnvironment> activeHDRI_;

    // Touched only by the thread that draws frames.
    double lastFrameTime_ = 0;
    int64_t frameCounter_ = 0;
    double fpsWindowStart_ = 0;

    mutable std::mutex callbackLock_;
    std::shared_ptr<std::function<void(double)>> onFPSUpdate_;
};

}  // namespace lookdev
