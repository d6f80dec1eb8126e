// The whole render command in this process, with every GL call recorded: what a render makes it
// also deletes, and objects meant to live across renders are made once.

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "gl/AEOpenGLContext.h"
#include "gl/BindingStates.h"
#include "gl/ContextRegistry.h"
#include "hosting/HeadlessHost.h"
#include "hosting/World.h"
#include "host/EffectParameters.h"
#include "pipeline/RenderSurface.h"
#include "support/GlCallLog.h"
#include "support/StdoutCapture.h"
#include "support/TestThread.h"

extern "C" PF_Err EntryPointFunc(PF_Cmd, PF_InData*, PF_OutData*, PF_ParamDef*[], PF_LayerDef*,
                                 void*);

namespace Tessarine::Lamino {
namespace {

class RenderGlObjectsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(host.startUp(), PF_Err_NONE);
        // The log switches recording on in each context glbinding is told about; it needs one.
        ContextRegistry::root()->makeCurrent();
        log = std::make_unique<GlCallLog>();
    }

    void TearDown() override
    {
        ContextRegistry::root()->makeCurrent();
        log.reset();
        EXPECT_EQ(host.globalSetdown(), PF_Err_NONE);
        EXPECT_EQ(ContextRegistry::root(), nullptr);
    }

    PF_Err render(int width = 24, int height = 16)
    {
        World input(WorldFormat::Argb8, width, height);
        World output(WorldFormat::Argb8, width, height);
        input.fillBytes(180);
        RenderRequest request;
        request.input = input.get();
        request.output = output.get();
        return host.render(request);
    }

    void expectBalanced(const char* gen, const char* del)
    {
        EXPECT_EQ(log->count(gen), log->count(del)) << gen << " against " << del;
    }

    HeadlessHost host{&EntryPointFunc};
    std::unique_ptr<GlCallLog> log;
};

// At a steady size every GL object is made once: a render only uploads, draws and reads back.
TEST_F(RenderGlObjectsTest, SteadyRendersMakeNoGlObjectAndAllocateNothing)
{
    World custom(WorldFormat::Argb8, 5, 5);
    host.setLayer(kCustomLayer, custom.get());
    host.setValue(kOffsetRandom, 20);
    ASSERT_EQ(render(), PF_Err_NONE);
    log->clear();
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(render(), PF_Err_NONE);
    }
    for (const char* made : {"glGenTextures", "glGenRenderbuffers", "glGenFramebuffers",
                             "glGenVertexArrays", "glGenBuffers", "glCreateProgram",
                             "glTexImage2D", "glRenderbufferStorage", "glGetUniformLocation"}) {
        EXPECT_EQ(log->count(made), 0u) << made;
    }
    EXPECT_EQ(log->count("glTexSubImage2D"), 9u); // input, custom layer, band table
    EXPECT_EQ(log->count("glDrawArrays"), 3u);
    EXPECT_EQ(log->count("glReadPixels"), 3u);
}

TEST_F(RenderGlObjectsTest, GlCallsPerRenderDoNotDependOnTheBandCount)
{
    host.setValue(kOffsetRandom, 20);
    host.setValue(kSizeRandom, 50);
    auto callsOfOneRender = [&](double slices) {
        host.setValue(kSlices, slices);
        EXPECT_EQ(render(200, 120), PF_Err_NONE); // may grow the band table
        log->clear();
        EXPECT_EQ(render(200, 120), PF_Err_NONE);
        return log->names();
    };
    EXPECT_EQ(callsOfOneRender(30), callsOfOneRender(2000));
}

// Failing renders at one size leave nothing behind and make nothing new: a long day of them
// does not grow GPU memory.
TEST_F(RenderGlObjectsTest, RepeatedFailingRendersMakeNoGlObject)
{
    World custom(WorldFormat::Argb8, 5, 5);
    host.setLayer(kCustomLayer, custom.get());
    ASSERT_EQ(render(), PF_Err_NONE);
    log->clear();

    FaultPlan plan;
    plan.noPixelData8 = true; // the input layer's upload fails
    host.setFaultPlan(plan);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(render(), PF_Err_BAD_CALLBACK_PARAM);
    }
    host.setFaultPlan(FaultPlan{});
    custom.get()->rowbytes = 4; // the custom layer's rows are too short: its upload fails
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(render(), PF_Err_BAD_CALLBACK_PARAM);
    }
    for (const char* made : {"glGenTextures", "glGenRenderbuffers", "glGenFramebuffers",
                             "glTexImage2D", "glRenderbufferStorage"}) {
        EXPECT_EQ(log->count(made), 0u) << made;
    }
}

