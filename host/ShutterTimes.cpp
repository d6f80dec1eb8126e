#include "host/ShutterTimes.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace Tessarine::Lamino {

namespace {

constexpr int32_t kFewestSamples = 2;
constexpr int32_t kMostSamples = 64;
constexpr double kFixedOne = 65536.0;
constexpr double kDegreesPerFrame = 360.0;
constexpr double kLargestTime = double(std::numeric_limits<A_long>::max());
constexpr double kLargestScale = double(std::numeric_limits<A_u_long>::max());

} // namespace

Shutter hostShutter(const PF_InData& in)
{
    return {in.shutter_angle / kFixedOne * kDegreesPerFrame,
            in.shutter_phase / kFixedOne * kDegreesPerFrame};
}

Shutter frameShutter(const PF_InData& in, const SliceParameters& frame)
{
    if (in.shutter_angle > 0) {
        return hostShutter(in);
    }
    return {std::max(frame.ownShutterAngle, 0.0), frame.ownShutterPhase};
}

std::vector<ParamTime> ShutterTimes(const PF_InData& in, const Shutter& shutter, int32_t samples)
{
    const int32_t count = std::clamp(samples, kFewestSamples, kMostSamples);
    const double angle = shutter.angle;
    const double phase = shutter.phase;
    // The offsets are whole multiples of 1 / (720 count) of a step for whole degrees.
    int64_t factor = int64_t(2 * kDegreesPerFrame) * count;
    const double reach = std::fabs(double(in.current_time)) +
                         std::fabs(double(in.time_step)) * (1.0 + std::fabs(phase + angle) / 360.0);
    while (factor > 1 && (reach * double(factor) > kLargestTime ||
                          double(in.time_scale) * double(factor) > kLargestScale)) {
        factor /= 2;
    }

    std::vector<ParamTime> times;
    for (int32_t i = 0; i < count; ++i) {
        const double degrees = phase + angle * (i + 0.5) / count;
        const double offset = double(in.time_step) * degrees / kDegreesPerFrame;
        const double time = (double(in.current_time) + offset) * double(factor);
        ParamTime at;
        at.time = A_long(std::llround(std::clamp(time, -kLargestTime, kLargestTime)));
        at.step = A_long(std::clamp(double(in.time_step) * double(factor), -kLargestTime,
                                    kLargestTime));
        at.scale = A_u_long(double(in.time_scale) * double(factor));
        times.push_back(at);
    }
    return times;
}

} // namespace Tessarine::Lamino
