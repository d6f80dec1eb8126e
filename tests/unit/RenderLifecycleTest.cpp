// The render command across the host's lifecycle in this process: renders that no global setup
// preceded, setdowns with and without a root context, and setups that follow them.

#include <gtest/gtest.h>

#include "gl/ContextRegistry.h"
#include "hosting/HeadlessHost.h"
#include "hosting/World.h"

extern "C" PF_Err EntryPointFunc(PF_Cmd, PF_InData*, PF_OutData*, PF_ParamDef*[], PF_LayerDef*,
                                 void*);

namespace Tessarine::Lamino {
namespace {

constexpr uint8_t kFill = 0x3C;

class RenderLifecycleTest : public ::testing::Test {
protected:
    void TearDown() override { host.globalSetdown(); }

    // Renders an opaque picture into an output filled with kFill and says whether every pixel
    // of the output came back as the input (the default controls give the input back).
    bool rendersTheInput(PF_Err& result)
    {
        World input(WorldFormat::Argb8, 20, 12);
        World output(WorldFormat::Argb8, 20, 12);
        for (int32_t y = 0; y < 12; ++y) {
            for (int32_t x = 0; x < 20; ++x) {
                *input.pixel8(x, y) = PF_Pixel{255, A_u_char(10 * x), A_u_char(20 * y), 77};
            }
        }
        output.fillBytes(kFill);
        RenderRequest request;
        request.input = input.get();
        request.output = output.get();
        result = host.sendCommand(PF_Cmd_RENDER, &request);
        return input.packedPixels() == output.packedPixels();
    }

    HeadlessHost host{&EntryPointFunc};
};

TEST_F(RenderLifecycleTest, RenderAfterASetdownWithoutRootContextWritesTheFrame)
{
    PF_Err result = PF_Err_NONE;
    EXPECT_TRUE(rendersTheInput(result)); // no global setup before it
    EXPECT_EQ(result, PF_Err_NONE);
    ASSERT_EQ(host.sendCommand(PF_Cmd_GLOBAL_SETDOWN), PF_Err_NONE);
    ASSERT_EQ(host.startUp(), PF_Err_NONE);
    EXPECT_TRUE(rendersTheInput(result)) << "the same size after a new setup";
    EXPECT_EQ(result, PF_Err_NONE);
}

TEST_F(RenderLifecycleTest, RendersAgainAfterEachSetdownAndSetup)
{
    for (int cycle = 0; cycle < 3; ++cycle) {
        ASSERT_EQ(host.startUp(), PF_Err_NONE);
        PF_Err result = PF_Err_NONE;
        EXPECT_TRUE(rendersTheInput(result)) << "cycle " << cycle;
        EXPECT_EQ(result, PF_Err_NONE);
        ASSERT_EQ(host.globalSetdown(), PF_Err_NONE);
    }
}

} // namespace
} // namespace Tessarine::Lamino
