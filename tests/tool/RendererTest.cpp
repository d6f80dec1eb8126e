#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <cstring>
#include <memory>

#include "tool/CommandLine.h"
#include "tool/DefaultImage.h"
#include "imagefiles/ImageIO.h"
#include "command/LaminoTool.h"
#include "tool/Renderer.h"
#include "unicode/Utf8.h"

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

// A renderer's custom layer goes with it: the host never hands out its world afterwards (it did,
// and a global setdown after the renderer read the freed world).
TEST(Renderer, LayersGoBackToTheHostWithTheRenderer)
{
    std::unique_ptr<HeadlessHost> host = startedPlugin();
    if (!host) {
        GTEST_SKIP() << "the plug-in is not built beside the tests";
    }
    wchar_t temporary[MAX_PATH];
    GetTempPathW(MAX_PATH, temporary);
    const std::string layerFile =
        wideToUtf8(temporary) + "lamino_layer_" + std::to_string(GetCurrentProcessId()) + ".png";
    ImageIO::writePng(DefaultImage::make(20, 12), layerFile);
    Plan plan = CommandLine::parse(
        {"render", "-o", "unused.png", "--custom-layer", layerFile, "--offset-random", "20"});
    CommandLine::resolveControls(plan, Renderer::controlsOf(*host));
    World input = Renderer::toWorld(DefaultImage::make(32, 18));
    Image layered, after;
    {
        Renderer renderer(*host, plan.controls, 1);
        layered = renderer.render(input, 0);
        EXPECT_NE(host->layer(8), nullptr); // Custom Layer
    }
    EXPECT_EQ(host->layer(8), nullptr);
    DeleteFileW(utf8ToWide(layerFile).c_str());
    after = Renderer(*host, {}, 1).render(input, 0);
    std::unique_ptr<HeadlessHost> plain = startedPlugin();
    plain->setValue(5, 20); // Offset Random, as above, without a layer
    const Image expected = Renderer(*plain, {}, 1).render(input, 0);
    EXPECT_NE(layered.rgba, expected.rgba);
    EXPECT_EQ(after.rgba, expected.rgba);
}

