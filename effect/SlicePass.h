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

// Where a render's buffers lie against the frame, the layer's rect. Positions are in the layer's
// buffer pixels (downsampled, as the host hands them), counted from the layer's top-left; the band
// geometry works in the layer's full-resolution square pixels, `toSquare` of them to a buffer
// pixel. The defaults (zero sizes) mean worlds that are the frame itself: the input texture's
// size is the frame's, the custom layer is stretched from its texture over the frame.
struct FramePlacement {
    float toSquare[2] = {1.0f, 1.0f};   // full-resolution square pixels per buffer pixel
    float fromSquare[2] = {1.0f, 1.0f}; // buffer pixels per full-resolution square pixel
    int32_t frameTexels[2] = {0, 0};    // the frame in buffer pixels (the edge clamp's range)
    int32_t inputOrigin[2] = {0, 0};    // the input world's first pixel
    int32_t outputOrigin[2] = {0, 0};   // the output's first pixel
    int32_t outputSize[2] = {0, 0};     // the output's size in pixels
    // The custom layer: its reference rect (in its own buffer pixels) is stretched over the
    // frame, customScale of its pixels to a frame buffer pixel; its world's first pixel lies at
    // customOrigin of that rect; outside the world it is transparent.
    float customScale[2] = {0.0f, 0.0f};
    int32_t customOrigin[2] = {0, 0};
    int32_t customTexels[2] = {0, 0};
    // Full-resolution samples a buffer pixel averages on each axis (downsampled buffers).
    int32_t supersample[2] = {1, 1};
    // Colour under alpha 0 is written as computed instead of as black.
    bool keepZeroAlphaColour = false;
    // The input world covers the frame and the custom world its reference rect: no read falls
    // beyond a world (the common case, read without a bounds check).
    bool worldsCoverFrame = true;
};

// One frame for the slice pass: the layer textures (custom 0 when none is chosen) with the
// custom layer's texture size, the frame size in full-resolution square pixels (for worlds that
// are the frame, its size in pixels), where the worlds lie, the host format's factors
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
    FramePlacement placement;
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
    static constexpr int32_t kMaxSupersample = 8;

private:
    struct Variant {
        int32_t edgeMode;
        bool shifted, custom, soft, blur, supersampled, placed;
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
    static void placeWorlds(const SliceFrame& frame, SliceUniformValues& values);
    static bool outputBeyondFrame(const SliceFrame& frame);
    static float lookupReach(const SliceFrame& frame);
    // The frame's size in buffer pixels on one axis: the placement's, or the frame's own size.
    static int32_t frameTexels(const SliceFrame& frame, int axis);
    static void bindTextures(const SliceFrame& frame, const BandTableTexture& table);

    // 4 edge modes x shifted x custom x soft x blur x supersampled x placed
    static constexpr size_t kVariants = 256;

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
