// The soak's random cases: repeatable from a seed, control values inside the declared ranges
// with their extremes reached, the model's controls read as the effect reads them, deep worlds
// converted to 8 bits, and the one-level comparison.

#include <cstring>
#include <set>

#include <gtest/gtest.h>

#include "soak/SoakCases.h"

namespace Tessarine::Lamino {
namespace {

ControlOption slider(A_long index, const char* label, PF_ParamType type, int32_t low,
                     int32_t high, int32_t dephault)
{
    PF_ParamDef def{};
    def.param_type = type;
    std::strncpy(def.name, label, sizeof def.name - 1);
    const int32_t scale = type == PF_Param_FIX_SLIDER ? 65536 : 1;
    if (type == PF_Param_FLOAT_SLIDER) {
        def.u.fs_d.valid_min = def.u.fs_d.slider_min = float(low);
        def.u.fs_d.valid_max = def.u.fs_d.slider_max = float(high);
        def.u.fs_d.dephault = float(dephault);
    } else if (type == PF_Param_POPUP) {
        def.u.pd.num_choices = A_short(high);
        def.u.pd.dephault = A_short(dephault);
        def.u.pd.u.namesptr = "Normal|Repeat|Mirror|Clamp";
    } else {
        def.u.sd.valid_min = def.u.sd.slider_min = low * scale;
        def.u.sd.valid_max = def.u.sd.slider_max = high * scale;
        def.u.sd.dephault = dephault * scale;
    }
    return ControlOption(index, def);
}

std::vector<ControlOption> someControls()
{
    return {slider(1, "Slices", PF_Param_SLIDER, 1, 2000, 30),
            slider(3, "Size Random", PF_Param_FIX_SLIDER, 0, 100, 0),
            slider(11, "Edge Type", PF_Param_POPUP, 1, 4, 1),
            slider(12, "Edge Softness", PF_Param_FLOAT_SLIDER, 0, 100, 0)};
}

SoakBatch batchOf(std::vector<double> values)
{
    SoakBatch batch;
    std::vector<ControlOption> controls = someControls();
    for (size_t i = 0; i < controls.size(); ++i) {
        batch.controls.push_back({controls[i], values[i]});
    }
    return batch;
}

TEST(SoakCases, OneSeedGivesTheSameBatchesAgain)
{
    SoakCases first(42), second(42), other(43);
    const std::vector<WorldFormat> formats = {WorldFormat::Argb8, WorldFormat::Argb16};
    std::string a, b, c;
    for (int i = 0; i < 20; ++i) {
        a += SoakCases::describe(first.batch(someControls(), 3, formats, i % 3 == 0));
        b += SoakCases::describe(second.batch(someControls(), 3, formats, i % 3 == 0));
        c += SoakCases::describe(other.batch(someControls(), 3, formats, i % 3 == 0));
    }
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c);
}

TEST(SoakCases, ValuesStayInTheDeclaredRangeAndReachItsEnds)
{
    SoakCases cases(7);
    for (const ControlOption& option : someControls()) {
        SCOPED_TRACE(option.label);
        std::set<double> seen;
        for (int i = 0; i < 400; ++i) {
            const double value = cases.valueFor(option);
            ASSERT_GE(value, option.validMin);
            ASSERT_LE(value, option.validMax);
            seen.insert(value);
        }
        EXPECT_EQ(*seen.begin(), option.validMin);
        EXPECT_EQ(*seen.rbegin(), option.validMax);
    }
}

TEST(SoakCases, FramesAreMostlySmallAndSometimesLarge)
{
    SoakCases cases(9);
    int small = 0, large = 0;
    for (int i = 0; i < 2000; ++i) {
        const SoakFrame frame = cases.frame({WorldFormat::Argb8}, false);
        ASSERT_GE(std::min(frame.width, frame.height), 1);
        ASSERT_LE(frame.width, SoakCases::kLargestWidth);
        ASSERT_LE(frame.height, SoakCases::kLargestHeight);
        small += std::max(frame.width, frame.height) <= SoakCases::kModelSide;
        large += frame.width > 1920;
    }
    EXPECT_GT(small, 1200);
    EXPECT_GT(large, 5);
}

// A fixed slider is read as its whole part, a popup's choice counts from 1; animated controls
// and a control the model does not know (away from its default) are not covered.
TEST(SoakCases, ModelControlsAreReadAsTheEffectReadsThem)
{
    const std::optional<ModelControls> model =
        SoakCases::modelControls(batchOf({12, 37.75, 3, 2.5}));
    ASSERT_TRUE(model);
    EXPECT_EQ(model->count, 12);
    EXPECT_DOUBLE_EQ(model->sizeRandom, 0.37);
    EXPECT_EQ(model->edgeType, 2);
    EXPECT_DOUBLE_EQ(model->edgeSoftness, 2.5);

    SoakBatch animated = batchOf({12, 0, 1, 0});
    animated.animated = true;
    EXPECT_FALSE(SoakCases::modelControls(animated));
    SoakBatch unknown = batchOf({12, 0, 1, 0});
    unknown.controls.push_back({slider(20, "Something New", PF_Param_SLIDER, 0, 10, 0), 4});
    EXPECT_FALSE(SoakCases::modelControls(unknown));
    unknown.controls.back().value = 0;
    EXPECT_TRUE(SoakCases::modelControls(unknown));
}

TEST(SoakCases, DeepWorldsComeBackAsThePicture)
{
    const ArgbImage picture = SoakCases::picture(13, 9, 5);
    for (WorldFormat format : {WorldFormat::Argb8, WorldFormat::Argb16, WorldFormat::ArgbFloat}) {
        SCOPED_TRACE(SoakCases::formatName(format));
        EXPECT_EQ(SoakCases::toArgb8(SoakCases::toWorld(picture, format)).argb, picture.argb);
    }
    World deep(WorldFormat::Argb16, 1, 1);
    *deep.pixel16(0, 0) = PF_Pixel16{60, 20000, 100, 32768};  // alpha rounds to 0 in 8 bits
    EXPECT_EQ(SoakCases::toArgb8(deep).argb, (std::vector<uint8_t>{0, 0, 0, 0}));
}

TEST(SoakCases, ComparisonAllowsOneLevel)
{
    ArgbImage model(3, 1), rendered(3, 1);
    model.argb = {200, 10, 20, 30, 0, 0, 0, 0, 1, 50, 50, 50};
    rendered.argb = {201, 11, 19, 30, 1, 90, 90, 90, 0, 0, 0, 0};
    // One level everywhere; colour is not compared where one alpha is 0 and the other 1.
    EXPECT_EQ(SoakCases::offPixels(rendered, model), 0u);
    rendered.argb[3] = 32;
    EXPECT_EQ(SoakCases::offPixels(rendered, model), 1u);
    EXPECT_EQ(SoakCases::firstOffPixel(rendered, model),
              "at (0, 0) ARGB 201 11 19 32, the model 200 10 20 30");
    rendered.argb[4] = 2;
    EXPECT_EQ(SoakCases::offPixels(rendered, model), 2u);
    EXPECT_EQ(SoakCases::offPixels(ArgbImage(2, 1), model), 3u);  // another size: all off
}

} // namespace
} // namespace Tessarine::Lamino
