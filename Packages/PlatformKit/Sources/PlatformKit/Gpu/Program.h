#pragma once
// Programs compiled at run time from embedded GLSL 4.50 source. GLSL has one main() per
// stage, so the entry name given here only labels the program in errors and logs.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "PlatformKit/Gpu/Resources.h"

namespace pk::gpu {

enum class ShaderStage { vertex, fragment, compute };

// One stage's source text and the entry name it stands for.
struct ShaderSource {
    ShaderStage stage;
    std::string_view text;
    std::string entry;
};

// A linked program: either a vertex+fragment pair or a compute kernel.
class Program {
public:
    Program(detail::GlObject&& object, std::string label, std::array<uint32_t, 3> localSize);
    const std::string& label() const { return label_; }
    // The compute kernel's local_size (1,1,1 for render programs).
    std::array<uint32_t, 3> localSize() const { return localSize_; }
    uint32_t glName() const { return object_.name(); }

private:
    detail::GlObject object_;
    std::string label_;
    std::array<uint32_t, 3> localSize_;
};

// Compiles and links on the owner thread. A compile or link failure throws
// StudioError("PlatformKit.Gpu", 10 compile / 11 link, "<entry>: ...\n<info log>").
class ShaderCompiler {
public:
    static uint32_t compileStage(const ShaderSource& source);
    static uint32_t link(std::initializer_list<uint32_t> stages, const std::string& label);
};

}  // namespace pk::gpu
