// The plug-in as a deep-colour, smart-rendering effect: the smart-render protocol against the
// classic render, 16- and 32-bit frames at their own precision, non-finite float pixels, and
// every smart-render callback failing in turn.

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "PluginTestSupport.h"
#include "host/EffectParameters.h"

namespace Tessarine::Lamino {
namespace {

class SmartRenderTest : public ::testing::Test {
protected:
    void set(ControlIndex index, double value) { plugin.host().setValue(index, value); }

    // Shifted bands at an angle, every edge of a band showing, and a custom layer of another
    // size laid over some of them.
    void setMovingControls()
    {
        set(kAngle, 20);
        set(kSlices, 12);
        set(kOffsetRandom, 30);
        set(kSizeRandom, 40);
        set(kEdgeType, 3); // "Mirror"
        withCustomLayer = true;
    }

    PF_Err render(World& input, World& output, RenderProtocol protocol = RenderProtocol::Auto)
    {
        RenderRequest request;
        request.input = input.get();
        request.output = output.get();
        request.protocol = protocol;
        const PF_Err err = plugin.host().render(request);
        EXPECT_TRUE(input.guardIntact() && output.guardIntact());
        return err;
    }

    // The picture rendered at a depth (with the custom layer at that depth too, as the host
    // hands out every layer of a render), brought back to 8 bits.
    ArgbImage renderAt(const ArgbImage& picture, WorldFormat format,
                       RenderProtocol protocol = RenderProtocol::Auto)
    {
        World input = toWorldAt(picture, format);
        World custom = toWorldAt(customPicture, format);
        plugin.host().setLayer(kCustomLayer, withCustomLayer ? custom.get() : nullptr);
        World output(format, picture.width, picture.height);
        EXPECT_EQ(render(input, output, protocol), PF_Err_NONE);
        plugin.host().setLayer(kCustomLayer, nullptr);
        return eightBitsOf(output);
    }

    void TearDown() override
    {
        plugin.host().setLayer(kCustomLayer, nullptr);
        EXPECT_EQ(plugin.host().report(), "");
    }

    PluginHost plugin;
    const ArgbImage picture = detailedPicture(48, 36, 7);
    const ArgbImage customPicture = detailedPicture(20, 30, 8);
    bool withCustomLayer = false;
};

TEST_F(SmartRenderTest, TheHostSendsSmartRendersThatMatchTheClassicRender)
{
    setMovingControls();
    const HostCounts before = plugin.host().counts();
    const ArgbImage smart = renderAt(picture, WorldFormat::Argb8);
    const HostCounts after = plugin.host().counts();
    // Both layers checked out in pre-render and their pixels in the render.
    EXPECT_EQ(after.layerCheckouts - before.layerCheckouts, 2);
    EXPECT_EQ(after.layerPixelCheckouts - before.layerPixelCheckouts, 2);
    const PF_PreRenderOutput result = plugin.host().lastPreRender();
    const PF_LRect frame{0, 0, picture.width, picture.height};
    EXPECT_EQ(std::memcmp(&result.result_rect, &frame, sizeof frame), 0);
    EXPECT_EQ(std::memcmp(&result.max_result_rect, &frame, sizeof frame), 0);

    EXPECT_EQ(renderAt(picture, WorldFormat::Argb8, RenderProtocol::Classic).argb, smart.argb);
}

TEST_F(SmartRenderTest, DepthsEightSixteenAndThirtyTwoAgreeWithinOneLevel)
{
    setMovingControls();
    const ArgbImage eight = renderAt(picture, WorldFormat::Argb8);
    EXPECT_LE(maxChannelDifference(renderAt(picture, WorldFormat::Argb16), eight), 1);
    EXPECT_LE(maxChannelDifference(renderAt(picture, WorldFormat::ArgbFloat), eight), 1);
    // The classic render takes 16-bit worlds too, when the host marks them deep.
    EXPECT_LE(maxChannelDifference(
                  renderAt(picture, WorldFormat::Argb16, RenderProtocol::Classic), eight),
              1);
}

// Values 8-bit steps cannot hold, one level of 32768 apart, come back as they went in.
TEST_F(SmartRenderTest, SixteenBitFramesKeepDetailBelowEightBitSteps)
{
    for (RenderProtocol protocol : {RenderProtocol::Smart, RenderProtocol::Classic}) {
        World input(WorldFormat::Argb16, 40, 20);
        for (int y = 0; y < 20; ++y) {
            for (int x = 0; x < 40; ++x) {
                const auto v = A_u_short(9000 + 3 * x + 101 * y);
                *input.pixel16(x, y) = PF_Pixel16{32768, v, A_u_short(v + 1), A_u_short(v + 2)};
            }
        }
        World output(WorldFormat::Argb16, 40, 20);
        ASSERT_EQ(render(input, output, protocol), PF_Err_NONE);
        int worst = 0;
        for (int y = 0; y < 20; ++y) {
            for (int x = 0; x < 40; ++x) {
                const PF_Pixel16& a = *input.pixel16(x, y);
                const PF_Pixel16& b = *output.pixel16(x, y);
                for (int d : {a.alpha - b.alpha, a.red - b.red, a.green - b.green,
                              a.blue - b.blue}) {
                    worst = std::max(worst, std::abs(d));
                }
            }
        }
        EXPECT_LE(worst, 1);
    }
}

TEST_F(SmartRenderTest, FloatFramesKeepValuesAboveOneAndBelowZero)
{
    World input(WorldFormat::ArgbFloat, 24, 16);
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 24; ++x) {
            *input.pixelFloat(x, y) =
                PF_PixelFloat{1.0f, 4.0f - 0.125f * float(x), -0.5f + 0.0625f * float(y), 0.25f};
        }
    }
    World output(WorldFormat::ArgbFloat, 24, 16);
    ASSERT_EQ(render(input, output), PF_Err_NONE);
    float worst = 0.0f;
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 24; ++x) {
            const PF_PixelFloat& a = *input.pixelFloat(x, y);
            const PF_PixelFloat& b = *output.pixelFloat(x, y);
            worst = std::max({worst, std::fabs(a.alpha - b.alpha), std::fabs(a.red - b.red),
                              std::fabs(a.green - b.green), std::fabs(a.blue - b.blue)});
        }
    }
    EXPECT_LE(worst, 1e-6f);

    // Moved bands filter between such values without clipping them.
    set(kOffsetRandom, 40);
    set(kAngle, 33);
    ASSERT_EQ(render(input, output), PF_Err_NONE);
    float highest = 0.0f, lowest = 0.0f;
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 24; ++x) {
            highest = std::max(highest, output.pixelFloat(x, y)->red);
            lowest = std::min(lowest, output.pixelFloat(x, y)->green);
        }
    }
    EXPECT_GT(highest, 3.0f);
    EXPECT_LT(lowest, -0.25f);
}

