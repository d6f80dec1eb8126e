// The whole render command in this process, with every GL call recorded: what a render makes it
// also deletes, and objects meant to live across renders are made once.

#include <windows.h>

#include <gtest/gtest.h>

#include "gl/AEOpenGLContext.h"
#include "gl/ContextRegistry.h"
#include "headless/HeadlessHost.h"
#include "headless/World.h"
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

TEST_F(RenderGlObjectsTest, RendersDeleteWhatTheyMakeAndReuseTheRest)
{
    World custom(WorldFormat::Argb8, 5, 5);
    host.setLayer(kCustomLayer, custom.get());
    ASSERT_EQ(render(), PF_Err_NONE);
    log->clear();
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(render(), PF_Err_NONE);
    }
    EXPECT_EQ(log->count("glGenTextures"), 9u); // input, custom layer and resolve, each render
    expectBalanced("glGenTextures", "glDeleteTextures");
    expectBalanced("glGenRenderbuffers", "glDeleteRenderbuffers");
    EXPECT_EQ(log->count("glGenFramebuffers"), 0u);
    EXPECT_EQ(log->count("glGenVertexArrays"), 0u);
    EXPECT_EQ(log->count("glGenBuffers"), 0u);
    EXPECT_EQ(log->count("glCreateProgram"), 0u);
}

TEST_F(RenderGlObjectsTest, FailedRendersReleaseTheirTextures)
{
    World custom(WorldFormat::Argb8, 5, 5);
    host.setLayer(kCustomLayer, custom.get());
    ASSERT_EQ(render(), PF_Err_NONE);
    log->clear();

    FaultPlan plan;
    plan.failHandleAllocation = 1; // the readback fails after both layers were uploaded
    host.setFaultPlan(plan);
    EXPECT_EQ(render(), PF_Err_BAD_CALLBACK_PARAM);
    plan = FaultPlan{};
    plan.noPixelData8 = true; // the input layer's upload fails
    host.setFaultPlan(plan);
    EXPECT_EQ(render(), PF_Err_BAD_CALLBACK_PARAM);
    host.setFaultPlan(FaultPlan{});
    expectBalanced("glGenTextures", "glDeleteTextures");
}

TEST_F(RenderGlObjectsTest, DeletedCustomLayerNameIsNeverUsedAgain)
{
    World custom(WorldFormat::Argb8, 5, 5);
    host.setLayer(kCustomLayer, custom.get());
    ASSERT_EQ(render(), PF_Err_NONE);
    log->clear();

    // A later read of the custom layer fails: the render goes on without one, and does not
    // delete the earlier render's texture name a second time.
    FaultPlan plan;
    plan.failingCheckouts = {kCustomLayer};
    host.setFaultPlan(plan);
    ASSERT_EQ(render(), PF_Err_NONE);
    host.setFaultPlan(FaultPlan{});
    EXPECT_EQ(log->count("glGenTextures"), 2u); // input and resolve
    EXPECT_EQ(log->count("glDeleteTextures"), 2u);
    for (const std::string& call : log->calls("glUniform1f")) {
        EXPECT_EQ(call.find("hasCustomLayer"), std::string::npos);
    }
}

TEST_F(RenderGlObjectsTest, NewSizeReplacesOnlyTheRenderbuffers)
{
    ASSERT_EQ(render(24, 16), PF_Err_NONE);
    log->clear();
    ASSERT_EQ(render(31, 9), PF_Err_NONE);
    EXPECT_EQ(log->count("glGenFramebuffers"), 0u);
    EXPECT_EQ(log->count("glGenRenderbuffers"), 2u); // output and one level
    EXPECT_EQ(log->count("glDeleteRenderbuffers"), 2u); // old output and the level
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
