#pragma once

#include <cstdint>

#include "AE_Effect.h"

namespace Tessarine::Lamino {

class SlicePass;
struct FrameControls;

// The worlds of one render as the host hands them. The frame is the input layer's size; the
// output world holds the part of it from frame pixel (outputX, outputY) on (smart render may ask
// for less than the whole frame). `custom` is the custom layer's checked-out pixels, null when
// none is chosen.
struct FrameWorlds {
    PF_LayerDef* input = nullptr;
    PF_LayerDef* output = nullptr;
    PF_LayerDef* custom = nullptr;
    int32_t outputX = 0;
    int32_t outputY = 0;
};

// One frame of the effect from the input world into the output world, in the host pixel format
// `pixelFormat` ("argb", "ae16" or "ae32") with the controls read for it: the layers uploaded
// into the current context's render surface, one draw, the readback. Needs the render's context
// current; any number of threads may render at once, each in its own context. Calls the host
// only for pixels (no checkouts). Throws an int host code or GpuFailure (see the steps).
void renderFrame(SlicePass& pass, PF_InData* in_data, const FrameWorlds& worlds,
                 const FrameControls& controls, uint32_t pixelFormat);

} // namespace Tessarine::Lamino
