// The built plug-in against the host's contract as After Effects keeps it: the shutter in the
// host's fraction of a frame with the effect's own beside it, host error codes passed back as
// they are, renders that other renders inside a checkout cannot disturb, the controls' commands
// beside renders, and controls shown disabled where they do nothing.

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "PluginTestSupport.h"
#include "host/EffectParameters.h"

namespace Tessarine::Lamino {
namespace {

class HostContractTest : public ::testing::Test {
protected:
    // Frame 1 of a sequence whose offset animates, so that the bands move across the shutter.
    void animateOffsets(HeadlessHost& host)
    {
        host.setValue(kSlices, 9);
        host.setValue(kShutterSamples, 4);
        host.animate(kOffsetRandom, ParameterAnimation{0.0, 40.0, 0.0, 2.0 / 30.0});
    }

    ArgbImage frameOne(double hostShutterAngle)
    {
        RenderRequest at;
        at.time = 1;
        at.shutterAngle = hostShutterAngle;
        at.shutterPhase = hostShutterAngle > 0 ? -90.0 : 0.0;
        ArgbImage frame;
        EXPECT_EQ(plugin.renderAt(at, picture, frame), PF_Err_NONE);
        return frame;
    }

    PluginHost plugin;
    HostGlContext hostContext;
    const ArgbImage picture = smoothPicture(48, 32);
};

// The layer's motion blur switch off, the host passes no shutter: the effect's own blurs a new
// instance, and leaves a project saved before the own shutter existed unblurred, as it was.
TEST_F(HostContractTest, OwnShutterBlursWithoutTheHostsAndSavedProjectsRenderAsBefore)
{
    HeadlessHost& host = plugin.host();
    animateOffsets(host);
    const ArgbImage sharp = frameOne(0);
    host.setValue(kMotionBlur, 1);
    const ArgbImage ownBlur = frameOne(0);
    EXPECT_NE(ownBlur.argb, sharp.argb);
    EXPECT_EQ(frameOne(180).argb, ownBlur.argb) << "own 180 degrees at -90 is the host's default";

    for (const int32_t saved : {11, 16}) {
        SCOPED_TRACE(std::to_string(saved) + " controls saved");
        ASSERT_EQ(host.paramsSetup(), PF_Err_NONE);
        host.loadSavedProject(saved);
        animateOffsets(host);
        if (saved >= kMotionBlur) {
            host.setValue(kMotionBlur, 1);
        }
        EXPECT_EQ(frameOne(0).argb, sharp.argb);
        EXPECT_EQ(frameOne(180).argb, saved >= kMotionBlur ? ownBlur.argb : sharp.argb);
    }
    EXPECT_EQ(host.report(), "");
}

// 517 (the user cancelled) and 4 (memory) come back from every call that can carry them, so that
// the host neither caches a frame the user stopped nor shows an error for a purge it handles.
TEST_F(HostContractTest, HostCodesComeBackAsTheHostGaveThem)
{
    HeadlessHost& host = plugin.host();
    auto renderWith = [&](const FaultPlan& plan, WorldFormat format, RenderProtocol protocol) {
        World input = toWorldAt(picture, format), output(format, picture.width, picture.height);
        RenderRequest request;
        request.input = input.get();
        request.output = output.get();
        request.protocol = protocol;
        host.setFaultPlan(plan);
        const PF_Err err = host.render(request);
        host.setFaultPlan(FaultPlan{});
        return err;
    };
    for (const PF_Err code : {PF_Interrupt_CANCEL, PF_Err_OUT_OF_MEMORY}) {
        SCOPED_TRACE(code);
        FaultPlan iteration;
        iteration.iterateFloatError = code;
        EXPECT_EQ(renderWith(iteration, WorldFormat::ArgbFloat, RenderProtocol::Auto), code);
        FaultPlan layerPixels;
        layerPixels.failingLayerPixels = {0};
        layerPixels.layerPixelsError = code;
        EXPECT_EQ(renderWith(layerPixels, WorldFormat::Argb8, RenderProtocol::Auto), code);
        FaultPlan checkout;
        checkout.failingCheckouts = {kAngle};
        checkout.checkoutError = code;
        for (const RenderProtocol protocol : {RenderProtocol::Classic, RenderProtocol::Smart}) {
            EXPECT_EQ(renderWith(checkout, WorldFormat::Argb8, protocol), code);
        }
        EXPECT_EQ(host.report(), "");
    }
    EXPECT_TRUE(hostContext.isCurrent());
}

// A host may render the custom layer on demand inside its checkout, on the same thread, and that
// layer may hold this effect too: the outer frame comes out byte for byte as without it.
TEST_F(HostContractTest, RenderInsideTheCustomLayersCheckoutLeavesTheFrameAlone)
{
    HeadlessHost& outer = plugin.host();
    const ArgbImage custom = detailedPicture(21, 13, 2);
    World customWorld = toWorld(custom);
    outer.setLayer(kCustomLayer, customWorld.get());
    outer.setValue(kAngle, 20);
    outer.setValue(kOffsetRandom, 30);
    outer.setValue(kLayerOpacity, 80);
    RenderRequest classic;
    classic.protocol = RenderProtocol::Classic;
    ArgbImage plain;
    ASSERT_EQ(plugin.renderAt(classic, picture, plain), PF_Err_NONE);

    HeadlessHost inner(builtPluginPath());
    ASSERT_EQ(inner.startUp(), PF_Err_NONE);
    inner.setValue(kAngle, 70);
    inner.setValue(kOffsetRandom, 60);
    inner.setValue(kSlices, 5);
    const ArgbImage innerPicture = detailedPicture(57, 41, 9);
    World innerInput = toWorld(innerPicture), innerOutput(WorldFormat::Argb8, 57, 41);
    std::atomic<int> nested{0};
    outer.observeCheckouts([&](int32_t index) {
        if (index == kCustomLayer && nested == 0) {
            RenderRequest request;
            request.input = innerInput.get();
            request.output = innerOutput.get();
            request.protocol = RenderProtocol::Classic;
            nested = inner.render(request) == PF_Err_NONE ? 1 : -1;
        }
    });
    ArgbImage withNested;
    ASSERT_EQ(plugin.renderAt(classic, picture, withNested), PF_Err_NONE);
    outer.observeCheckouts({});
    ASSERT_EQ(nested, 1);
    EXPECT_EQ(withNested.argb, plain.argb);
    EXPECT_EQ(outer.report(), "");
    EXPECT_EQ(inner.report(), "");
    outer.setLayer(kCustomLayer, nullptr);
}

// The host sends about, parameter setup and the controls' updates on its main thread while its
// render threads render: they run beside four renders at once, and every render still succeeds.
TEST_F(HostContractTest, ControlCommandsRunBesideFourRenders)
{
    HeadlessHost& host = plugin.host();
    ASSERT_TRUE(host.rendersConcurrently());
    std::atomic<int> rendering{0};
    std::atomic<int> failed{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            ++rendering;
            for (int i = 0; i < 6; ++i) {
                World input = toWorld(detailedPicture(60 + t, 40, t + i));
                World output(WorldFormat::Argb8, 60 + t, 40);
                RenderRequest request;
                request.input = input.get();
                request.output = output.get();
                request.time = i;
                failed += host.render(request) != PF_Err_NONE;
            }
            --rendering;
        });
    }
    while (rendering == 0) {
        std::this_thread::yield();
    }
    int commands = 0;
    while (rendering > 0) {
        EXPECT_EQ(host.about(), PF_Err_NONE);
        EXPECT_EQ(host.aboutText().rfind("Orla Lamino v1.2", 0), 0u);
        EXPECT_EQ(host.paramsSetup(), PF_Err_NONE);
        EXPECT_EQ(host.updateParamsUi(), PF_Err_NONE);
        ++commands;
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(failed, 0);
    EXPECT_GT(host.controlCommandsBesideRenders(), 0) << commands << " rounds of commands";
    EXPECT_EQ(host.report(), "");
    EXPECT_EQ(int32_t(host.parameters().size()), kControlCount - 1);
}

// "Shutter Samples" and the own shutter do nothing without "Motion Blur": they start disabled
// and follow the switch, through PF_UpdateParamUI on copies (the host books any other way).
TEST_F(HostContractTest, ShutterControlsFollowMotionBlur)
{
    HeadlessHost& host = plugin.host();
    auto disabled = [&](A_long index) {
        return (host.parameters()[size_t(index - 1)].def.ui_flags & PF_PUI_DISABLED) != 0;
    };
    EXPECT_NE(host.parameters()[kMotionBlur - 1].def.flags & PF_ParamFlag_SUPERVISE, 0);
    const A_long governed[] = {kShutterSamples, kOwnShutterAngle, kOwnShutterPhase};
    for (const A_long index : governed) {
        EXPECT_TRUE(disabled(index)) << index;
    }
    for (const bool on : {true, false, true}) {
        SCOPED_TRACE(on);
        ASSERT_EQ(host.userChangesValue(kMotionBlur, on ? 1 : 0), PF_Err_NONE);
        for (const A_long index : governed) {
            EXPECT_EQ(disabled(index), !on) << index;
        }
        EXPECT_FALSE(disabled(kMotionBlur));
        EXPECT_FALSE(disabled(kSlices));
    }
    ASSERT_EQ(host.paramsSetup(), PF_Err_NONE);
    EXPECT_TRUE(disabled(kShutterSamples)) << "a new instance starts with Motion Blur off";
    host.setValue(kMotionBlur, 1);
    ASSERT_EQ(host.updateParamsUi(), PF_Err_NONE);
    EXPECT_FALSE(disabled(kShutterSamples));
    EXPECT_EQ(host.report(), "");
}

} // namespace
} // namespace Tessarine::Lamino
