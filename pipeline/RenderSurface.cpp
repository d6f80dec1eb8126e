#include "pipeline/RenderSurface.h"

#include <glbinding/gl/gl.h>

#include "gl/GlErrors.h"
#include "gl/GpuFailure.h"

using namespace gl;

namespace Tessarine::Lamino {

// Allocated once and never freed: destroying it at process exit would make GL calls without a
// context. Thread-safe creation through the function-local static.
RenderSurface& RenderSurface::instance()
{
    static RenderSurface* const surface = new RenderSurface();
    return *surface;
}

RenderSurface::RenderSurface() = default;

void RenderSurface::prepare(int32_t width, int32_t height, const LayerFormat& format)
{
    Targets& made = targets.current();
    if (made.outputRenderbuffer != 0 && made.width == width && made.height == height &&
        made.internalFormat == format.internalFormat) {
        return;
    }
    if (made.framebuffer == 0) {
        glGenFramebuffers(1, &made.framebuffer);
    }
    makeOutput(made, width, height, format.internalFormat);
}

void RenderSurface::makeOutput(Targets& made, int32_t width, int32_t height,
                               GLenum internalFormat)
{
    if (made.outputRenderbuffer != 0) {
        glDeleteRenderbuffers(1, &made.outputRenderbuffer);
        made.outputRenderbuffer = 0;
    }
    made.width = made.height = 0;
    GLuint renderbuffer = 0;
    glGenRenderbuffers(1, &renderbuffer);
    glBindRenderbuffer(GL_RENDERBUFFER, renderbuffer);
    clearGlErrors();
    glRenderbufferStorage(GL_RENDERBUFFER, internalFormat, width, height);
    glBindFramebuffer(GL_FRAMEBUFFER, made.framebuffer);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, renderbuffer);
    // Drivers may report a failed allocation only as an incomplete framebuffer.
    const bool complete = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    try {
        requireAllocated();
        if (!complete) {
            throw GpuFailure{GpuFailure::Kind::OutOfMemory};
        }
    } catch (...) {
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, 0);
        glBindRenderbuffer(GL_RENDERBUFFER, 0);
        glDeleteRenderbuffers(1, &renderbuffer);
        throw;
    }
    made.outputRenderbuffer = renderbuffer;
    made.width = width;
    made.height = height;
    made.internalFormat = internalFormat;
}

void RenderSurface::beginDraw()
{
    const Targets& made = targets.current();
    glBindFramebuffer(GL_FRAMEBUFFER, made.framebuffer);
    glDrawBuffer(GL_COLOR_ATTACHMENT0);
    glReadBuffer(GL_COLOR_ATTACHMENT0);
    glDisable(GL_BLEND);
    glViewport(0, 0, made.width, made.height);
}

LayerTexture& RenderSurface::inputLayer()
{
    return targets.current().input;
}

LayerTexture& RenderSurface::customLayer()
{
    return targets.current().custom;
}

void RenderSurface::releaseTargets(Targets& made)
{
    if (made.framebuffer != 0) {
        glDeleteFramebuffers(1, &made.framebuffer);
    }
    if (made.outputRenderbuffer != 0) {
        glDeleteRenderbuffers(1, &made.outputRenderbuffer);
    }
    made.input.release();
    made.custom.release();
    made = Targets{};
}

void RenderSurface::teardown()
{
    if (targets.hasCurrent()) {
        releaseTargets(targets.current());
    }
    targets.clear();
}

RenderSurface::Targets RenderSurface::currentTargets()
{
    return targets.hasCurrent() ? targets.current() : Targets{};
}

} // namespace Tessarine::Lamino
