// The whole render command in this process, with every GL call recorded: what a render makes it
// also deletes, and objects meant to live across renders are made once.

#include <windows.h>

#include <gtest/gtest.h>

#include "gl/AEOpenGLContext.h"
#include "gl/ContextRegistry.h"
#include "hosting/HeadlessHost.h"
#include "hosting/World.h"
#include "host/EffectParameters.h"
#include "support/GlCallLog.h"
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

} // namespace
} // namespace Tessarine::Lamino
