#include "MarblewickLookDevKit/LookDevMetalEngine.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "MarblewickLookDevKit/StudioMeshLoader.h"
#include "PlatformKit/Gpu/Passes.h"
#include "embedded/viewport_backdrop_fs_glsl.h"
#include "embedded/viewport_backdrop_vs_glsl.h"
#include "embedded/viewport_common_glsl.h"
#include "embedded/viewport_floor_fs_glsl.h"
#include "embedded/viewport_floor_vs_glsl.h"
#include "embedded/viewport_hero_fs_glsl.h"
#include "embedded/viewport_hero_vs_glsl.h"

#define GLM_FORCE_RADIANS
#include <glm/gtc/packing.hpp>

namespace lookdev {

namespace {

constexpr float kPi = 3.1415925f;
constexpr float kTwoPi = 6.2831853f;
constexpr std::array<float, 4> kClearColor = {0.04f, 0.045f, 0.06f, 1.0f};

std::string stageSource(const char* body, const char* defines = "") {
    return std::string("#version 450 core\n") + defines + viewport_common_glsl + "\n" + body;
}

}  // namespace

// ---- camera maths ----

pk::float3 StudioCamera::eye(const LookDevSceneState& s) {
    return {s.distance * std::sin(s.yaw) * std::cos(s.pitch), s.targetY + s.distance * std::sin(s.pitch),
            s.distance * std::cos(s.yaw) * std::cos(s.pitch)};
}

pk::float4x4 StudioCamera::lookAt(pk::float3 eye, pk::float3 target, pk::float3 up) {
    const pk::float3 z = glm::normalize(eye - target);
    const pk::float3 x = glm::normalize(glm::cross(up, z));
    const pk::float3 y = glm::cross(z, x);
    pk::float4x4 m(1.0f);
    m[0] = pk::float4(x.x, y.x, z.x, 0);
    m[1] = pk::float4(x.y, y.y, z.y, 0);
    m[2] = pk::float4(x.z, y.z, z.z, 0);
    m[3] = pk::float4(-glm::dot(x, eye), -glm::dot(y, eye), -glm::dot(z, eye), 1);
    return m;
}

pk::float4x4 StudioCamera::perspective(float fovY, float aspect, float nearZ, float farZ) {
    const float f = 1.0f / std::tan(fovY / 2.0f);
    pk::float4x4 m(0.0f);
    m[0] = pk::float4(f / aspect, 0, 0, 0);
    m[1] = pk::float4(0, f, 0, 0);
    m[2] = pk::float4(0, 0, farZ / (nearZ - farZ), -1);
    m[3] = pk::float4(0, 0, nearZ * farZ / (nearZ - farZ), 0);
    return m;
}

pk::float3 StudioCamera::keyDirection(const LookDevSceneState& s) {
    return glm::normalize(pk::float3(std::cos(s.keyElevation) * std::sin(s.keyAzimuth), std::sin(s.keyElevation),
                                     std::cos(s.keyElevation) * std::cos(s.keyAzimuth)));
}

FrameUniforms StudioCamera::frameUniforms(const LookDevSceneState& s, const LoadedStudioMesh& mesh, bool hasEnvironment,
                                          float aspect) {
    const pk::float3 e = eye(s);
    const pk::float4x4 view = lookAt(e, {0, s.targetY, 0}, {0, 1, 0});
    const float fov = s.lens.verticalFOVDegrees() * kPi / 180.0f;
    const pk::float4x4 proj = perspective(fov, aspect, 0.05f, 80.0f);
    FrameUniforms u{};
    u.viewProj = proj * view;
    pk::float4x4 scale(1.0f);
    scale[0][0] = scale[1][1] = scale[2][2] = mesh.normalizationScale;
    pk::float4x4 translate(1.0f);
    translate[3] = pk::float4(-mesh.centerOffset, 1.0f);
    u.modelMatrix = scale * translate;
    u.normalMatrix = pk::float4x4(1.0f);
    u.cameraPos = pk::float4(e, 1.0f);
    u.keyDirAndInt = pk::float4(keyDirection(s), s.keyIntensity);
    u.keyColorAndExp = pk::float4(s.lightingRig.keyColor(), s.exposureEV);
    u.rimColorAndInt = pk::float4(s.lightingRig.rimColor(), s.rimIntensity);
    u.skyTopAndFill = pk::float4(s.lightingRig.skyTop(), s.fillIntensity);
    u.skyHorizonAndFloor = pk::float4(s.lightingRig.skyHorizon(), s.floorReflectivity);
    u.params0 = pk::float4(static_cast<float>(s.shadingMode.rawValue()), s.materialOverrideBlend, s.materialUVScale,
                           mesh.normalizedRadius);
    u.params1 = pk::float4(hasEnvironment ? s.customHDRIBlend : 0.0f, s.hdriRotationRad,
                           mesh.embeddedDiffuseTexture ? 1.0f : 0.0f, 0.0f);
    return u;
}

// ---- engine ----

LookDevMetalEngine::LookDevMetalEngine(std::shared_ptr<pk::gpu::Device> device, std::shared_ptr<pk::Clock> clock,
                                       pk::MainQueue* queue)
    : device_(std::move(device)), clock_(std::move(clock)), mainQueue_(queue) {
    lastFrameTime_ = clock_->now();
    fpsWindowStart_ = lastFrameTime_;
}

LookDevMetalEngine::~LookDevMetalEngine() = default;

std::shared_ptr<LookDevMetalEngine> LookDevMetalEngine::create(std::shared_ptr<pk::gpu::Device> device,
                                                               std::shared_ptr<pk::Clock> clock, pk::MainQueue* mainQueue) {
    if (!device) return nullptr;
    std::shared_ptr<LookDevMetalEngine> engine(new LookDevMetalEngine(std::move(device), std::move(clock), mainQueue));
    try {
        engine->initialize();
    } catch (const std::exception&) {
        return nullptr;
    }
    return engine;
}

void LookDevMetalEngine::initialize() {
    auto forge = PBRMaterialForgeEngine::create(device_);
    if (!forge) throw pk::StudioError("MarblewickLookDevKit", 1, "No PBR synthesizer");
    pbrForge_ = std::move(forge);

    pk::gpu::Device& dev = *device_;
    using namespace pk::gpu;
    auto program = [&](const char* vs, const char* vsName, const char* fs, const char* fsName) {
        return dev.makeRenderProgram(stageSource(vs), vsName, stageSource(fs), fsName);
    };

    RenderPipelineDesc backdrop;
    backdrop.program = program(viewport_backdrop_vs_glsl, "kestrelune_backdrop_vs", viewport_backdrop_fs_glsl,
                               "kestrelune_backdrop_fs");
    backdrop.depthWrite = false;
    backdrop.depthCompare = CompareFunction::lessEqual;
    backdropPSO_ = dev.makeRenderPipeline(backdrop);

    RenderPipelineDesc floor;
    floor.program = program(viewport_floor_vs_glsl, "kestrelune_floor_vs", viewport_floor_fs_glsl, "kestrelune_floor_fs");
    floor.vertexLayout.stride = 16;
    floor.vertexLayout.attributes = {{0, 3, 0}};
    floor.blend = BlendMode::alphaOver;
    floor.depthWrite = false;
    floorPSO_ = dev.makeRenderPipeline(floor);

    RenderPipelineDesc hero;
    hero.program = program(viewport_hero_vs_glsl, "kestrelune_hero_vs", viewport_hero_fs_glsl, "kestrelune_hero_fs");
    hero.vertexLayout.stride = sizeof(StudioVertex);
    hero.vertexLayout.attributes = {{0, 3, 0}, {1, 3, 16}, {2, 2, 32}, {3, 3, 48}, {4, 1, 64}, {5, 1, 68}};
    hero.depthWrite = true;
    heroPSO_ = dev.makeRenderPipeline(hero);
    RenderPipelineDesc heroNoEmissive = hero;
    heroNoEmissive.program = dev.makeRenderProgram(stageSource(viewport_hero_vs_glsl), "kestrelune_hero_vs",
                                                   stageSource(viewport_hero_fs_glsl, "#define KS_HERO_EMISSIVE 0\n"),
                                                   "kestrelune_hero_fs");
    heroNoEmissivePSO_ = dev.makeRenderPipeline(heroNoEmissive);

    // Trilinear, so the material weave neither shimmers nor turns to moire when seen
    // small; anisotropic as well where the device handles it (see materialAnisotropy).
    SamplerDesc linear;
    linear.mipmapped = true;
    linear.maxAnisotropy = materialAnisotropy(dev.info());
    linearSampler_ = dev.makeSampler(linear);
    SamplerDesc clamp;
    clamp.addressT = AddressMode::clampToEdge;
    clampSampler_ = dev.makeSampler(clamp);

    TextureDesc white;
    fallbackWhiteTex_ = dev.makeTexture(white);
    const uint8_t whitePixel[4] = {255, 255, 255, 255};
    dev.upload(*fallbackWhiteTex_, whitePixel, 4);
    TextureDesc hdri;
    hdri.format = PixelFormat::rgba16Float;
    fallbackHDRITex_ = dev.makeTexture(hdri);
    const uint16_t hdriPixel[4] = {glm::packHalf1x16(0.2f), glm::packHalf1x16(0.22f), glm::packHalf1x16(0.26f),
                                   glm::packHalf1x16(1.0f)};
    dev.upload(*fallbackHDRITex_, hdriPixel, 8);

    const float floorVerts[16] = {-9, 0, -9, 0, 9, 0, -9, 0, 9, 0, 9, 0, -9, 0, 9, 0};
    floorVB_ = dev.makeBuffer(BufferDesc{sizeof floorVerts, BufferStorage::deviceLocal}, floorVerts);
    const uint16_t floorIdx[6] = {0, 2, 1, 0, 3, 2};
    floorIB_ = dev.makeBuffer(BufferDesc{sizeof floorIdx, BufferStorage::deviceLocal}, floorIdx);
    floorIndexCount_ = 6;

    if (auto pack = pbrForge_->synthesize(PBRMaterialParameters{})) activePBR_ = std::move(*pack);
    activeMesh_ = lookdev::buildShaderBallMesh(dev);
}

void LookDevMetalEngine::setOnFPSUpdate(std::function<void(double)> callback) {
    std::lock_guard<std::mutex> lock(callbackLock_);
    onFPSUpdate_ = callback ? std::make_shared<std::function<void(double)>>(std::move(callback)) : nullptr;
}

void LookDevMetalEngine::updateSceneState(const std::function<void(LookDevSceneState&)>& edit) {
    std::lock_guard<std::mutex> lock(stateLock_);
    edit(sceneState_);
}

LookDevSceneState LookDevMetalEngine::currentSceneState() const {
    std::lock_guard<std::mutex> lock(stateLock_);
    return sceneState_;
}

void LookDevMetalEngine::setActivePBRPack(SynthesizedPBRPack pack) {
    std::lock_guard<std::mutex> lock(stateLock_);
    activePBR_ = std::move(pack);
}

std::optional<SynthesizedPBRPack> LookDevMetalEngine::currentPBRPack() const {
    std::lock_guard<std::mutex> lock(stateLock_);
    return activePBR_;
}

void LookDevMetalEngine::setActiveMesh(std::shared_ptr<const LoadedStudioMesh> mesh) {
    if (!mesh) return;
    std::lock_guard<std::mutex> lock(stateLock_);
    activeMesh_ = std::move(mesh);
}

std::shared_ptr<const LoadedStudioMesh> LookDevMetalEngine::currentMesh() const {
    std::lock_guard<std::mutex> lock(stateLock_);
    return activeMesh_;
}

void LookDevMetalEngine::setActiveHDRI(std::optional<LoadedHDRIEnvironment> environment) {
    std::lock_guard<std::mutex> lock(stateLock_);
    sceneState_.customHDRIBlend = environment ? 0.85f : 0.0f;
    activeHDRI_ = std::move(environment);
}

std::optional<LoadedHDRIEnvironment> LookDevMetalEngine::currentHDRI() const {
    std::lock_guard<std::mutex> lock(stateLock_);
    return activeHDRI_;
}

void LookDevMetalEngine::orbitBy(float deltaX, float deltaY) {
    std::lock_guard<std::mutex> lock(stateLock_);
    sceneState_.yaw += deltaX * -0.009f;
    sceneState_.pitch = std::clamp(sceneState_.pitch + deltaY * 0.008f, -0.08f, 1.25f);
}

void LookDevMetalEngine::zoomBy(float delta) {
    std::lock_guard<std::mutex> lock(stateLock_);
    sceneState_.distance = std::clamp(sceneState_.distance - delta * 0.08f, 1.35f, 8.5f);
}

void LookDevMetalEngine::resetCamera() {
    std::lock_guard<std::mutex> lock(stateLock_);
    const LookDevSceneState defaults;
    sceneState_.yaw = defaults.yaw;
    sceneState_.pitch = defaults.pitch;
    sceneState_.distance = defaults.distance;
    sceneState_.targetY = defaults.targetY;
}

bool LookDevMetalEngine::emissiveIsBlack(const std::shared_ptr<pk::gpu::Texture>& map) {
    if (!map) return false;
    if (checkedEmissive_.lock() == map) return checkedEmissiveBlack_;
    // Read once per map (maps never change once made): a zero map adds exactly nothing.
    const std::vector<uint8_t> texels = device_->readback(*map, pk::gpu::ByteOrder::rgba);
    bool black = true;
    for (size_t i = 0; i + 3 < texels.size() && black; i += 4) black = (texels[i] | texels[i + 1] | texels[i + 2]) == 0;
    checkedEmissive_ = map;
    checkedEmissiveBlack_ = black;
    return black;
}

void LookDevMetalEngine::encodeScene(const pk::gpu::Framebuffer& target, const Snapshot& snap, float aspect) {
    using namespace pk::gpu;
    const LoadedStudioMesh& mesh = *snap.mesh;
    const SynthesizedPBRPack& pack = *snap.pack;
    const FrameUniforms u = StudioCamera::frameUniforms(snap.state, mesh, snap.environment.has_value(), aspect);
    const Texture& envTex = snap.environment && snap.environment->texture ? *snap.environment->texture : *fallbackHDRITex_;
    const Texture& embedded = mesh.embeddedDiffuseTexture ? *mesh.embeddedDiffuseTexture : *fallbackWhiteTex_;

    const RenderPipeline& heroPipeline = emissiveIsBlack(pack.emissive) ? *heroNoEmissivePSO_ : *heroPSO_;

    RenderPassDesc desc;
    desc.clearColor = kClearColor;
    desc.clearDepth = 1.0f;
    RenderPass pass(*device_, target, desc);

    pass.setPipeline(*backdropPSO_);
    pass.setUniformBytes(0, &u, sizeof u);
    pass.setTexture(0, envTex, *clampSampler_);
    pass.draw(3);

    pass.setPipeline(*floorPSO_);
    pass.setUniformBytes(0, &u, sizeof u);
    pass.setVertexBuffer(*floorVB_);
    pass.setTexture(0, envTex, *clampSampler_);
    pass.drawIndexed(*floorIB_, IndexType::uint16, static_cast<uint32_t>(floorIndexCount_));

    pass.setPipeline(heroPipeline);
    pass.setUniformBytes(0, &u, sizeof u);
    pass.setVertexBuffer(*mesh.vertexBuffer);
    pass.setTexture(0, *pack.albedo, *linearSampler_);
    pass.setTexture(1, *pack.normal, *linearSampler_);
    pass.setTexture(2, *pack.orm, *linearSampler_);
    pass.setTexture(3, *pack.emissive, *linearSampler_);
    pass.setTexture(4, envTex, *clampSampler_);
    pass.setTexture(5, embedded, *linearSampler_);
    pass.drawIndexed(*mesh.indexBuffer, IndexType::uint32, static_cast<uint32_t>(mesh.indexCount));
    pass.end();
}

bool LookDevMetalEngine::drawFrame(const pk::gpu::Framebuffer& target, int drawableWidth, int drawableHeight) {
    const double now = clock_->now();
    const double dt = now - lastFrameTime_;
    lastFrameTime_ = now;

    Snapshot snap;
    {
        std::lock_guard<std::mutex> lock(stateLock_);
        if (sceneState_.turntableEnabled) {
            const float step = sceneState_.turntableSpeed * static_cast<float>(std::clamp(dt, 0.001, 0.05));
            // Wrapped so the step keeps its size after hours of turning.
            sceneState_.yaw = std::fmod(sceneState_.yaw + step, kTwoPi);
        }
        snap = {sceneState_, activeMesh_, activePBR_, activeHDRI_};
    }
    if (!snap.mesh || !snap.pack) return false;

    const float height = static_cast<float>(std::max(drawableHeight, 1));
    const float aspect = std::max(static_cast<float>(drawableWidth) / height, 1.0f);
    try {
        device_->run([&] { encodeScene(target, snap, aspect); });
    } catch (const std::exception&) {
        return false;
    }

    ++frameCounter_;
    const double window = now - fpsWindowStart_;
    if (window >= 0.5) {
        const double rate = static_cast<double>(frameCounter_) / window;
        frameCounter_ = 0;
        fpsWindowStart_ = now;
        std::shared_ptr<std::function<void(double)>> callback;
        {
            std::lock_guard<std::mutex> lock(callbackLock_);
            callback = onFPSUpdate_;
        }
        if (callback && mainQueue_) mainQueue_->post([callback, rate] { (*callback)(rate); });
    }
    return true;
}

namespace {

// A frame drawn on the device whose pixels come back through a pixel buffer.
class GpuPendingFrame final : public PendingOffscreenFrame {
public:
    GpuPendingFrame(std::shared_ptr<pk::gpu::Device> device, std::shared_ptr<pk::gpu::ReadbackBuffer> pixels)
        : device_(std::move(device)), pixels_(std::move(pixels)) {}
    std::optional<std::vector<uint8_t>> takeBGRA() override {
        if (!pixels_) return std::nullopt;
        const auto pixels = std::move(pixels_);
        try {
            return device_->finishReadback(*pixels);
        } catch (const std::exception&) {
            return std::nullopt;
        }
    }

private:
    std::shared_ptr<pk::gpu::Device> device_;
    std::shared_ptr<pk::gpu::ReadbackBuffer> pixels_;
};

}  // namespace

std::optional<std::vector<uint8_t>> LookDevMetalEngine::renderOffscreenBGRA(int64_t width, int64_t height,
                                                                         std::optional<float> overrideYaw,
                                                                         const std::optional<LookDevSceneState>& overrideState) {
    return startOffscreenBGRA(width, height, overrideYaw, overrideState)->takeBGRA();
}

std::unique_ptr<PendingOffscreenFrame> LookDevMetalEngine::startOffscreenBGRA(
    int64_t width, int64_t height, std::optional<float> overrideYaw, const std::optional<LookDevSceneState>& overrideState) {
    auto none = std::make_unique<GpuPendingFrame>(device_, nullptr);
    // Sizes must be positive, within the GPU's limit and 4·w·h must fit comfortably.
    constexpr int64_t kMaxSide = 16384;
    if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide) return none;

