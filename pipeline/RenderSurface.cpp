#include "pipeline/RenderSurface.h"

#include <algorithm>
#include <cstdio>

#include <glbinding/gl/gl.h>

#include "pipeline/OutputConversionPass.h"

using namespace gl;

namespace Tessarine::Lamino {

namespace {

// Wanted samples per pixel; drivers may allow fewer (llvmpipe allows 4), and asking for more
// than GL_MAX_SAMPLES leaves the framebuffer incomplete and the frame empty.
constexpr GLint kWantedSamples = 8;

void deleteRenderbuffer(GLuint& name)
{
    if (name != 0) {
        glDeleteRenderbuffers(1, &name);
        name = 0;
    }
}

void deleteFramebuffer(GLuint& name)
{
    if (name != 0) {
        glDeleteFramebuffers(1, &name);
        name = 0;
    }
}

} // namespace

// Allocated once and never freed: destroying it at process exit would make GL calls without a
// context. Thread-safe creation through the function-local static.
RenderSurface& RenderSurface::instance()
{
    static RenderSurface* const surface = new RenderSurface();
    return *surface;
}

RenderSurface::RenderSurface() : conversionPass(std::make_unique<OutputConversionPass>()) {}

RenderSurface::~RenderSurface() = default;

RenderSurface::Framebuffers RenderSurface::currentFramebuffers()
{
    return framebuffers.hasCurrent() ? framebuffers.current() : Framebuffers{};
}

// Renderbuffers are shared by the contexts and replaced at a new size; framebuffers belong to
// the context that made them, hold no storage of their own and are made once per context.
void RenderSurface::resize(int32_t w, int32_t h)
{
    if (w == width && h == height) {
        // 0 x 0 with nothing made is the initial state: nothing to build.
        if (outputRenderbuffer != 0 && !framebuffers.hasCurrent()) {
            makeFramebuffers();
        }
        return;
    }
    replaceRenderbuffers(w, h);
}

void RenderSurface::replaceRenderbuffers(int32_t w, int32_t h)
{
    deleteRenderbuffer(outputRenderbuffer);
    deleteLevels();
    width = w;
    height = h;
    makeFramebuffers();
    glGenRenderbuffers(1, &outputRenderbuffer);
    glBindRenderbuffer(GL_RENDERBUFFER, outputRenderbuffer);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA, width, height);
}

void RenderSurface::makeFramebuffers()
{
    if (framebuffers.hasCurrent()) {
        return;
    }
    Framebuffers& made = framebuffers.current();
    glGenFramebuffers(1, &made.outputFramebuffer);
    glGenFramebuffers(1, &made.blitFramebuffer);
    glGenFramebuffers(1, &made.multisampleFramebuffer);
}

void RenderSurface::deleteLevels()
{
    for (GLuint level : levels) {
        glDeleteRenderbuffers(1, &level);
    }
    levels.clear();
}

void RenderSurface::beginDraw()
{
    glDrawBuffer(GL_COLOR_ATTACHMENT0);
    glDisable(GL_BLEND);
    glEnable(GL_MULTISAMPLE);
    pushLevel();
    glViewport(0, 0, width, height);
}

void RenderSurface::pushLevel()
{
    const GLint levelSamples = sampleCount();
    GLuint level = 0;
    glGenRenderbuffers(1, &level);
    glBindRenderbuffer(GL_RENDERBUFFER, level);
    if (levelSamples == 0) {
        glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA, width, height);
    } else {
        glRenderbufferStorageMultisample(GL_RENDERBUFFER, levelSamples, GL_RGBA, width, height);
    }

    const GLuint multisample = currentFramebuffers().multisampleFramebuffer;
    glBindFramebuffer(GL_FRAMEBUFFER, multisample);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, level);
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        std::printf("framebuffer incomplete:%d", static_cast<int>(multisample));
        std::fflush(stdout);
    }
    levels.push_back(level);

    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClear(GL_DEPTH_BUFFER_BIT | GL_COLOR_BUFFER_BIT);
}

// Asked of the driver once; the contexts of one group share their driver.
int32_t RenderSurface::sampleCount()
{
    if (samples < 0) {
        GLint maxSamples = 0;
        glGetIntegerv(GL_MAX_SAMPLES, &maxSamples);
        samples = std::clamp(maxSamples, 0, kWantedSamples);
    }
    return samples;
}

GLuint RenderSurface::resolveToTexture()
{
    if (levels.empty()) {
        return 0;
    }
    const GLuint texture = makeResolveTexture();
    const Framebuffers made = currentFramebuffers();
    glBindFramebuffer(GL_READ_FRAMEBUFFER, made.multisampleFramebuffer);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, made.blitFramebuffer);
    glFramebufferTexture2D(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
    glBlitFramebuffer(0, 0, width, height, 0, 0, width, height, GL_COLOR_BUFFER_BIT, GL_NEAREST);

    GLuint top = levels.back();
    glDeleteRenderbuffers(1, &top);
    levels.pop_back();
    // A render that failed before its resolve left its level below; keep that one attached.
    if (!levels.empty()) {
        glBindRenderbuffer(GL_RENDERBUFFER, levels.back());
        glBindFramebuffer(GL_FRAMEBUFFER, made.multisampleFramebuffer);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER,
                                  levels.back());
    }
    return texture;
}

GLuint RenderSurface::makeResolveTexture()
{
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    const std::vector<unsigned char> zeros(static_cast<size_t>(width) * height * 4);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                 zeros.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    return texture;
}

void RenderSurface::convertOutput(float multiplier)
{
    if (!conversionPass) {
        conversionPass = std::make_unique<OutputConversionPass>(); // made again after a teardown
    }
    GLuint texture = resolveToTexture();
    if (texture == 0) {
        return;
    }
    glBindFramebuffer(GL_FRAMEBUFFER, currentFramebuffers().outputFramebuffer);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER,
                              outputRenderbuffer);
    glDisable(GL_BLEND);
    glDisable(GL_MULTISAMPLE);
    glClear(GL_DEPTH_BUFFER_BIT | GL_COLOR_BUFFER_BIT);
    conversionPass->draw(texture, multiplier);
    glDeleteTextures(1, &texture);
}

// Deletes the current context's framebuffers and forgets those of other contexts, which go
// with their contexts (global setdown destroys them right after). The size goes back to 0 x 0,
// so that the next resize builds everything again.
void RenderSurface::release()
{
    if (framebuffers.hasCurrent()) {
        Framebuffers& made = framebuffers.current();
        deleteFramebuffer(made.blitFramebuffer);
        deleteFramebuffer(made.outputFramebuffer);
        deleteFramebuffer(made.multisampleFramebuffer);
    }
    framebuffers.clear();
    deleteRenderbuffer(outputRenderbuffer);
    deleteLevels();
    width = 0;
    height = 0;
}

// Leaves the surface as new, so that a render after a later global setup builds it again.
void RenderSurface::teardown()
{
    release();
    conversionPass.reset();
    samples = -1;
}

} // namespace Tessarine::Lamino