TEST_F(RenderGlObjectsTest, NewSizeReplacesOnlyTheSizedObjects)
{
    ASSERT_EQ(render(24, 16), PF_Err_NONE);
    log->clear();
    ASSERT_EQ(render(31, 9), PF_Err_NONE);
    EXPECT_EQ(log->count("glGenFramebuffers"), 0u);
    EXPECT_EQ(log->count("glGenRenderbuffers"), 1u); // the output
    EXPECT_EQ(log->count("glDeleteRenderbuffers"), 1u);
    EXPECT_EQ(log->count("glGenTextures"), 1u); // the input layer's
    EXPECT_EQ(log->count("glDeleteTextures"), 1u);
}

// The render thread's own context held current by another thread: the render fails with the
// context error before any GL call, and succeeds again once the context is free.
TEST_F(RenderGlObjectsTest, RenderWhoseContextCannotBeMadeCurrentFailsBeforeAnyGlCall)
{
    ASSERT_EQ(render(), PF_Err_NONE);
    AEOpenGLContext* own = ContextRegistry::contextForCurrentThread();
    ContextRegistry::root()->makeCurrent();
    TestThread holder;
    holder.run([&] { ASSERT_TRUE(wglMakeCurrent(own->deviceContext(), own->glContext())); });
    log->clear();

    EXPECT_EQ(render(), PF_Err_INTERNAL_STRUCT_DAMAGED);
    EXPECT_EQ(log->names(), std::vector<std::string>{});
    EXPECT_NE(wglGetCurrentContext(), own->glContext());

    holder.run([] { wglMakeCurrent(nullptr, nullptr); });
    EXPECT_EQ(render(), PF_Err_NONE);
}

// Programs and the quad's buffer serve every context: their builder finishes them before the
// lock that guards them goes, so that a driver that queues commands per context never lets
// another context draw with half-made ones. Only a render that built something finishes.
TEST_F(RenderGlObjectsTest, SharedObjectsAreFinishedByTheirBuilderBeforeTheDraw)
{
    ASSERT_EQ(render(), PF_Err_NONE); // builds the copying variant and the quad's buffer
    const std::vector<std::string> names = log->names();
    auto first = [&](const char* name) {
        return std::find(names.begin(), names.end(), name) - names.begin();
    };
    auto last = [&](const char* name) {
        return std::find(names.rbegin(), names.rend(), name).base() - names.begin() - 1;
    };
    ASSERT_EQ(log->count("glFinish"), 1u);
    EXPECT_LT(first("glBufferData"), first("glFinish"));
    EXPECT_LT(last("glUniformBlockBinding"), first("glFinish"));
    EXPECT_LT(last("glUniform1i"), first("glFinish"));
    EXPECT_LT(first("glFinish"), first("glDrawArrays"));

    log->clear();
    ASSERT_EQ(render(), PF_Err_NONE);
    EXPECT_EQ(log->count("glFinish"), 0u);
    host.setValue(kOffsetRandom, 20); // another variant
    log->clear();
    ASSERT_EQ(render(), PF_Err_NONE);
    EXPECT_EQ(log->count("glLinkProgram"), 1u);
    EXPECT_EQ(log->count("glFinish"), 1u);
}

