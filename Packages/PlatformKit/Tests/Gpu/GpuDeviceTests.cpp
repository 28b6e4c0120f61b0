// Headless device tests on the EGL surfaceless platform (llvmpipe in CI).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <new>
#include <optional>
#include <stdexcept>
#include <thread>
#include <vector>

#include "PlatformKit/Foundation/StudioError.h"
#include "PlatformKit/Gpu/HeadlessDevice.h"
#include "PlatformKit/Gpu/JobQueue.h"
#include "PlatformKit/Gpu/Passes.h"
#include "PlatformKit/Gpu/Sync.h"

using namespace pk::gpu;

namespace {

// One device for the whole binary.
HeadlessDevice& device() {
    static std::shared_ptr<HeadlessDevice> d = HeadlessDevice::create();
    return *d;
}

const char* kPatternKernel = R"(#version 450
layout(local_size_x = 8, local_size_y = 8) in;
layout(rgba8, binding = 0) uniform writeonly image2D outImage;
layout(std140, binding = 0) uniform Params { uint width; uint height; uint salt; };
void main() {
    uvec2 p = gl_GlobalInvocationID.xy;
    if (p.x >= width || p.y >= height) return;
    vec4 c = vec4(float(p.x & 255u), float(p.y & 255u), float((p.x * 7u + p.y * 3u + salt) & 255u), 200.0) / 255.0;
    imageStore(outImage, ivec2(p), c);
}
)";

// The byte the pattern kernel writes, for comparison.
std::array<uint8_t, 4> patternAt(uint32_t x, uint32_t y, uint32_t salt) {
    return {uint8_t(x & 255u), uint8_t(y & 255u), uint8_t((x * 7u + y * 3u + salt) & 255u), 200};
}

std::shared_ptr<Texture> runPattern(int w, int h, uint32_t salt) {
    static auto program = device().makeComputeProgram(kPatternKernel, "pattern_kernel");
    auto tex = device().makeTexture({PixelFormat::rgba8Unorm, w, h, 1, 1, usageShaderRead | usageShaderWrite});
    device().run([&] {
        ComputePass pass(device());
        pass.setProgram(*program);
        uint32_t params[4] = {uint32_t(w), uint32_t(h), salt, 0};
        pass.setUniformBytes(0, params, sizeof params);
        pass.setImage(0, *tex, ImageAccess::writeOnly);
        pass.dispatchThreads(uint32_t(w), uint32_t(h));
    });
    return tex;
}

}  // namespace

TEST(GpuDevice, OffersCoreContextWithLimits) {
    const auto& info = device().info();
    EXPECT_GE(info.majorVersion * 10 + info.minorVersion, 45) << info.version;
    EXPECT_FALSE(device().platformName().empty());
}

TEST(GpuDevice, CompileErrorCarriesLogAndEntryName) {
    const char* broken = "#version 450\nlayout(local_size_x = 1) in;\nvoid main() { undefined_name = 1; }\n";
    try {
        device().makeComputeProgram(broken, "kestrelune_broken_kernel");
        FAIL() << "compiled";
    } catch (const pk::StudioError& e) {
        EXPECT_EQ(e.domain, "PlatformKit.Gpu");
        EXPECT_EQ(e.code, 10);
        EXPECT_NE(e.description.find("kestrelune_broken_kernel"), std::string::npos);
        EXPECT_NE(e.description.find("undefined_name"), std::string::npos) << e.description;
    }
    // The device keeps working after the failure.
    EXPECT_NO_THROW(runPattern(4, 4, 1));
}

TEST(GpuDevice, ComputePatternReadsBackExactlyInBothByteOrders) {
    // 37 x 21 is not a multiple of the 8 x 8 group: the edge groups must be cut.
    const int w = 37, h = 21;
    auto tex = runPattern(w, h, 5);
    auto rgba = device().readback(*tex, ByteOrder::rgba);
    auto bgra = device().readback(*tex, ByteOrder::bgra);
    ASSERT_EQ(rgba.size(), size_t(w * h * 4));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            auto e = patternAt(x, y, 5);
            const uint8_t* p = &rgba[(size_t(y) * w + x) * 4];
            const uint8_t* q = &bgra[(size_t(y) * w + x) * 4];
            ASSERT_TRUE(p[0] == e[0] && p[1] == e[1] && p[2] == e[2] && p[3] == e[3]) << x << "," << y;
            ASSERT_TRUE(q[0] == e[2] && q[1] == e[1] && q[2] == e[0] && q[3] == e[3]) << x << "," << y;
        }
}

