#include "tool/BareRoundTrip.h"

#include "tool/ToolGlContext.h"

#include <windows.h>

#include <chrono>
#include <cstring>
#include <stdexcept>
#include <vector>

#include <glbinding/Binding.h>
#include <glbinding/gl33core/gl.h>

using namespace gl33core;

namespace Tessarine::Lamino {

namespace {

const char kVertex[] = R"(#version 330
in vec2 position;
out vec2 uv;
void main() { uv = position * 0.5 + 0.5; gl_Position = vec4(position, 0.0, 1.0); }
)";

const char kFragment[] = R"(#version 330
in vec2 uv;
uniform sampler2D frame;
out vec4 colourOut;
void main() { colourOut = texture(frame, uv); }
)";

const float kQuad[] = {-1, -1, 1, -1, 1, 1, -1, -1, 1, 1, -1, 1};

[[noreturn]] void fail(const char* what)
{
    throw std::runtime_error(what);
}

GLuint compile(GLenum kind, const char* text)
{
    const GLuint shader = glCreateShader(kind);
    glShaderSource(shader, 1, &text, nullptr);
    glCompileShader(shader);
    GLint status = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &status);
    if (status != static_cast<GLint>(GL_TRUE))
        fail("a shader did not compile");
    return shader;
}

}  // namespace

struct BareRoundTrip::Objects {
    ToolGlContext context;
    GLuint texture = 0, renderbuffer = 0, framebuffer = 0, program = 0, buffer = 0, array = 0;
    std::vector<uint8_t> pixels;

    void makeObjects(int32_t width, int32_t height);
};

void BareRoundTrip::Objects::makeObjects(int32_t width, int32_t height)
{
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, static_cast<GLint>(GL_LINEAR));
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, static_cast<GLint>(GL_LINEAR));
    glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(GL_RGBA8), width, height, 0, GL_RGBA,
                 GL_UNSIGNED_BYTE, nullptr);
    glGenRenderbuffers(1, &renderbuffer);
    glBindRenderbuffer(GL_RENDERBUFFER, renderbuffer);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
    glGenFramebuffers(1, &framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, renderbuffer);
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE)
        fail("framebuffer incomplete");

    program = glCreateProgram();
    const GLuint vertex = compile(GL_VERTEX_SHADER, kVertex);
    const GLuint fragment = compile(GL_FRAGMENT_SHADER, kFragment);
    glAttachShader(program, vertex);
    glAttachShader(program, fragment);
    glBindAttribLocation(program, 0, "position");
    glLinkProgram(program);
    glDeleteShader(vertex);
    glDeleteShader(fragment);
    glGenVertexArrays(1, &array);
    glBindVertexArray(array);
    glGenBuffers(1, &buffer);
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    glBufferData(GL_ARRAY_BUFFER, sizeof kQuad, kQuad, GL_STATIC_DRAW);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 0, nullptr);
    pixels.resize(static_cast<size_t>(width) * height * 4);
}

BareRoundTrip::BareRoundTrip(const World& frame) : frame(frame)
{
    HGLRC previous = wglGetCurrentContext();
    HDC previousDc = wglGetCurrentDC();
    try {
        objects = std::make_unique<Objects>();
        objects->makeObjects(frame.width(), frame.height());
    } catch (const std::runtime_error& error) {
        objects.reset();
        wglMakeCurrent(previousDc, previous);
        throw std::runtime_error(std::string("the baseline's OpenGL set-up failed: ")
                                 + error.what());
    }
    wglMakeCurrent(previousDc, previous);
}

BareRoundTrip::~BareRoundTrip() = default;

double BareRoundTrip::run()
{
    const auto start = std::chrono::steady_clock::now();
    objects->context.makeCurrent();
    const PF_EffectWorld* world = frame.get();
    glBindTexture(GL_TEXTURE_2D, objects->texture);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, world->rowbytes / 4);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, world->width, world->height, GL_RGBA,
                    GL_UNSIGNED_BYTE, world->data);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glBindFramebuffer(GL_FRAMEBUFFER, objects->framebuffer);
    glViewport(0, 0, world->width, world->height);
    glUseProgram(objects->program);
    glBindVertexArray(objects->array);
    glDrawArrays(GL_TRIANGLES, 0, 6);
    glReadPixels(0, 0, world->width, world->height, GL_RGBA, GL_UNSIGNED_BYTE,
                 objects->pixels.data());
    const auto end = std::chrono::steady_clock::now();
    return std::chrono::duration<double, std::milli>(end - start).count();
}

}  // namespace Tessarine::Lamino
