// Rendered frames compared pixel by pixel with the CPU model over a spread of controls: angles
// off the axes, random widths, shifts both ways and one way, several seeds, every edge mode, a
// custom layer of another size, and colour at alphas down to 1/255.

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "PluginTestSupport.h"
#include "host/EffectParameters.h"

namespace Tessarine::Lamino {
namespace {

struct Case {
    double angle;
    int slices;
    double sizeRandom;   // percent
    double offsetRandom; // percent
    bool bothDirection;
    int seed;
    int edgeType;        // 0 Normal .. 3 Clamp
    bool custom;
    double opacity;      // percent
};

std::string describe(const Case& c)
{
    std::ostringstream text;
    text << "angle " << c.angle << ", slices " << c.slices << ", size random " << c.sizeRandom
         << ", offset random " << c.offsetRandom << (c.bothDirection ? " both ways" : " one way")
         << ", seed " << c.seed << ", edge " << c.edgeType << (c.custom ? ", custom layer" : "");
    return text.str();
}

class ModelComparisonTest : public ::testing::Test {
protected:
    void set(ControlIndex index, double value) { plugin.host().setValue(index, value); }

    // Pixels whose channels differ from the model's by more than one level.
    size_t offPixels(const Case& c, int width, int height)
    {
        const ArgbImage input = detailedPicture(width, height, c.seed);
        const ArgbImage custom = detailedPicture(width / 2 + 3, height / 3 + 5, c.seed + 1);
        World customWorld = toWorld(custom);
        set(kAngle, c.angle);
        set(kSlices, c.slices);
        set(kSizeRandom, c.sizeRandom);
        set(kSizeRandomSeed, c.seed);
        set(kOffsetRandom, c.offsetRandom);
        set(kOffsetRandomSeed, c.seed + 5);
        set(kOffsetBothDirection, c.bothDirection ? 1 : 0);
        set(kLayerRandomSeed, c.seed + 9);
        set(kLayerOpacity, c.opacity);
        set(kEdgeType, c.edgeType + 1);
        plugin.host().setLayer(kCustomLayer, c.custom ? customWorld.get() : nullptr);
        ArgbImage output;
        EXPECT_EQ(plugin.render(input, output), PF_Err_NONE);
        plugin.host().setLayer(kCustomLayer, nullptr);

        ModelControls controls;
        controls.angle = c.angle;
        controls.count = c.slices;
        controls.sizeRandom = c.sizeRandom / 100.0;
        controls.sizeRandomSeed = c.seed;
        controls.offsetRandom = c.offsetRandom / 100.0;
        controls.offsetRandomSeed = c.seed + 5;
        controls.bothDirection = c.bothDirection;
        controls.layerRandomSeed = c.seed + 9;
        controls.layerAlpha = c.opacity / 100.0;
        controls.edgeType = c.edgeType;
        const SliceModel model(controls, width, height);
        return differingPixels(output, model.render(input, c.custom ? &custom : nullptr), 1);
    }

    void TearDown() override { EXPECT_EQ(plugin.host().report(), ""); }

    PluginHost plugin;
};

TEST_F(ModelComparisonTest, FramesMatchTheModelAtAnglesOffTheAxes)
{
    const Case cases[] = {
        {30, 12, 60, 25, true, 3, 0, false, 100},   {135, 40, 100, 35, false, 8, 1, false, 100},
        {250, 7, 30, -45, true, 21, 2, false, 100}, {30, 90, 50, 15, false, 2, 3, false, 100},
        {135, 5, 0, 80, true, 13, 0, false, 100},   {250, 300, 80, 20, true, 5, 1, false, 100},
        {17.5, 20, 40, 60, true, 34, 2, false, 100}, {-40, 9, 70, -30, false, 1, 3, false, 100},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(offPixels(c, 71, 53), 0u) << describe(c);
    }
}

TEST_F(ModelComparisonTest, CustomLayerBandsMatchTheModel)
{
    const Case cases[] = {
        {30, 16, 50, 20, true, 4, 0, true, 100},   {135, 25, 20, 0, true, 11, 1, true, 60},
        {250, 10, 90, 40, false, 6, 2, true, 85},  {90, 30, 0, 10, true, 19, 3, true, 35},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(offPixels(c, 64, 48), 0u) << describe(c);
    }
}

TEST_F(ModelComparisonTest, LowAlphaPixelsKeepTheirStraightColour)
{
    // Alphas from 1/255: the colour comes back as it went in, to within one level.
    ArgbImage input(40, 12);
    for (int y = 0; y < 12; ++y) {
        for (int x = 0; x < 40; ++x) {
            uint8_t* p = input.at(x, y);
            p[0] = uint8_t(1 + y);
            p[1] = uint8_t(x * 6);
            p[2] = uint8_t(255 - x * 5);
            p[3] = uint8_t(17 * y);
        }
    }
    ArgbImage output;
    ASSERT_EQ(plugin.render(input, output), PF_Err_NONE);
    EXPECT_LE(maxChannelDifference(output, input), 1);
}

} // namespace
} // namespace Tessarine::Lamino