TEST(GpuDevice, UploadThenReadbackKeepsRowsAndStride) {
    const int w = 5, h = 3;
    const size_t stride = 32;  // padded rows
    std::vector<uint8_t> src(stride * h, 0xEE);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w * 4; ++x) src[y * stride + x] = uint8_t(y * 40 + x);
    auto tex = device().makeTexture({PixelFormat::rgba8Unorm, w, h});
    device().upload(*tex, src.data(), stride, ByteOrder::rgba);
    auto out = device().readback(*tex);
    for (int y = 0; y < h; ++y) EXPECT_EQ(0, std::memcmp(&out[y * w * 4], &src[y * stride], w * 4)) << y;
    // BGRA upload lands as RGBA.
    device().upload(*tex, src.data(), stride, ByteOrder::bgra);
    out = device().readback(*tex);
    EXPECT_EQ(out[0], src[2]);
    EXPECT_EQ(out[2], src[0]);
}

TEST(GpuDevice, ReadsBackAnyBuiltMipLevel) {
    // 4 x 2 with a distinct colour per 2 x 2 block: level 1 is those two colours.
    const uint8_t blocks[2][4] = {{200, 40, 0, 255}, {10, 90, 250, 255}};
    std::vector<uint8_t> src(4 * 2 * 4);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x) std::memcpy(&src[(y * 4 + x) * 4], blocks[x / 2], 4);
    auto tex = device().makeTexture({PixelFormat::rgba8Unorm, 4, 2, 3});
    device().upload(*tex, src.data(), 16);
    device().generateMipmaps(*tex);
    auto level1 = device().readback(*tex, ByteOrder::rgba, 1);
    ASSERT_EQ(level1.size(), 2u * 4u);
    EXPECT_EQ(0, std::memcmp(level1.data(), blocks, 8));
    auto level2 = device().readback(*tex, ByteOrder::bgra, 2);  // 1 x 1: the mean, in BGRA
    ASSERT_EQ(level2.size(), 4u);
    EXPECT_NEAR(level2[2], 105, 1);
    EXPECT_NEAR(level2[0], 125, 1);
    EXPECT_EQ(device().readback(*tex), src) << "level 0 stays as uploaded";
    for (int bad : {-1, 3}) EXPECT_THROW(device().readback(*tex, ByteOrder::rgba, bad), pk::StudioError) << bad;
}

namespace {
const char* kTriangleVs = R"(#version 450
layout(std140, binding = 0) uniform P { float depth; float height; };
void main() {
    vec2 v[3] = vec2[](vec2(-1.0, -1.0), vec2(3.0, -1.0), vec2(-1.0, 3.0));
    gl_Position = vec4(v[gl_VertexID], depth, 1.0);
}
)";
const char* kSplitFs = R"(#version 450
layout(location = 0) out vec4 color;
layout(std140, binding = 0) uniform P { float depth; float height; };
void main() {
    // Upper half of the image red, lower half blue; alpha 1.
    color = gl_FragCoord.y > height * 0.5 ? vec4(1.0, 0.0, 0.0, 1.0) : vec4(0.0, 0.0, 1.0, 1.0);
}
)";
}  // namespace

TEST(GpuDevice, MultisampledRenderResolvesTopRowFirst) {
    const int w = 16, h = 8;
    auto color = device().makeTexture({PixelFormat::rgba8Unorm, w, h, 1, 4, usageRenderTarget});
    auto depth = device().makeTexture({PixelFormat::depth32Float, w, h, 1, 4, usageRenderTarget});
    auto resolve = device().makeTexture({PixelFormat::rgba8Unorm, w, h, 1, 1, usageRenderTarget | usageShaderRead});
    auto fb = device().makeFramebuffer({color, depth, resolve});
    auto program = device().makeRenderProgram(kTriangleVs, "tri_vs", kSplitFs, "split_fs");
    auto pipeline = device().makeRenderPipeline({program, {}, BlendMode::none, true, CompareFunction::lessEqual, true});
    device().run([&] {
        RenderPass pass(device(), *fb, {std::array<float, 4>{0.f, 1.f, 0.f, 1.f}, 1.0f});
        pass.setPipeline(*pipeline);
        float u[2] = {0.5f, float(h)};
        pass.setUniformBytes(0, u, sizeof u);
        pass.draw(3);
        pass.end();
    });
    auto bgra = device().readback(*resolve, ByteOrder::bgra);
    // Top row (row 0) is red: B,G,R,A = 0,0,255,255. Bottom row blue.
    EXPECT_EQ(bgra[0], 0);
    EXPECT_EQ(bgra[2], 255);
    EXPECT_EQ(bgra[3], 255);
    const size_t last = size_t(h - 1) * w * 4;
    EXPECT_EQ(bgra[last + 0], 255);
    EXPECT_EQ(bgra[last + 2], 0);
    EXPECT_THROW(device().readback(*color), pk::StudioError);  // multisampled: read the resolve
}

