// The soak's trend of a figure against events: a steady leak shows as its rate, noise and one
// spike do not.

#include <gtest/gtest.h>

#include "soak/GrowthTrend.h"

namespace Tessarine::Lamino {
namespace {

TEST(GrowthTrend, SteadyGrowthGivesItsRate)
{
    GrowthTrend trend;
    for (int i = 0; i < 6; ++i) {
        trend.add(200, 1000.0 + 3.0 * 200 * i);
    }
    EXPECT_DOUBLE_EQ(trend.slope(), 3.0);
    EXPECT_DOUBLE_EQ(trend.events(), 1200.0);
    EXPECT_DOUBLE_EQ(trend.total(), 3000.0);
}

TEST(GrowthTrend, OneSpikeOrNoiseMakesNoTrend)
{
    GrowthTrend spike;
    for (double value : {50.0, 50.0, 50.0, 90.0, 50.0, 50.0, 50.0}) {
        spike.add(100, value);
    }
    EXPECT_DOUBLE_EQ(spike.slope(), 0.0);

    GrowthTrend noise;
    for (double value : {52.0, 48.0, 51.0, 49.0, 52.0, 48.0, 50.0, 50.0}) {
        noise.add(100, value);
    }
    EXPECT_LT(std::abs(noise.slope()), 0.01);
}

TEST(GrowthTrend, LaterPointsLeaveAWarmUpOut)
{
    GrowthTrend trend;
    for (double value : {10.0, 40.0, 60.0, 70.0, 70.0, 70.0, 70.0, 70.0}) {
        trend.add(10, value);
    }
    EXPECT_GE(trend.slope(), 0.5);
    EXPECT_DOUBLE_EQ(trend.slope(4), 0.0);
    EXPECT_DOUBLE_EQ(GrowthTrend().slope(), 0.0);  // no points, no slope
}

} // namespace
} // namespace Tessarine::Lamino
