#pragma once
// Command encoding on the owner thread (inside Device::run): a render pass over a
// framebuffer and a compute pass. Uniform blocks are passed as inline bytes, copied at
// the call like "set bytes", so no buffer is made per draw.
#include <array>
#include <cstdint>
#include <optional>

#include "PlatformKit/Gpu/Device.h"

namespace pk::gpu {

struct RenderPassDesc {
    std::optional<std::array<float, 4>> clearColor;
    std::optional<float> clearDepth;
};

class RenderPass {
public:
    // Binds the framebuffer, sets the viewport to its size and clears as asked.
    RenderPass(Device& device, const Framebuffer& framebuffer, const RenderPassDesc& desc);
    ~RenderPass();  // ends the pass if end() was not called (errors then are dropped)
    RenderPass(const RenderPass&) = delete;
    RenderPass& operator=(const RenderPass&) = delete;

    void setPipeline(const RenderPipeline& pipeline);
    void setUniformBytes(uint32_t binding, const void* data, size_t size);
    void setStorageBuffer(uint32_t binding, const Buffer& buffer, size_t offset = 0);
    void setTexture(uint32_t unit, const Texture& texture, const Sampler& sampler);
    void setVertexBuffer(const Buffer& buffer, size_t offset = 0);
    void draw(uint32_t vertexCount, uint32_t firstVertex = 0);
    void drawIndexed(const Buffer& indices, IndexType type, uint32_t indexCount, size_t byteOffset = 0);
    // Resolves multisampled colour into the resolve target and checks GL errors.
    void end();

private:
    Device& device_;
    const Framebuffer& framebuffer_;
    const RenderPipeline* pipeline_ = nullptr;
    bool ended_ = false;
};

class ComputePass {
public:
    explicit ComputePass(Device& device);
    ComputePass(const ComputePass&) = delete;
    ComputePass& operator=(const ComputePass&) = delete;

    void setProgram(const Program& program);
    void setUniformBytes(uint32_t binding, const void* data, size_t size);
    void setStorageBuffer(uint32_t binding, const Buffer& buffer, size_t offset = 0);
    // An image unit for imageLoad/imageStore (level 0, the texture's own format).
    void setImage(uint32_t unit, const Texture& texture, ImageAccess access);
    void setTexture(uint32_t unit, const Texture& texture, const Sampler& sampler);
    // At least x*y*z threads in groups of the program's local size (threads beyond the
    // grid must be skipped by the kernel). Issues the memory barrier that makes the
    // writes visible to later sampling, image access, readback and buffer reads, and
    // checks GL errors.
    void dispatchThreads(uint32_t x, uint32_t y, uint32_t z = 1);
    void dispatchGroups(uint32_t x, uint32_t y, uint32_t z = 1);

private:
    Device& device_;
    const Program* program_ = nullptr;
};

}  // namespace pk::gpu
