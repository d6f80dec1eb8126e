#pragma once

#include <cstdint>

#include <glbinding/gl/types.h>

#include "gl/PerContext.h"
#include "gl/SlimMutex.h"
#include "pipeline/LayerFormat.h"
#include "pipeline/LayerTexture.h"

namespace Tessarine::Lamino {

// The frame-sized GPU objects of a render, kept per context from render to render and made again
// only when the frame's size or format changes: the output renderbuffer in the host format's own
// precision with the framebuffer that holds it (the slice program draws into it, the readback
// reads it), and the textures of the input and custom layers.
//
// Each context that renders has a set of its own (GL does not share framebuffers, and renders on
// other threads must not write into this thread's objects). A context deleted while current
// deletes its set; teardown deletes the current context's and forgets the others', which go with
// their share group. Every operation but instance needs a context of the group current.
class RenderSurface {
public:
    static RenderSurface& instance();

    RenderSurface(const RenderSurface&) = delete;
    RenderSurface& operator=(const RenderSurface&) = delete;

    // Gives the current context's output the size and format. Raises GpuFailure (OutOfMemory)
    // when its storage cannot be had or the framebuffer is incomplete, with nothing left made
    // but the framebuffer name; the next prepare tries again.
    void prepare(int32_t width, int32_t height, const LayerFormat& format);

    // Binds the output framebuffer for drawing and reading, with a covering viewport and
    // blending off: the state the slice program draws with and the readback reads from.
    void beginDraw();

    LayerTexture& inputLayer();
    LayerTexture& customLayer();

    // Ends a render in the current context. The context keeps its output and layer storage for
    // its next render while the storage kept by all contexts together stays within the budget;
    // beyond it, the context gives its storage back (its next render makes it again). A thread
    // that renders 4K float frames keeps about 400 MB, and hosts run one render thread per core,
    // most of them idle between renders.
    // Says whether the storage was given back.
    bool finishRender();

    // The bytes of frame storage kept by all contexts as their last renders ended.
    int64_t keptStorageBytes();
    static constexpr int64_t kStorageBudget = int64_t(1) << 30;
    // For tests: another budget (kStorageBudget again to restore it).
    static void setStorageBudgetForTesting(int64_t bytes);

    // Deletes the current context's objects and forgets every other context's.
    void teardown();

    // The current context's objects, for tests; all 0 when it has none.
    struct Targets {
        gl::GLuint framebuffer = 0;
        gl::GLuint outputRenderbuffer = 0;
        int32_t width = 0;
        int32_t height = 0;
        gl::GLenum internalFormat{};
        LayerTexture input;
        LayerTexture custom;
    };
    Targets currentTargets();

private:
    RenderSurface();
    ~RenderSurface() = default;

    static void releaseTargets(Targets& targets);
    static void releaseStorage(Targets& targets);
    static int64_t storageBytes(const Targets& targets);
    // The storage all contexts keep; storageMutex held.
    int64_t keptStorageTotal();
    static void makeOutput(Targets& targets, int32_t width, int32_t height,
                           gl::GLenum internalFormat);

    PerContext<Targets> targets{&RenderSurface::releaseTargets};
    // What each context kept as its last render ended: written by its own thread, summed by every
    // thread, all under storageMutex. A context's entry goes with the context.
    SlimMutex storageMutex;
    PerContext<int64_t> keptStorage;
};

} // namespace Tessarine::Lamino
