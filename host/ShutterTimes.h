#pragma once

#include <cstdint>
#include <vector>

#include "AE_Effect.h"
#include "host/EffectParameters.h"

namespace Tessarine::Lamino {

// The times at which a motion-blurred frame samples the effect: `samples` (held to 2 .. 64)
// times spread evenly across the host's shutter, which opens shutter_phase degrees of a frame
// (360 degrees = one time_step) after the frame's time and stays open shutter_angle degrees.
// Sample i lies at the middle of the i-th of `samples` equal parts of the open shutter:
//   current_time + time_step (phase + angle (i + 1/2) / samples) / 360.
// The times are given on a finer scale than the frame's (time_scale times a whole factor), so
// that checkout_param can be asked for them; whole degrees come out exact. The factor shrinks
// when a finer scale would leave the 32-bit range of the host's times.
std::vector<ParamTime> ShutterTimes(const PF_InData& in_data, int32_t samples);

} // namespace Tessarine::Lamino
