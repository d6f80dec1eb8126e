#pragma once

#include <array>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <glbinding/gl/types.h>

#include "effect/BandTable.h"
#include "effect/BandTableTexture.h"
#include "effect/QuadGeometry.h"
#include "effect/SliceParameters.h"
#include "effect/SliceUniformBlock.h"
#include "gl/PerContext.h"
#include "gl/SlimMutex.h"

namespace Tessarine::Lamino {

class OpenglShader;

// One frame for the slice pass: the layer textures (custom 0 when none is chosen) with the
// custom layer's size, the frame size (the input layer's), the host format's factors
// (LayerFormat) between texels, full scale and the output, and the frame's controls.
struct SliceFrame {
    gl::GLuint inputTexture = 0;
    gl::GLuint customTexture = 0;
    float customWidth = 0.0f;
    float customHeight = 0.0f;
    float width = 0.0f;
    float height = 0.0f;
    float inputScale = 1.0f;
    float outputScale = 1.0f;
    float alphaFloor = 0.0f;
    // The frame's controls; edge type and custom layer are always taken from here.
    SliceParameters parameters;
    // The controls at the sample times across the shutter (at most kMaxSamples are used): when
    // they differ, the frame is their average; when empty, `parameters` alone are drawn.
    std::vector<SliceParameters> shutter;
};

// The slice effect's GPU pass: works out the frame's geometry and band table on the CPU (one of
// each per sample time when the frame is motion-blurred), then draws the slice program once over
// the bound framebuffer, from the layer textures straight into the host's channel order and
// scale. The program comes in variants for the edge mode, for whether bands move, whether a custom
// layer is laid over them, whether band edges are soft and whether several sample times are
// averaged, each built on its first use.
//
// Owns the slice programs and the full-frame quad's vertex buffer, shared by all contexts, and
// per context that drew its vertex array, its band table's texture and its uniform buffer. Renders
// on several threads draw at once, each in its own context: what a render writes (band table,
// uniform values) is its context's own, and the shared objects are made once, under a lock,
// finished (glFinish) before the lock goes, and only read afterwards (a program's per-draw
// values live in the uniform buffer, not in the program). Construction makes no GL call. draw
// needs the render's context current with the render surface bound by beginDraw; destruction
// needs a context of the shared group current, deletes that context's objects and leaves the
// others to go with their contexts.
class SlicePass {
public:
    SlicePass();
    // A pass whose programs come from another fragment text (for tests of failed builds).
    explicit SlicePass(std::string fragmentSource);
    ~SlicePass();

    SlicePass(const SlicePass&) = delete;
    SlicePass& operator=(const SlicePass&) = delete;

    // Raises GpuFailure: ProgramNotBuilt when the program does not build on this driver (no
    // draw is made), or what the band table's upload raises.
    void draw(const SliceFrame& frame);

    // Forgets every GL name without a GL call, for when the contexts are gone or going.
    void abandon();

    // Makes the current context's pipeline let go of the textures its last draw read, once they
    // are deleted: drivers may keep a deleted texture's storage for as long as a context's
    // sampler state still names it (Mesa does until the context's next draw). Draws one pixel
    // with no texture bound into the context's own window. Needs the render's context current.
    void dropLayerBindings();

    static constexpr int32_t kMaxSamples = SliceUniformValues::kSamples;
    static constexpr double kMaxSoftness = 100.0;

private:
    struct Variant {
        int32_t edgeMode;
        bool shifted, custom, soft, blur;
    };
    struct Sample; // one sample time's geometry and table
    // What a context keeps from draw to draw.
    struct ContextObjects {
        BandTableTexture table;
        SliceUniformBlock values;
    };
    static std::vector<SliceParameters> drawnSamples(const SliceFrame& frame);
    // The variant's program, built on first use, made the one in use; null when it is unbuilt.
    // The quad's buffer is made with it, under the same lock.
    OpenglShader* useProgram(const Variant& variant);
    static SliceUniformValues uniformValues(const SliceFrame& frame,
                                            const std::vector<Sample>& samples,
                                            const std::vector<BandTable>& tables,
                                            const std::vector<BandTableRows>& rows);
    static void bindTextures(const SliceFrame& frame, const BandTableTexture& table);

    static constexpr size_t kVariants = 64; // 4 edge modes x shifted x custom x soft x blur

    const std::string fragmentSource;
    // Guards the building of programs and of the quad's buffer, which every thread shares.
    SlimMutex sharedObjectsMutex;
    // Declared before the quad, so that the quad's objects are deleted before the programs.
    std::array<std::unique_ptr<OpenglShader>, kVariants> programs;
    QuadGeometry quad;
    PerContext<ContextObjects> contextObjects{&SlicePass::releaseContextObjects};

    static void releaseContextObjects(ContextObjects& objects)
    {
        objects.table.release();
        objects.values.release();
    }
};

} // namespace Tessarine::Lamino
