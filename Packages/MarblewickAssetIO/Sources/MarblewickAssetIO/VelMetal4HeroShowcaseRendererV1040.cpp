#include "MarblewickAssetIO/VelMetal4HeroShowcaseRendererV1040.h"

#include <cmath>
#include <exception>
#include <string>
#include <system_error>

#include "PlatformKit/Foundation/Files.h"
#include "PlatformKit/Foundation/StudioError.h"
#include "PlatformKit/Gpu/Device.h"
#include "PlatformKit/Gpu/Passes.h"
#include "PlatformKit/Image/Image.h"
#include "embedded/hero_showcase_common_glsl.h"
#include "embedded/hero_showcase_floor_fs_glsl.h"
#include "embedded/hero_showcase_floor_vs_glsl.h"
#include "embedded/hero_showcase_hero_fs_glsl.h"
#include "embedded/hero_showcase_hero_vs_glsl.h"

namespace assetio {

namespace fs = std::filesystem;
namespace gpu = pk::gpu;
using Renderer = VelMetal4HeroShowcaseRendererV1040;
using Catalog = VelBlenderHeroKitCatalogV1040;

const pk::float3 Renderer::kEye{0.0f, 3.85f, 9.2f};
const pk::float3 Renderer::kTarget{0.0f, 0.72f, 0.0f};
const pk::float3 Renderer::kUp{0.0f, 1.0f, 0.0f};
const pk::float4 Renderer::kCamPos{0.0f, 3.85f, 9.2f, 1.0f};
const pk::float4 Renderer::kSunDir{0.55f, 0.85f, 0.65f, 0.0f};

const std::array<VelHeroPlacementV1040, 6> Renderer::placements = {{
    {{-3.8f, 0.0f, -1.5f}, 0.35f, 1.0f},
    {{0.0f, 0.45f, -1.6f}, 0.25f, 1.05f},
    {{3.7f, 0.0f, -1.4f}, -0.35f, 1.12f},
    {{-2.1f, 0.0f, 2.1f}, 0.2f, 0.95f},
    {{0.9f, 0.0f, 2.2f}, 0.12f, 1.02f},
    {{3.4f, 0.05f, 2.0f}, 0.45f, 1.2f},
}};

namespace {

std::string stageSource(const char* stage) {
    std::string s = "#version 450\n";
    s += hero_showcase_common_glsl;
    s += stage;
    return s;
}

}  // namespace

std::unique_ptr<Renderer> Renderer::create(std::shared_ptr<gpu::Device> device) {
    if (!device) return nullptr;
    try {
        std::unique_ptr<Renderer> r(new Renderer());
        r->device_ = device;
        r->commandQueue_ = device->queue();
        if (!r->commandQueue_) return nullptr;
        const auto heroProgram = device->makeRenderProgram(stageSource(hero_showcase_hero_vs_glsl), "hero_vs",
                                                           stageSource(hero_showcase_hero_fs_glsl), "hero_fs");
        const auto floorProgram =
            device->makeRenderProgram(stageSource(hero_showcase_floor_vs_glsl), "studio_floor_vs",
                                      stageSource(hero_showcase_floor_fs_glsl), "studio_floor_fs");
        // No vertex layout: the hero records are pulled from a storage buffer and the
        // floor's corners are generated.
        gpu::RenderPipelineDesc desc;
        desc.blend = gpu::BlendMode::none;
        desc.depthTest = true;
        desc.depthCompare = gpu::CompareFunction::lessEqual;
        desc.depthWrite = true;
        desc.program = heroProgram;
        r->pipeline_ = device->makeRenderPipeline(desc);
        desc.program = floorProgram;
        r->floorPipeline_ = device->makeRenderPipeline(desc);
        if (!r->pipeline_ || !r->floorPipeline_) return nullptr;
        return r;
    } catch (const std::exception&) {
        return nullptr;
    }
}

std::vector<VelHeroKitAuditV1040> Renderer::auditAndRenderShowcaseProof(const fs::path& outputURL) const {
    return auditAndRenderShowcaseProof(outputURL, Catalog::bundleResourceFolder());
}

std::vector<VelHeroKitAuditV1040> Renderer::auditAndRenderShowcaseProof(const fs::path& outputURL,
                                                                        const fs::path& resourceFolder) const {
    std::vector<VelLoadedMWMSv2HeroV1040> heroes;
    for (const auto& name : Catalog::canonicalFilenames) {
        try {
            const auto decoded = Catalog::readMWMSv2(name, resourceFolder);
            if (!decoded) continue;
            if (auto loaded = Catalog::upload(*decoded, *device_)) heroes.push_back(std::move(*loaded));
        } catch (const std::exception&) {
            // A hero that cannot be held in memory is skipped like any unreadable one.
        }
    }
    std::vector<VelHeroKitAuditV1040> audits;
    audits.reserve(heroes.size());
    for (const auto& h : heroes) audits.push_back(h.audit);

    gpu::Device& device = *device_;
    std::shared_ptr<gpu::Texture> rendered;
    try {
        rendered = device.run([&]() -> std::shared_ptr<gpu::Texture> {
            std::shared_ptr<gpu::Texture> color, depth;
            try {
                color = device.makeTexture({.format = gpu::PixelFormat::rgba8Unorm,
                                            .width = kWidth,
                                            .height = kHeight,
                                            .usage = gpu::usageRenderTarget | gpu::usageShaderRead});
                depth = device.makeTexture({.format = gpu::PixelFormat::depth32Float,
                                            .width = kWidth,
                                            .height = kHeight,
                                            .usage = gpu::usageRenderTarget});
            } catch (const std::exception&) {
                return nullptr;  // no target: nothing rendered, no file
            }
            if (!color || !depth) return nullptr;

            // Fresh texture storage is undefined; fill it with the clear colour before
            // any encoding, so a pass that cannot be made still writes defined pixels.
            {
                std::vector<uint8_t> fill(size_t(4) * kWidth * kHeight);
                const uint8_t rgba[4] = {
                    static_cast<uint8_t>(std::lround(kClearColor[0] * 255.0f)),
                    static_cast<uint8_t>(std::lround(kClearColor[1] * 255.0f)),
                    static_cast<uint8_t>(std::lround(kClearColor[2] * 255.0f)),
                    255,
                };
                for (size_t i = 0; i < fill.size(); i += 4) std::copy(rgba, rgba + 4, fill.begin() + long(i));
                device.upload(*color, fill.data(), size_t(4) * kWidth, gpu::ByteOrder::rgba);
            }

            const pk::float4x4 view = makeLookAt(kEye, kTarget, kUp);
            const pk::float4x4 proj = makePerspective(44.0f, 1600.0f / 900.0f, 0.1f, 80.0f);
            const pk::float4x4 viewProj = proj * view;

            try {
                gpu::FramebufferDesc targets;
                targets.color = color;
                targets.depth = depth;
                const auto framebuffer = device.makeFramebuffer(targets);
                gpu::RenderPass pass(device, *framebuffer,
                                     {.clearColor = kClearColor, .clearDepth = 1.0f});
                HeroUniforms u{.mvp = viewProj, .model = pk::float4x4(1.0f), .camPos = kCamPos, .sunDir = kSunDir};
                pass.setPipeline(*floorPipeline_);
                pass.setUniformBytes(1, &u, sizeof u);
                pass.draw(6);

                pass.setPipeline(*pipeline_);
                for (size_t n = 0; n < heroes.size() && n < placements.size(); ++n) {
                    const auto& slot = placements[n];
                    u.model = makeTRS(slot.position, slot.rotationY, slot.scale);
                    u.mvp = viewProj * u.model;
                    pass.setUniformBytes(1, &u, sizeof u);
                    pass.setStorageBuffer(0, *heroes[n].vertexBuffer);
                    pass.drawIndexed(*heroes[n].indexBuffer, gpu::IndexType::uint32,
                                     static_cast<uint32_t>(heroes[n].indexCount));
                }
                pass.end();
            } catch (const std::exception&) {
                // What was encoded stays; the image is still written.
            }
            return color;
        });
    } catch (const std::exception&) {
        // The device is gone: the audits are all there is to give.
    }
    // Read back on this thread (inline on the owner, one job elsewhere) after the render's
    // job, so the owner is not held while the image is encoded and written.
    if (rendered) writeBGRA8TextureToPNG(device, *rendered, outputURL);
    return audits;
}

pk::float4x4 Renderer::makeLookAt(pk::float3 eye, pk::float3 target, pk::float3 up) {
    const pk::float3 z = glm::normalize(eye - target);
    const pk::float3 x = glm::normalize(glm::cross(up, z));
    const pk::float3 y = glm::cross(z, x);
    pk::float4x4 m(1.0f);
    // m[column][row]: the rows are x, y and z, the last column the translation.
    for (int c = 0; c < 3; ++c) {
        m[c][0] = x[c];
        m[c][1] = y[c];
        m[c][2] = z[c];
        m[c][3] = 0.0f;
    }
    m[3] = pk::float4(-glm::dot(x, eye), -glm::dot(y, eye), -glm::dot(z, eye), 1.0f);
    return m;
}

pk::float4x4 Renderer::makePerspective(float fovDeg, float aspect, float near, float far) {
    // The constant is 3.1415925 (not the float nearest pi) so the projection matches
    // images already rendered.
    const float ys = 1.0f / std::tan(fovDeg * 3.1415925f / 360.0f);
    const float xs = ys / aspect;
    pk::float4x4 m(0.0f);
    m[0] = pk::float4(xs, 0.0f, 0.0f, 0.0f);
    m[1] = pk::float4(0.0f, ys, 0.0f, 0.0f);
    m[2] = pk::float4(0.0f, 0.0f, far / (near - far), -1.0f);
    m[3] = pk::float4(0.0f, 0.0f, near * far / (near - far), 0.0f);
    return m;
}

pk::float4x4 Renderer::makeTRS(pk::float3 pos, float rotY, float scale) {
    const float c = std::cos(rotY), n = std::sin(rotY), s = scale;
    pk::float4x4 m;
    m[0] = pk::float4(s * c, 0.0f, -s * n, 0.0f);
    m[1] = pk::float4(0.0f, s, 0.0f, 0.0f);
    m[2] = pk::float4(s * n, 0.0f, s * c, 0.0f);
    m[3] = pk::float4(pos.x, pos.y, pos.z, 1.0f);
    return m;
}

bool Renderer::writeBGRA8TextureToPNG(gpu::Device& device, const gpu::Texture& texture, const fs::path& outputURL) {
    const int w = texture.width(), h = texture.height();
    if (w < 1 || h < 1 || texture.format() != gpu::PixelFormat::rgba8Unorm) return false;
    try {
        const size_t stride = size_t(4) * size_t(w);
        std::vector<uint8_t> pixels(stride * size_t(h), 255);
        device.readback(texture, pixels, gpu::ByteOrder::bgra);
        // The proof is opaque whatever alpha the render left.
        for (size_t i = 3; i < pixels.size(); i += 4) pixels[i] = 255;
        if (outputURL.has_parent_path()) {
            std::error_code ec;
            fs::create_directories(outputURL.parent_path(), ec);  // a failure shows at the write
        }
        // Whole or not at all: a full disk must not leave a cut-off proof over the last good one.
        pk::atomicWrite(outputURL, pk::image::encodePng(pixels.data(), w, h, stride, pk::image::ChannelOrder::bgra));
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace assetio
