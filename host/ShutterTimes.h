#pragma once

#include <cstdint>
#include <vector>

#include "AE_Effect.h"
#include "effect/SliceParameters.h"
#include "host/EffectParameters.h"

namespace Tessarine::Lamino {

// A shutter in degrees of a frame (360 degrees = one time_step): it opens `phase` degrees after
// the frame's time and stays open `angle` degrees.
struct Shutter {
    double angle = 0.0;
    double phase = 0.0;
};

// The host's shutter. The host passes in_data->shutter_angle and shutter_phase as fixed-point
// fractions of a frame (0x10000 = a whole frame, so 180 degrees arrives as 0x8000 and -90 as
// -0x4000), and both as 0 unless the layer's and the composition's motion blur switches are on.
Shutter hostShutter(const PF_InData& in_data);

// The shutter a motion-blurred frame uses: the host's when it passes one (an angle above 0),
// else the effect's own ("Own Shutter Angle" and "Own Shutter Phase" of `frame`), so that a
// user can blur without the layer's switch.
Shutter frameShutter(const PF_InData& in_data, const SliceParameters& frame);

// The times at which a motion-blurred frame samples the effect: `samples` (held to 2 .. 64)
// times spread evenly across the shutter. Sample i lies at the middle of the i-th of `samples`
// equal parts of the open shutter:
//   current_time + time_step (phase + angle (i + 1/2) / samples) / 360.
// The times are given on a finer scale than the frame's (time_scale times a whole factor), so
// that checkout_param can be asked for them; whole degrees come out exact. The factor shrinks
// when a finer scale would leave the 32-bit range of the host's times.
std::vector<ParamTime> ShutterTimes(const PF_InData& in_data, const Shutter& shutter,
                                    int32_t samples);

} // namespace Tessarine::Lamino
