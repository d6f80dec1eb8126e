// Edge Softness, Motion Blur, Evolution and Band Phase through the built plug-in: their defaults
// leave every frame as it was, soft edges match the CPU model and blend between the two bands'
// own samples, a motion-blurred frame is the average of the frames at its sample times, and an
// evolution of a whole turn gives the frame of none.

#include <cmath>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "PluginTestSupport.h"
#include "host/EffectParameters.h"

namespace Tessarine::Lamino {
namespace {

struct Look {
    double angle;
    int slices;
    double sizeRandom;   // percent
    double offsetRandom; // percent
    int seed;
    int edgeType;        // 0 Normal .. 3 Clamp
    bool custom;
    double softness;     // pixels
    double evolution;    // degrees
    double phase;        // band widths
};

std::string describe(const Look& c)
{
    std::ostringstream text;
    text << "angle " << c.angle << ", slices " << c.slices << ", size random " << c.sizeRandom
         << ", offset random " << c.offsetRandom << ", seed " << c.seed << ", edge " << c.edgeType
         << (c.custom ? ", custom layer" : "") << ", softness " << c.softness << ", evolution "
         << c.evolution << ", phase " << c.phase;
    return text.str();
}

class LookControlsTest : public ::testing::Test {
protected:
    void set(ControlIndex index, double value) { plugin.host().setValue(index, value); }

    // The controls of `c` but the new ones, which are left as they are.
    void setClassic(const Look& c, const World& customWorld)
    {
        set(kAngle, c.angle);
        set(kSlices, c.slices);
        set(kSizeRandom, c.sizeRandom);
        set(kSizeRandomSeed, c.seed);
        set(kOffsetRandom, c.offsetRandom);
        set(kOffsetRandomSeed, c.seed + 5);
        set(kLayerRandomSeed, c.seed + 9);
        set(kEdgeType, c.edgeType + 1);
        plugin.host().setLayer(kCustomLayer, c.custom ? customWorld.get() : nullptr);
    }

    void setLook(const Look& c)
    {
        set(kEdgeSoftness, c.softness);
        set(kEvolution, c.evolution);
        set(kBandPhase, c.phase);
    }

    ModelControls modelOf(const Look& c) const
    {
        ModelControls m;
        m.angle = c.angle;
        m.count = c.slices;
        m.sizeRandom = c.sizeRandom / 100.0;
        m.sizeRandomSeed = c.seed;
        m.offsetRandom = c.offsetRandom / 100.0;
        m.offsetRandomSeed = c.seed + 5;
        m.layerRandomSeed = c.seed + 9;
        m.edgeType = c.edgeType;
        m.edgeSoftness = c.softness;
        m.evolution = c.evolution;
        m.bandPhase = c.phase;
        return m;
    }

    ArgbImage rendered(const ArgbImage& input)
    {
        ArgbImage output;
        EXPECT_EQ(plugin.render(input, output), PF_Err_NONE);
        return output;
    }

    // Pixels whose channels differ from the model's by more than one level.
    size_t offPixels(const Look& c, int width, int height)
    {
        const ArgbImage input = detailedPicture(width, height, c.seed);
        const ArgbImage custom = detailedPicture(width / 2 + 3, height / 3 + 5, c.seed + 1);
        World customWorld = toWorld(custom);
        setClassic(c, customWorld);
        setLook(c);
        const ArgbImage output = rendered(input);
        plugin.host().setLayer(kCustomLayer, nullptr);
        const SliceModel model(modelOf(c), width, height);
        return differingPixels(output, model.render(input, c.custom ? &custom : nullptr), 1);
    }

    void TearDown() override { EXPECT_EQ(plugin.host().report(), ""); }