// A pixel that is not a number shows nothing; an infinite one is held to the largest half-float
// value: filtering and blending never spread them over the band.
TEST_F(SmartRenderTest, NonFiniteFloatPixelsGiveAFiniteFrame)
{
    World input(WorldFormat::ArgbFloat, 30, 20);
    const float nan = std::nanf("");
    const float inf = HUGE_VALF;
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 30; ++x) {
            const bool odd = (x * 7 + y * 3) % 5 == 0;
            *input.pixelFloat(x, y) = odd ? PF_PixelFloat{nan, inf, -inf, nan}
                                          : PF_PixelFloat{1.0f, 0.5f, 0.25f, 2.0f};
        }
    }
    World output(WorldFormat::ArgbFloat, 30, 20);
    for (double softness : {0.0, 6.0}) {
        set(kOffsetRandom, 35);
        set(kEdgeSoftness, softness);
        ASSERT_EQ(render(input, output), PF_Err_NONE);
        size_t nonFinite = 0;
        for (int y = 0; y < 20; ++y) {
            for (int x = 0; x < 30; ++x) {
                const PF_PixelFloat& p = *output.pixelFloat(x, y);
                for (float v : {p.alpha, p.red, p.green, p.blue}) {
                    nonFinite += std::isfinite(v) ? 0 : 1;
                }
            }
        }
        EXPECT_EQ(nonFinite, 0u) << "softness " << softness;
    }
    // Unshifted, a NaN pixel stores as transparent black.
    set(kOffsetRandom, 0);
    set(kEdgeSoftness, 0);
    ASSERT_EQ(render(input, output), PF_Err_NONE);
    const PF_PixelFloat& first = *output.pixelFloat(0, 0);
    EXPECT_EQ(first.alpha, 0.0f);
    EXPECT_EQ(first.red, 0.0f);
}

struct CallbackFault {
    const char* what;
    FaultPlan plan;
    PF_Err expected;
};

std::vector<CallbackFault> smartRenderFaults()
{
    std::vector<CallbackFault> faults;
    auto add = [&](const char* what, PF_Err expected, auto change) {
        FaultPlan plan;
        change(plan);
        faults.push_back({what, plan, expected});
    };
    add("input layer checkout", PF_Err_OUT_OF_MEMORY, [](FaultPlan& p) {
        p.failingLayerCheckouts = {kInputLayer};
        p.layerCheckoutError = PF_Err_OUT_OF_MEMORY;
    });
    add("custom layer checkout", PF_Err_INTERNAL_STRUCT_DAMAGED, [](FaultPlan& p) {
        p.failingLayerCheckouts = {kCustomLayer};
        p.layerCheckoutError = PF_Err_INTERNAL_STRUCT_DAMAGED;
    });
    add("input pixels", PF_Err_OUT_OF_MEMORY, [](FaultPlan& p) { p.failingLayerPixels = {0}; });
    add("custom layer pixels", PF_Err_OUT_OF_MEMORY,
        [](FaultPlan& p) { p.failingLayerPixels = {1}; });
    add("pixels checkin", PF_Err_INVALID_INDEX,
        [](FaultPlan& p) { p.layerCheckinError = PF_Err_INVALID_INDEX; });
    add("output checkout", PF_Err_OUT_OF_MEMORY,
        [](FaultPlan& p) { p.outputCheckoutError = PF_Err_OUT_OF_MEMORY; });
    for (const char* name : {"checkout_layer", "checkout_layer_pixels", "checkin_layer_pixels",
                             "checkout_output"}) {
        add(name, PF_Err_BAD_CALLBACK_PARAM, [name](FaultPlan& p) { p.nullCallbacks = {name}; });
    }
    return faults;
}

