#pragma once

#include <cstdint>

#include "AE_Effect.h"

namespace Tessarine::Lamino {

class SlicePass;
struct FrameControls;

// The worlds of one render as the host hands them. The frame is the layer's rect (LayerGeometry);
// the worlds lie in it at their origins, in the layer's buffer pixels: the input may cover any
// part of it (pixels it has not are transparent), the output any part of it or beyond it (a smart
// render's output grows with an upstream effect's). The classic render's worlds start at the
// layer's top-left. `custom` is the custom layer's checked-out pixels, null when none is chosen,
// at customOrigin of its reference rect, which is customReferenceWidth x customReferenceHeight
// full-resolution pixels (0: the world is the whole custom layer).
struct FrameWorlds {
    PF_LayerDef* input = nullptr;
    PF_LayerDef* output = nullptr;
    PF_LayerDef* custom = nullptr;
    int32_t inputOrigin[2] = {0, 0};
    int32_t outputOrigin[2] = {0, 0};
    int32_t customOrigin[2] = {0, 0};
    int32_t customReferenceWidth = 0;
    int32_t customReferenceHeight = 0;
    // The render request asks for the colour under zero alpha to be kept.
    bool keepZeroAlphaColour = false;
};

// One frame of the effect from the input world into the output world, in the host pixel format
// `pixelFormat` ("argb", "ae16" or "ae32") with the controls read for it: the layers uploaded
// into the current context's render surface, one draw, the readback. Needs the render's context
// current; any number of threads may render at once, each in its own context. Calls the host
// only for pixels (no checkouts). Throws an int host code or GpuFailure (see the steps).
void renderFrame(SlicePass& pass, PF_InData* in_data, const FrameWorlds& worlds,
                 const FrameControls& controls, uint32_t pixelFormat);

} // namespace Tessarine::Lamino
