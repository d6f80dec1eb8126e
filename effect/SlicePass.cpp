#include "effect/SlicePass.h"

#include <string>

#include <glbinding/gl/gl.h>

#include "effect/BandTable.h"
#include "effect/FullFrameQuad.h"
#include "effect/SliceGeometry.h"
#include "gl/GpuFailure.h"
#include "gl/OpenglShader.h"
#include "shaders/slice.frag.h"

using namespace gl;

namespace Tessarine::Lamino {

namespace {

constexpr int32_t kInputUnit = 0;
constexpr int32_t kCustomUnit = 1;
constexpr int32_t kBandUnit = 2;
constexpr int32_t kEdgeModes = 4;

// A choice outside the four edge modes is held to them.
int32_t edgeMode(int32_t edgeType)
{
    return edgeType < 0 ? 0 : edgeType >= kEdgeModes ? kEdgeModes - 1 : edgeType;
}

// A fragment text with the variant's switches defined right after its version line.
std::string variantSource(const std::string& source, int32_t edgeMode, bool shifted, bool custom)
{
    const size_t lineEnd = source.find('\n') + 1;
    return source.substr(0, lineEnd) + "#define EDGE_MODE " + std::to_string(edgeMode) +
           "\n#define SHIFTED " + (shifted ? "1" : "0") + "\n#define CUSTOM_LAYER " +
           (custom ? "1" : "0") + "\n" + source.substr(lineEnd);
}

} // namespace

SlicePass::SlicePass() : SlicePass(kSliceFragmentSource) {}

SlicePass::SlicePass(std::string fragmentSource) : fragmentSource(std::move(fragmentSource)) {}

OpenglShader& SlicePass::program(int32_t edgeMode, bool shifted, bool custom)
{
    std::unique_ptr<OpenglShader>& slot =
        programs[static_cast<size_t>(edgeMode * 4 + (shifted ? 2 : 0) + (custom ? 1 : 0))];
    if (!slot) {
        slot = std::make_unique<OpenglShader>(
            kPassthroughVertexShader, variantSource(fragmentSource, edgeMode, shifted, custom));
        slot->addAttribute("position", 0);
        slot->addAttribute("input_uv", 1);
    }
    return *slot;
}

SlicePass::~SlicePass()
{
    if (bandTables.hasCurrent()) {
        bandTables.current().release();
    }
    bandTables.clear();
}

void SlicePass::abandon()
{
    bandTables.clear();
    quad.abandon();
    for (std::unique_ptr<OpenglShader>& variant : programs) {
        if (variant) {
            variant->abandon();
        }
    }
}

void SlicePass::draw(const SliceFrame& frame)
{
    const SliceGeometry geometry = sliceGeometry(parameters.angle, frame.width, frame.height);
    const BandTable table = BandTable::build(parameters, geometry.maxDist);
    OpenglShader& shader =
        program(edgeMode(parameters.edgeType), table.shifted, frame.customTexture != 0);
    if (!shader.use()) {
        throw GpuFailure{GpuFailure::Kind::ProgramNotBuilt};
    }
    BandTableTexture& tableTexture = bandTables.current();
    tableTexture.upload(table);

    quad.makeIfMissing();
    quad.bind();
    shader.setAttributePointer3(0, 0, kQuadStride);
    shader.setAttributePointer2(1, kQuadUvOffset, kQuadStride);
    shader.setUniform("startPoint", geometry.startPoint[0], geometry.startPoint[1]);
    shader.setUniform("along", geometry.along[0], geometry.along[1]);
    shader.setUniform("across", geometry.across[0], geometry.across[1]);
    setUniforms(shader, frame, tableTexture, static_cast<int32_t>(table.lookup.size()));
    glDrawArrays(GL_TRIANGLES, 0, kQuadVertexCount);
    shader.disableAttribute(0);
    shader.disableAttribute(1);
    QuadGeometry::unbind();
}

void SlicePass::setUniforms(OpenglShader& shader, const SliceFrame& frame,
                            const BandTableTexture& table, int32_t records)
{
    const bool custom = frame.customTexture != 0;
    shader.setTexture("t0", GL_TEXTURE_2D, frame.inputTexture, kInputUnit);
    shader.setTexture("t1", GL_TEXTURE_2D, frame.customTexture, kCustomUnit);
    shader.setTexture("bandLookup", GL_TEXTURE_2D, table.texture(), kBandUnit);
    shader.setUniform("lastRecord", records - 1);
    shader.setUniform("viewSize", frame.width, frame.height);
    // The custom layer is stretched to the frame, whatever its own size.
    shader.setUniform("customScale", custom ? frame.customWidth / frame.width : 0.0f,
                      custom ? frame.customHeight / frame.height : 0.0f);
    shader.setUniform("layerAlpha", static_cast<float>(parameters.layerAlpha));
    shader.setUniform("inputScale", frame.inputScale);
    shader.setUniform("outputScale", frame.outputScale);
    shader.setUniform("alphaFloor", frame.alphaFloor);
}

} // namespace Tessarine::Lamino
