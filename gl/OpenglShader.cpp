#include "gl/OpenglShader.h"

#include <glbinding/gl/gl.h>

#include <cstdio>
#include <string_view>

using namespace gl;

namespace Tessarine::Lamino {

namespace {

constexpr GLsizei kLogBufferSize = 512;

// Driver logs are cut to what fits the buffer; the length the driver reports is clamped, since
// the terminator goes there.
template <class GetLog>
std::string readLog(GetLog getLog)
{
    char log[kLogBufferSize + 1] = {};
    GLsizei length = 0;
    getLog(kLogBufferSize, &length, log);
    if (length < 0)
        length = 0;
    if (length > kLogBufferSize)
        length = kLogBufferSize;
    log[length] = '\0';
    return log;
}

} // namespace

OpenglShader::OpenglShader(std::string vertexSource, std::string fragmentSource)
    : vertexSource(std::move(vertexSource)), fragmentSource(std::move(fragmentSource))
{
}

OpenglShader::~OpenglShader()
{
    if (builtProgram != 0)
        glDeleteProgram(builtProgram);
}

void OpenglShader::addAttribute(const std::string& name, int32_t location)
{
    attributeLocations.emplace(name, location);
}

void OpenglShader::addSamplerUnit(const std::string& name, int32_t unit)
{
    samplerUnits.emplace(name, unit);
}

void OpenglShader::addUniformBlock(const std::string& name, GLuint binding)
{
    blockBindings.emplace(name, binding);
}

bool OpenglShader::use()
{
    if (builtProgram == 0)
        build();
    glUseProgram(builtProgram);
    return builtProgram != 0;
}

void OpenglShader::abandon()
{
    builtProgram = 0;
    uniformLocations.clear();
}

void OpenglShader::build()
{
    const GLuint vertexShader = glCreateShader(GL_VERTEX_SHADER);
    const GLuint fragmentShader = glCreateShader(GL_FRAGMENT_SHADER);
    GLuint program = 0;
    if (compile(vertexShader, vertexSource, "vert") &&
        compile(fragmentShader, fragmentSource, "frag")) {
        program = glCreateProgram();
        glAttachShader(program, vertexShader);
        glAttachShader(program, fragmentShader);
        for (const auto& [name, location] : attributeLocations)
            glBindAttribLocation(program, static_cast<GLuint>(location), name.c_str());
        if (link(program)) {
            builtProgram = program;
            findUniforms();
            setLinkTimeState();
            glDetachShader(program, vertexShader);
            glDetachShader(program, fragmentShader);
        }
    }
    // The shader objects are never needed again, and a failed build leaves no program behind:
    // the next use() builds everything anew.
    glDeleteShader(vertexShader);
    glDeleteShader(fragmentShader);
    if (program != 0 && builtProgram == 0)
        glDeleteProgram(program);
}

// Sampler units and block bindings are the program's own state, shared by every context: set
// once here, they are never written again while renders on other threads draw with the program.
void OpenglShader::setLinkTimeState()
{
    for (const auto& [name, binding] : blockBindings) {
        const GLuint index = glGetUniformBlockIndex(builtProgram, name.c_str());
        if (index != GL_INVALID_INDEX)
            glUniformBlockBinding(builtProgram, index, binding);
    }
    if (samplerUnits.empty())
        return;
    glUseProgram(builtProgram);
    for (const auto& [name, unit] : samplerUnits) {
        const GLint location = uniformLocation(name.c_str());
        if (location != -1)
            glUniform1i(location, unit);
    }
}

bool OpenglShader::compile(GLuint shader, const std::string& source, const char* kind)
{
    const GLchar* text = source.c_str();
    glShaderSource(shader, 1, &text, nullptr);
    glCompileShader(shader);
    GLint status = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &status);
    if (status == static_cast<GLint>(GL_TRUE))
        return true;
    const std::string log = readLog([shader](GLsizei size, GLsizei* length, GLchar* text) {
        glGetShaderInfoLog(shader, size, length, text);
    });
    std::printf("Shader %s error:\n%s\n", kind, log.c_str());
    std::fflush(stdout);
    return false;
}

