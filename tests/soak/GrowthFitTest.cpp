// The soak's fit of a figure against renders, setup cycles and reloads at once: a growth is
// charged to the events it comes with, however the stretches interleave, and a figure whose
// level differs after each kind of stretch shows no growth.

#include <gtest/gtest.h>

#include <cmath>

#include "soak/GrowthFit.h"

namespace Tessarine::Lamino {
namespace {

// A soak's sequence: four render stretches of 200, then a stretch of 5 cycles or (every fourth)
// one reload. value(renders, cycles, reloads, state, sample) gives the figure.
template <class Value>
GrowthFit soakSeries(int stretches, Value value)
{
    GrowthFit fit;
    GrowthFit::Counts counts{};
    for (int i = 0; i < stretches; ++i) {
        int state = 0;
        if (i % 5 != 4) {
            counts[0] += 200;
        } else if (i % 20 == 19) {
            counts[2] += 1;
            state = 2;
        } else {
            counts[1] += 5;
            state = 1;
        }
        fit.add(state, counts, value(counts[0], counts[1], counts[2], state, i));
    }
    return fit;
}

TEST(GrowthFit, GrowthPerReloadIsChargedToReloadsOnly)
{
    // 5 handles per reload; 14 more after renders than after cycles (contexts, programs).
    const GrowthFit fit = soakSeries(200, [](double, double, double reloads, int state, int i) {
        return 60.0 + 5.0 * reloads + (state == 0 ? 14.0 : 0.0) + (i % 3) - 1.0;
    });
    const GrowthFit::Rates rates = fit.fit();
    ASSERT_TRUE(rates.valid);
    EXPECT_NEAR(rates.rate[0] * 1000.0, 0.0, 0.2);
    EXPECT_NEAR(rates.rate[1] * 100.0, 0.0, 1.0);
    EXPECT_NEAR(rates.rate[2], 5.0, 0.5);
}

TEST(GrowthFit, SmallLeaksOfEachKindShowTheirRates)
{
    // 1 per 1000 renders, 1 per 20 cycles and 20 KB (in KB) per cycle, among +-2 of noise.
    const GrowthFit fit = soakSeries(400, [](double renders, double cycles, double, int, int i) {
        return renders / 1000.0 + cycles / 20.0 + std::sin(i * 1.7) * 2.0;
    });
    const GrowthFit::Rates rates = fit.fit();
    ASSERT_TRUE(rates.valid);
    EXPECT_NEAR(rates.rate[0] * 1000.0, 1.0, 0.3);
    EXPECT_NEAR(rates.rate[1] * 20.0, 1.0, 0.3);
    EXPECT_GT(rates.rate[0], 2.0 * rates.error[0]);

    // Memory in KB: 20 KB per cycle, small noise, and a heap that now and then grows by 20 MB
    // at once (a larger frame than any before): the steps are not taken for the trend.
    const GrowthFit memory = soakSeries(400, [](double, double cycles, double, int, int i) {
        return 20.0 * cycles + std::sin(i * 2.3) * 3.0 + 20000.0 * (i / 53);
    });
    EXPECT_NEAR(memory.fit().rate[1], 20.0, 2.0);
}

TEST(GrowthFit, KindsThatDoNotChangeAndTooFewSamplesGiveNoRate)
{
    GrowthFit fit;
    for (int i = 0; i < 6; ++i) {
        fit.add(0, {200.0 * i, 0.0, 0.0}, 10.0 + i);
    }
    const GrowthFit::Rates rates = fit.fit();
    ASSERT_TRUE(rates.valid);
    EXPECT_NEAR(rates.rate[0], 1.0 / 200.0, 1e-9);
    EXPECT_FALSE(rates.fitted[1]);
    EXPECT_FALSE(rates.fitted[2]);
    EXPECT_FALSE(fit.fit(5).valid);
    EXPECT_FALSE(GrowthFit().fit().valid);
}

} // namespace
} // namespace Tessarine::Lamino
