#include "PlatformKit/Gpu/Program.h"

#include <vector>

#include "PlatformKit/Foundation/StudioError.h"
#include "PlatformKit/Gpu/GlCommon.h"

namespace pk::gpu {

Program::Program(detail::GlObject&& object, std::string label, std::array<uint32_t, 3> localSize)
    : object_(std::move(object)), label_(std::move(label)), localSize_(localSize) {}

namespace {
GLenum glStage(ShaderStage stage) {
    switch (stage) {
        case ShaderStage::vertex: return GL_VERTEX_SHADER;
        case ShaderStage::fragment: return GL_FRAGMENT_SHADER;
        case ShaderStage::compute: return GL_COMPUTE_SHADER;
    }
    return GL_COMPUTE_SHADER;
}
}  // namespace

uint32_t ShaderCompiler::compileStage(const ShaderSource& source) {
    GLuint shader = glCreateShader(glStage(source.stage));
    if (shader == 0) throw StudioError("PlatformKit.Gpu", 10, source.entry + ": could not create a shader object");
    const char* text = source.text.data();
    GLint length = static_cast<GLint>(source.text.size());
    glShaderSource(shader, 1, &text, &length);
    glCompileShader(shader);
    GLint ok = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (ok != GL_TRUE) {
        GLint logLength = 0;
        glGetShaderiv(shader, GL_INFO_LOG_LENGTH, &logLength);
        std::string log(static_cast<size_t>(std::max(logLength, 1)), '\0');
        glGetShaderInfoLog(shader, logLength, nullptr, log.data());
        log.resize(std::char_traits<char>::length(log.c_str()));
        glDeleteShader(shader);
        throw StudioError("PlatformKit.Gpu", 10, source.entry + ": shader failed to compile:\n" + log);
    }
    return shader;
}

uint32_t ShaderCompiler::link(std::initializer_list<uint32_t> stages, const std::string& label) {
    GLuint program = glCreateProgram();
    for (uint32_t s : stages) glAttachShader(program, s);
    glLinkProgram(program);
    for (uint32_t s : stages) {
        glDetachShader(program, s);
        glDeleteShader(s);
    }
    GLint ok = GL_FALSE;
    glGetProgramiv(program, GL_LINK_STATUS, &ok);
    if (ok != GL_TRUE) {
        GLint logLength = 0;
        glGetProgramiv(program, GL_INFO_LOG_LENGTH, &logLength);
        std::string log(static_cast<size_t>(std::max(logLength, 1)), '\0');
        glGetProgramInfoLog(program, logLength, nullptr, log.data());
        log.resize(std::char_traits<char>::length(log.c_str()));
        glDeleteProgram(program);
        throw StudioError("PlatformKit.Gpu", 11, label + ": program failed to link:\n" + log);
    }
    return program;
}

}  // namespace pk::gpu