    Snapshot snap;
    {
        std::lock_guard<std::mutex> lock(stateLock_);
        snap = {overrideState ? *overrideState : sceneState_, activeMesh_, activePBR_, activeHDRI_};
    }
    if (!snap.mesh || !snap.pack) return none;
    if (overrideYaw) snap.state.yaw = *overrideYaw;
    const float aspect = static_cast<float>(width) / static_cast<float>(height < 2 ? 1 : height);

    try {
        // One job: drawn and its read-back issued; the wait for the pixels comes later.
        auto pixels = device_->run([&] {
            using namespace pk::gpu;
            const FramebufferDesc fb =
                makeViewportTargetTextures(*device_, static_cast<int>(width), static_cast<int>(height));
            auto framebuffer = device_->makeFramebuffer(fb);
            encodeScene(*framebuffer, snap, aspect);
            return device_->startReadback(*fb.resolve, ByteOrder::bgra);
        });
        return std::make_unique<GpuPendingFrame>(device_, std::move(pixels));
    } catch (const std::exception&) {
        return none;
    }
}

pk::gpu::FramebufferDesc LookDevMetalEngine::makeViewportTargetTextures(pk::gpu::Device& device, int width,
                                                                        int height) {
    using namespace pk::gpu;
    TextureDesc color;
    color.width = width;
    color.height = height;
    color.sampleCount = 4;
    color.usage = usageRenderTarget;
    TextureDesc resolve = color;
    resolve.sampleCount = 1;
    resolve.usage = usageRenderTarget | usageShaderRead;
    TextureDesc depth = color;
    depth.format = PixelFormat::depth32Float;
    FramebufferDesc fb;
    fb.color = device.makeTexture(color);
    fb.depth = device.makeTexture(depth);
    fb.resolve = device.makeTexture(resolve);
    return fb;
}

std::optional<pk::image::RgbaImage> LookDevMetalEngine::renderOffscreenCGImage(
    int64_t width, int64_t height, std::optional<float> overrideYaw, const std::optional<LookDevSceneState>& overrideState) {
    auto bgra = renderOffscreenBGRA(width, height, overrideYaw, overrideState);
    if (!bgra) return std::nullopt;
    pk::image::RgbaImage image = pk::image::RgbaImage::blank(static_cast<int>(width), static_cast<int>(height));
    for (int y = 0; y < image.height; ++y) {
        const uint8_t* src = bgra->data() + static_cast<size_t>(y) * static_cast<size_t>(width) * 4;
        uint8_t* dst = image.row(y);
        for (int x = 0; x < image.width; ++x) {
            dst[4 * x + 0] = src[4 * x + 2];
            dst[4 * x + 1] = src[4 * x + 1];
            dst[4 * x + 2] = src[4 * x + 0];
            dst[4 * x + 3] = src[4 * x + 3];
        }
    }
    return image;
}

}  // namespace lookdev