// A read-back started now and taken later gives what an immediate read-back gave at the
// start, in the asked order and with rows top first, while later work changes the
// texture and another read-back is in flight; from the owner thread and from elsewhere.
TEST(GpuDevice, ReadbacksInFlightGiveTheBytesOfTheirStart) {
    const int w = 19, h = 7;
    auto color = device().makeTexture({PixelFormat::rgba8Unorm, w, h, 1, 4, usageRenderTarget});
    auto depth = device().makeTexture({PixelFormat::depth32Float, w, h, 1, 4, usageRenderTarget});
    auto resolve = device().makeTexture({PixelFormat::rgba8Unorm, w, h, 1, 1, usageRenderTarget | usageShaderRead});
    auto fb = device().makeFramebuffer({color, depth, resolve});
    auto program = device().makeRenderProgram(kTriangleVs, "tri_vs", kSplitFs, "split_fs");
    auto pipeline = device().makeRenderPipeline({program, {}, BlendMode::none, true, CompareFunction::lessEqual, true});
    const auto render = [&](float splitHeight) {
        device().run([&] {
            RenderPass pass(device(), *fb, {std::array<float, 4>{0.f, 1.f, 0.f, 1.f}, 1.0f});
            pass.setPipeline(*pipeline);
            float u[2] = {0.5f, splitHeight};
            pass.setUniformBytes(0, u, sizeof u);
            pass.draw(3);
            pass.end();
        });
    };
    auto computed = runPattern(w, h, 9);
    struct Case {
        const char* name;
        bool renderTarget;  // rows come back bottom first and must be turned
        ByteOrder order;
    };
    for (const Case c : {Case{"computed rgba", false, ByteOrder::rgba}, Case{"computed bgra", false, ByteOrder::bgra},
                         Case{"rendered bgra", true, ByteOrder::bgra}, Case{"rendered rgba", true, ByteOrder::rgba}}) {
        for (const bool onOwner : {true, false}) {
            SCOPED_TRACE(std::string(c.name) + (onOwner ? ", owner" : ", worker"));
            const auto body = [&] {
                const Texture& tex = c.renderTarget ? *resolve : *computed;
                if (c.renderTarget) render(float(h));
                const auto expected = device().readback(tex, c.order);
                auto first = device().startReadback(tex, c.order);
                auto other = device().startReadback(*computed, ByteOrder::rgba);
                // Work after the start changes the texture; the bytes taken must not show it.
                if (c.renderTarget) {
                    render(0.0f);
                } else {
                    std::vector<uint8_t> zeros(size_t(w) * h * 4, 0);
                    device().upload(*computed, zeros.data(), size_t(w) * 4);
                }
                EXPECT_EQ(device().finishReadback(*first), expected);
                EXPECT_EQ(device().finishReadback(*first), expected) << "taken again";
                EXPECT_EQ(device().finishReadback(*other).size(), size_t(w) * h * 4);
                if (!c.renderTarget) computed = runPattern(w, h, 9);
            };
            if (onOwner)
                device().run(body);
            else
                body();
        }
    }
    std::vector<uint8_t> small(8);
    auto pending = device().startReadback(*resolve);
    EXPECT_THROW(device().finishReadback(*pending, small), pk::StudioError);
    EXPECT_THROW(device().startReadback(*color), pk::StudioError);  // multisampled: read the resolve
}

TEST(GpuDevice, ClipDepthRunsFromZeroToOne) {
    const int w = 4, h = 4;
    auto color = device().makeTexture({PixelFormat::rgba8Unorm, w, h, 1, 1, usageRenderTarget});
    auto depth = device().makeTexture({PixelFormat::depth32Float, w, h, 1, 1, usageRenderTarget});
    auto fb = device().makeFramebuffer({color, depth, nullptr});
    auto program = device().makeRenderProgram(kTriangleVs, "tri_vs", kSplitFs, "split_fs");
    auto pipeline = device().makeRenderPipeline({program});
    device().run([&] {
        RenderPass pass(device(), *fb, {std::array<float, 4>{0.f, 0.f, 0.f, 1.f}, 1.0f});
        pass.setPipeline(*pipeline);
        float u[2] = {0.25f, float(h)};
        pass.setUniformBytes(0, u, sizeof u);
        pass.draw(3);
    });
    auto bytes = device().readback(*depth);
    float d = 0;
    std::memcpy(&d, bytes.data(), 4);
    EXPECT_FLOAT_EQ(d, 0.25f);  // a -1..1 range would store 0.625
}