    PluginHost plugin;
};

TEST_F(LookControlsTest, DefaultsGiveTheSameBytesAsControlsNeverSet)
{
    const Look cases[] = {
        {30, 12, 60, 25, 3, 0, false, 0, 0, 0}, {135, 40, 100, -35, 8, 1, true, 0, 0, 0},
        {250, 7, 30, 45, 21, 2, false, 0, 0, 0}, {-40, 9, 70, 30, 1, 3, true, 0, 0, 0},
        {0, 30, 0, 0, 0, 0, false, 0, 0, 0},
    };
    const int width = 67, height = 45;
    for (const Look& c : cases) {
        const ArgbImage input = detailedPicture(width, height, c.seed);
        const ArgbImage custom = detailedPicture(31, 20, c.seed + 1);
        World customWorld = toWorld(custom);
        for (int32_t index = kEdgeSoftness; index < kControlCount; ++index) {
            plugin.host().resetValue(index);
        }
        setClassic(c, customWorld);
        const ArgbImage never = rendered(input);
        set(kEdgeSoftness, 0);
        set(kMotionBlur, 0);
        set(kShutterSamples, 8);
        set(kEvolution, 0);
        set(kBandPhase, 0);
        EXPECT_EQ(rendered(input).argb, never.argb) << describe(c);
        // The same frame with motion blur on, as nothing animates.
        set(kMotionBlur, 1);
        EXPECT_EQ(rendered(input).argb, never.argb) << describe(c) << ", motion blur";
        set(kMotionBlur, 0);

        ModelControls m = modelOf(c);
        const SliceModel model(m, width, height);
        EXPECT_EQ(differingPixels(never, model.render(input, c.custom ? &custom : nullptr), 1),
                  0u)
            << describe(c);
        plugin.host().setLayer(kCustomLayer, nullptr);
    }
}

TEST_F(LookControlsTest, SoftEdgesEvolutionAndPhaseMatchTheModel)
{
    const Look cases[] = {
        {20, 8, 0, 30, 3, 0, false, 1, 0, 0},      {30, 12, 60, 25, 4, 0, true, 4, 0, 0},
        {135, 25, 40, -20, 11, 1, true, 2.5, 0, 0}, {250, 10, 90, 40, 6, 2, false, 12, 0, 0},
        {90, 30, 0, 10, 19, 3, true, 30, 0, 0},    {17.5, 6, 50, 60, 2, 0, false, 0, 37, 0},
        {300, 14, 30, 35, 7, 1, true, 0, 200, 1.75}, {45, 9, 20, 50, 5, 0, true, 3, 90, -2.5},
        {200, 5, 80, 20, 9, 2, false, 0, 0, 0.4},
    };
    for (const Look& c : cases) {
        EXPECT_EQ(offPixels(c, 64, 48), 0u) << describe(c);
    }
}

// A band phase of more band widths than there are slices moves the whole frame before band 0;
// soft edges then blend the bands past the frame's far side that were built back to band 0.
TEST_F(LookControlsTest, SoftEdgesMatchTheModelWhenThePhaseMovesTheFrameBeforeBandZero)
{
    const Look cases[] = {
        {0, 70, 0, 40, 3, 0, false, 11, 0, 100}, {30, 5, 50, 40, 7, 1, true, 6, 0, 8},
        {250, 3, 20, 30, 2, 0, true, 9, 40, -9.5}, {0, 1, 30, 40, 4, 0, true, 7, 0, -407.9},
        {60, 1, 50, 30, 5, 2, false, 13, 0, 1000},
    };
    for (const Look& c : cases) {
        EXPECT_EQ(offPixels(c, 16, 16), 0u) << describe(c);
        EXPECT_EQ(offPixels(c, 64, 48), 0u) << describe(c);
    }
}

// Softness 1 anti-aliases: every boundary between two bands inside the frame shows pixels whose
// values lie between the two bands' own samples and equal neither, and in Normal mode the edges of
// the frame that shifted content shows become partly transparent.
TEST_F(LookControlsTest, SoftnessOneBlendsAlongEveryBandBoundaryAndTheFrameEdge)
{
    const int width = 72, height = 50;
    const Look c{20, 6, 0, 30, 3, 0, false, 1, 0, 0};
    ArgbImage input = smoothPicture(width, height);
    for (size_t i = 0; i < input.argb.size(); i += 4) {
        input.argb[i] = 255; // opaque, so that any partial alpha comes from the edges
    }
    World none = toWorld(input);
    setClassic(c, none);
    set(kEdgeSoftness, 0);
    const ArgbImage hard = rendered(input);
    setLook(c);
    const ArgbImage soft = rendered(input);
    const SliceModel model(modelOf(c), width, height);

    size_t hardPartial = 0, softPartial = 0;
    for (size_t i = 0; i < soft.argb.size(); i += 4) {
        hardPartial += hard.argb[i] != 0 && hard.argb[i] != 255;
        softPartial += soft.argb[i] != 0 && soft.argb[i] != 255;
    }
    EXPECT_EQ(hardPartial, 0u);
    EXPECT_GT(softPartial, size_t(width / 2)) << "the frame edge that shifted bands show";

    const int firstBand = model.bandOf(0, height - 1);
    const int lastBand = model.bandOf(width - 1, 0);
    ASSERT_GE(lastBand - firstBand, 4);
    int distinct = 0; // boundaries where the two bands show different colours
    for (int band = firstBand; band < lastBand; ++band) {
        const ArgbImage mine = model.renderBand(band, input, nullptr);
        const ArgbImage next = model.renderBand(band + 1, input, nullptr);
        const float boundary = model.bandEnd(band);
        int between = 0, outside = 0, differing = 0;
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                if (std::fabs(model.patternDistance(x, y) - boundary) >= 0.5f || mine.at(x, y)[0] != 255 ||
                    next.at(x, y)[0] != 255) {
                    continue; // not beside this boundary, or a band shows nothing there
                }
                bool strictly = false, apart = false;
                for (int k = 1; k < 4; ++k) {
                    const int a = mine.at(x, y)[k], b = next.at(x, y)[k], v = soft.at(x, y)[k];
                    outside += v < std::min(a, b) - 1 || v > std::max(a, b) + 1;
                    apart = apart || std::abs(a - b) > 2;
                    strictly = strictly || (v != a && v != b && std::abs(a - b) > 2);
                }
                between += strictly;
                differing += apart;
            }
        }
        EXPECT_EQ(outside, 0) << "band " << band;
        if (differing > 0) {
            ++distinct;
            EXPECT_GT(between, 0) << "band " << band;
        }
    }
    EXPECT_GE(distinct, lastBand - firstBand - 1);
}

