// Rendered frames from the built plug-in, checked against the CPU model: exactly where the
// result does not depend on the hash, and by properties where it does.

#include <algorithm>
#include <cmath>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "PluginTestSupport.h"
#include "host/EffectParameters.h"

namespace Tessarine::Lamino {
namespace {

class RenderTest : public ::testing::Test {
protected:
    void set(ControlIndex index, double value) { plugin.host().setValue(index, value); }

    ArgbImage render(const ArgbImage& input)
    {
        ArgbImage output;
        EXPECT_EQ(plugin.render(input, output), PF_Err_NONE);
        return output;
    }

    // The shift of the rows of a row-coded picture seen in column x, measured from green over the
    // opaque pixels (Normal edges), and how far single rows stray from it.
    static std::pair<double, double> columnShift(const ArgbImage& frame, int x)
    {
        double sum = 0.0, worst = 0.0;
        int n = 0;
        std::vector<double> shifts;
        for (int y = 0; y < frame.height; ++y) {
            const uint8_t* p = frame.at(x, y);
            if (p[0] == 255) {
                shifts.push_back((p[2] - 2.0) / 5.0 - y);
            }
        }
        for (double s : shifts) {
            sum += s, ++n;
        }
        const double mean = n ? sum / n : NAN;
        for (double s : shifts) {
            worst = std::max(worst, std::abs(s - mean));
        }
        return {mean, worst};
    }

    void TearDown() override { EXPECT_EQ(plugin.host().report(), ""); }