TEST_F(SmartRenderTest, EachCallbackFaultGivesItsErrorLeavesNothingOutAndTheNextRenderIsRight)
{
    setMovingControls();
    HostGlContext hostContext;
    const ArgbImage expected = renderAt(picture, WorldFormat::ArgbFloat);
    for (const CallbackFault& fault : smartRenderFaults()) {
        SCOPED_TRACE(fault.what);
        World input = toWorldAt(picture, WorldFormat::ArgbFloat);
        World custom = toWorldAt(customPicture, WorldFormat::ArgbFloat);
        World output(WorldFormat::ArgbFloat, picture.width, picture.height);
        plugin.host().setLayer(kCustomLayer, custom.get());
        plugin.host().setFaultPlan(fault.plan);
        EXPECT_EQ(render(input, output), fault.expected);
        plugin.host().setFaultPlan(FaultPlan{});
        plugin.host().setLayer(kCustomLayer, nullptr);
        EXPECT_TRUE(hostContext.isCurrent());
        EXPECT_EQ(plugin.host().report(), "");
        EXPECT_EQ(plugin.host().liveHandles(), 0);
        EXPECT_EQ(renderAt(picture, WorldFormat::ArgbFloat).argb, expected.argb);
        EXPECT_TRUE(hostContext.isCurrent());
    }
}

// The plug-in behind a host that hands out the smart render's output from frame pixel (5, 3):
// the headless host itself hands out whole frames.
struct MovedOutput {
    static PF_Err entry(PF_Cmd cmd, PF_InData* in, PF_OutData* out, PF_ParamDef* params[],
                        PF_LayerDef* output, void* extra)
    {
        if (cmd == PF_Cmd_SMART_RENDER && extra) {
            auto* smart = static_cast<PF_SmartRenderExtra*>(extra);
            callbacks = *smart->cb;
            original = smart->cb->checkout_output;
            callbacks.checkout_output = &checkoutMoved;
            smart->cb = &callbacks;
        }
        return plugin(cmd, in, out, params, output, extra);
    }
    static PF_Err checkoutMoved(PF_ProgPtr ref, PF_EffectWorld** world)
    {
        const PF_Err err = original(ref, world);
        if (err == PF_Err_NONE && *world) {
            (*world)->origin_x = 5;
            (*world)->origin_y = 3;
            (*world)->width -= 5;
            (*world)->height -= 3;
        }
        return err;
    }
    static inline EntryPointFunction plugin = nullptr;
    static inline PF_Err (*original)(PF_ProgPtr, PF_EffectWorld**) = nullptr;
    static inline PF_SmartRenderCallbacks callbacks{};
};

// A host may hand out an output that shows part of the frame: its first pixel is the frame pixel
// at the output's origin less the input's.
TEST_F(SmartRenderTest, OutputFromAnOriginGetsThatPartOfTheFrame)
{
    setMovingControls();
    const ArgbImage whole = renderAt(picture, WorldFormat::Argb8);
    HMODULE module = GetModuleHandleA("OrlaLamino.aex");
    ASSERT_NE(module, nullptr);
    MovedOutput::plugin = reinterpret_cast<EntryPointFunction>(
        reinterpret_cast<void*>(GetProcAddress(module, "EntryPointFunc")));
    HeadlessHost moved(&MovedOutput::entry);
    ASSERT_EQ(moved.startUp(), PF_Err_NONE);
    moved.setValue(kAngle, 20);
    moved.setValue(kSlices, 12);
    moved.setValue(kOffsetRandom, 30);
    moved.setValue(kSizeRandom, 40);
    moved.setValue(kEdgeType, 3);
    World custom = toWorld(customPicture);
    moved.setLayer(kCustomLayer, custom.get());
    World input = toWorld(picture);
    World output(WorldFormat::Argb8, picture.width, picture.height);
    RenderRequest request;
    request.input = input.get();
    request.output = output.get();
    request.protocol = RenderProtocol::Smart;
    ASSERT_EQ(moved.render(request), PF_Err_NONE);
    const ArgbImage part = fromWorld(output);
    size_t wrong = 0;
    for (int y = 0; y + 3 < picture.height; ++y) {
        for (int x = 0; x + 5 < picture.width; ++x) {
            wrong += std::memcmp(part.at(x, y), whole.at(x + 5, y + 3), 4) != 0;
        }
    }
    EXPECT_EQ(wrong, 0u);
    moved.setLayer(kCustomLayer, nullptr);
    EXPECT_EQ(moved.globalSetdown(), PF_Err_NONE);
}

} // namespace
} // namespace Tessarine::Lamino
