#include "effect/SlicePass.h"

#include <algorithm>
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

// Soft edges over at most kMaxSoftness pixels; a value that is not a number counts as none.
float softnessOf(const SliceParameters& p)
{
    const double softness = std::min(p.edgeSoftness, SlicePass::kMaxSoftness);
    return softness > 0.0 ? static_cast<float>(softness) : 0.0f;
}

std::string switchLine(const char* name, int32_t value)
{
    return std::string("#define ") + name + " " + std::to_string(value) + "\n";
}

// A fragment text with the variant's switches defined right after its version line.
std::string variantSource(const std::string& source, int32_t edgeMode, bool shifted,
                                 bool custom, bool soft, bool blur)
{
    const size_t lineEnd = source.find('\n') + 1;
    return source.substr(0, lineEnd) + switchLine("EDGE_MODE", edgeMode) +
           switchLine("SHIFTED", shifted) + switchLine("CUSTOM_LAYER", custom) +
           switchLine("SOFT", soft) + switchLine("MOTION_BLUR", blur) + source.substr(lineEnd);
}

} // namespace

struct SlicePass::Sample {
    SliceGeometry geometry;
    float softness;
    float layerAlpha;
};

SlicePass::SlicePass() : SlicePass(kSliceFragmentSource) {}

SlicePass::SlicePass(std::string fragmentSource) : fragmentSource(std::move(fragmentSource)) {}

OpenglShader& SlicePass::program(const Variant& v)
{
    const size_t index =
        size_t((((v.edgeMode * 2 + v.shifted) * 2 + v.custom) * 2 + v.soft) * 2 + v.blur);
    std::unique_ptr<OpenglShader>& slot = programs[index];
    if (!slot) {
        slot = std::make_unique<OpenglShader>(
            kPassthroughVertexShader,
            variantSource(fragmentSource, v.edgeMode, v.shifted, v.custom, v.soft, v.blur));
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

std::vector<SliceParameters> SlicePass::drawnSamples() const
{
    if (shutter.empty()) {
        return {parameters};
    }
    const size_t count = std::min(shutter.size(), size_t(kMaxSamples));
    for (size_t i = 1; i < count; ++i) {
        if (!sameSlice(shutter[i], shutter[0])) {
            return {shutter.begin(), shutter.begin() + std::ptrdiff_t(count)};
        }
    }
    // Nothing moves while the shutter is open: one sample is the whole frame, to the bit.
    return {shutter[0]};
}

void SlicePass::draw(const SliceFrame& frame)
{
    std::vector<Sample> samples;
    std::vector<BandTable> tables;
    Variant variant{edgeMode(parameters.edgeType), false, frame.customTexture != 0, false, false};
    for (const SliceParameters& p : drawnSamples()) {
        const SliceGeometry geometry = sliceGeometry(p.angle, frame.width, frame.height);
        samples.push_back({geometry, softnessOf(p), static_cast<float>(p.layerAlpha)});
        tables.push_back(BandTable::build(p, geometry.maxDist));
        variant.shifted = variant.shifted || tables.back().shifted;
        variant.soft = variant.soft || samples.back().softness > 0.0f;
    }
    // Soft edges also soften the frame's edge, which only the shifted sampling masks.
    variant.shifted = variant.shifted || variant.soft;
    variant.blur = samples.size() > 1;
    OpenglShader& shader = program(variant);
    if (!shader.use()) {
        throw GpuFailure{GpuFailure::Kind::ProgramNotBuilt};
    }
    BandTableTexture& tableTexture = bandTables.current();
    const std::vector<BandTableRows> rows = tableTexture.upload(tables, variant.soft);

    quad.makeIfMissing();
    quad.bind();
    shader.setAttributePointer3(0, 0, kQuadStride);
    shader.setAttributePointer2(1, kQuadUvOffset, kQuadStride);
    setSampleUniforms(shader, samples, tables, rows);
    setUniforms(shader, frame, tableTexture);
    glDrawArrays(GL_TRIANGLES, 0, kQuadVertexCount);
    shader.disableAttribute(0);
    shader.disableAttribute(1);
    QuadGeometry::unbind();
}

void SlicePass::setSampleUniforms(OpenglShader& shader, const std::vector<Sample>& samples,
                                  const std::vector<BandTable>& tables,
                                  const std::vector<BandTableRows>& rows)
{
    std::vector<float> line, bands;
    std::vector<int32_t> table;
    for (size_t i = 0; i < samples.size(); ++i) {
        const Sample& s = samples[i];
        line.insert(line.end(), {s.geometry.startPoint[0], s.geometry.startPoint[1],
                                 s.geometry.along[0], s.geometry.along[1]});
        bands.insert(bands.end(), {tables[i].patternShift, tables[i].recordOrigin, s.softness,
                                   s.layerAlpha});
        table.insert(table.end(),
                     {rows[i].lookupRow, rows[i].softRow, rows[i].lastRecord, rows[i].lastBand});
    }
    const int32_t count = static_cast<int32_t>(samples.size());
    shader.setUniform("sampleCount", count);
    shader.setUniformArray4("sampleLine[0]", line.data(), count);
    shader.setUniformArray4("sampleBands[0]", bands.data(), count);
    shader.setUniformArray4("sampleTable[0]", table.data(), count);
}

void SlicePass::setUniforms(OpenglShader& shader, const SliceFrame& frame,
                            const BandTableTexture& table)
{
    const bool custom = frame.customTexture != 0;
    shader.setTexture("t0", GL_TEXTURE_2D, frame.inputTexture, kInputUnit);
    shader.setTexture("t1", GL_TEXTURE_2D, frame.customTexture, kCustomUnit);
    shader.setTexture("bandLookup", GL_TEXTURE_2D, table.texture(), kBandUnit);
    shader.setUniform("viewSize", frame.width, frame.height);
    // The custom layer is stretched to the frame, whatever its own size.
    shader.setUniform("customScale", custom ? frame.customWidth / frame.width : 0.0f,
                      custom ? frame.customHeight / frame.height : 0.0f);
    shader.setUniform("inputScale", frame.inputScale);
    shader.setUniform("outputScale", frame.outputScale);
    shader.setUniform("alphaFloor", frame.alphaFloor);
}

} // namespace Tessarine::Lamino
