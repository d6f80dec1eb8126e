// The effect's controls as the host sees them: declared at parameter setup, read back at render
// time through the headless host's checkouts.

#include <cstring>
#include <string>

#include <glbinding/gl/gl.h>
#include <gtest/gtest.h>

#include "hosting/HeadlessHost.h"
#include "hosting/World.h"
#include "host/EffectParameters.h"
#include "pipeline/LayerTexture.h"
#include "pipeline/PixelFormat.h"
#include "support/GlContextTest.h"

using namespace gl;

namespace Tessarine::Lamino {
namespace {

// What the test entry point read at its last render, and the custom layer's texture.
SliceParameters readRecord;
LayerTexture customLayer;

// Stands in for the plug-in's entry point: declares the controls and reads them, nothing else.
PF_Err parameterEntryPoint(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef*[],
                           PF_LayerDef*, void*)
{
    try {
        switch (cmd) {
        case PF_Cmd_PARAMS_SETUP: return ParamsSetup(in_data, out_data);
        case PF_Cmd_RENDER:
            ReadSliceParameters(readRecord, in_data, layerFormat(kPixelFormatArgb), customLayer);
            return PF_Err_NONE;
        default: return PF_Err_NONE;
        }
    } catch (int) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
}

class EffectParametersTest : public GlContextTest {
protected:
    void SetUp() override
    {
        GlContextTest::SetUp();
        readRecord = SliceParameters{};
        ASSERT_EQ(host.paramsSetup(), PF_Err_NONE);
    }

    void TearDown() override
    {
        customLayer.release();
        EXPECT_EQ(host.report(), "");
    }

    PF_Err render(A_long time = 0)
    {
        RenderRequest request;
        request.input = input.get();
        request.output = output.get();
        request.time = time;
        return host.render(request);
    }

