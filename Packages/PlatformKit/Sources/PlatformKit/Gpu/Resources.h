#pragma once
// GPU object handles. Each is held by shared_ptr; dropping the last reference deletes the
// GL object on the device's owner thread (queued when dropped elsewhere), so handles may
// be released from any thread. A handle outliving its device is harmless to drop but
// must not be used.
#include <cstdint>
#include <memory>
#include <utility>

#include "PlatformKit/Gpu/GpuTypes.h"

namespace pk::gpu {

class JobQueue;
class Fence;

namespace detail {
// A GL name plus what deletes it on the owner thread.
class GlObject {
public:
    enum class Kind { buffer, texture, sampler, framebuffer, vertexArray, program, query };
    GlObject(std::shared_ptr<JobQueue> queue, Kind kind, uint32_t name);
    ~GlObject();
    GlObject(GlObject&& other) noexcept
        : queue_(std::move(other.queue_)), kind_(other.kind_), name_(std::exchange(other.name_, 0u)) {}
    GlObject(const GlObject&) = delete;
    GlObject& operator=(const GlObject&) = delete;
    GlObject& operator=(GlObject&&) = delete;
    uint32_t name() const { return name_; }

private:
    std::shared_ptr<JobQueue> queue_;
    Kind kind_;
    uint32_t name_;
};
}  // namespace detail

// A linear block of GPU memory (vertices, indices, storage, staging).
class Buffer {
public:
    Buffer(detail::GlObject&& object, BufferDesc desc, void* mapped);
    size_t size() const { return desc_.size; }
    BufferStorage storage() const { return desc_.storage; }
    // The CPU address of a persistently mapped buffer (coherent); null otherwise.
    void* mapped() const { return mapped_; }
    uint32_t glName() const { return object_.name(); }

private:
    detail::GlObject object_;
    BufferDesc desc_;
    void* mapped_;
};

// Pixels of a texture on their way back to the CPU: a persistently mapped pixel-pack
// buffer that the copy was issued into, and the fence after it. Made by
// Device::startReadback, emptied by Device::finishReadback; while it waits the device is
// free to take the next frame's work.
class ReadbackBuffer {
public:
    ReadbackBuffer(detail::GlObject&& buffer, const void* mapped, size_t rowBytes, int rows, bool bottomUp,
                   std::unique_ptr<Fence> fence);
    ~ReadbackBuffer();
    ReadbackBuffer(const ReadbackBuffer&) = delete;
    ReadbackBuffer& operator=(const ReadbackBuffer&) = delete;
    // Bytes the texture's level 0 gives: rowBytes × rows.
    size_t size() const { return rowBytes_ * static_cast<size_t>(rows_); }

private:
    friend class Device;
    detail::GlObject buffer_;
    const void* mapped_;
    size_t rowBytes_;
    int rows_;
    bool bottomUp_;  // a render target's rows, which come back bottom first
    std::unique_ptr<Fence> fence_;
    bool arrived_ = false;  // the fence has been passed; owner thread only
};

// A 2D texture with immutable storage. Memory row 0 is the top of the image for uploads
// and compute writes (image coordinates y down); rasterised render targets are stored
// bottom row first, which readback accounts for (see Device::readback).
class Texture {
public:
    Texture(detail::GlObject&& object, TextureDesc desc);
    const TextureDesc& desc() const { return desc_; }
    int width() const { return desc_.width; }
    int height() const { return desc_.height; }
    PixelFormat format() const { return desc_.format; }
    uint32_t glName() const { return object_.name(); }

private:
    detail::GlObject object_;
    TextureDesc desc_;
};

class Sampler {
public:
    Sampler(detail::GlObject&& object, SamplerDesc desc);
    const SamplerDesc& desc() const { return desc_; }
    uint32_t glName() const { return object_.name(); }

private:
    detail::GlObject object_;
    SamplerDesc desc_;
};

// Attachments of a render pass: a colour target (1 or 4 samples), an optional depth
// target with the same sample count, and an optional single-sample resolve texture that
// the pass's end resolves the colour into, or, with resolveToWindow, the default
// framebuffer of the device's context (the SDL window). Without a colour target the
// framebuffer is the window's default framebuffer itself.
struct FramebufferDesc {
    std::shared_ptr<Texture> color;
    std::shared_ptr<Texture> depth;
    std::shared_ptr<Texture> resolve;
    bool resolveToWindow = false;
};

class Framebuffer {
public:
    Framebuffer(std::shared_ptr<detail::GlObject> drawFbo, std::shared_ptr<detail::GlObject> resolveFbo,
                FramebufferDesc desc, int width, int height);
    const FramebufferDesc& desc() const { return desc_; }
    int width() const { return width_; }
    int height() const { return height_; }
    uint32_t drawName() const { return drawFbo_ ? drawFbo_->name() : 0; }
    uint32_t resolveName() const { return resolveFbo_ ? resolveFbo_->name() : 0; }
    bool isWindow() const { return !drawFbo_; }

private:
    std::shared_ptr<detail::GlObject> drawFbo_;
    std::shared_ptr<detail::GlObject> resolveFbo_;
    FramebufferDesc desc_;
    int width_, height_;
};

}  // namespace pk::gpu
