// Frames of the whole render command in this process, drawn multisampled and single-sample:
// one full-frame quad runs the fragment stage once per pixel, so the samples of a pixel are equal
// and multisampling cannot change a frame.

#include <vector>

#include <gtest/gtest.h>

#include "gl/ContextRegistry.h"
#include "headless/HeadlessHost.h"
#include "headless/World.h"
#include "host/EffectParameters.h"
#include "pipeline/RenderSurface.h"

extern "C" PF_Err EntryPointFunc(PF_Cmd, PF_InData*, PF_OutData*, PF_ParamDef*[], PF_LayerDef*,
                                 void*);

namespace Tessarine::Lamino {
namespace {

struct Controls {
    double slices, angle, sizeRandom, offsetRandom, bothDirection, edgeType, seed;
    bool custom;
};

// Gradients with partly transparent corners, so that filtering and alpha both show.
void paint(World& world, int salt)
{
    for (int32_t y = 0; y < world.height(); ++y) {
        for (int32_t x = 0; x < world.width(); ++x) {
            PF_Pixel* p = world.pixel8(x, y);
            p->alpha = static_cast<A_u_char>(x + y < 12 ? 40 + 17 * x : 255);
            p->red = static_cast<A_u_char>((x * 11 + salt) % 256);
            p->green = static_cast<A_u_char>((y * 23 + 3 * salt) % 256);
            p->blue = static_cast<A_u_char>((x * y + 7) % 256);
        }
    }
}

class RenderPathEquivalenceTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(host.startUp(), PF_Err_NONE); }

    void TearDown() override
    {
        RenderSurface::instance().forceSampleCount(-1);
        EXPECT_EQ(host.globalSetdown(), PF_Err_NONE);
    }

    std::vector<uint8_t> render(const Controls& c)
    {
        World input(WorldFormat::Argb8, 57, 43);
        World custom(WorldFormat::Argb8, 19, 23);
        World output(WorldFormat::Argb8, 57, 43);
        paint(input, 0);
        paint(custom, 90);
        host.setValue(kSlices, c.slices);
        host.setValue(kAngle, c.angle);
        host.setValue(kSizeRandom, c.sizeRandom);
        host.setValue(kOffsetRandom, c.offsetRandom);
        host.setValue(kOffsetBothDirection, c.bothDirection);
        host.setValue(kEdgeType, c.edgeType);
        host.setValue(kOffsetRandomSeed, c.seed);
        host.setValue(kSizeRandomSeed, c.seed + 1);
        host.setValue(kLayerRandomSeed, c.seed + 2);
        host.setValue(kLayerOpacity, 70);
        host.setLayer(kCustomLayer, c.custom ? custom.get() : nullptr);
        RenderRequest request;
        request.input = input.get();
        request.output = output.get();
        EXPECT_EQ(host.render(request), PF_Err_NONE);
        return output.packedPixels();
    }

    static std::vector<Controls> spread()
    {
        return {
            {30, 0, 0, 0, 1, 1, 0, false},      {4, 30, 0, 25, 1, 1, 3, false},
            {12, 135, 50, -40, 0, 2, 7, true},  {300, 250, 100, 60, 1, 3, 11, true},
            {7, 90, 20, 35, 0, 4, 5, false},    {2000, 45, 50, 15, 1, 1, 9, true},
            {1, 310, 0, 80, 1, 2, 2, false},    {25, -90, 70, -20, 0, 4, 13, true},
        };
    }

    HeadlessHost host{&EntryPointFunc};
};

TEST_F(RenderPathEquivalenceTest, SingleSampleDrawingGivesTheMultisampledFramesByteForByte)
{
    for (const Controls& c : spread()) {
        RenderSurface::instance().forceSampleCount(-1); // the driver's, up to 8
        const std::vector<uint8_t> multisampled = render(c);
        RenderSurface::instance().forceSampleCount(0);
        const std::vector<uint8_t> single = render(c);
        EXPECT_EQ(multisampled, single) << "angle " << c.angle << ", slices " << c.slices;
    }
}

} // namespace
} // namespace Tessarine::Lamino