    HeadlessHost host{&parameterEntryPoint};
    World input{WorldFormat::Argb8, 4, 4};
    World output{WorldFormat::Argb8, 4, 4};
};

struct Declared {
    const char* label;
    PF_ParamType type;
    A_long id;
};

TEST_F(EffectParametersTest, DeclaresElevenControlsWithTheirIdsInOrder)
{
    const Declared expected[] = {
        {"Slices", PF_Param_SLIDER, 1},           {"Angle", PF_Param_ANGLE, 2},
        {"Size Random", PF_Param_FIX_SLIDER, 3},  {"Size Random Seed", PF_Param_SLIDER, 4},
        {"Offset Random", PF_Param_FLOAT_SLIDER, 5}, {"Offset Random Seed", PF_Param_SLIDER, 6},
        {"Offset Both Direction", PF_Param_CHECKBOX, 7}, {"Custom Layer", PF_Param_LAYER, 8},
        {"Layer Opacity", PF_Param_FIX_SLIDER, 11}, {"Layer Random Seed", PF_Param_SLIDER, 9},
        {"Edge Type", PF_Param_POPUP, 10},        {"Edge Softness", PF_Param_FLOAT_SLIDER, 12},
        {"Motion Blur", PF_Param_CHECKBOX, 13},   {"Shutter Samples", PF_Param_SLIDER, 14},
        {"Evolution", PF_Param_ANGLE, 15},        {"Band Phase", PF_Param_FLOAT_SLIDER, 16},
    };
    const auto params = host.parameters();
    ASSERT_EQ(params.size(), 16u);
    EXPECT_EQ(host.lastOutData().num_params, 17);
    for (size_t i = 0; i < params.size(); ++i) {
        SCOPED_TRACE(expected[i].label);
        EXPECT_EQ(params[i].name(), expected[i].label);
        EXPECT_EQ(params[i].def.param_type, expected[i].type);
        EXPECT_EQ(params[i].def.uu.id, expected[i].id);
        EXPECT_EQ(params[i].def.flags, 0);
        EXPECT_EQ(params[i].def.ui_flags, 0);
    }
}

TEST_F(EffectParametersTest, DeclaresRangesAndDefaults)
{
    const auto params = host.parameters();
    const PF_SliderDef& slices = params[0].def.u.sd;
    EXPECT_EQ(slices.value, 30);
    EXPECT_EQ(slices.dephault, 30);
    EXPECT_EQ(slices.valid_min, 1);
    EXPECT_EQ(slices.valid_max, 2000);
    EXPECT_EQ(slices.slider_min, 1);
    EXPECT_EQ(slices.slider_max, 100);

    const PF_AngleDef& angle = params[1].def.u.ad;
    EXPECT_EQ(angle.value, 0);
    EXPECT_EQ(angle.valid_min, 0);
    EXPECT_EQ(angle.valid_max, 0);

    const PF_FixedSliderDef& opacity = params[8].def.u.fd;
    EXPECT_EQ(opacity.value, 0x640000);
    EXPECT_EQ(opacity.dephault, 0x640000);
    EXPECT_EQ(opacity.valid_max, 0x640000);
    EXPECT_EQ(opacity.precision, 1);
    EXPECT_EQ(opacity.display_flags, PF_ValueDisplayFlag_PERCENT);

    const PF_FloatSliderDef& offset = params[4].def.u.fs_d;
    EXPECT_FLOAT_EQ(offset.valid_min, -1000.0f);
    EXPECT_FLOAT_EQ(offset.valid_max, 1000.0f);
    EXPECT_FLOAT_EQ(offset.slider_max, 100.0f);
    EXPECT_FLOAT_EQ(offset.curve_tolerance, 0.05f);
    EXPECT_EQ(offset.precision, 0);
    EXPECT_EQ(offset.display_flags, 1);

    EXPECT_EQ(params[6].def.u.bd.value, 1);
    EXPECT_EQ(params[6].def.u.bd.dephault, 1);
    EXPECT_EQ(params[6].label, "");
    EXPECT_EQ(params[7].def.u.ld.dephault, PF_LayerDefault_NONE);
    EXPECT_EQ(params[10].def.u.pd.value, 1);
    EXPECT_EQ(params[10].def.u.pd.num_choices, 4);
    EXPECT_EQ(params[10].choices, "Normal|Repeat|Mirror|Clamp");
}

TEST_F(EffectParametersTest, FailedDeclarationStopsAndReturnsTheHostCode)
{
    FaultPlan plan;
    plan.failAddParamCall = 2; // "Angle"
    plan.addParamError = PF_Err_OUT_OF_MEMORY;
    host.setFaultPlan(plan);
    EXPECT_EQ(host.paramsSetup(), PF_Err_OUT_OF_MEMORY);
    const auto params = host.parameters();
    ASSERT_EQ(params.size(), 1u);
    EXPECT_EQ(params[0].name(), "Slices");
    host.setFaultPlan(FaultPlan{});
}

TEST_F(EffectParametersTest, DefaultsReadIntoTheRecord)
{
    readRecord.count = -5;
    readRecord.layerAlpha = -1.0;
    ASSERT_EQ(render(), PF_Err_NONE);
    EXPECT_EQ(readRecord.count, 30);
    EXPECT_EQ(readRecord.angle, 0.0);
    EXPECT_EQ(readRecord.offsetRandom, 0.0);
    EXPECT_TRUE(readRecord.bothDirection);
    EXPECT_EQ(readRecord.customLayerTexture, 0u);
    EXPECT_EQ(readRecord.layerAlpha, 1.0);
    EXPECT_EQ(readRecord.edgeType, 0);
}

TEST_F(EffectParametersTest, ValuesConvertAsTheirFieldsNeed)
{
    host.setValue(kSlices, 2000);
    host.setValue(kAngle, 390);
    host.setValue(kSizeRandom, 37.5);
    host.setValue(kOffsetRandom, -1000);
    host.setValue(kOffsetRandomSeed, 10000);
    host.setValue(kOffsetBothDirection, 0);
    host.setValue(kLayerOpacity, 99.9);
    host.setValue(kLayerRandomSeed, 7);
    host.setValue(kEdgeType, 4);
    ASSERT_EQ(render(), PF_Err_NONE);
    EXPECT_EQ(readRecord.count, 2000);
    EXPECT_DOUBLE_EQ(readRecord.angle, 390.0);
    EXPECT_DOUBLE_EQ(readRecord.sizeRandom, 0.37); // the fixed slider's fraction is dropped
    EXPECT_DOUBLE_EQ(readRecord.offsetRandom, -10.0);
    EXPECT_EQ(readRecord.offsetRandomSeed, 10000);
    EXPECT_FALSE(readRecord.bothDirection);
    EXPECT_DOUBLE_EQ(readRecord.layerAlpha, 0.99);
    EXPECT_EQ(readRecord.layerRandomSeed, 7);
    EXPECT_EQ(readRecord.edgeType, 3); // "Clamp"

    host.setValue(kAngle, -45);
    host.setValue(kEdgeType, 1);
    ASSERT_EQ(render(), PF_Err_NONE);
    EXPECT_DOUBLE_EQ(readRecord.angle, -45.0);
    EXPECT_EQ(readRecord.edgeType, 0); // "Normal"
}

TEST_F(EffectParametersTest, FloatSliderKeepsItsFractionBetweenKeyframes)
{
    host.animate(kOffsetRandom, ParameterAnimation{0.0, 25.0, 0.0, 1.0});
    ASSERT_EQ(render(15), PF_Err_NONE); // half a second at 30 per second
    EXPECT_DOUBLE_EQ(readRecord.offsetRandom, 0.125);
}

TEST_F(EffectParametersTest, FailedCheckoutKeepsThePreviousValue)
{
    host.setValue(kSlices, 12);
    ASSERT_EQ(render(), PF_Err_NONE);
    host.setValue(kSlices, 99);
    FaultPlan plan;
    plan.failingCheckouts = {kSlices};
    host.setFaultPlan(plan);
    ASSERT_EQ(render(), PF_Err_NONE);
    EXPECT_EQ(readRecord.count, 12);
    host.setFaultPlan(FaultPlan{});
}

TEST_F(EffectParametersTest, FieldsWhoseFirstReadFailsStartFromTheDefaults)
{
    FaultPlan plan;
    for (int32_t index = kSlices; index < kControlCount; ++index) {
        plan.failingCheckouts.insert(index);
    }
    host.setFaultPlan(plan);
    ASSERT_EQ(render(), PF_Err_NONE);
    host.setFaultPlan(FaultPlan{});
    // The record starts from what the controls declare as their defaults.
    const auto declared = host.parameters();
    EXPECT_EQ(readRecord.count, declared[kSlices - 1].def.u.sd.dephault);
    EXPECT_EQ(readRecord.angle, declared[kAngle - 1].def.u.ad.dephault);
    EXPECT_EQ(readRecord.sizeRandom, declared[kSizeRandom - 1].def.u.fd.dephault);
    EXPECT_EQ(readRecord.offsetRandom, declared[kOffsetRandom - 1].def.u.fs_d.dephault);
    EXPECT_EQ(readRecord.bothDirection, declared[kOffsetBothDirection - 1].def.u.bd.dephault != 0);
    EXPECT_EQ(readRecord.customLayerTexture, 0u);
    EXPECT_EQ(readRecord.layerAlpha * 100 * 65536, declared[kLayerOpacity - 1].def.u.fd.dephault);
    EXPECT_EQ(readRecord.edgeType, declared[kEdgeType - 1].def.u.pd.dephault - 1);
    EXPECT_EQ(readRecord.layerRandomSeed, declared[kLayerRandomSeed - 1].def.u.sd.dephault);
    EXPECT_EQ(host.counts().checkins, 0);
}

TEST_F(EffectParametersTest, ParameterOfAnotherTypeIsNotStored)
{
    PF_ParamDef def;
    std::memset(&def, 0, sizeof(def));
    def.param_type = PF_Param_CHECKBOX;
    def.u.bd.value = 1;
    host.setRaw(kEdgeType, def);
    readRecord.edgeType = 2;
    ASSERT_EQ(render(), PF_Err_NONE);
    EXPECT_EQ(readRecord.edgeType, 2);
}

TEST_F(EffectParametersTest, CustomLayerIsUploadedWhileCheckedOut)
{
    World layer(WorldFormat::Argb8, 3, 2);
    layer.fillBytes(200);
    host.setLayer(kCustomLayer, layer.get());
    ASSERT_EQ(render(), PF_Err_NONE);
    ASSERT_NE(readRecord.customLayerTexture, 0u);
    EXPECT_EQ(glIsTexture(readRecord.customLayerTexture), GL_TRUE);
    GLint width = 0;
    glBindTexture(GL_TEXTURE_2D, readRecord.customLayerTexture);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    glBindTexture(GL_TEXTURE_2D, 0);
    EXPECT_EQ(width, 3);
    EXPECT_EQ(readRecord.customLayerTexture, customLayer.name());
}

TEST_F(EffectParametersTest, FailedCustomLayerReadMeansNoCustomLayer)
{
    World layer(WorldFormat::Argb8, 3, 2);
    host.setLayer(kCustomLayer, layer.get());
    ASSERT_EQ(render(), PF_Err_NONE);
    ASSERT_NE(readRecord.customLayerTexture, 0u);
    // The texture still holds the earlier render's layer: it must not be shown again.
    FaultPlan plan;
    plan.failingCheckouts = {kCustomLayer};
    host.setFaultPlan(plan);
    ASSERT_EQ(render(), PF_Err_NONE);
    EXPECT_EQ(readRecord.customLayerTexture, 0u);
    host.setFaultPlan(FaultPlan{});
}

TEST_F(EffectParametersTest, FailedLayerUploadStillChecksTheLayerIn)
{
    World layer(WorldFormat::Argb8, 3, 2);
    host.setLayer(kCustomLayer, layer.get());
    FaultPlan plan;
    plan.noPixelData8 = true;
    host.setFaultPlan(plan);
    EXPECT_NE(render(), PF_Err_NONE); // the upload's error leaves the command
    EXPECT_EQ(host.openCheckouts(), 0);
    host.setFaultPlan(FaultPlan{});
}

} // namespace
} // namespace Tessarine::Lamino