// The tool's host variations: the output is what the host gets back (downsampled, grown as the
// effect reports), and an upstream effect's growth leaves the layer's own pixels as they were.
TEST(Renderer, VariedRendersGiveTheHostsResult)
{
    std::unique_ptr<HeadlessHost> host = startedPlugin();
    if (!host) {
        GTEST_SKIP() << "the plug-in is not built beside the tests";
    }
    host->setValue(5, 25); // Offset Random
    host->setValue(11, 2); // Edge Type: Repeat
    const World input = Renderer::toWorld(DefaultImage::make(36, 20));
    const Image plain = Renderer(*host, {}, 1).render(input, 0);
    RenderSetup grown;
    grown.variations.upstreamGrow = 5;
    const Image wide = Renderer(*host, {}, 1, grown).render(input, 0);
    ASSERT_EQ(wide.width, 46);
    ASSERT_EQ(wide.height, 30);
    for (int32_t y = 0; y < 20; ++y) {
        ASSERT_EQ(std::memcmp(wide.pixel(5, y + 5), plain.pixel(0, y), 36 * 4), 0) << "row " << y;
    }
    RenderSetup small;
    small.variations.downsampleX = 4;
    small.variations.downsampleY = 3;
    small.variations.upstreamGrow = 5;
    const Image quarter = Renderer(*host, {}, 1, small).render(input, 0);
    EXPECT_EQ(quarter.width, 9 + 2 * 2);
    EXPECT_EQ(quarter.height, 7 + 2 * 2);
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

TEST(Renderer, SixteenBitWorldLevelsSurviveTheTripToAnImageAndBack)
{
    World world(WorldFormat::Argb16, PF_MAX_CHAN16 + 1, 1);
    for (int32_t x = 0; x <= PF_MAX_CHAN16; ++x) {
        *world.pixel16(x, 0) = PF_Pixel16{A_u_short(x / 2), A_u_short(x), A_u_short(x),
                                          A_u_short(PF_MAX_CHAN16 - x)};
    }
    Image image = Renderer::toImage(world);
    EXPECT_EQ(image.depth, ImageDepth::Bits16);
    EXPECT_EQ(image.pixel16(0, 0)[0], 0);
    EXPECT_EQ(image.pixel16(PF_MAX_CHAN16, 0)[0], 65535);
    EXPECT_EQ(image.pixel16(0, 0)[2], 65535);  // blue, in image order
    EXPECT_EQ(image.pixel16(1, 0)[0], 2);      // 1.99997 levels
    EXPECT_EQ(Renderer::toWorld(image).packedPixels(), world.packedPixels());
}

TEST(Renderer, SixteenBitImagesGoToTheNearestWorldLevel)
{
    Image image(1, 2, ImageDepth::Bits16);
    // 1 is 0.50001 world levels, 32767 is 16383.75, 65534 is 32767.49999, 3 is 1.50002.
    image.rgba16 = {0, 1, 32767, 65535, 65534, 2, 3, 32768};
    World world = Renderer::toWorld(image);
    ASSERT_EQ(world.format(), WorldFormat::Argb16);
    const PF_Pixel16 first = *world.pixel16(0, 0), second = *world.pixel16(0, 1);
    EXPECT_EQ(first.red, 0);
    EXPECT_EQ(first.green, 1);
    EXPECT_EQ(first.blue, 16384);
    EXPECT_EQ(first.alpha, 32768);
    EXPECT_EQ(second.red, 32767);
    EXPECT_EQ(second.green, 1);
    EXPECT_EQ(second.blue, 2);
    EXPECT_EQ(second.alpha, 16384);
}

TEST(Renderer, WorldsOfAnyDepthTakeImagesOfAnyDepth)
{
    Image eight(2, 1);
    eight.rgba = {255, 128, 0, 255, 1, 2, 3, 0};
    World deep = Renderer::toWorld(eight, WorldFormat::Argb16);
    EXPECT_EQ(deep.pixel16(0, 0)->red, 32768);
    EXPECT_EQ(deep.pixel16(0, 0)->green, 16448);  // 128 / 255 of 32768, rounded
    EXPECT_EQ(deep.pixel16(0, 0)->alpha, 32768);
    World floats = Renderer::toWorld(eight, WorldFormat::ArgbFloat);
    EXPECT_EQ(floats.pixelFloat(0, 0)->red, 1.0f);
    EXPECT_EQ(floats.pixelFloat(1, 0)->blue, 3.0f / 255.0f);
    EXPECT_EQ(Renderer::toImage(floats).converted(ImageDepth::Bits8).rgba, eight.rgba);

    Image beyond(1, 1, ImageDepth::Float32);
    beyond.rgbaFloat = {4.0f, -0.5f, 0.25f, 0.5f};
    World world = Renderer::toWorld(beyond);
    const PF_PixelFloat pixel = *world.pixelFloat(0, 0);
    EXPECT_EQ(pixel.alpha, 0.5f);
    EXPECT_EQ(pixel.red, 4.0f);
    EXPECT_EQ(pixel.green, -0.5f);
    EXPECT_EQ(pixel.blue, 0.25f);
    EXPECT_EQ(Renderer::toImage(world).rgbaFloat, beyond.rgbaFloat);
    EXPECT_EQ(Renderer::toWorld(beyond, WorldFormat::Argb8).pixel8(0, 0)->red, 255);
}

namespace {

// A stand-in effect that renders any depth, by smart render as a float-aware effect must: the
// output is the input with red and blue swapped.
template <class Pixel> void swapRedAndBlue(const PF_EffectWorld& input, PF_EffectWorld& output)
{
    for (A_long y = 0; y < output.height; ++y) {
        auto from = reinterpret_cast<const Pixel*>(reinterpret_cast<const char*>(input.data)
                                                   + size_t(y) * size_t(input.rowbytes));
        auto to = reinterpret_cast<Pixel*>(reinterpret_cast<char*>(output.data)
                                           + size_t(y) * size_t(output.rowbytes));
        for (A_long x = 0; x < output.width; ++x) {
            to[x] = from[x];
            std::swap(to[x].red, to[x].blue);
        }
    }
}

void swapByFormat(const PF_EffectWorld& input, PF_EffectWorld& output)
{
    switch (World::formatOf(output)) {
    case WorldFormat::Argb8: swapRedAndBlue<PF_Pixel>(input, output); break;
    case WorldFormat::Argb16: swapRedAndBlue<PF_Pixel16>(input, output); break;
    case WorldFormat::ArgbFloat: swapRedAndBlue<PF_PixelFloat>(input, output); break;
    }
}

PF_Err swappingEffect(PF_Cmd cmd, PF_InData* in, PF_OutData* out, PF_ParamDef*[],
                      PF_LayerDef*, void* extra)
{
    if (cmd == PF_Cmd_GLOBAL_SETUP) {
        out->out_flags = PF_OutFlag_DEEP_COLOR_AWARE;
        out->out_flags2 = PF_OutFlag2_FLOAT_COLOR_AWARE | PF_OutFlag2_SUPPORTS_SMART_RENDER;
    } else if (cmd == PF_Cmd_PARAMS_SETUP) {
        out->num_params = 1;
    } else if (cmd == PF_Cmd_SMART_PRE_RENDER) {
        auto* pre = static_cast<PF_PreRenderExtra*>(extra);
        PF_CheckoutResult layer{};
        const PF_Err err = pre->cb->checkout_layer(in->effect_ref, 0, 0,
                                                   &pre->input->output_request, in->current_time,
                                                   in->time_step, in->time_scale, &layer);
        pre->output->result_rect = layer.result_rect;
        pre->output->max_result_rect = layer.max_result_rect;
        return err;
    } else if (cmd == PF_Cmd_SMART_RENDER) {
        auto* smart = static_cast<PF_SmartRenderExtra*>(extra);
        PF_EffectWorld* input = nullptr;
        PF_EffectWorld* output = nullptr;
        if (smart->cb->checkout_layer_pixels(in->effect_ref, 0, &input) != PF_Err_NONE) {
            return PF_Err_BAD_CALLBACK_PARAM;
        }
        if (smart->cb->checkout_output(in->effect_ref, &output) == PF_Err_NONE) {
            swapByFormat(*input, *output);
        }
        return smart->cb->checkin_layer_pixels(in->effect_ref, 0);
    }
    return PF_Err_NONE;
}

}  // namespace

TEST(Renderer, RendersIntoWorldsOfTheInputsDepth)
{
    HeadlessHost host(&swappingEffect);
    ASSERT_EQ(host.startUp(), PF_Err_NONE);
    Renderer renderer(host, {}, 1);
    Image deep(1, 1, ImageDepth::Bits16);
    deep.rgba16 = {65535, 1000, 2, 32768};
    Image rendered = renderer.render(Renderer::toWorld(deep), 0);
    ASSERT_EQ(rendered.depth, ImageDepth::Bits16);
    EXPECT_EQ(rendered.rgba16, (std::vector<uint16_t>{2, 1000, 65535, 32768}));
    Image floats(1, 1, ImageDepth::Float32);
    floats.rgbaFloat = {4.0f, -0.5f, 0.25f, 1.0f};
    rendered = renderer.render(Renderer::toWorld(floats), 0);
    ASSERT_EQ(rendered.depth, ImageDepth::Float32);
    EXPECT_EQ(rendered.rgbaFloat, (std::vector<float>{0.25f, -0.5f, 4.0f, 1.0f}));
    EXPECT_EQ(host.report(), "");
}