    PluginHost plugin;
};

TEST_F(RenderTest, NoOffsetGivesTheInputBack)
{
    const ArgbImage input = smoothPicture(61, 37);
    const ArgbImage output = render(input);
    ModelControls controls;
    EXPECT_LE(maxChannelDifference(output, SliceModel(controls, 61, 37).render(input, nullptr)), 1);
    // Opaque pixels come back unchanged; transparent ones keep only what premultiplying keeps.
    for (int y = 0; y < input.height; ++y) {
        for (int x = 0; x < input.width; ++x) {
            if (input.at(x, y)[0] == 255) {
                ASSERT_TRUE(std::equal(input.at(x, y), input.at(x, y) + 4, output.at(x, y)))
                    << x << "," << y;
            }
        }
    }
}

TEST_F(RenderTest, BandsWithoutSizeRandomHaveExactEdgesAndMoveAsRigidStrips)
{
    set(kSlices, 4);
    set(kOffsetRandom, 30);
    const ArgbImage output = render(rowCodedPicture(100, 50));
    const SliceModel model(ModelControls{4}, 100, 50);
    std::map<int, std::vector<double>> shiftsByBand;
    for (int x = 0; x < 100; ++x) {
        EXPECT_EQ(model.bandOf(x, 10), x / 25) << x;
        const auto [shift, stray] = columnShift(output, x);
        EXPECT_LE(stray, 0.25) << "column " << x << " does not move as one strip";
        EXPECT_LE(std::abs(shift), 0.3 * 100 + 0.25);
        shiftsByBand[x / 25].push_back(shift);
    }
    for (auto& [band, shifts] : shiftsByBand) {
        const auto [low, high] = std::minmax_element(shifts.begin(), shifts.end());
        EXPECT_LE(*high - *low, 0.25) << "band " << band << " is not one rigid strip";
    }
}

TEST_F(RenderTest, OneWayShiftsFollowTheSignOfOffsetRandom)
{
    set(kSlices, 5);
    set(kOffsetBothDirection, 0);
    set(kOffsetRandom, 20);
    const ArgbImage positive = render(rowCodedPicture(50, 40));
    set(kOffsetRandom, -20);
    const ArgbImage negative = render(rowCodedPicture(50, 40));
    for (int x = 0; x < 50; x += 5) {
        const double up = columnShift(positive, x).first, down = columnShift(negative, x).first;
        EXPECT_GE(up, -0.25);
        EXPECT_LE(up, 0.2 * 50 + 0.25);
        EXPECT_NEAR(down, -up, 0.3) << "the same hash moves the other way";
    }
}

TEST_F(RenderTest, EdgeModesMatchTheModelAtTheMeasuredShift)
{
    // One band over the whole frame: every pixel moves by the same shift along y.
    const int width = 48, height = 40;
    set(kSlices, 1);
    set(kOffsetRandom, 60);
    set(kOffsetRandomSeed, 3);
    const double shift = columnShift(render(rowCodedPicture(width, height)), width / 2).first;
    ASSERT_FALSE(std::isnan(shift));
    ASSERT_GT(std::abs(shift), 2.0) << "pick a seed whose shift shows the edges";

    const ArgbImage input = smoothPicture(width, height);
    const char* names[] = {"Normal", "Repeat", "Mirror", "Clamp"};
    for (int edge = 0; edge < 4; ++edge) {
        SCOPED_TRACE(names[edge]);
        set(kEdgeType, edge + 1);
        ModelControls controls;
        controls.count = 1;
        controls.offsetRandom = 0.6;
        controls.edgeType = edge;
        SliceModel model(controls, width, height);
        model.shiftOf = [shift](int) { return float(shift); };
        const ArgbImage expected = model.render(input, nullptr);
        EXPECT_LE(differingPixels(render(input), expected, 3), size_t(width)); // one boundary row
    }
}

TEST_F(RenderTest, CustomLayerCoversAboutHalfOfTheBands)
{
    const int bands = 120;
    set(kSlices, bands);
    set(kLayerRandomSeed, 17);
    const ArgbImage custom = solid(30, 10, 255, 255, 0, 0); // another size: stretched to the frame
    World customWorld = toWorld(custom);
    plugin.host().setLayer(kCustomLayer, customWorld.get());
    const ArgbImage output = render(solid(bands * 4, 8, 255, 0, 0, 255));
    int red = 0;
    for (int band = 0; band < bands; ++band) {
        const uint8_t* p = output.at(band * 4 + 2, 4);
        const bool isRed = p[1] == 255 && p[3] == 0, isBlue = p[1] == 0 && p[3] == 255;
        ASSERT_TRUE(isRed || isBlue) << "band " << band;
        red += isRed;
        for (int x = band * 4; x < band * 4 + 4; ++x) {
            ASSERT_EQ(output.at(x, 0)[1], p[1]) << "a band takes one layer across its width";
        }
    }
    EXPECT_GT(red, bands * 3 / 10);
    EXPECT_LT(red, bands * 7 / 10);
}

TEST_F(RenderTest, HalfTransparentCustomLayerBlendsOverATransparentInput)
{
    set(kSlices, 40);
    const ArgbImage input = solid(80, 6, 0, 0, 255, 0);
    const ArgbImage custom = solid(80, 6, 128, 200, 100, 50);
    World customWorld = toWorld(custom);
    plugin.host().setLayer(kCustomLayer, customWorld.get());
    const ArgbImage output = render(input);

    ModelControls controls;
    controls.count = 40;
    SliceModel model(controls, 80, 6);
    int customBands = 0;
    for (int band = 0; band < 40; ++band) {
        const uint8_t* p = output.at(band * 2, 3);
        const bool showsCustom = p[0] != 0;
        customBands += showsCustom;
        model.choosesCustom = [&](int b) { return b == band ? showsCustom : false; };
        const uint8_t* expected = model.render(input, &custom).at(band * 2, 3);
        for (int c = 0; c < 4; ++c) {
            EXPECT_NEAR(p[c], expected[c], 2) << "band " << band << " channel " << c;
        }
        if (showsCustom) {
            EXPECT_EQ(p[0], 128); // the custom layer's alpha
            EXPECT_EQ(p[2], 100); // the transparent input adds no green
        }
    }
    EXPECT_GT(customBands, 0);
}

TEST_F(RenderTest, ZeroOpacityOrNoCustomLayerShowsTheInput)
{
    const ArgbImage input = smoothPicture(40, 20);
    const ArgbImage plain = render(input);
    set(kLayerRandomSeed, 99);
    set(kLayerOpacity, 0);
    EXPECT_EQ(render(input).argb, plain.argb) << "without a custom layer its controls do nothing";

    World customWorld = toWorld(solid(40, 20, 255, 255, 255, 255));
    plugin.host().setLayer(kCustomLayer, customWorld.get());
    EXPECT_LE(maxChannelDifference(render(input), plain), 1);
}

TEST_F(RenderTest, AnglesOneTurnApartGiveTheSameFrame)
{
    const ArgbImage input = smoothPicture(64, 48);
    set(kOffsetRandom, 25);
    set(kSizeRandom, 50);
    const std::pair<double, double> pairs[] = {{30.0, 390.0}, {-90.0, 270.0}, {135.0, -225.0}};
    for (auto [a, b] : pairs) {
        set(kAngle, a);
        const ArgbImage first = render(input);
        set(kAngle, b);
        const ArgbImage second = render(input);
        EXPECT_EQ(first.argb, second.argb) << a << " and " << b << " differ";
    }
}

TEST_F(RenderTest, SameControlsRenderTheSameFrame)
{
    set(kOffsetRandom, 40);
    set(kSizeRandom, 80);
    set(kAngle, 33);
    const ArgbImage input = smoothPicture(50, 30);
    EXPECT_EQ(render(input).argb, render(input).argb);
}

TEST_F(RenderTest, ChangingSizesResizesTheSurface)
{
    for (auto [w, h] : {std::pair{20, 10}, std::pair{33, 17}, std::pair{20, 10}, std::pair{1, 1}}) {
        const ArgbImage input = smoothPicture(w, h);
        EXPECT_LE(maxChannelDifference(render(input), SliceModel({}, w, h).render(input, nullptr)), 1)
            << w << " x " << h;
    }
}

TEST_F(RenderTest, LargerOutputWorldGetsTheOverlapOnly)
{
    const ArgbImage input = smoothPicture(20, 10);
    ArgbImage output;
    ASSERT_EQ(plugin.render(input, output, 30, 16), PF_Err_NONE); // guards are checked inside
    const ArgbImage expected = SliceModel({}, 20, 10).render(input, nullptr);
    for (int y = 0; y < 10; ++y) {
        for (int x = 0; x < 20; ++x) {
            for (int c = 0; c < 4; ++c) {
                ASSERT_NEAR(output.at(x, y)[c], expected.at(x, y)[c], 1);
            }
        }
    }
}

TEST_F(RenderTest, LayersBeyondTheDriversLimitsAreRefusedNotRenderedEmpty)
{
    const int tooWide = 40000; // above any driver's largest texture and renderbuffer
    ArgbImage output;
    EXPECT_EQ(plugin.render(solid(tooWide, 1, 255, 1, 2, 3), output), PF_Err_BAD_CALLBACK_PARAM);
    const PF_OutData told = plugin.host().lastOutData();
    EXPECT_NE(std::string(told.return_msg).find("the GPU renders at most"), std::string::npos)
        << told.return_msg;
    EXPECT_NE(told.out_flags & PF_OutFlag_DISPLAY_ERROR_MESSAGE, 0);

    World customWorld = toWorld(solid(tooWide, 1, 255, 1, 2, 3));
    plugin.host().setLayer(kCustomLayer, customWorld.get());
    EXPECT_EQ(plugin.render(solid(8, 8, 255, 1, 2, 3), output), PF_Err_BAD_CALLBACK_PARAM);
    plugin.host().setLayer(kCustomLayer, nullptr);

    const ArgbImage input = smoothPicture(8, 8);
    EXPECT_LE(maxChannelDifference(render(input), SliceModel({}, 8, 8).render(input, nullptr)), 1)
        << "the next render works again";
}

TEST_F(RenderTest, RendersAlternatingBetweenThreadsGiveTheSameFrames)
{
    set(kOffsetRandom, 35);
    set(kAngle, 20);
    const ArgbImage input = smoothPicture(40, 30);
    const ArgbImage reference = render(input);
    std::vector<ArgbImage> frames(6);
    for (size_t i = 0; i < frames.size(); ++i) {
        std::thread([&, i] { frames[i] = render(input); }).join();
        if (i % 2) {
            frames[i] = render(input); // back on the first thread, same size
        }
    }
    for (const ArgbImage& frame : frames) {
        EXPECT_EQ(frame.argb, reference.argb);
    }
}

} // namespace
} // namespace Tessarine::Lamino
