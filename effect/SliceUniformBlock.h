#pragma once

#include <cstdint>

#include <glbinding/gl/types.h>

namespace Tessarine::Lamino {

// The slice program's values for one render, laid out as its FrameValues uniform block in the
// std140 rules: arrays of 16-byte elements, then five vec2, five ivec2 and five 4-byte scalars,
// padded to a whole vec4.
struct SliceUniformValues {
    static constexpr int32_t kSamples = 64;
    float sampleLine[kSamples][4] = {};
    float sampleBands[kSamples][4] = {};
    int32_t sampleTable[kSamples][4] = {};
    float viewSize[2] = {};
    float customScale[2] = {};
    float toSquare[2] = {1.0f, 1.0f};
    float fromSquare[2] = {1.0f, 1.0f};
    float outputOrigin[2] = {};
    int32_t inputOrigin[2] = {};
    int32_t frameTexels[2] = {};
    int32_t customOrigin[2] = {};
    int32_t customTexels[2] = {};
    int32_t supersample[2] = {1, 1};
    float inputScale = 1.0f;
    float outputScale = 1.0f;
    float alphaFloor = 0.0f;
    int32_t sampleCount = 0;
    int32_t keepZeroAlphaColour = 0;
    int32_t padding[3] = {};
};
static_assert(sizeof(SliceUniformValues) == 3 * 64 * 16 + 112, "the std140 block's size");

// One context's uniform buffer for the slice program. The program is shared by every render
// thread, so the values of a render live here, in an object its own context alone writes.
// Owns its buffer (0 = not made). Plain data otherwise: kept per context by the slice pass,
// which calls release with that context current.
class SliceUniformBlock {
public:
    // The binding point the program's block reads from.
    static constexpr gl::GLuint kBinding = 0;

    // Writes the values into the buffer (made on first use) and binds it at kBinding. Raises
    // GpuFailure (OutOfMemory) when the buffer cannot be had.
    void upload(const SliceUniformValues& values);
    void release();

    gl::GLuint buffer() const { return name; }

private:
    gl::GLuint name = 0;
};

} // namespace Tessarine::Lamino
