#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <memory>

#include "headless/DefaultImage.h"
#include "headless/LaminoTool.h"
#include "headless/Renderer.h"
#include "headless/Utf8.h"

using namespace Tessarine::Lamino;

namespace {

// The built plug-in beside the tests, started as the host starts it; null when it is not built.
std::unique_ptr<HeadlessHost> startedPlugin()
{
    std::string path = LaminoTool::defaultPluginPath();
    if (GetFileAttributesW(utf8ToWide(path).c_str()) == INVALID_FILE_ATTRIBUTES) {
        return nullptr;
    }
    auto host = std::make_unique<HeadlessHost>(path);
    EXPECT_EQ(host->startUp(), PF_Err_NONE);
    return host;
}

FaultPlan withoutPixelAddresses()
{
    FaultPlan plan;
    plan.noPixelData8 = true;  // the upload of the input layer then fails
    return plan;
}

}  // namespace

TEST(Renderer, WorldsCarryTheImagesChannelsInHostOrder)
{
    Image image(2, 1);
    image.rgba = {10, 20, 30, 40, 250, 251, 252, 0};
    World world = Renderer::toWorld(image);
    const PF_Pixel* first = world.pixel8(0, 0);
    EXPECT_EQ(first->alpha, 40);
    EXPECT_EQ(first->red, 10);
    EXPECT_EQ(first->green, 20);
    EXPECT_EQ(first->blue, 30);
    EXPECT_EQ(Renderer::toImage(world).rgba, image.rgba);
}

TEST(Renderer, RefusedRenderReportsTheHostErrorCode)
{
    std::unique_ptr<HeadlessHost> host = startedPlugin();
    if (!host) {
        GTEST_SKIP() << "the plug-in is not built beside the tests";
    }
    Renderer renderer(*host, {}, 1);
    World input = Renderer::toWorld(DefaultImage::make(32, 18));
    host->setFaultPlan(withoutPixelAddresses());
    try {
        renderer.render(input, 2);
        FAIL() << "the render succeeded";
    } catch (const RenderError& error) {
        EXPECT_EQ(error.code, PF_Err_BAD_CALLBACK_PARAM);
        EXPECT_STREQ(
            error.what(),
            "the effect failed to render frame 3: host error 516 (PF_Err_BAD_CALLBACK_PARAM)");
    }
}

TEST(Renderer, FailureStopsEveryRenderThreadAndIsRethrown)
{
    std::unique_ptr<HeadlessHost> host = startedPlugin();
    if (!host) {
        GTEST_SKIP() << "the plug-in is not built beside the tests";
    }
    Renderer renderer(*host, {}, 40);
    World input = Renderer::toWorld(DefaultImage::make(32, 18));
    std::atomic<int> delivered{0};
    auto deliver = [&](int32_t, const Image&) {
        if (++delivered == 2) {
            host->setFaultPlan(withoutPixelAddresses());  // every later render fails
        }
    };
    EXPECT_THROW(renderer.renderFrames(input, 40, 3, deliver), RenderError);
    EXPECT_GE(delivered.load(), 2);
    EXPECT_LT(delivered.load(), 10);
}

TEST(Renderer, BenchFiguresComeFromTheTimes)
{
    BenchTimes times{{3.0, 1.0, 2.0, 10.0}};
    EXPECT_EQ(times.median(), 2.5);
    EXPECT_EQ(times.minimum(), 1.0);
    EXPECT_EQ(times.maximum(), 10.0);
    times.milliseconds.push_back(4.0);
    EXPECT_EQ(times.median(), 3.0);
}
