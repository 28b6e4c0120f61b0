#include "PlatformKit/Gpu/Resources.h"

#include "PlatformKit/Gpu/GlCommon.h"
#include "PlatformKit/Gpu/JobQueue.h"
#include "PlatformKit/Gpu/Sync.h"

namespace pk::gpu {
namespace detail {

GlObject::GlObject(std::shared_ptr<JobQueue> queue, Kind kind, uint32_t name)
    : queue_(std::move(queue)), kind_(kind), name_(name) {}

GlObject::~GlObject() {
    if (!queue_ || name_ == 0) return;
    GLuint name = name_;
    Kind kind = kind_;
    // Deletion needs the owner's context; elsewhere it is queued, never waited for, so a
    // handle dropped while the owner waits on this thread cannot deadlock.
    queue_->post([name, kind] {
        switch (kind) {
            case Kind::buffer: glDeleteBuffers(1, &name); break;
            case Kind::texture: glDeleteTextures(1, &name); break;
            case Kind::sampler: glDeleteSamplers(1, &name); break;
            case Kind::framebuffer: glDeleteFramebuffers(1, &name); break;
            case Kind::vertexArray: glDeleteVertexArrays(1, &name); break;
            case Kind::program: glDeleteProgram(name); break;
            case Kind::query: glDeleteQueries(1, &name); break;
        }
    });
}

}  // namespace detail

Buffer::Buffer(detail::GlObject&& object, BufferDesc desc, void* mapped)
    : object_(std::move(object)), desc_(desc), mapped_(mapped) {}

ReadbackBuffer::ReadbackBuffer(detail::GlObject&& buffer, const void* mapped, size_t rowBytes, int rows,
                               bool bottomUp, std::unique_ptr<Fence> fence)
    : buffer_(std::move(buffer)), mapped_(mapped), rowBytes_(rowBytes), rows_(rows), bottomUp_(bottomUp),
      fence_(std::move(fence)) {}

// The fence and the buffer are deleted on the owner, queued from wherever this is dropped.
ReadbackBuffer::~ReadbackBuffer() = default;

Texture::Texture(detail::GlObject&& object, TextureDesc desc) : object_(std::move(object)), desc_(desc) {}

Sampler::Sampler(detail::GlObject&& object, SamplerDesc desc) : object_(std::move(object)), desc_(desc) {}

Framebuffer::Framebuffer(std::shared_ptr<detail::GlObject> drawFbo, std::shared_ptr<detail::GlObject> resolveFbo,
                         FramebufferDesc desc, int width, int height)
    : drawFbo_(std::move(drawFbo)), resolveFbo_(std::move(resolveFbo)), desc_(std::move(desc)), width_(width),
      height_(height) {}

}  // namespace pk::gpu
