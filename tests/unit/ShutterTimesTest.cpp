// The sample times of a motion-blurred frame across the host's shutter.

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
    in.shutter_angle = PF_Fixed(angle * 65536.0);
    in.shutter_phase = PF_Fixed(phase * 65536.0);
    return in;
}

double seconds(const ParamTime& t)
{
    return double(t.time) / double(t.scale);
}

TEST(ShutterTimes, SamplesSitAtTheMiddlesOfEqualPartsOfTheOpenShutter)
{
    // Frame 3 at 30 per second, shutter open from 90 to 270 degrees of the frame.
    const std::vector<ParamTime> times = ShutterTimes(frameAt(3, 1, 30, 180, 90), 4);
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
    EXPECT_EQ(ShutterTimes(frameAt(0, 1, 30, 180, 0), 1).size(), 2u);
    EXPECT_EQ(ShutterTimes(frameAt(0, 1, 30, 180, 0), 1000).size(), 64u);
    for (const ParamTime& t : ShutterTimes(frameAt(7, 1, 24, 0, 0), 8)) {
        EXPECT_DOUBLE_EQ(seconds(t), 7.0 / 24.0);
    }
}

TEST(ShutterTimes, LateTimesOnFineScalesStayInTheHostsRange)
{
    // An hour into a 29.97 frames per second composition.
    const std::vector<ParamTime> times = ShutterTimes(frameAt(107892000, 1001, 30000, 360, 0), 64);
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