TEST(GpuDevice, WorkFromThreeThreadsCompletes) {
    std::atomic<int> good{0};
    std::vector<std::thread> threads;
    for (uint32_t t = 0; t < 3; ++t)
        threads.emplace_back([t, &good] {
            for (int i = 0; i < 10; ++i) {
                auto tex = runPattern(16, 16, t * 100 + i);
                auto bytes = device().readback(*tex);
                auto e = patternAt(3, 4, t * 100 + i);
                const uint8_t* p = &bytes[(4 * 16 + 3) * 4];
                if (p[0] == e[0] && p[1] == e[1] && p[2] == e[2]) ++good;
            }
        });
    for (auto& th : threads) th.join();
    EXPECT_EQ(good.load(), 30);
}

TEST(GpuDevice, HandlesDroppedOnOtherThreadsAndInsideJobs) {
    std::vector<std::shared_ptr<Texture>> textures;
    for (int i = 0; i < 8; ++i) textures.push_back(device().makeTexture({PixelFormat::rgba8Unorm, 8, 8}));
    auto buffer = device().makeBuffer({256});
    std::thread([moved = std::move(textures), b = std::move(buffer)]() mutable {
        moved.clear();
        b.reset();
    }).join();
    // Dropping on the owner thread itself deletes inline.
    device().run([] {
        auto inner = device().makeTexture({PixelFormat::rgba16Float, 4, 4});
        inner.reset();
    });
    EXPECT_NO_THROW(runPattern(8, 8, 2));
}

TEST(GpuDevice, StagingBufferCopyFenceAndTimer) {
    const size_t n = 1 << 16;
    auto staging = device().makeBuffer({n, BufferStorage::persistentMapped});
    ASSERT_NE(staging->mapped(), nullptr);
    auto* p = static_cast<uint8_t*>(staging->mapped());
    for (size_t i = 0; i < n; ++i) p[i] = uint8_t(i * 31 + 7);
    auto target = device().makeBuffer({n});
    uint64_t ns = 0;
    device().run([&] {
        TimerQuery timer(device());
        timer.begin();
        device().copyBuffer(*staging, 0, *target, 0, n);
        timer.end();
        Fence fence(device());
        EXPECT_TRUE(fence.wait());
        ns = timer.elapsedNanoseconds();
    });
    (void)ns;  // llvmpipe may report 0 for a copy; the query must simply complete
    auto back = device().readBuffer(*target, 0, n);
    EXPECT_EQ(0, std::memcmp(back.data(), p, n));
}

TEST(GpuDevice, BadArgumentsAreErrorsNotCrashes) {
    EXPECT_THROW(device().makeTexture({PixelFormat::rgba8Unorm, 0, 4}), pk::StudioError);
    EXPECT_THROW(device().makeTexture({PixelFormat::rgba8Unorm, 4, 4, 1, 2, usageRenderTarget}), pk::StudioError);
    EXPECT_THROW(device().makeTexture({PixelFormat::rgba8Unorm, 4, 4, 4}), pk::StudioError);  // 4x4 has 3 levels
    EXPECT_THROW(device().makeTexture({PixelFormat::rgba8Unorm, 100000, 4}), pk::StudioError);
    auto tex = device().makeTexture({PixelFormat::rgba8Unorm, 4, 4});
    std::vector<uint8_t> small(8);
    EXPECT_THROW(device().readback(*tex, small), pk::StudioError);
    EXPECT_THROW(device().upload(*tex, small.data(), 8), pk::StudioError);
    EXPECT_THROW(ComputePass{device()}, pk::StudioError);  // not on the owner thread
    EXPECT_THROW(device().makeBuffer({0}), pk::StudioError);
}

TEST(GpuDevice, HalfFloatTexturesRoundTrip) {
    auto tex = device().makeTexture({PixelFormat::rgba16Float, 2, 1});
    const uint16_t halves[8] = {0x3C00, 0x4000, 0x3800, 0x3C00, 0x0000, 0x5640, 0xBC00, 0x3C00};
    device().upload(*tex, halves, 16);
    auto out = device().readback(*tex);
    ASSERT_EQ(out.size(), 16u);
    EXPECT_EQ(0, std::memcmp(out.data(), halves, 16));
}

