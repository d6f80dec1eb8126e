#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include <glbinding/gl/types.h>

#include "gl/PerContext.h"

namespace Tessarine::Lamino {

class OutputConversionPass;

// The one offscreen drawing target of a render: a stack of multisampled colour renderbuffers
// ("levels") that the slice pass draws into, a resolve of the top level into a fresh texture, and
// a single-sample output renderbuffer that the conversion pass draws into and the readback reads.
// Owns the renderbuffers (shared by all contexts of the group), the three framebuffers of every
// context that rendered (GL does not share framebuffers, so each context gets its own set, made
// once and kept across resizes), and the OutputConversionPass.
// Not locked: renders must not overlap. Every operation but instance needs a context of the
// group current; framebuffers are those of the current context.
class RenderSurface {
public:
    static RenderSurface& instance();

    RenderSurface(const RenderSurface&) = delete;
    RenderSurface& operator=(const RenderSurface&) = delete;

    void resize(int32_t w, int32_t h);
    void beginDraw();
    gl::GLuint resolveToTexture();
    void convertOutput(float multiplier);
    void release();
    void teardown();

    // The framebuffers of one context; 0 = not made.
    struct Framebuffers {
        gl::GLuint blitFramebuffer = 0;
        gl::GLuint outputFramebuffer = 0;
        gl::GLuint multisampleFramebuffer = 0;
    };

    // Read access for tests.
    int32_t surfaceWidth() const { return width; }
    int32_t surfaceHeight() const { return height; }
    const std::vector<gl::GLuint>& levelStack() const { return levels; }
    gl::GLuint outputRenderbufferName() const { return outputRenderbuffer; }
    Framebuffers currentFramebuffers(); // all 0 when the current context has none
    bool hasConversionPass() const { return conversionPass != nullptr; }
    // Samples per pixel of later levels; 0 draws single-sample. For comparing the two.
    void forceSampleCount(int32_t count) { samples = count; }

private:
    RenderSurface();
    ~RenderSurface();

    void replaceRenderbuffers(int32_t w, int32_t h);
    void makeFramebuffers();
    void deleteLevels();
    void pushLevel();
    gl::GLuint makeResolveTexture();
    int32_t sampleCount();

    PerContext<Framebuffers> framebuffers;
    gl::GLuint outputRenderbuffer = 0;
    int32_t width = 0;
    int32_t height = 0;
    std::vector<gl::GLuint> levels; // last element on top
    int32_t samples = -1; // -1 until asked of the driver
    std::unique_ptr<OutputConversionPass> conversionPass;
};

} // namespace Tessarine::Lamino
