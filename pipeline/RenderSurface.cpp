#include "pipeline/RenderSurface.h"

#include <atomic>
#include <mutex>

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

namespace {

std::atomic<int64_t> storageBudget{RenderSurface::kStorageBudget};

int64_t texelBytes(GLenum internalFormat)
{
    return internalFormat == GL_RGBA32F ? 16 : internalFormat == GL_RGBA16 ? 8 : 4;
}

int64_t textureBytes(const LayerTexture& texture)
{
    return int64_t(texture.textureWidth()) * texture.textureHeight() * texelBytes(texture.internalFormat());
}

} // namespace

int64_t RenderSurface::storageBytes(const Targets& made)
{
    const int64_t output = made.outputRenderbuffer == 0
        ? 0
        : int64_t(made.width) * made.height * texelBytes(made.internalFormat);
    return output + textureBytes(made.input) + textureBytes(made.custom);
}

bool RenderSurface::finishRender()
{
    Targets& made = targets.current();
    std::lock_guard<SlimMutex> lock(storageMutex);
    int64_t& kept = keptStorage.current();
    kept = storageBytes(made);
    if (keptStorageTotal() <= storageBudget.load()) {
        return false;
    }
    releaseStorage(made);
    kept = 0;
    return true;
}

int64_t RenderSurface::keptStorageBytes()
{
    std::lock_guard<SlimMutex> lock(storageMutex);
    return keptStorageTotal();
}

int64_t RenderSurface::keptStorageTotal()
{
    int64_t total = 0;
    keptStorage.forEach([&](int64_t& bytes) { total += bytes; });
    return total;
}

void RenderSurface::setStorageBudgetForTesting(int64_t bytes)
{
    storageBudget = bytes;
}

// The framebuffer name stays: it holds no storage, and GL does not share it.
void RenderSurface::releaseStorage(Targets& made)
{
    if (made.outputRenderbuffer != 0) {
        glBindFramebuffer(GL_FRAMEBUFFER, made.framebuffer);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, 0);
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glDeleteRenderbuffers(1, &made.outputRenderbuffer);
        made.outputRenderbuffer = 0;
    }
    made.width = made.height = 0;
    made.input.release();
    made.custom.release();
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
    std::lock_guard<SlimMutex> lock(storageMutex);
    keptStorage.clear();
}

RenderSurface::Targets RenderSurface::currentTargets()
{
    return targets.hasCurrent() ? targets.current() : Targets{};
}

} // namespace Tessarine::Lamino