// glbinding skips a call to a function without an address silently; the plug-in checks that
// every function it calls has one. Every function that renders of every kind call (depths,
// variants, custom layer, soft edges, motion blur, a new size) must be on the checked list.
TEST_F(RenderGlObjectsTest, EveryFunctionRendersCallIsCheckedToHaveAnAddress)
{
    World custom(WorldFormat::Argb8, 5, 5);
    host.setLayer(kCustomLayer, custom.get());
    host.setValue(kOffsetRandom, 20);
    host.setValue(kEdgeSoftness, 4);
    host.setValue(kEdgeType, 2);
    host.animate(kAngle, {0.0, 90.0, 0.0, 1.0});
    host.setValue(kMotionBlur, 1);
    ASSERT_EQ(render(), PF_Err_NONE);
    for (WorldFormat format : {WorldFormat::Argb16, WorldFormat::ArgbFloat}) {
        World input(format, 19, 11);
        World output(format, 19, 11);
        World deepCustom(format, 3, 7);
        host.setLayer(kCustomLayer, deepCustom.get());
        RenderRequest request;
        request.input = input.get();
        request.output = output.get();
        request.shutterAngle = 180.0;
        ASSERT_EQ(host.render(request), PF_Err_NONE);
    }
    const std::vector<std::string>& checked = BindingStates::calledFunctions();
    for (const std::string& name : log->names()) {
        EXPECT_TRUE(std::binary_search(checked.begin(), checked.end(), name)) << name;
    }
}

// A render thread whose context is not of the root's pixel format or renderer would call GL
// through addresses that are not its own: its render fails with a message and draws nothing.
TEST_F(RenderGlObjectsTest, RenderOnAContextOfAnotherDriverFailsWithAMessageAndDrawsNothing)
{
    AEOpenGLContext* root = ContextRegistry::root();
    const AEOpenGLContext::Identity rootIdentity = root->identity();
    root->setIdentityForTesting({rootIdentity.pixelFormat, rootIdentity.renderer + " (other)"});
    TestThread renderThread;
    PF_Err err = PF_Err_NONE;
    World input(WorldFormat::Argb8, 6, 4);
    World output(WorldFormat::Argb8, 6, 4);
    input.fillBytes(180);
    output.fillBytes(7);
    renderThread.run([&] {
        StdoutCapture quiet;
        RenderRequest request;
        request.input = input.get();
        request.output = output.get();
        err = host.render(request);
    });
    root->setIdentityForTesting(rootIdentity);

    EXPECT_EQ(err, PF_Err_INTERNAL_STRUCT_DAMAGED);
    EXPECT_NE(std::string(host.lastOutData().return_msg).find("another graphics driver"),
              std::string::npos)
        << host.lastOutData().return_msg;
    EXPECT_EQ(log->count("glDrawArrays"), 0u);
    EXPECT_EQ(output.packedPixels(), std::vector<uint8_t>(6 * 4 * 4, 7));
    renderThread.run([&] { EXPECT_EQ(render(), PF_Err_NONE); });
}

// Idle render threads keep their frame storage only within a process-wide budget: beyond it, a
// render ends by giving its thread's storage back, and the next one makes it again.
TEST_F(RenderGlObjectsTest, StorageBeyondTheBudgetIsGivenBackAsARenderEnds)
{
    RenderSurface& surface = RenderSurface::instance();
    ASSERT_EQ(render(24, 16), PF_Err_NONE);
    EXPECT_EQ(surface.keptStorageBytes(), 2 * 24 * 16 * 4);
    TestThread other;
    other.run([&] { ASSERT_EQ(render(24, 16), PF_Err_NONE); });
    EXPECT_EQ(surface.keptStorageBytes(), 2 * 2 * 24 * 16 * 4);

    RenderSurface::setStorageBudgetForTesting(3 * 24 * 16 * 4);
    other.run([&] { ASSERT_EQ(render(24, 16), PF_Err_NONE); });
    EXPECT_EQ(surface.keptStorageBytes(), 2 * 24 * 16 * 4);
    log->clear();
    other.run([&] { ASSERT_EQ(render(24, 16), PF_Err_NONE); });
    EXPECT_EQ(log->count("glRenderbufferStorage"), 1u);
    EXPECT_EQ(log->count("glTexImage2D"), 1u); // the input layer's
    EXPECT_EQ(log->count("glDeleteRenderbuffers"), 1u);
    ASSERT_EQ(render(24, 16), PF_Err_NONE); // within the budget: kept, nothing made
    EXPECT_EQ(log->count("glRenderbufferStorage"), 1u);
    RenderSurface::setStorageBudgetForTesting(RenderSurface::kStorageBudget);
}

} // namespace
} // namespace Tessarine::Lamino