namespace {
const char* kSampleLodKernel = R"(#version 450
layout(local_size_x = 1) in;
layout(binding = 0) uniform sampler2D tex;
layout(rgba8, binding = 1) uniform writeonly image2D outImage;
layout(std140, binding = 0) uniform P { float lod; };
void main() { imageStore(outImage, ivec2(0), textureLod(tex, vec2(19.5, 44.5) / 64.0, lod)); }  // a texel centre
)";
// Texture coordinates stretched 128-fold along y: a footprint 1 texel wide and 128 tall.
const char* kStretchedFs = R"(#version 450
layout(location = 0) out vec4 color;
layout(binding = 0) uniform sampler2D tex;
void main() { color = texture(tex, vec2(gl_FragCoord.x / 256.0, gl_FragCoord.y * 0.5)); }
)";

// A square RGBA8 texture of `side` with its full mip chain; level 0 grey from f(x, y).
template <class F>
std::shared_ptr<Texture> mippedTexture(int side, F f) {
    auto tex = device().makeTexture({PixelFormat::rgba8Unorm, side, side, fullMipLevels(side, side), 1, usageShaderRead});
    std::vector<uint8_t> px(size_t(side) * side * 4);
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) {
            uint8_t* p = &px[(size_t(y) * side + x) * 4];
            p[0] = p[1] = p[2] = f(x, y);
            p[3] = 255;
        }
    device().upload(*tex, px.data(), size_t(side) * 4);
    device().generateMipmaps(*tex);
    return tex;
}
}  // namespace

// A pixel checker has no detail left one level down: every mip level holds its mean grey.
// Level 0, which readback and PNG files see, keeps the checker.
TEST(GpuDevice, MipChainOfACheckerHoldsItsMean) {
    EXPECT_EQ(fullMipLevels(64, 64), 7);
    EXPECT_EQ(fullMipLevels(1, 1), 1);
    EXPECT_EQ(fullMipLevels(300, 5), 9);
    auto checker = [](int x, int y) { return uint8_t(((x + y) & 1) ? 255 : 0); };
    auto tex = mippedTexture(64, checker);
    const auto level0 = device().readback(*tex);
    for (size_t i = 0; i < level0.size(); i += 4) ASSERT_EQ(level0[i], checker(int(i / 4 % 64), int(i / 4 / 64)));

    SamplerDesc desc;
    desc.mipmapped = true;
    auto sampler = device().makeSampler(desc);
    static auto program = device().makeComputeProgram(kSampleLodKernel, "sample_lod_kernel");
    auto out = device().makeTexture({PixelFormat::rgba8Unorm, 1, 1, 1, 1, usageShaderRead | usageShaderWrite});
    for (float lod : {0.0f, 1.0f, 3.5f, 6.0f}) {
        device().run([&] {
            ComputePass pass(device());
            pass.setProgram(*program);
            const float params[4] = {lod, 0, 0, 0};
            pass.setUniformBytes(0, params, sizeof params);
            pass.setTexture(0, *tex, *sampler);
            pass.setImage(1, *out, ImageAccess::writeOnly);
            pass.dispatchThreads(1, 1);
        });
        EXPECT_NEAR(device().readback(*out)[0], lod == 0.0f ? 255 : 128, 2) << "lod " << lod;
    }
}

