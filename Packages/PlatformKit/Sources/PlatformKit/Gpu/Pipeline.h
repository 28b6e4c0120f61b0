#pragma once
// Fixed render state bound together with a program, as a pipeline state object would.
#include <memory>
#include <vector>

#include "PlatformKit/Gpu/Program.h"

namespace pk::gpu {

enum class BlendMode {
    none,
    // rgb = src * srcAlpha + dst * (1 - srcAlpha); alpha = src + dst * (1 - srcAlpha)
    alphaOver,
};

enum class CompareFunction { always, less, lessEqual };

// One float vertex attribute read from vertex buffer binding 0.
struct VertexAttribute {
    uint32_t location;
    int components;  // 1..4 floats
    uint32_t offset;
};

struct VertexLayout {
    uint32_t stride = 0;  // 0: no vertex buffer (vertex pulling or generated vertices)
    std::vector<VertexAttribute> attributes;
};

struct RenderPipelineDesc {
    std::shared_ptr<Program> program;
    VertexLayout vertexLayout;
    BlendMode blend = BlendMode::none;
    bool depthTest = true;
    CompareFunction depthCompare = CompareFunction::lessEqual;
    bool depthWrite = true;
    bool cullBackFaces = false;
};

class RenderPipeline {
public:
    RenderPipeline(RenderPipelineDesc desc, detail::GlObject&& vertexArray)
        : desc_(std::move(desc)), vertexArray_(std::move(vertexArray)) {}
    const RenderPipelineDesc& desc() const { return desc_; }
    uint32_t vertexArrayName() const { return vertexArray_.name(); }

private:
    RenderPipelineDesc desc_;
    detail::GlObject vertexArray_;
};

}  // namespace pk::gpu
