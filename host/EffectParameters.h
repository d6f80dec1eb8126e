#pragma once

#include <cstdint>
#include <vector>

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
    kEdgeSoftness,
    kMotionBlur,
    kShutterSamples,
    kEvolution,
    kBandPhase,
    kControlCount
};

// A time at which the controls are read, as checkout_param takes it: what_time and time_step in
// units of 1 / scale seconds.
struct ParamTime {
    A_long time = 0;
    A_long step = 1;
    A_u_long scale = 1;
};

// The time being rendered.
ParamTime frameTime(const PF_InData* in_data);

// Declares the controls with the host; returns the first failing host code, else PF_Err_NONE.
PF_Err ParamsSetup(PF_InData* in_data, PF_OutData* out_data);

// Reads every control's value at the time being rendered into the record. A control whose read
// fails keeps its previous value, but for "Custom Layer": a failed read means no custom layer
// (customLayerTexture 0), never the texture of an earlier render. Reading "Custom Layer" uploads
// that layer into `customLayer` in the render's format, so the calling thread's GL context must
// be current.
void ReadSliceParameters(SliceParameters& record, PF_InData* in_data, const LayerFormat& format,
                         LayerTexture& customLayer);

// The same for every control but "Custom Layer", whose pixels a smart render checks out instead;
// customLayerTexture is left as it is. Needs no GL context.
void ReadSliceControls(SliceParameters& record, PF_InData* in_data);

// With "Motion Blur" on in `frame`, the controls at each of its sample times across the host's
// shutter (ShutterTimes): `frame` with every control that can animate read again at that time.
// The custom layer, "Edge Type", "Motion Blur" and "Shutter Samples" stay the frame's. Empty
// with motion blur off.
std::vector<SliceParameters> ReadShutterSamples(const SliceParameters& frame, PF_InData* in_data);

// Each reader checks one parameter out, stores its value converted for its field when the
// parameter has a type the reader accepts, checks it in, and says whether it stored a value.
// Without `at` they read at the time being rendered.
bool GetIntParam(PF_InData* in_data, A_long index, int32_t& value, const ParamTime* at = nullptr);
bool GetPercentParam(PF_InData* in_data, A_long index, double& value,
                     const ParamTime* at = nullptr);
bool GetFloatParam(PF_InData* in_data, A_long index, double& value,
                   const ParamTime* at = nullptr);
bool GetAngleParam(PF_InData* in_data, A_long index, double& value,
                   const ParamTime* at = nullptr);
bool GetBoolParam(PF_InData* in_data, A_long index, bool& value, const ParamTime* at = nullptr);
bool GetPopupParam(PF_InData* in_data, A_long index, int32_t& value);
bool GetLayerParam(PF_InData* in_data, A_long index, const LayerFormat& format,
                   LayerTexture& target, gl::GLuint& texture);

} // namespace Tessarine::Lamino
