#include "effect/SlicePass.h"

#include <algorithm>
#include <string>

#include <glbinding/gl/gl.h>

#include "effect/BandTable.h"
#include "effect/FullFrameQuad.h"
#include "effect/SliceGeometry.h"
#include "gl/GpuFailure.h"
#include "gl/OpenglShader.h"
#include "gl/SlimMutex.h"
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
                                 bool custom, bool soft, bool blur, bool supersampled, bool placed)
{
    const size_t lineEnd = source.find('\n') + 1;
    return source.substr(0, lineEnd) + switchLine("EDGE_MODE", edgeMode) +
           switchLine("SHIFTED", shifted) + switchLine("CUSTOM_LAYER", custom) +
           switchLine("SOFT", soft) + switchLine("MOTION_BLUR", blur) +
           switchLine("SUPERSAMPLED", supersampled) + switchLine("PLACED", placed) +
           source.substr(lineEnd);
}

} // namespace

struct SlicePass::Sample {
    SliceGeometry geometry;
    float softness;
    float layerAlpha;
};

SlicePass::SlicePass() : SlicePass(kSliceFragmentSource) {}

SlicePass::SlicePass(std::string fragmentSource) : fragmentSource(std::move(fragmentSource)) {}

OpenglShader* SlicePass::useProgram(const Variant& v)
{
    const size_t index = size_t(
        (((((v.edgeMode * 2 + v.shifted) * 2 + v.custom) * 2 + v.soft) * 2 + v.blur) * 2 +
         v.supersampled) * 2 + v.placed);
    std::lock_guard<SlimMutex> lock(sharedObjectsMutex);
    std::unique_ptr<OpenglShader>& slot = programs[index];
    if (!slot) {
        slot = std::make_unique<OpenglShader>(
            kPassthroughVertexShader,
            variantSource(fragmentSource, v.edgeMode, v.shifted, v.custom, v.soft, v.blur,
                          v.supersampled, v.placed));
        slot->addAttribute("position", 0);
        slot->addAttribute("input_uv", 1);
        slot->addSamplerUnit("t0", kInputUnit);
        slot->addSamplerUnit("t1", kCustomUnit);
        slot->addSamplerUnit("bandLookup", kBandUnit);
        slot->addUniformBlock("FrameValues", SliceUniformBlock::kBinding);
    }
    const bool wasBuilt = slot->program() != 0;
    const bool madeBuffer = quad.makeIfMissing();
    // Built under the lock; once built, use() only makes it the context's program.
    const bool built = slot->use();
    // Other contexts may rely on a shared object only once the commands that made it are
    // complete: drivers that queue each context's commands (threaded drivers) would otherwise let
    // another render thread draw with samplers not yet on their units or from an empty buffer.
    // Finished before the lock goes, so that whoever takes it next finds them whole.
    if ((built && !wasBuilt) || madeBuffer) {
        glFinish();
    }
    return built ? slot.get() : nullptr;
}

SlicePass::~SlicePass()
{
    if (contextObjects.hasCurrent()) {
        releaseContextObjects(contextObjects.current());
    }
    contextObjects.clear();
}

void SlicePass::abandon()
{
    contextObjects.clear();
    quad.abandon();
    for (std::unique_ptr<OpenglShader>& variant : programs) {
        if (variant) {
            variant->abandon();
        }
    }
}

std::vector<SliceParameters> SlicePass::drawnSamples(const SliceFrame& frame)
{
    const std::vector<SliceParameters>& shutter = frame.shutter;
    if (shutter.empty()) {
        return {frame.parameters};
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
    const FramePlacement& place = frame.placement;
    Variant variant{edgeMode(frame.parameters.edgeType), false, frame.customTexture != 0, false,
                    false, place.supersample[0] > 1 || place.supersample[1] > 1,
                    !place.worldsCoverFrame || frame.inputTexture == 0};
    const float outputReach = lookupReach(frame);
    for (const SliceParameters& p : drawnSamples(frame)) {
        const SliceGeometry geometry = sliceGeometry(p.angle, frame.width, frame.height);
        samples.push_back({geometry, softnessOf(p), static_cast<float>(p.layerAlpha)});
        tables.push_back(BandTable::build(p, geometry.maxDist,
                                          0.5f * samples.back().softness + outputReach));
        variant.shifted = variant.shifted || tables.back().shifted;
        variant.soft = variant.soft || samples.back().softness > 0.0f;
    }
    // Soft edges also soften the frame's edge, which only the shifted sampling masks; so does an
    // output reaching beyond the frame, where the edge mode decides what shows.
    variant.shifted = variant.shifted || variant.soft || outputBeyondFrame(frame);
    variant.blur = samples.size() > 1;
    OpenglShader* shader = useProgram(variant);
    if (!shader) {
        throw GpuFailure{GpuFailure::Kind::ProgramNotBuilt};
    }
    ContextObjects& objects = contextObjects.current();
    const std::vector<BandTableRows> rows = objects.table.upload(tables, variant.soft);
    objects.values.upload(uniformValues(frame, samples, tables, rows));

    quad.bind();
    shader->setAttributePointer3(0, 0, kQuadStride);
    shader->setAttributePointer2(1, kQuadUvOffset, kQuadStride);
    bindTextures(frame, objects.table);
    glDrawArrays(GL_TRIANGLES, 0, kQuadVertexCount);
    shader->disableAttribute(0);
    shader->disableAttribute(1);
    QuadGeometry::unbind();
}

void SlicePass::dropLayerBindings()
{
    GLint program = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &program);
    if (program == 0 || !contextObjects.hasCurrent()) {
        return;
    }
    for (int32_t unit : {kInputUnit, kCustomUnit, kBandUnit}) {
        glActiveTexture(static_cast<GLenum>(static_cast<unsigned>(GL_TEXTURE0) + unit));
        glBindTexture(GL_TEXTURE_2D, 0);
    }
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glViewport(0, 0, 1, 1);
    quad.bind();
    glDrawArrays(GL_TRIANGLES, 0, 3);
    QuadGeometry::unbind();
}

