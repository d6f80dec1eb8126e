#pragma once

#include <glbinding/gl/types.h>

#include "AE_Effect.h"
#include "AE_EffectCB.h"
#include "pipeline/LayerFormat.h"

namespace Tessarine::Lamino {

class LayerTexture;

// User data of the host's float iteration: the dense buffer of one layer's pixels (row length
// world->width, world->height rows, host channel order) and the world whose size it has.
struct FloatCopyContext {
    PF_PixelFloat* buffer;
    PF_EffectWorld* world;
};

// Uploads a host layer into `texture` in the layer's own format (8-bit as GL_RGBA8, 16-bit as
// GL_RGBA16, float as GL_RGBA32F): texel channels r, g, b, a hold the host's A, R, G, B
// unreordered, host row y in texel row y. 8- and 16-bit rows go to GL straight from the host's
// memory; float pixels are reached through the host's iteration suite, into a dense buffer.
// Returns the texture's name, 0 for a layer without pixels (nothing to sample).
// Throws an int host code: PF_Err_BAD_CALLBACK_PARAM for an unusable world, 13 for a missing
// suite, PF_Err_OUT_OF_MEMORY when the float buffer cannot be had, the iteration's own error;
// GpuFailure when the layer is beyond the driver's texture size or its storage cannot be had.
// Needs a current GL context; leaves no texture bound and GL_UNPACK_ROW_LENGTH at 0.
gl::GLuint uploadLayer(const LayerFormat& format, PF_EffectWorld* layer, PF_InData* in_data,
                       LayerTexture& texture);

// The largest magnitude a float layer's sample keeps (the largest half-float value): beyond it,
// and for infinities, a sample is held to it, so that filtering and premultiplying stay finite.
constexpr float kLargestFloatSample = 65504.0f;

// A float sample as the effect works with it: NaN becomes 0 (a pixel that is not a number shows
// nothing rather than spreading over its band), anything else is held to +-kLargestFloatSample.
float finiteSample(float value);

// Float iteration callback: copies the input pixel into the dense buffer (context refcon) at
// its place, every channel made finite (finiteSample); leaves the output pixel as it is.
PF_Err copyFloatPixelIn(void* refcon, A_long x, A_long y, PF_PixelFloat* in, PF_PixelFloat* out);

} // namespace Tessarine::Lamino
