#pragma once
// A GPU device: one OpenGL 4.5 core context and the one thread that owns it.
//
// Every call may be made from any thread. Calls from another thread are submitted to the
// owner as a job and waited for; calls from the owner run inline, so nesting never
// deadlocks. A job (Device::run) is the unit of GPU work, like a command buffer: the GL
// state it sets is its own. Made by HeadlessDevice (own thread, EGL) or WindowDevice
// (the SDL window's context on the main thread, drained by the main loop).
//
// Errors: StudioError, domain "PlatformKit.Gpu" (1 no usable context, 2 device shut
// down, 3 owner-thread-only call elsewhere, 4 bad argument, 5 a read-back
// the GPU did not finish within a minute, 10/11 shader compile/link,
// GL error codes 0x0500... for failed GL calls).
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "PlatformKit/Gpu/GpuTypes.h"
#include "PlatformKit/Gpu/JobQueue.h"
#include "PlatformKit/Gpu/Pipeline.h"
#include "PlatformKit/Gpu/Program.h"
#include "PlatformKit/Gpu/Resources.h"

namespace pk::gpu {

struct DeviceInfo {
    std::string vendor;
    std::string renderer;
    std::string version;
    int majorVersion = 0;
    int minorVersion = 0;
    int uniformOffsetAlignment = 256;
    // Largest anisotropy a sampler can use (GL 4.6 or the anisotropic filtering
    // extension); 1 without either.
    float maxAnisotropy = 1.0f;
};

// True for Mesa's software rasterisers (llvmpipe, softpipe), told by the GL_RENDERER
// text, whatever GL or driver layer carries them.
bool isSoftwareRasterizer(std::string_view renderer);

// The anisotropy a material sampler should ask for on this device. On hardware, `wanted`
// clamped to what the device offers. On a software rasteriser, 1 (plain trilinear):
// there anisotropic sampling costs about four times trilinear at every level, gains
// nothing on the studio's materials, and its fragment loop can run for minutes on a
// grazing footprint, stalling the frame that waits for it.
float materialAnisotropy(const DeviceInfo& info, float wanted = 16.0f);

namespace detail {
class UniformRing;
}

class Device {
public:
    virtual ~Device();
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    // Runs fn on the owner thread with the context current and returns its result;
    // exceptions thrown by fn reach the caller.
    template <class F>
    auto run(F&& fn) -> std::invoke_result_t<F&> {
        using R = std::invoke_result_t<F&>;
        if constexpr (std::is_void_v<R>) {
            queue_->runAndWait([&] { fn(); });
        } else {
            std::optional<R> result;
            queue_->runAndWait([&] { result.emplace(fn()); });
            return std::move(*result);
        }
    }
    bool isOwnerThread() const { return queue_->isOwnerThread(); }
    // Throws StudioError code 3 unless called on the owner thread.
    void requireOwnerThread(const char* what) const;
    const DeviceInfo& info() const { return info_; }

    // Buffers. `initial` (size bytes) may be null.
    std::shared_ptr<Buffer> makeBuffer(const BufferDesc& desc, const void* initial = nullptr);
    void updateBuffer(Buffer& buffer, size_t offset, const void* data, size_t size);
    void copyBuffer(const Buffer& src, size_t srcOffset, Buffer& dst, size_t dstOffset, size_t size);
    std::vector<uint8_t> readBuffer(const Buffer& buffer, size_t offset, size_t size);

    // Textures: immutable storage of desc.mipLevels levels (a 4-sample texture has one).
    std::shared_ptr<Texture> makeTexture(const TextureDesc& desc);
    // Fills mip level `level` from rows top first, `bytesPerRow` apart. 8-bit textures
    // take RGBA or BGRA bytes; rgba16Float takes four halves per pixel (order ignored).
    void upload(Texture& texture, const void* pixels, size_t bytesPerRow, ByteOrder order = ByteOrder::rgba,
                int level = 0);
    // Fills levels 1 and up from level 0 (box filter); GL errors throw.
    void generateMipmaps(Texture& texture);
    // Mip level `level` (0 unless asked) as tightly packed rows, row 0 at the top of the
    // image (render targets are flipped from GL's bottom-up order). 8-bit textures give 4
    // bytes per pixel in the asked order, rgba16Float 8 bytes (four halves). Waits for
    // the GPU; GL errors throw.
    std::vector<uint8_t> readback(const Texture& texture, ByteOrder order = ByteOrder::rgba, int level = 0);
    void readback(const Texture& texture, std::span<uint8_t> out, ByteOrder order = ByteOrder::rgba, int level = 0);

    // The same bytes without waiting for the GPU: startReadback issues the copy of level 0
    // into a pixel buffer and fences it, so the device can draw the next frame meanwhile;
    // finishReadback waits for that fence (one job when called off the owner) and then
    // copies the bytes out of the buffer on the calling thread. It may be called again
    // for the same bytes. GL errors throw.
    std::shared_ptr<ReadbackBuffer> startReadback(const Texture& texture, ByteOrder order = ByteOrder::rgba);
    void finishReadback(ReadbackBuffer& pending, std::span<uint8_t> out);
    std::vector<uint8_t> finishReadback(ReadbackBuffer& pending);

    std::shared_ptr<Sampler> makeSampler(const SamplerDesc& desc);

    // Programs from GLSL 4.50 text; a compile or link failure throws with the info log.
    std::shared_ptr<Program> makeRenderProgram(std::string_view vertexSource, const std::string& vertexEntry,
                                               std::string_view fragmentSource, const std::string& fragmentEntry);
    std::shared_ptr<Program> makeComputeProgram(std::string_view source, const std::string& entry);
    std::shared_ptr<RenderPipeline> makeRenderPipeline(const RenderPipelineDesc& desc);

    // A framebuffer over the given attachments (checked complete), or the window's
    // default framebuffer of the given size when desc.color is empty.
    std::shared_ptr<Framebuffer> makeFramebuffer(const FramebufferDesc& desc, int windowWidth = 0,
                                                 int windowHeight = 0);

    // Waits until the GPU has finished everything issued so far.
    void finish();

    const std::shared_ptr<JobQueue>& queue() const { return queue_; }
    detail::UniformRing& uniformRing();  // used by the passes

protected:
    explicit Device(std::shared_ptr<JobQueue> queue);
    // Owner thread, context current: checks for 4.5 core, sets clip control, reads the
    // limits. Throws StudioError code 1 when the context is unusable.
    void initializeContext();
    // Owner thread: drops the context's objects held by the device itself.
    void releaseContextObjects();

private:
    std::shared_ptr<JobQueue> queue_;
    DeviceInfo info_;
    std::unique_ptr<detail::UniformRing> uniforms_;
};

}  // namespace pk::gpu
