// 16-bit and float worlds through the upload, the slice pass and the readback, with the headless
// host's own suites and pixel callbacks: the frame pipeline keeps their range and orientation.

#include <cmath>

#include <glbinding/gl/gl.h>
#include <gtest/gtest.h>

#include "effect/SlicePass.h"
#include "gl/AEOpenGLContext.h"
#include "gl/ContextRegistry.h"
#include "gl/ScopedContextRestore.h"
#include "headless/HeadlessHost.h"
#include "headless/World.h"
#include "pipeline/LayerUpload.h"
#include "pipeline/PixelFormat.h"
#include "pipeline/Readback.h"
#include "pipeline/RenderSurface.h"
#include "support/GlContextTest.h"

using namespace gl;

namespace Tessarine::Lamino {
namespace {

uint32_t renderFormat = kPixelFormatArgb;

// The render command's steps with another host pixel format than the plug-in's own.
PF_Err deepRenderEntryPoint(PF_Cmd cmd, PF_InData* in_data, PF_OutData*, PF_ParamDef* params[],
                            PF_LayerDef* output, void*)
{
    if (cmd != PF_Cmd_RENDER) {
        return PF_Err_NONE;
    }
    // Default controls: every band in place. Never destroyed: at exit no context is current.
    static SlicePass* const pass = new SlicePass();
    try {
        ScopedContextRestore hostContext;
        ContextRegistry::contextForCurrentThread()->makeCurrent();
        PF_LayerDef* input = &params[0]->u.ld;
        RenderSurface& surface = RenderSurface::instance();
        surface.resize(input->width, input->height);
        surface.beginDraw();
        size_t pixelBytes = 4;
        GLenum glType = GL_UNSIGNED_BYTE;
        float multiplier = 1.0f;
        GLuint texture = uploadLayer(renderFormat, input, in_data, pixelBytes, glType, multiplier);
        pass->draw(texture, input->width, input->height);
        glDeleteTextures(1, &texture);
        surface.convertOutput(multiplier);
        readBackOutput(input->width, input->height, input, output, in_data, renderFormat,
                       pixelBytes, glType);
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

    HeadlessHost host{&deepRenderEntryPoint};
};

TEST_F(DeepColourRoundTripTest, SixteenBitWorldsKeepTheirFullScale)
{
    renderFormat = kPixelFormatAe16;
    World input(WorldFormat::Argb16, 5, 3), output(WorldFormat::Argb16, 5, 3);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 5; ++x) {
            *input.pixel16(x, y) = {32768, A_u_short(x * 8192), A_u_short(y * 16384), 1000};
        }
    }
    ASSERT_EQ(render(input, output), PF_Err_NONE);
    EXPECT_TRUE(output.guardIntact());
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 5; ++x) {
            const PF_Pixel16 in = *input.pixel16(x, y), out = *output.pixel16(x, y);
            // The drawing passes through 8 bits per channel: within one step of 32768 / 255.
            EXPECT_NEAR(out.alpha, in.alpha, 129) << x << "," << y;
            EXPECT_NEAR(out.red, in.red, 129) << x << "," << y;
            EXPECT_NEAR(out.green, in.green, 129) << x << "," << y;
            EXPECT_NEAR(out.blue, in.blue, 129) << x << "," << y;
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
            *input.pixelFloat(x, y) = {1.0f, x / 3.0f, y / 2.0f, 0.25f};
        }
    }
    ASSERT_EQ(render(input, output), PF_Err_NONE);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 4; ++x) {
            const PF_PixelFloat in = *input.pixelFloat(x, y), out = *output.pixelFloat(x, y);
            EXPECT_NEAR(out.alpha, in.alpha, 1.0 / 255) << x << "," << y;
            EXPECT_NEAR(out.red, in.red, 1.0 / 255) << x << "," << y;
            EXPECT_NEAR(out.green, in.green, 1.0 / 255) << x << "," << y;
            EXPECT_NEAR(out.blue, in.blue, 1.0 / 255) << x << "," << y;
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