// Stripes across a footprint stretched along them: trilinear filtering picks the level of
// the long axis and greys them out; anisotropic filtering keeps them where the GL has it.
TEST(GpuDevice, AnisotropicSamplerKeepsDetailAcrossAStretchedFootprint) {
    if (device().info().maxAnisotropy < 16.0f) GTEST_SKIP() << "no 16x anisotropic filtering here";
    auto stripes = mippedTexture(256, [](int x, int) { return uint8_t((x / 8) & 1 ? 255 : 0); });
    const int w = 256, h = 16;
    auto color = device().makeTexture({PixelFormat::rgba8Unorm, w, h, 1, 1, usageRenderTarget});
    auto fb = device().makeFramebuffer({color, nullptr, nullptr});
    auto program = device().makeRenderProgram(kTriangleVs, "tri_vs", kStretchedFs, "stretched_fs");
    auto pipeline = device().makeRenderPipeline({program, {}, BlendMode::none, false, CompareFunction::always, false});
    auto contrast = [&](float anisotropy) {
        SamplerDesc desc;
        desc.mipmapped = true;
        desc.maxAnisotropy = anisotropy;
        auto sampler = device().makeSampler(desc);
        device().run([&] {
            RenderPass pass(device(), *fb, {std::array<float, 4>{0.f, 0.f, 0.f, 1.f}, std::nullopt});
            pass.setPipeline(*pipeline);
            float u[2] = {0.5f, float(h)};
            pass.setUniformBytes(0, u, sizeof u);
            pass.setTexture(0, *stripes, *sampler);
            pass.draw(3);
            pass.end();
        });
        const auto px = device().readback(*color);
        int lo = 255, hi = 0;
        for (int x = 0; x < w; ++x) {
            const int v = px[(size_t(h / 2) * w + x) * 4];
            lo = std::min(lo, v), hi = std::max(hi, v);
        }
        return hi - lo;
    };
    const int trilinear = contrast(1.0f), anisotropic = contrast(16.0f);
    EXPECT_LT(trilinear, 40);
    EXPECT_GT(anisotropic, 3 * trilinear + 60);
}

// Anisotropic filtering only where the device does it well: never on Mesa's software
// rasterisers, elsewhere what is asked clamped to the device's limit.
TEST(GpuDevice, MaterialSamplerAnisotropyFollowsTheRenderer) {
    struct Case {
        const char* renderer;
        float deviceMax;
        float expected;
    };
    const Case cases[] = {
        {"llvmpipe (LLVM 15.0.6, 256 bits)", 16.0f, 1.0f},
        {"softpipe", 16.0f, 1.0f},
        {"zink (llvmpipe (LLVM 15.0.6, 256 bits))", 16.0f, 1.0f},
        {"NVIDIA GeForce RTX 3070/PCIe/SSE2", 16.0f, 16.0f},
        {"AMD Radeon RX 6800 (navi21, LLVM 15.0.6, DRM 3.49, 6.1.0-13-amd64)", 16.0f, 16.0f},
        {"Mesa Intel(R) UHD Graphics 620 (KBL GT2)", 8.0f, 8.0f},
        {"Some GPU without the extension", 1.0f, 1.0f},
    };
    for (const Case& c : cases) {
        DeviceInfo info;
        info.renderer = c.renderer;
        info.maxAnisotropy = c.deviceMax;
        EXPECT_EQ(materialAnisotropy(info), c.expected) << c.renderer;
    }
    DeviceInfo hardware;
    hardware.renderer = "NVIDIA GeForce RTX 3070/PCIe/SSE2";
    hardware.maxAnisotropy = 16.0f;
    EXPECT_EQ(materialAnisotropy(hardware, 4.0f), 4.0f);
    EXPECT_EQ(materialAnisotropy(hardware, 0.0f), 1.0f);
    // The device's own report decides: the test device here is Mesa's rasteriser.
    const DeviceInfo& own = device().info();
    EXPECT_EQ(materialAnisotropy(own), isSoftwareRasterizer(own.renderer) ? 1.0f : std::min(16.0f, own.maxAnisotropy));
}

TEST(GpuDevice, AJobThatThrowsFailsAloneAndItsOwnerThreadGoesOn) {
    // A waited-for job hands its own exception, whatever its type, to its waiter.
    EXPECT_THROW(device().run([] { throw std::bad_alloc(); }), std::bad_alloc);
    // A posted job has nobody to fail to but stderr; the jobs behind it still run.
    testing::internal::CaptureStderr();
    device().queue()->post([] { throw std::runtime_error("stale handle"); });
    EXPECT_NO_THROW(runPattern(8, 8, 3));

    // The same on a queue drained by its owner between frames, as the app's main loop does.
    JobQueue q;
    q.setOwner(std::this_thread::get_id());
    std::atomic<bool> done{false};
    int value = 0;
    std::optional<std::string> waiterError;
    std::thread other([&] {
        q.post([] { throw 42; });
        try {
            q.runAndWait([&] { value = 7; });
        } catch (const pk::StudioError& e) {
            waiterError = e.description;
        }
        done = true;
    });
    while (!done.load()) {
        q.drain();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    other.join();
    EXPECT_EQ(value, 7);
    EXPECT_EQ(waiterError, std::nullopt);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("GPU job failed: stale handle\n"), std::string::npos) << err;
    EXPECT_NE(err.find("GPU job failed: Unknown error.\n"), std::string::npos) << err;
}
