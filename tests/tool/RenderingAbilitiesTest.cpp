#include <gtest/gtest.h>

#include <windows.h>

#include "AE_Effect.h"
#include "tool/GpuLimits.h"
#include "imagefiles/ImageIO.h"
#include "tool/RenderingAbilities.h"

using namespace Tessarine::Lamino;

TEST(RenderingAbilities, DepthsAndThreadsComeFromTheirOwnFlags)
{
    RenderingAbilities none = RenderingAbilities::fromFlags(0, 0);
    EXPECT_EQ(none.depthsText(), "8 bits per channel");
    EXPECT_TRUE(none.renders(ImageDepth::Bits8));
    EXPECT_FALSE(none.renders(ImageDepth::Bits16));
    EXPECT_FALSE(none.threadSafe);

    RenderingAbilities deep = RenderingAbilities::fromFlags(PF_OutFlag_DEEP_COLOR_AWARE, 0);
    EXPECT_EQ(deep.depthsText(), "8, 16 bits per channel");
    EXPECT_FALSE(deep.renders(ImageDepth::Float32));

    // Float worlds reach an effect only through smart rendering: both flags are needed.
    EXPECT_FALSE(RenderingAbilities::fromFlags(0, PF_OutFlag2_FLOAT_COLOR_AWARE).floatingPoint);
    EXPECT_FALSE(RenderingAbilities::fromFlags(0, PF_OutFlag2_SUPPORTS_SMART_RENDER).floatingPoint);
    RenderingAbilities all = RenderingAbilities::fromFlags(
        PF_OutFlag_DEEP_COLOR_AWARE,
        PF_OutFlag2_FLOAT_COLOR_AWARE | PF_OutFlag2_SUPPORTS_SMART_RENDER
            | PF_OutFlag2_SUPPORTS_THREADED_RENDERING);
    EXPECT_EQ(all.depthsText(), "8, 16, 32 bits per channel");
    EXPECT_TRUE(all.renders(ImageDepth::Float32));
    EXPECT_TRUE(all.threadSafe);
    EXPECT_FALSE(RenderingAbilities::fromFlags(0xFFFFFFFF & ~PF_OutFlag_DEEP_COLOR_AWARE, 0)
                     .sixteenBit);
}

TEST(GpuLimits, TheGpuIsAskedAndTheCurrentContextStays)
{
    HGLRC before = wglGetCurrentContext();
    int32_t side = GpuLimits::maxRenderSide();
    EXPECT_EQ(wglGetCurrentContext(), before);
    // llvmpipe renders 16384 pixels a side; any GPU of OpenGL 3.3 at least 1024.
    EXPECT_GE(side, 1024);
    EXPECT_LE(side, 1 << 16);
    EXPECT_EQ(GpuLimits::maxRenderSide(), side);
}
