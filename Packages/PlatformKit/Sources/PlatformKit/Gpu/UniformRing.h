#pragma once
// Internal: inline uniform bytes for the passes. Each call copies into the next slice of
// one ring buffer and binds that range; GL orders the update after earlier draws, so a
// slice reused after wrapping never changes what an earlier draw reads.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "PlatformKit/Gpu/Resources.h"

namespace pk::gpu::detail {

class UniformRing {
public:
    UniformRing(std::shared_ptr<JobQueue> queue, int alignment);
    // Owner thread: copies size bytes and binds them at the uniform block binding.
    void bind(uint32_t binding, const void* data, size_t size);

private:
    static constexpr size_t kCapacity = size_t(4) << 20;
    GlObject buffer_;
    size_t alignment_;
    size_t offset_ = 0;
};

}  // namespace pk::gpu::detail
