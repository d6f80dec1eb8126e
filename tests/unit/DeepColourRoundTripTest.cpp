// 16-bit and float worlds through the upload, the slice pass and the readback, with the headless
// host's own suites and pixel callbacks: the frame pipeline keeps their range, precision and
// orientation.

#include <cmath>

#include <glbinding/gl/gl.h>
#include <gtest/gtest.h>

#include "effect/SlicePass.h"
#include "gl/AEOpenGLContext.h"
#include "gl/ContextRegistry.h"
#include "gl/ScopedContextRestore.h"
#include "hosting/HeadlessHost.h"
#include "hosting/World.h"
#include "host/EffectParameters.h"
#include "host/FrameRender.h"
#include "pipeline/PixelFormat.h"
#include "support/GlContextTest.h"

namespace Tessarine::Lamino {
namespace {

uint32_t renderFormat = kPixelFormatArgb;

// The render command's steps with another host pixel format than the plug-in's own.
PF_Err deepRenderEntryPoint(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data,
                            PF_ParamDef* params[],
                            PF_LayerDef* output, void*)
{
    if (cmd == PF_Cmd_PARAMS_SETUP) {
        return ParamsSetup(in_data, out_data);
    }
    if (cmd != PF_Cmd_RENDER) {
        return PF_Err_NONE;
    }
    // Default controls: every band in place. Never destroyed: at exit no context is current.
    static SlicePass* const pass = new SlicePass();
    try {
        ScopedContextRestore hostContext;
        ContextRegistry::contextForCurrentThread()->makeCurrent();
        FrameWorlds worlds;
        worlds.input = &params[0]->u.ld;
        worlds.output = output;
        renderFrame(*pass, in_data, worlds, renderFormat);
        return PF_Err_NONE;
    } catch (int code) {
        return code;
    }
}

class DeepColourRoundTripTest : public GlContextTest {
protected:
    PF_Err render(World& input, World& output)
    {
        RenderRequest request;
        request.input = input.get();
        request.output = output.get();
        return host.render(request);
    }

    void SetUp() override
    {
        GlContextTest::SetUp();
        ASSERT_EQ(host.paramsSetup(), PF_Err_NONE);
    }

    HeadlessHost host{&deepRenderEntryPoint};
};

TEST_F(DeepColourRoundTripTest, SixteenBitWorldsKeepTheirFullScale)
{
    renderFormat = kPixelFormatAe16;
    World input(WorldFormat::Argb16, 5, 3), output(WorldFormat::Argb16, 5, 3);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 5; ++x) {
            // Steps finer than 8 bits carry: 32768 / 255 is about 128.
            *input.pixel16(x, y) = {A_u_short(32768 - 7 * x), A_u_short(x * 8192 + 3),
                                    A_u_short(y * 16384 + 5 * x), 1000};
        }
    }
    ASSERT_EQ(render(input, output), PF_Err_NONE);
    EXPECT_TRUE(output.guardIntact());
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 5; ++x) {
            const PF_Pixel16 in = *input.pixel16(x, y), out = *output.pixel16(x, y);
            // 16 bits all the way: within one step of the host's 0..32768.
            EXPECT_NEAR(out.alpha, in.alpha, 1) << x << "," << y;
            EXPECT_NEAR(out.red, in.red, 1) << x << "," << y;
            EXPECT_NEAR(out.green, in.green, 1) << x << "," << y;
            EXPECT_NEAR(out.blue, in.blue, 1) << x << "," << y;
        }
    }
    EXPECT_EQ(host.report(), "");
}

TEST_F(DeepColourRoundTripTest, FloatWorldsComeBackThroughTheIterationSuite)
{
    renderFormat = kPixelFormatAe32;
    World input(WorldFormat::ArgbFloat, 4, 3), output(WorldFormat::ArgbFloat, 4, 3);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 4; ++x) {
            *input.pixelFloat(x, y) = {1.0f, x / 3.0f + 0.001f, y / 2.0f, 0.25f};
        }
    }
    ASSERT_EQ(render(input, output), PF_Err_NONE);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 4; ++x) {
            const PF_PixelFloat in = *input.pixelFloat(x, y), out = *output.pixelFloat(x, y);
            EXPECT_NEAR(out.alpha, in.alpha, 1e-6) << x << "," << y;
            EXPECT_NEAR(out.red, in.red, 1e-6) << x << "," << y;
            EXPECT_NEAR(out.green, in.green, 1e-6) << x << "," << y;
            EXPECT_NEAR(out.blue, in.blue, 1e-6) << x << "," << y;
        }
    }
    EXPECT_GE(host.counts().iterations, 2); // one iteration in, one out
    EXPECT_EQ(host.report(), "");
}

TEST_F(DeepColourRoundTripTest, FailedFloatIterationIsReportedAndReleasesEverything)
{
    renderFormat = kPixelFormatAe32;
    World input(WorldFormat::ArgbFloat, 4, 3), output(WorldFormat::ArgbFloat, 4, 3);
    FaultPlan plan;
    plan.iterateFloatError = PF_Err_OUT_OF_MEMORY;
    host.setFaultPlan(plan);
    EXPECT_EQ(render(input, output), PF_Err_OUT_OF_MEMORY);
    EXPECT_EQ(host.heldSuites(), 0);
    EXPECT_EQ(host.liveHandles(), 0);
}

} // namespace
} // namespace Tessarine::Lamino
