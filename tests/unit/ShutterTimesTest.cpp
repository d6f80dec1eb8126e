// The sample times of a motion-blurred frame across the host's shutter, which the host passes as
// fixed-point fractions of a frame, and the effect's own shutter when the host passes none.

#include "host/ShutterTimes.h"

#include <gtest/gtest.h>

namespace Tessarine::Lamino {
namespace {

PF_InData frameAt(A_long time, A_long step, A_u_long scale, double angle, double phase)
{
    PF_InData in{};
    in.current_time = time;
    in.time_step = step;
    in.time_scale = scale;
    in.shutter_angle = PF_Fixed(angle / 360.0 * 65536.0);
    in.shutter_phase = PF_Fixed(phase / 360.0 * 65536.0);
    return in;
}

std::vector<ParamTime> hostTimes(const PF_InData& in, int32_t samples)
{
    return ShutterTimes(in, hostShutter(in), samples);
}

double seconds(const ParamTime& t)
{
    return double(t.time) / double(t.scale);
}

// The host's own encoding: 180 degrees arrives as 0x8000 (half a frame), -90 as -0x4000.
TEST(ShutterTimes, TheHostsFractionOfAFrameGivesTheDocumentedTimes)
{
    struct Rate {
        A_long step;
        A_u_long scale;
    };
    for (const Rate rate : {Rate{1, 24}, Rate{1001, 30000}}) {
        SCOPED_TRACE(rate.scale);
        PF_InData in{};
        in.current_time = 10 * rate.step;
        in.time_step = rate.step;
        in.time_scale = rate.scale;
        in.shutter_angle = 0x8000;
        in.shutter_phase = -0x4000;
        const Shutter shutter = hostShutter(in);
        EXPECT_DOUBLE_EQ(shutter.angle, 180.0);
        EXPECT_DOUBLE_EQ(shutter.phase, -90.0);
        const std::vector<ParamTime> times = ShutterTimes(in, shutter, 4);
        ASSERT_EQ(times.size(), 4u);
        const double frame = double(rate.step) / rate.scale;
        // From a quarter frame before the frame's time to a quarter after: 10 - 1/4 + (2i + 1)/16.
        for (int i = 0; i < 4; ++i) {
            EXPECT_DOUBLE_EQ(seconds(times[size_t(i)]), (10.0 - 0.25 + (2 * i + 1) / 16.0) * frame)
                << i;
        }
    }
}

// Without the host's shutter (its motion blur switches off) the effect's own is used; the host's
// wins whenever it passes one.
TEST(ShutterTimes, OwnShutterStandsInOnlyWhenTheHostPassesNone)
{
    SliceParameters own;
    own.ownShutterAngle = 90.0;
    own.ownShutterPhase = 45.0;
    const Shutter fromOwn = frameShutter(frameAt(0, 1, 30, 0, 0), own);
    EXPECT_DOUBLE_EQ(fromOwn.angle, 90.0);
    EXPECT_DOUBLE_EQ(fromOwn.phase, 45.0);
    const Shutter fromHost = frameShutter(frameAt(0, 1, 30, 270, -45), own);
    EXPECT_DOUBLE_EQ(fromHost.angle, 270.0);
    EXPECT_DOUBLE_EQ(fromHost.phase, -45.0);
}

TEST(ShutterTimes, SamplesSitAtTheMiddlesOfEqualPartsOfTheOpenShutter)
{
    // Frame 3 at 30 per second, shutter open from 90 to 270 degrees of the frame.
    const std::vector<ParamTime> times = hostTimes(frameAt(3, 1, 30, 180, 90), 4);
    ASSERT_EQ(times.size(), 4u);
    for (int i = 0; i < 4; ++i) {
        const double frames = 3.0 + (90.0 + 180.0 * (i + 0.5) / 4) / 360.0;
        EXPECT_DOUBLE_EQ(seconds(times[size_t(i)]), frames / 30.0) << i;
        EXPECT_EQ(times[size_t(i)].scale % 30, 0u) << "a whole multiple of the frame's scale";
        EXPECT_EQ(double(times[size_t(i)].step) / times[size_t(i)].scale, 1.0 / 30.0);
    }
    // Whole degrees come out as exact times.
    EXPECT_EQ(times[0].time, A_long((3.0 + 112.5 / 360.0) * (times[0].scale / 30)));
}

TEST(ShutterTimes, CountIsHeldToTheControlsRangeAndAClosedShutterGivesTheFrameTime)
{
    EXPECT_EQ(hostTimes(frameAt(0, 1, 30, 180, 0), 1).size(), 2u);
    EXPECT_EQ(hostTimes(frameAt(0, 1, 30, 180, 0), 1000).size(), 64u);
    for (const ParamTime& t : hostTimes(frameAt(7, 1, 24, 0, 0), 8)) {
        EXPECT_DOUBLE_EQ(seconds(t), 7.0 / 24.0);
    }
}

TEST(ShutterTimes, LateTimesOnFineScalesStayInTheHostsRange)
{
    // An hour into a 29.97 frames per second composition.
    const std::vector<ParamTime> times = hostTimes(frameAt(107892000, 1001, 30000, 360, 0), 64);
    ASSERT_EQ(times.size(), 64u);
    for (size_t i = 0; i < times.size(); ++i) {
        const double expected = (107892000.0 + 1001.0 * (i + 0.5) / 64) / 30000.0;
        EXPECT_NEAR(seconds(times[i]), expected, 1001.0 / 30000.0 / 64) << i;
        EXPECT_GT(times[i].time, 0);
    }
    EXPECT_LT(seconds(times[0]), seconds(times[63]));
}

} // namespace
} // namespace Tessarine::Lamino