TEST_F(LookControlsTest, EvolutionOfWholeTurnsGivesTheFrameOfNone)
{
    const int width = 60, height = 40;
    const ArgbImage input = detailedPicture(width, height, 4);
    const ArgbImage custom = detailedPicture(23, 17, 5);
    World customWorld = toWorld(custom);
    setClassic({35, 11, 50, 40, 6, 1, true, 0, 0, 0}, customWorld);
    set(kEvolution, 0);
    const ArgbImage none = rendered(input);
    for (double turns : {360.0, 720.0, -360.0}) {
        set(kEvolution, turns);
        EXPECT_EQ(rendered(input).argb, none.argb) << turns;
    }
    set(kEvolution, 30);
    EXPECT_NE(rendered(input).argb, none.argb);
    plugin.host().setLayer(kCustomLayer, nullptr);
}

// A band phase of a thousand band widths under a shutter of 64 samples: each sample's band table
// holds records only about the frame, so that the tables of all samples fit in one texture.
TEST_F(LookControlsTest, AFarBandPhaseUnderManyShutterSamplesRenders)
{
    const ArgbImage input = smoothPicture(300, 60);
    World none = toWorld(input);
    setClassic({0, 1, 40, 30, 2, 0, false, 20, 0, 0}, none);
    plugin.host().animate(kBandPhase, ParameterAnimation{-1000.0, -990.0, 0.0, 1.0});
    set(kMotionBlur, 1);
    set(kShutterSamples, 64);
    RenderRequest at;
    at.time = 10;
    at.shutterAngle = 360;
    ArgbImage blurred;
    EXPECT_EQ(plugin.renderAt(at, input, blurred), PF_Err_NONE);
}

// Frame 1 of a sequence whose offset animates, blurred over a 180 degree shutter in four
// samples: the average, premultiplied, of the unblurred frames at the middles of the four
// quarters of the open shutter (1 + (2i + 1) / 16 frames).
TEST_F(LookControlsTest, MotionBlurAveragesTheUnblurredFramesAtTheSampleTimes)
{
    const int width = 64, height = 40, samples = 4;
    const ArgbImage input = smoothPicture(width, height);
    World none = toWorld(input);
    setClassic({0, 5, 0, 0, 2, 0, false, 0, 0, 0}, none);
    plugin.host().animate(kOffsetRandom, ParameterAnimation{0.0, 40.0, 0.0, 2.0 / 30.0});
    set(kShutterSamples, samples);

    std::vector<ArgbImage> sharp;
    for (int i = 0; i < samples; ++i) {
        RenderRequest at;
        at.time = 16 + 2 * i + 1;
        at.timeScale = 30 * 16;
        at.shutterAngle = 180;
        ArgbImage frame;
        ASSERT_EQ(plugin.renderAt(at, input, frame), PF_Err_NONE);
        sharp.push_back(frame);
    }
    EXPECT_NE(sharp.front().argb, sharp.back().argb) << "the bands move across the shutter";
    set(kMotionBlur, 1);
    RenderRequest frameOne;
    frameOne.time = 1;
    frameOne.shutterAngle = 180;
    ArgbImage blurred;
    ASSERT_EQ(plugin.renderAt(frameOne, input, blurred), PF_Err_NONE);

    int worst = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            double sum[4] = {0, 0, 0, 0};
            for (const ArgbImage& frame : sharp) {
                const uint8_t* p = frame.at(x, y);
                sum[0] += p[0];
                for (int k = 1; k < 4; ++k) {
                    sum[k] += p[k] * (p[0] / 255.0);
                }
            }
            const uint8_t* got = blurred.at(x, y);
            worst = std::max(worst, std::abs(int(std::lround(sum[0] / samples)) - got[0]));
            if (sum[0] / samples < 128) {
                continue; // straight colour of faint pixels comes from too few levels
            }
            for (int k = 1; k < 4; ++k) {
                const int expected = int(std::lround(sum[k] / sum[0] * 255.0));
                worst = std::max(worst, std::abs(expected - got[k]));
            }
        }
    }
    EXPECT_LE(worst, 1);
    EXPECT_NE(blurred.argb, sharp.front().argb);
}

} // namespace
} // namespace Tessarine::Lamino
