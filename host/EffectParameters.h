#pragma once

#include <cstdint>

#include <glbinding/gl/types.h>

#include "AE_Effect.h"
#include "effect/SliceParameters.h"
#include "pipeline/LayerFormat.h"

namespace Tessarine::Lamino {

class LayerTexture;

// Host parameter indices of the effect's controls. Index 0 is the layer the effect is applied
// to, which the host supplies; the order of the others fixes their indices in saved projects.
enum ControlIndex : A_long {
    kInputLayer = 0,
    kSlices,
    kAngle,
    kSizeRandom,
    kSizeRandomSeed,
    kOffsetRandom,
    kOffsetRandomSeed,
    kOffsetBothDirection,
    kCustomLayer,
    kLayerOpacity,
    kLayerRandomSeed,
    kEdgeType,
    kControlCount
};

// Declares the controls with the host; returns the first failing host code, else PF_Err_NONE.
PF_Err ParamsSetup(PF_InData* in_data, PF_OutData* out_data);

// Reads every control's value at the time being rendered into the record. A control whose read
// fails keeps its previous value, but for "Custom Layer": a failed read means no custom layer
// (customLayerTexture 0), never the texture of an earlier render. Reading "Custom Layer" uploads
// that layer into `customLayer` in the render's format, so the calling thread's GL context must
// be current.
void ReadSliceParameters(SliceParameters& record, PF_InData* in_data, const LayerFormat& format,
                         LayerTexture& customLayer);

// Each reader checks one parameter out, stores its value converted for its field when the
// parameter has a type the reader accepts, checks it in, and says whether it stored a value.
bool GetIntParam(PF_InData* in_data, A_long index, int32_t& value);
bool GetPercentParam(PF_InData* in_data, A_long index, double& value);
bool GetAngleParam(PF_InData* in_data, A_long index, double& value);
bool GetBoolParam(PF_InData* in_data, A_long index, bool& value);
bool GetPopupParam(PF_InData* in_data, A_long index, int32_t& value);
bool GetLayerParam(PF_InData* in_data, A_long index, const LayerFormat& format,
                   LayerTexture& target, gl::GLuint& texture);

} // namespace Tessarine::Lamino
