#include "PlatformKit/Gpu/UniformRing.h"

#include "PlatformKit/Foundation/StudioError.h"
#include "PlatformKit/Gpu/GlCommon.h"

namespace pk::gpu::detail {

namespace {
uint32_t makeRingBuffer(size_t capacity) {
    GLuint name = 0;
    glCreateBuffers(1, &name);
    glNamedBufferStorage(name, static_cast<GLsizeiptr>(capacity), nullptr, GL_DYNAMIC_STORAGE_BIT);
    return name;
}
}  // namespace

UniformRing::UniformRing(std::shared_ptr<JobQueue> queue, int alignment)
    : buffer_(std::move(queue), GlObject::Kind::buffer, makeRingBuffer(kCapacity)),
      alignment_(static_cast<size_t>(alignment)) {}

void UniformRing::bind(uint32_t binding, const void* data, size_t size) {
    if (size == 0 || size > 65536) throw StudioError("PlatformKit.Gpu", 4, "Uniform bytes must be 1 to 65536 long.");
    // std140 may round a block up to 16 bytes (56 -> 64); bind that much so the block is
    // fully backed, while only `size` bytes are copied.
    const size_t bound = (size + 15) / 16 * 16;
    size_t start = (offset_ + alignment_ - 1) / alignment_ * alignment_;
    if (start + bound > kCapacity) start = 0;
    glNamedBufferSubData(buffer_.name(), static_cast<GLintptr>(start), static_cast<GLsizeiptr>(size), data);
    glBindBufferRange(GL_UNIFORM_BUFFER, binding, buffer_.name(), static_cast<GLintptr>(start),
                      static_cast<GLsizeiptr>(bound));
    offset_ = start + bound;
}

}  // namespace pk::gpu::detail