SliceUniformValues SlicePass::uniformValues(const SliceFrame& frame,
                                            const std::vector<Sample>& samples,
                                            const std::vector<BandTable>& tables,
                                            const std::vector<BandTableRows>& rows)
{
    SliceUniformValues values;
    for (size_t i = 0; i < samples.size(); ++i) {
        const Sample& s = samples[i];
        const float line[4] = {s.geometry.startPoint[0], s.geometry.startPoint[1],
                               s.geometry.along[0], s.geometry.along[1]};
        const float bands[4] = {tables[i].patternShift, tables[i].recordOrigin, s.softness,
                                s.layerAlpha};
        const int32_t table[4] = {rows[i].lookupRow, rows[i].softRow, rows[i].lastRecord,
                                  rows[i].lastBand};
        std::copy(line, line + 4, values.sampleLine[i]);
        std::copy(bands, bands + 4, values.sampleBands[i]);
        std::copy(table, table + 4, values.sampleTable[i]);
    }
    values.sampleCount = static_cast<int32_t>(samples.size());
    values.viewSize[0] = frame.width;
    values.viewSize[1] = frame.height;
    placeWorlds(frame, values);
    values.inputScale = frame.inputScale;
    values.outputScale = frame.outputScale;
    values.alphaFloor = frame.alphaFloor;
    return values;
}

// Where the worlds lie, with the defaults of FramePlacement resolved: a zero frame size is the
// frame's own size in pixels, a zero custom scale stretches the custom texture over the frame.
void SlicePass::placeWorlds(const SliceFrame& frame, SliceUniformValues& values)
{
    const FramePlacement& place = frame.placement;
    const bool custom = frame.customTexture != 0;
    const float frameSize[2] = {frame.width, frame.height};
    const float customSize[2] = {frame.customWidth, frame.customHeight};
    for (int axis = 0; axis < 2; ++axis) {
        values.toSquare[axis] = place.toSquare[axis];
        values.fromSquare[axis] = place.fromSquare[axis];
        values.outputOrigin[axis] = static_cast<float>(place.outputOrigin[axis]);
        values.inputOrigin[axis] = place.inputOrigin[axis];
        values.frameTexels[axis] = std::max<int32_t>(1, frameTexels(frame, axis));
        values.customOrigin[axis] = place.customOrigin[axis];
        values.customTexels[axis] = std::max<int32_t>(
            1, place.customTexels[axis] > 0 ? place.customTexels[axis]
                                            : static_cast<int32_t>(customSize[axis]));
        // The custom layer is stretched to the frame, whatever its own size.
        const float stretch = place.customScale[axis] > 0.0f
            ? place.customScale[axis]
            : customSize[axis] / frameSize[axis];
        values.customScale[axis] = custom ? stretch : 0.0f;
        values.supersample[axis] = std::clamp(place.supersample[axis], 1, kMaxSupersample);
    }
    values.keepZeroAlphaColour = place.keepZeroAlphaColour ? 1 : 0;
}

int32_t SlicePass::frameTexels(const SliceFrame& frame, int axis)
{
    const int32_t placed = frame.placement.frameTexels[axis];
    return placed > 0 ? placed : static_cast<int32_t>(axis == 0 ? frame.width : frame.height);
}

// How far past the frame's extent across the bands an output pixel may lie, in full-resolution
// pixels: the output's reach beyond the frame on each axis, and a buffer pixel more for the
// samples a downsampled pixel averages.
float SlicePass::lookupReach(const SliceFrame& frame)
{
    const FramePlacement& place = frame.placement;
    float reach = 0.0f;
    for (int axis = 0; axis < 2; ++axis) {
        const int32_t origin = place.outputOrigin[axis];
        const int32_t end = place.outputSize[axis] > 0 ? origin + place.outputSize[axis] : 0;
        const int32_t beyond = std::max({0, -origin, end - frameTexels(frame, axis)});
        reach += static_cast<float>(beyond + 1) * std::max(place.toSquare[axis], 1.0f);
    }
    return reach;
}

bool SlicePass::outputBeyondFrame(const SliceFrame& frame)
{
    const FramePlacement& place = frame.placement;
    for (int axis = 0; axis < 2; ++axis) {
        const int32_t size = place.outputSize[axis];
        if (place.outputOrigin[axis] < 0 ||
            (size > 0 && place.outputOrigin[axis] + size > frameTexels(frame, axis))) {
            return true;
        }
    }
    return false;
}

// The program reads the layers and the band table on fixed units (set when it was linked).
void SlicePass::bindTextures(const SliceFrame& frame, const BandTableTexture& table)
{
    const std::pair<int32_t, GLuint> units[] = {
        {kInputUnit, frame.inputTexture},
        {kCustomUnit, frame.customTexture},
        {kBandUnit, table.texture()},
    };
    for (const auto& [unit, texture] : units) {
        glActiveTexture(static_cast<GLenum>(static_cast<unsigned>(GL_TEXTURE0) + unit));
        glBindTexture(GL_TEXTURE_2D, texture);
    }
}

} // namespace Tessarine::Lamino
