#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include <glbinding/gl/types.h>

#include "effect/BandTable.h"
#include "effect/BandTableTexture.h"
#include "effect/QuadGeometry.h"
#include "effect/SliceParameters.h"
#include "gl/PerContext.h"

namespace Tessarine::Lamino {

class OpenglShader;

// One frame for the slice pass: the layer textures (custom 0 when none is chosen) with the
// custom layer's size, the frame size (the input layer's), and the host format's factors
// (LayerFormat) between texels, full scale and the output.
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
};

// The slice effect's GPU pass: works out the frame's geometry and band table on the CPU (one of
// each per sample time when the frame is motion-blurred), then draws the slice program once over
// the bound framebuffer, from the layer textures straight into the host's channel order and
// scale. The program comes in variants for the edge mode, for whether bands move, whether a custom
// layer is laid over them, whether band edges are soft and whether several sample times are
// averaged, each built on its first use.
//
// Owns the slice programs, the full-frame quad's vertex buffer (shared by all contexts), and per
// context that drew its vertex array and its band table's buffers and textures (renders on
// different threads must not share what they change); holds the current render's parameter
// values. Construction makes no GL call. draw needs the render's context current with the
// render surface bound by beginDraw; destruction needs a context of the shared group current,
// deletes that context's objects and leaves the others to go with their contexts.
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

    static constexpr int32_t kMaxSamples = 64;
    static constexpr double kMaxSoftness = 100.0;

    // The frame's controls; edge type and custom layer are always taken from here.
    SliceParameters parameters;
    // The controls at the sample times across the shutter (at most kMaxSamples are used): when
    // they differ, the frame is their average; when empty, `parameters` alone are drawn.
    std::vector<SliceParameters> shutter;

private:
    struct Variant {
        int32_t edgeMode;
        bool shifted, custom, soft, blur;
    };
    struct Sample; // one sample time's geometry and table
    std::vector<SliceParameters> drawnSamples() const;
    OpenglShader& program(const Variant& variant);
    void setSampleUniforms(OpenglShader& shader, const std::vector<Sample>& samples,
                           const std::vector<BandTable>& tables,
                           const std::vector<BandTableRows>& rows);
    void setUniforms(OpenglShader& shader, const SliceFrame& frame, const BandTableTexture& table);

    static constexpr size_t kVariants = 64; // 4 edge modes x shifted x custom x soft x blur

    const std::string fragmentSource;
    // Declared before the quad, so that the quad's objects are deleted before the programs.
    std::array<std::unique_ptr<OpenglShader>, kVariants> programs;
    QuadGeometry quad;
    PerContext<BandTableTexture> bandTables{&SlicePass::releaseTable};

    static void releaseTable(BandTableTexture& table) { table.release(); }
};

} // namespace Tessarine::Lamino
