#pragma once

#include <glbinding/gl/types.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <utility>

namespace Tessarine::Lamino {

// A GLSL program of one vertex and one fragment shader. Construction does no GL work, so a
// pass can declare its program before any context exists; the program is compiled and linked
// at the first use(), in the context current then, and serves every context of the shared
// group afterwards. A failed build prints the driver's log and leaves the program unbuilt; the
// next use() tries again.
//
// The locations of the program's active uniforms are looked up once, when it links, so that the
// setters make only the glUniform calls.
//
// Values that stay the same for every draw (sampler units, uniform block bindings) are given
// before the build and set once at link, so that a built program that renders on several
// threads at once, each with its own textures and uniform buffer, is never written again.
//
// Owns its program object. use(), the setters and the destructor need a context of the shared
// group current on the calling thread; no lock: building and the setters are for one thread at a
// time, drawing with a built program for any number.
class OpenglShader {
public:
    OpenglShader(std::string vertexSource, std::string fragmentSource);
    virtual ~OpenglShader();

    OpenglShader(const OpenglShader&) = delete;
    OpenglShader& operator=(const OpenglShader&) = delete;

    // Location bound to a vertex input before linking; the first location given for a name
    // stays. No effect on a program that is built already.
    void addAttribute(const std::string& name, int32_t location);
    // The texture unit a sampler uniform reads, and the binding point a uniform block reads its
    // buffer from, set at link; the first value given for a name stays.
    void addSamplerUnit(const std::string& name, int32_t unit);
    void addUniformBlock(const std::string& name, gl::GLuint binding);

    // Builds the program if it is not built yet, then makes it the program in use (0 when the
    // build failed). Says whether a built program is in use.
    bool use();

    // The setters act on the program in use and do nothing at all while the program is unbuilt.
    // A uniform the program lacks (or that the linker removed) is skipped silently.
    void setUniform(const char* name, float value);
    void setUniform(const char* name, int32_t value);
    void setUniform(const char* name, float x, float y);
    void setUniform(const char* name, std::pair<double, double> value);
    void setUniform(const char* name, float x, float y, float z, float w);
    // Binds texture to target on texture unit `unit` and points the sampler uniform at the unit.
    void setTexture(const char* name, gl::GLenum target, gl::GLuint texture, int32_t unit);
    // Float vertex attributes read from the bound array buffer at a byte offset.
    void setAttributePointer3(gl::GLuint index, size_t offset, gl::GLsizei stride);
    void setAttributePointer2(gl::GLuint index, size_t offset, gl::GLsizei stride);
    void disableAttribute(gl::GLuint index);

    // The linked program, 0 until a build succeeds.
    gl::GLuint program() const { return builtProgram; }

    // Forgets the program without a GL call, for when its contexts are gone already.
    void abandon();

private:
    void build();
    bool compile(gl::GLuint shader, const std::string& source, const char* kind);
    bool link(gl::GLuint program);
    void setAttributePointer(gl::GLuint index, gl::GLint components, size_t offset,
                             gl::GLsizei stride);
    gl::GLint uniformLocation(const char* name) const;
    void findUniforms();
    void setLinkTimeState();

    std::string vertexSource;
    std::string fragmentSource;
    gl::GLuint builtProgram = 0;
    std::map<std::string, int32_t> attributeLocations;
    std::map<std::string, int32_t> samplerUnits;
    std::map<std::string, gl::GLuint> blockBindings;
    std::map<std::string, gl::GLint, std::less<>> uniformLocations; // of the built program
};

} // namespace Tessarine::Lamino
