#include "PlatformKit/Gpu/Passes.h"

#include "PlatformKit/Foundation/StudioError.h"
#include "PlatformKit/Gpu/GlCommon.h"
#include "PlatformKit/Gpu/UniformRing.h"

namespace pk::gpu {

using detail::checkGl;

namespace {
GLenum glCompare(CompareFunction f) {
    switch (f) {
        case CompareFunction::always: return GL_ALWAYS;
        case CompareFunction::less: return GL_LESS;
        case CompareFunction::lessEqual: return GL_LEQUAL;
    }
    return GL_LEQUAL;
}
GLenum glImageFormat(PixelFormat f) {
    return f == PixelFormat::rgba16Float ? GL_RGBA16F : GL_RGBA8;
}
GLenum glAccess(ImageAccess a) {
    switch (a) {
        case ImageAccess::readOnly: return GL_READ_ONLY;
        case ImageAccess::writeOnly: return GL_WRITE_ONLY;
        case ImageAccess::readWrite: return GL_READ_WRITE;
    }
    return GL_READ_WRITE;
}
}  // namespace

// ---- render ----------------------------------------------------------------

RenderPass::RenderPass(Device& device, const Framebuffer& framebuffer, const RenderPassDesc& desc)
    : device_(device), framebuffer_(framebuffer) {
    device.requireOwnerThread("RenderPass");
    detail::clearGlErrors();
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer.drawName());
    glViewport(0, 0, framebuffer.width(), framebuffer.height());
    glDisable(GL_SCISSOR_TEST);
    if (framebuffer.desc().color && framebuffer.desc().color->desc().sampleCount > 1)
        glEnable(GL_MULTISAMPLE);
    if (desc.clearColor) {
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        const auto& c = *desc.clearColor;
        glClearColor(c[0], c[1], c[2], c[3]);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    if (desc.clearDepth) {
        glDepthMask(GL_TRUE);
        glClearDepth(*desc.clearDepth);
        glClear(GL_DEPTH_BUFFER_BIT);
    }
}

RenderPass::~RenderPass() {
    if (ended_) return;
    try {
        end();
    } catch (...) {
    }
}

void RenderPass::setPipeline(const RenderPipeline& pipeline) {
    const auto& d = pipeline.desc();
    glUseProgram(d.program->glName());
    glBindVertexArray(pipeline.vertexArrayName());
    if (d.blend == BlendMode::alphaOver) {
        glEnable(GL_BLEND);
        glBlendFuncSeparate(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
        glBlendEquation(GL_FUNC_ADD);
    } else {
        glDisable(GL_BLEND);
    }
    if (d.depthTest) {
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(glCompare(d.depthCompare));
    } else {
        glDisable(GL_DEPTH_TEST);
    }
    glDepthMask(d.depthWrite ? GL_TRUE : GL_FALSE);
    if (d.cullBackFaces) {
        glEnable(GL_CULL_FACE);
        glCullFace(GL_BACK);
    } else {
        glDisable(GL_CULL_FACE);
    }
    pipeline_ = &pipeline;
}

void RenderPass::setUniformBytes(uint32_t binding, const void* data, size_t size) {
    device_.uniformRing().bind(binding, data, size);
}

void RenderPass::setStorageBuffer(uint32_t binding, const Buffer& buffer, size_t offset) {
    glBindBufferRange(GL_SHADER_STORAGE_BUFFER, binding, buffer.glName(), static_cast<GLintptr>(offset),
                      static_cast<GLsizeiptr>(buffer.size() - offset));
}

void RenderPass::setTexture(uint32_t unit, const Texture& texture, const Sampler& sampler) {
    glBindTextureUnit(unit, texture.glName());
    glBindSampler(unit, sampler.glName());
}

void RenderPass::setVertexBuffer(const Buffer& buffer, size_t offset) {
    if (!pipeline_) throw StudioError("PlatformKit.Gpu", 4, "Set a pipeline before its vertex buffer.");
    glVertexArrayVertexBuffer(pipeline_->vertexArrayName(), 0, buffer.glName(), static_cast<GLintptr>(offset),
                              static_cast<GLsizei>(pipeline_->desc().vertexLayout.stride));
}

void RenderPass::draw(uint32_t vertexCount, uint32_t firstVertex) {
    glDrawArrays(GL_TRIANGLES, static_cast<GLint>(firstVertex), static_cast<GLsizei>(vertexCount));
}

void RenderPass::drawIndexed(const Buffer& indices, IndexType type, uint32_t indexCount, size_t byteOffset) {
    if (!pipeline_) throw StudioError("PlatformKit.Gpu", 4, "Set a pipeline before drawing.");
    glVertexArrayElementBuffer(pipeline_->vertexArrayName(), indices.glName());
    glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(indexCount),
                   type == IndexType::uint16 ? GL_UNSIGNED_SHORT : GL_UNSIGNED_INT,
                   reinterpret_cast<const void*>(byteOffset));
}

void RenderPass::end() {
    if (ended_) return;
    ended_ = true;
    const auto& d = framebuffer_.desc();
    const int w = framebuffer_.width(), h = framebuffer_.height();
    if (d.resolve || d.resolveToWindow) {
        GLuint target = d.resolve ? framebuffer_.resolveName() : 0;
        glBlitNamedFramebuffer(framebuffer_.drawName(), target, 0, 0, w, h, 0, 0, w, h, GL_COLOR_BUFFER_BIT,
                               GL_NEAREST);
    }
    glBindVertexArray(0);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    checkGl("render pass");
}

// ---- compute ---------------------------------------------------------------

ComputePass::ComputePass(Device& device) : device_(device) {
    device.requireOwnerThread("ComputePass");
    detail::clearGlErrors();
}

void ComputePass::setProgram(const Program& program) {
    glUseProgram(program.glName());
    program_ = &program;
}

void ComputePass::setUniformBytes(uint32_t binding, const void* data, size_t size) {
    device_.uniformRing().bind(binding, data, size);
}

void ComputePass::setStorageBuffer(uint32_t binding, const Buffer& buffer, size_t offset) {
    glBindBufferRange(GL_SHADER_STORAGE_BUFFER, binding, buffer.glName(), static_cast<GLintptr>(offset),
                      static_cast<GLsizeiptr>(buffer.size() - offset));
}

void ComputePass::setImage(uint32_t unit, const Texture& texture, ImageAccess access) {
    if (texture.format() == PixelFormat::depth32Float || texture.desc().sampleCount != 1)
        throw StudioError("PlatformKit.Gpu", 4, "Only single-sample colour textures bind as images.");
    glBindImageTexture(unit, texture.glName(), 0, GL_FALSE, 0, glAccess(access), glImageFormat(texture.format()));
}

void ComputePass::setTexture(uint32_t unit, const Texture& texture, const Sampler& sampler) {
    glBindTextureUnit(unit, texture.glName());
    glBindSampler(unit, sampler.glName());
}

void ComputePass::dispatchThreads(uint32_t x, uint32_t y, uint32_t z) {
    if (!program_) throw StudioError("PlatformKit.Gpu", 4, "Set a program before dispatching.");
    const auto size = program_->localSize();
    auto groups = [](uint32_t n, uint32_t local) { return (n + local - 1) / local; };
    dispatchGroups(groups(x, size[0]), groups(y, size[1]), groups(z, size[2]));
}

void ComputePass::dispatchGroups(uint32_t x, uint32_t y, uint32_t z) {
    if (!program_) throw StudioError("PlatformKit.Gpu", 4, "Set a program before dispatching.");
    if (x == 0 || y == 0 || z == 0) return;
    glDispatchCompute(x, y, z);
    glMemoryBarrier(GL_SHADER_IMAGE_ACCESS_BARRIER_BIT | GL_TEXTURE_FETCH_BARRIER_BIT |
                    GL_TEXTURE_UPDATE_BARRIER_BIT | GL_FRAMEBUFFER_BARRIER_BIT | GL_PIXEL_BUFFER_BARRIER_BIT |
                    GL_SHADER_STORAGE_BARRIER_BIT | GL_BUFFER_UPDATE_BARRIER_BIT |
                    GL_VERTEX_ATTRIB_ARRAY_BARRIER_BIT | GL_ELEMENT_ARRAY_BARRIER_BIT |
                    GL_UNIFORM_BARRIER_BIT | GL_CLIENT_MAPPED_BUFFER_BARRIER_BIT);
    checkGl(program_->label().c_str());
}

}  // namespace pk::gpu