bool OpenglShader::link(GLuint program)
{
    glLinkProgram(program);
    GLint status = 0;
    glGetProgramiv(program, GL_LINK_STATUS, &status);
    if (status == static_cast<GLint>(GL_TRUE))
        return true;
    const std::string log = readLog([program](GLsizei size, GLsizei* length, GLchar* text) {
        glGetProgramInfoLog(program, size, length, text);
    });
    std::printf("Program error:\n%s\n", log.c_str());
    std::fflush(stdout);
    return false;
}

void OpenglShader::findUniforms()
{
    uniformLocations.clear();
    GLint count = 0;
    glGetProgramiv(builtProgram, GL_ACTIVE_UNIFORMS, &count);
    for (GLint index = 0; index < count; ++index) {
        char name[kLogBufferSize] = {};
        GLsizei length = 0;
        GLint size = 0;
        GLenum type{};
        glGetActiveUniform(builtProgram, static_cast<GLuint>(index), kLogBufferSize - 1, &length,
                           &size, &type, name);
        const GLint location = glGetUniformLocation(builtProgram, name);
        if (location != -1)
            uniformLocations.emplace(name, location);
    }
}

GLint OpenglShader::uniformLocation(const char* name) const
{
    const auto found = uniformLocations.find(std::string_view(name));
    return found == uniformLocations.end() ? -1 : found->second;
}

void OpenglShader::setUniform(const char* name, float value)
{
    if (builtProgram == 0)
        return;
    const GLint location = uniformLocation(name);
    if (location != -1)
        glUniform1f(location, value);
}

void OpenglShader::setUniform(const char* name, int32_t value)
{
    if (builtProgram == 0)
        return;
    const GLint location = uniformLocation(name);
    if (location != -1)
        glUniform1i(location, value);
}

void OpenglShader::setUniform(const char* name, float x, float y)
{
    if (builtProgram == 0)
        return;
    const GLint location = uniformLocation(name);
    if (location != -1)
        glUniform2f(location, x, y);
}

void OpenglShader::setUniform(const char* name, std::pair<double, double> value)
{
    setUniform(name, static_cast<float>(value.first), static_cast<float>(value.second));
}

void OpenglShader::setUniform(const char* name, float x, float y, float z, float w)
{
    if (builtProgram == 0)
        return;
    const GLint location = uniformLocation(name);
    if (location != -1)
        glUniform4f(location, x, y, z, w);
}

void OpenglShader::setTexture(const char* name, GLenum target, GLuint texture, int32_t unit)
{
    if (builtProgram == 0)
        return;
    glActiveTexture(static_cast<GLenum>(static_cast<unsigned>(GL_TEXTURE0) + unit));
    glBindTexture(target, texture);
    const GLint location = uniformLocation(name);
    if (location != -1)
        glUniform1i(location, unit);
}

void OpenglShader::setAttributePointer3(GLuint index, size_t offset, GLsizei stride)
{
    setAttributePointer(index, 3, offset, stride);
}

void OpenglShader::setAttributePointer2(GLuint index, size_t offset, GLsizei stride)
{
    setAttributePointer(index, 2, offset, stride);
}

void OpenglShader::setAttributePointer(GLuint index, GLint components, size_t offset,
                                       GLsizei stride)
{
    if (builtProgram == 0)
        return;
    glEnableVertexAttribArray(index);
    glVertexAttribPointer(index, components, GL_FLOAT, GL_FALSE, stride,
                          reinterpret_cast<const void*>(offset));
}

void OpenglShader::disableAttribute(GLuint index)
{
    if (builtProgram == 0)
        return;
    glDisableVertexAttribArray(index);
}

} // namespace Tessarine::Lamino
