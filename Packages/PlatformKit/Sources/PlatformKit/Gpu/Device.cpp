#include "PlatformKit/Gpu/Device.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <limits>

#include "PlatformKit/Foundation/StudioError.h"
#include "PlatformKit/Gpu/GlCommon.h"
#include "PlatformKit/Gpu/Sync.h"
#include "PlatformKit/Gpu/UniformRing.h"

namespace pk::gpu {

using detail::checkGl;
using detail::GlObject;

namespace {
[[noreturn]] void badArgument(const std::string& text) { throw StudioError("PlatformKit.Gpu", 4, text); }

GLenum pixelFormatOf(PixelFormat f, ByteOrder order) {
    if (f == PixelFormat::rgba8Unorm) return order == ByteOrder::bgra ? GL_BGRA : GL_RGBA;
    if (f == PixelFormat::depth32Float) return GL_DEPTH_COMPONENT;
    return GL_RGBA;
}
GLenum pixelTypeOf(PixelFormat f) {
    switch (f) {
        case PixelFormat::rgba8Unorm: return GL_UNSIGNED_BYTE;
        case PixelFormat::rgba16Float: return GL_HALF_FLOAT;
        case PixelFormat::depth32Float: return GL_FLOAT;
    }
    return GL_UNSIGNED_BYTE;
}
GLenum glFilter(Filter f) { return f == Filter::linear ? GL_LINEAR : GL_NEAREST; }
GLenum glAddress(AddressMode a) { return a == AddressMode::repeat ? GL_REPEAT : GL_CLAMP_TO_EDGE; }
}  // namespace

bool isSoftwareRasterizer(std::string_view renderer) {
    std::string lower(renderer);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower.find("llvmpipe") != std::string::npos || lower.find("softpipe") != std::string::npos;
}

float materialAnisotropy(const DeviceInfo& info, float wanted) {
    if (isSoftwareRasterizer(info.renderer) || !(wanted > 1.0f)) return 1.0f;
    return std::clamp(wanted, 1.0f, std::max(info.maxAnisotropy, 1.0f));
}

Device::Device(std::shared_ptr<JobQueue> queue) : queue_(std::move(queue)) {}

Device::~Device() = default;

void Device::requireOwnerThread(const char* what) const {
    if (!isOwnerThread())
        throw StudioError("PlatformKit.Gpu", 3, std::string(what) + " must be used on the device's owner thread.");
}

detail::UniformRing& Device::uniformRing() { return *uniforms_; }

void Device::initializeContext() {
    const GLubyte* version = glGetString(GL_VERSION);
    if (!version) throw StudioError("PlatformKit.Gpu", 1, "No OpenGL context is current.");
    GLint major = 0, minor = 0, profile = 0;
    glGetIntegerv(GL_MAJOR_VERSION, &major);
    glGetIntegerv(GL_MINOR_VERSION, &minor);
    glGetIntegerv(GL_CONTEXT_PROFILE_MASK, &profile);
    info_.vendor = reinterpret_cast<const char*>(glGetString(GL_VENDOR));
    info_.renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    info_.version = reinterpret_cast<const char*>(version);
    info_.majorVersion = major;
    info_.minorVersion = minor;
    if (major < 4 || (major == 4 && minor < 5) || !(profile & GL_CONTEXT_CORE_PROFILE_BIT))
        throw StudioError("PlatformKit.Gpu", 1,
                          "OpenGL 4.5 core is required; the context offers " + info_.version + " (" + info_.renderer + ").");
    GLint align = 256;
    glGetIntegerv(GL_UNIFORM_BUFFER_OFFSET_ALIGNMENT, &align);
    info_.uniformOffsetAlignment = std::max(align, 1);
    if (epoxy_gl_version() >= 46 || epoxy_has_gl_extension("GL_ARB_texture_filter_anisotropic") ||
        epoxy_has_gl_extension("GL_EXT_texture_filter_anisotropic")) {
        GLfloat maxAniso = 1.0f;
        glGetFloatv(GL_MAX_TEXTURE_MAX_ANISOTROPY, &maxAniso);
        info_.maxAnisotropy = std::max(maxAniso, 1.0f);
    }
    // Projections are written for 0..1 clip depth.
    glClipControl(GL_LOWER_LEFT, GL_ZERO_TO_ONE);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glEnable(GL_TEXTURE_CUBE_MAP_SEAMLESS);
    uniforms_ = std::make_unique<detail::UniformRing>(queue_, info_.uniformOffsetAlignment);
    checkGl("initialize context");
}

void Device::releaseContextObjects() { uniforms_.reset(); }

// ---- buffers ---------------------------------------------------------------

std::shared_ptr<Buffer> Device::makeBuffer(const BufferDesc& desc, const void* initial) {
    if (desc.size == 0 || desc.size > static_cast<size_t>(std::numeric_limits<GLsizeiptr>::max()))
        badArgument("Buffer size must be between 1 and the GL limit.");
    return run([&] {
        detail::clearGlErrors();
        GLuint name = 0;
        glCreateBuffers(1, &name);
        GlObject object(queue_, GlObject::Kind::buffer, name);
        void* mapped = nullptr;
        if (desc.storage == BufferStorage::persistentMapped) {
            GLbitfield flags = GL_MAP_READ_BIT | GL_MAP_WRITE_BIT | GL_MAP_PERSISTENT_BIT | GL_MAP_COHERENT_BIT;
            glNamedBufferStorage(name, static_cast<GLsizeiptr>(desc.size), initial, flags);
            checkGl("buffer storage");
            mapped = glMapNamedBufferRange(name, 0, static_cast<GLsizeiptr>(desc.size), flags);
        } else {
            glNamedBufferStorage(name, static_cast<GLsizeiptr>(desc.size), initial, GL_DYNAMIC_STORAGE_BIT);
        }
        checkGl("create buffer");
        return std::make_shared<Buffer>(std::move(object), desc, mapped);
    });
}

void Device::updateBuffer(Buffer& buffer, size_t offset, const void* data, size_t size) {
    if (offset > buffer.size() || size > buffer.size() - offset) badArgument("Buffer update out of range.");
    run([&] {
        if (buffer.mapped()) {
            std::memcpy(static_cast<uint8_t*>(buffer.mapped()) + offset, data, size);
            return;
        }
        glNamedBufferSubData(buffer.glName(), static_cast<GLintptr>(offset), static_cast<GLsizeiptr>(size), data);
        checkGl("update buffer");
    });
}

void Device::copyBuffer(const Buffer& src, size_t srcOffset, Buffer& dst, size_t dstOffset, size_t size) {
    if (srcOffset > src.size() || size > src.size() - srcOffset || dstOffset > dst.size() ||
        size > dst.size() - dstOffset)
        badArgument("Buffer copy out of range.");
    run([&] {
        detail::clearGlErrors();
        glCopyNamedBufferSubData(src.glName(), dst.glName(), static_cast<GLintptr>(srcOffset),
                                 static_cast<GLintptr>(dstOffset), static_cast<GLsizeiptr>(size));
        checkGl("copy buffer");
    });
}

std::vector<uint8_t> Device::readBuffer(const Buffer& buffer, size_t offset, size_t size) {
    if (offset > buffer.size() || size > buffer.size() - offset) badArgument("Buffer read out of range.");
    return run([&] {
        std::vector<uint8_t> out(size);
        detail::clearGlErrors();
        if (buffer.mapped()) {
            glMemoryBarrier(GL_CLIENT_MAPPED_BUFFER_BARRIER_BIT);
            glFinish();
            std::memcpy(out.data(), static_cast<const uint8_t*>(buffer.mapped()) + offset, size);
        } else {
            glGetNamedBufferSubData(buffer.glName(), static_cast<GLintptr>(offset), static_cast<GLsizeiptr>(size),
                                    out.data());
        }
        checkGl("read buffer");
        return out;
    });
}

// ---- textures --------------------------------------------------------------

std::shared_ptr<Texture> Device::makeTexture(const TextureDesc& desc) {
    if (desc.width < 1 || desc.height < 1) badArgument("Texture size must be at least 1 x 1.");
    if (desc.sampleCount != 1 && desc.sampleCount != 4) badArgument("Texture sample count must be 1 or 4.");
    if (desc.sampleCount == 4 && (desc.mipLevels != 1 || !(desc.usage & usageRenderTarget)))
        badArgument("A multisampled texture is a render target of one level.");
    if (desc.mipLevels < 1 || desc.mipLevels > fullMipLevels(desc.width, desc.height))
        badArgument("Texture mip level count out of range.");
    return run([&] {
        GLint maxSize = 0;
        glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
        if (desc.width > maxSize || desc.height > maxSize)
            badArgument("Texture larger than the GPU allows (" + std::to_string(maxSize) + ").");
        detail::clearGlErrors();
        GLuint name = 0;
        const GLenum internal = detail::internalFormat(static_cast<int>(desc.format));
        if (desc.sampleCount > 1) {
            glCreateTextures(GL_TEXTURE_2D_MULTISAMPLE, 1, &name);
            GlObject object(queue_, GlObject::Kind::texture, name);
            glTextureStorage2DMultisample(name, desc.sampleCount, internal, desc.width, desc.height, GL_TRUE);
            checkGl("create multisampled texture");
            return std::make_shared<Texture>(std::move(object), desc);
        }
        glCreateTextures(GL_TEXTURE_2D, 1, &name);
        GlObject object(queue_, GlObject::Kind::texture, name);
        glTextureStorage2D(name, desc.mipLevels, internal, desc.width, desc.height);
        glTextureParameteri(name, GL_TEXTURE_MAX_LEVEL, desc.mipLevels - 1);
        glTextureParameteri(name, GL_TEXTURE_MIN_FILTER, desc.mipLevels > 1 ? GL_LINEAR_MIPMAP_LINEAR : GL_LINEAR);
        checkGl("create texture");
        return std::make_shared<Texture>(std::move(object), desc);
    });
}

void Device::upload(Texture& texture, const void* pixels, size_t bytesPerRow, ByteOrder order, int level) {
    const auto& d = texture.desc();
    if (d.sampleCount != 1 || d.format == PixelFormat::depth32Float) badArgument("This texture takes no upload.");
    if (level < 0 || level >= d.mipLevels) badArgument("Upload mip level out of range.");
    const int w = std::max(1, d.width >> level), h = std::max(1, d.height >> level);
    const size_t bpp = bytesPerPixel(d.format);
    if (bytesPerRow < static_cast<size_t>(w) * bpp || bytesPerRow % bpp != 0)
        badArgument("Upload rows must hold whole pixels and at least one row of the level.");
    run([&] {
        detail::clearGlErrors();
        glPixelStorei(GL_UNPACK_ROW_LENGTH, static_cast<GLint>(bytesPerRow / bpp));
        glTextureSubImage2D(texture.glName(), level, 0, 0, w, h, pixelFormatOf(d.format, order),
                            pixelTypeOf(d.format), pixels);
        glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
        checkGl("texture upload");
    });
}

void Device::generateMipmaps(Texture& texture) {
    run([&] {
        glGenerateTextureMipmap(texture.glName());
        checkGl("generate mipmaps");
    });
}

std::vector<uint8_t> Device::readback(const Texture& texture, ByteOrder order, int level) {
    const auto& d = texture.desc();
    if (level < 0 || level >= d.mipLevels) badArgument("Readback mip level out of range.");
    const size_t w = static_cast<size_t>(std::max(1, d.width >> level));
    const size_t h = static_cast<size_t>(std::max(1, d.height >> level));
    std::vector<uint8_t> out(w * h * bytesPerPixel(d.format));
    readback(texture, out, order, level);
    return out;
}

void Device::readback(const Texture& texture, std::span<uint8_t> out, ByteOrder order, int level) {
    const auto& d = texture.desc();
    if (d.sampleCount != 1) badArgument("A multisampled texture is read back through its resolve target.");
    if (level < 0 || level >= d.mipLevels) badArgument("Readback mip level out of range.");
    const int width = std::max(1, d.width >> level), height = std::max(1, d.height >> level);
    const size_t rowBytes = static_cast<size_t>(width) * bytesPerPixel(d.format);
    const size_t total = rowBytes * static_cast<size_t>(height);
    if (out.size() < total) badArgument("Readback destination is smaller than the texture.");
    run([&] {
        detail::clearGlErrors();
        glGetTextureImage(texture.glName(), level, pixelFormatOf(d.format, order), pixelTypeOf(d.format),
                          static_cast<GLsizei>(std::min<size_t>(total, std::numeric_limits<GLsizei>::max())),
                          out.data());
        checkGl("texture readback");
    });
    if (d.usage & usageRenderTarget) {
        // Rasterised rows are bottom first in GL; callers get the top row first.
        std::vector<uint8_t> tmp(rowBytes);
        for (int top = 0, bottom = height - 1; top < bottom; ++top, --bottom) {
            uint8_t* a = out.data() + static_cast<size_t>(top) * rowBytes;
            uint8_t* b = out.data() + static_cast<size_t>(bottom) * rowBytes;
            std::memcpy(tmp.data(), a, rowBytes);
            std::memcpy(a, b, rowBytes);
            std::memcpy(b, tmp.data(), rowBytes);
        }
    }
}

std::shared_ptr<ReadbackBuffer> Device::startReadback(const Texture& texture, ByteOrder order) {
    const auto& d = texture.desc();
    if (d.sampleCount != 1) badArgument("A multisampled texture is read back through its resolve target.");
    const size_t rowBytes = static_cast<size_t>(d.width) * bytesPerPixel(d.format);
    const size_t total = rowBytes * static_cast<size_t>(d.height);
    if (total > static_cast<size_t>(std::numeric_limits<GLsizei>::max()))
        badArgument("Texture too large for one read-back.");
    return run([&] {
        detail::clearGlErrors();
        GLuint name = 0;
        glCreateBuffers(1, &name);
        GlObject object(queue_, GlObject::Kind::buffer, name);
        const GLbitfield flags = GL_MAP_READ_BIT | GL_MAP_PERSISTENT_BIT | GL_MAP_COHERENT_BIT;
        glNamedBufferStorage(name, static_cast<GLsizeiptr>(total), nullptr, flags | GL_CLIENT_STORAGE_BIT);
        checkGl("read-back buffer storage");
        const void* mapped = glMapNamedBufferRange(name, 0, static_cast<GLsizeiptr>(total), flags);
        if (!mapped) checkGl("map read-back buffer");
        if (!mapped) throw StudioError("PlatformKit.Gpu", GL_OUT_OF_MEMORY, "map read-back buffer failed.");
        glBindBuffer(GL_PIXEL_PACK_BUFFER, name);
        glGetTextureImage(texture.glName(), 0, pixelFormatOf(d.format, order), pixelTypeOf(d.format),
                          static_cast<GLsizei>(total), nullptr);
        glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
        checkGl("start texture read-back");
        auto fence = std::make_unique<Fence>(*this);
        return std::make_shared<ReadbackBuffer>(std::move(object), mapped, rowBytes, d.height,
                                                (d.usage & usageRenderTarget) != 0, std::move(fence));
    });
}

void Device::finishReadback(ReadbackBuffer& pending, std::span<uint8_t> out) {
    const size_t rowBytes = pending.rowBytes_;
    if (out.size() < pending.size()) badArgument("Readback destination is smaller than the texture.");
    run([&] {
        if (pending.arrived_) return;
        // In steps, so a device that is lost shows as a failure rather than a wait for ever.
        for (int step = 0; step < 600 && !pending.fence_->wait(UINT64_C(100000000)); ++step) {
        }
        if (!pending.fence_->wait(0))
            throw StudioError("PlatformKit.Gpu", 5, "The GPU did not finish a read-back within a minute.");
        pending.arrived_ = true;
    });
    // The mapping is coherent and the fence has been passed: the bytes are there for any
    // thread, so the copy costs the owner nothing.
    const auto* src = static_cast<const uint8_t*>(pending.mapped_);
    for (int row = 0; row < pending.rows_; ++row) {
        const int from = pending.bottomUp_ ? pending.rows_ - 1 - row : row;
        std::memcpy(out.data() + static_cast<size_t>(row) * rowBytes, src + static_cast<size_t>(from) * rowBytes,
                    rowBytes);
    }
}

std::vector<uint8_t> Device::finishReadback(ReadbackBuffer& pending) {
    std::vector<uint8_t> out(pending.size());
    finishReadback(pending, out);
    return out;
}

// ---- samplers, programs, pipelines, framebuffers ----------------------------

std::shared_ptr<Sampler> Device::makeSampler(const SamplerDesc& desc) {
    return run([&] {
        GLuint name = 0;
        glCreateSamplers(1, &name);
        GlObject object(queue_, GlObject::Kind::sampler, name);
        GLenum minFilter = glFilter(desc.minFilter);
        if (desc.mipmapped) minFilter = desc.minFilter == Filter::linear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
        glSamplerParameteri(name, GL_TEXTURE_MIN_FILTER, static_cast<GLint>(minFilter));
        glSamplerParameteri(name, GL_TEXTURE_MAG_FILTER, static_cast<GLint>(glFilter(desc.magFilter)));
        glSamplerParameteri(name, GL_TEXTURE_WRAP_S, static_cast<GLint>(glAddress(desc.addressS)));
        glSamplerParameteri(name, GL_TEXTURE_WRAP_T, static_cast<GLint>(glAddress(desc.addressT)));
        if (desc.maxAnisotropy > 1.0f && info_.maxAnisotropy > 1.0f)
            glSamplerParameterf(name, GL_TEXTURE_MAX_ANISOTROPY, std::min(desc.maxAnisotropy, info_.maxAnisotropy));
        checkGl("create sampler");
        return std::make_shared<Sampler>(std::move(object), desc);
    });
}

std::shared_ptr<Program> Device::makeRenderProgram(std::string_view vertexSource, const std::string& vertexEntry,
                                                   std::string_view fragmentSource, const std::string& fragmentEntry) {
    return run([&] {
        uint32_t vs = ShaderCompiler::compileStage({ShaderStage::vertex, vertexSource, vertexEntry});
        uint32_t fs = 0;
        try {
            fs = ShaderCompiler::compileStage({ShaderStage::fragment, fragmentSource, fragmentEntry});
        } catch (...) {
            glDeleteShader(vs);
            throw;
        }
        const std::string label = vertexEntry + "/" + fragmentEntry;
        uint32_t program = ShaderCompiler::link({vs, fs}, label);
        return std::make_shared<Program>(GlObject(queue_, GlObject::Kind::program, program), label,
                                         std::array<uint32_t, 3>{1, 1, 1});
    });
}

std::shared_ptr<Program> Device::makeComputeProgram(std::string_view source, const std::string& entry) {
    return run([&] {
        uint32_t cs = ShaderCompiler::compileStage({ShaderStage::compute, source, entry});
        uint32_t program = ShaderCompiler::link({cs}, entry);
        GLint size[3] = {1, 1, 1};
        glGetProgramiv(program, GL_COMPUTE_WORK_GROUP_SIZE, size);
        return std::make_shared<Program>(GlObject(queue_, GlObject::Kind::program, program), entry,
                                         std::array<uint32_t, 3>{static_cast<uint32_t>(size[0]),
                                                                 static_cast<uint32_t>(size[1]),
                                                                 static_cast<uint32_t>(size[2])});
    });
}

std::shared_ptr<RenderPipeline> Device::makeRenderPipeline(const RenderPipelineDesc& desc) {
    if (!desc.program) badArgument("A render pipeline needs a program.");
    return run([&] {
        GLuint vao = 0;
        glCreateVertexArrays(1, &vao);
        GlObject object(queue_, GlObject::Kind::vertexArray, vao);
        for (const auto& a : desc.vertexLayout.attributes) {
            if (a.components < 1 || a.components > 4) badArgument("Vertex attributes have 1 to 4 floats.");
            glEnableVertexArrayAttrib(vao, a.location);
            glVertexArrayAttribFormat(vao, a.location, a.components, GL_FLOAT, GL_FALSE, a.offset);
            glVertexArrayAttribBinding(vao, a.location, 0);
        }
        checkGl("create render pipeline");
        return std::make_shared<RenderPipeline>(desc, std::move(object));
    });
}

std::shared_ptr<Framebuffer> Device::makeFramebuffer(const FramebufferDesc& desc, int windowWidth, int windowHeight) {
    if (!desc.color) {
        if (windowWidth < 1 || windowHeight < 1) badArgument("A window framebuffer needs its size.");
        return std::make_shared<Framebuffer>(nullptr, nullptr, desc, windowWidth, windowHeight);
    }
    const auto& c = desc.color->desc();
    if (!(c.usage & usageRenderTarget)) badArgument("The colour attachment is not a render target.");
    if (desc.depth && (desc.depth->width() != c.width || desc.depth->height() != c.height ||
                       desc.depth->desc().sampleCount != c.sampleCount ||
                       desc.depth->format() != PixelFormat::depth32Float))
        badArgument("The depth attachment must match the colour target's size and samples.");
    if (desc.resolve && (desc.resolve->width() != c.width || desc.resolve->height() != c.height ||
                         desc.resolve->desc().sampleCount != 1 || !(desc.resolve->desc().usage & usageRenderTarget)))
        badArgument("The resolve target must be a single-sample render target of the same size.");
    return run([&] {
        auto makeFbo = [&](const Texture& color, const Texture* depth) {
            GLuint fbo = 0;
            glCreateFramebuffers(1, &fbo);
            auto object = std::make_shared<GlObject>(queue_, GlObject::Kind::framebuffer, fbo);
            glNamedFramebufferTexture(fbo, GL_COLOR_ATTACHMENT0, color.glName(), 0);
            if (depth) glNamedFramebufferTexture(fbo, GL_DEPTH_ATTACHMENT, depth->glName(), 0);
            GLenum status = glCheckNamedFramebufferStatus(fbo, GL_FRAMEBUFFER);
            if (status != GL_FRAMEBUFFER_COMPLETE)
                throw StudioError("PlatformKit.Gpu", static_cast<int>(status), "Framebuffer is incomplete.");
            return object;
        };
        auto draw = makeFbo(*desc.color, desc.depth.get());
        std::shared_ptr<GlObject> resolve;
        if (desc.resolve) resolve = makeFbo(*desc.resolve, nullptr);
        checkGl("create framebuffer");
        return std::make_shared<Framebuffer>(draw, resolve, desc, c.width, c.height);
    });
}

void Device::finish() {
    run([] { glFinish(); });
}

}  // namespace pk::gpu
