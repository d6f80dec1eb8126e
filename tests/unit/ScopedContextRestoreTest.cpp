#include "gl/ScopedContextRestore.h"

#include "gl/AEOpenGLContext.h"
#include "gl/ContextRegistry.h"
#include "gl/AESDK_OpenGL_Fault.h"
#include "support/StdoutCapture.h"
#include "support/TestThread.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

namespace Tessarine::Lamino {
namespace {

// A context of the host's own (outside the registry) stands for what the host has current when
// it calls; the registry's root context stands for the plug-in's work.
class ScopedContextRestoreTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        StdoutCapture quiet;
        host = new AEOpenGLContext(nullptr);
        ContextRegistry::createRoot();
    }

    static void TearDownTestSuite()
    {
        ContextRegistry::destroyAll();
        delete host;
        host = nullptr;
    }

    void SetUp() override { host->makeCurrent(); }

    static void expectHostCurrent()
    {
        EXPECT_EQ(wglGetCurrentContext(), host->glContext());
        EXPECT_EQ(wglGetCurrentDC(), host->deviceContext());
    }

    static AEOpenGLContext* host;
};

AEOpenGLContext* ScopedContextRestoreTest::host = nullptr;

TEST_F(ScopedContextRestoreTest, PutsTheHostContextBackAfterTheCommand)
{
    {
        ScopedContextRestore guard;
        ContextRegistry::root()->makeCurrent();
        ASSERT_EQ(wglGetCurrentContext(), ContextRegistry::root()->glContext());
    }
    expectHostCurrent();
}

TEST_F(ScopedContextRestoreTest, PutsTheHostContextBackWhenTheCommandThrows)
{
    try {
        ScopedContextRestore guard;
        ContextRegistry::root()->makeCurrent();
        throw std::runtime_error("render failed");
    } catch (const std::runtime_error&) {
    }
    expectHostCurrent();
}

TEST_F(ScopedContextRestoreTest, PutsBackNoContextWhenNoneWasCurrent)
{
    wglMakeCurrent(nullptr, nullptr);
    {
        ScopedContextRestore guard;
        ContextRegistry::root()->makeCurrent();
    }
    EXPECT_EQ(wglGetCurrentContext(), nullptr);
    EXPECT_EQ(wglGetCurrentDC(), nullptr);
}

TEST_F(ScopedContextRestoreTest, RestoresOnlyOnce)
{
    ScopedContextRestore guard;
    ContextRegistry::root()->makeCurrent();
    guard.restore();
    expectHostCurrent();

    ContextRegistry::root()->makeCurrent();
    guard.restore();
    EXPECT_EQ(wglGetCurrentContext(), ContextRegistry::root()->glContext());
}

// The host's context taken by another thread while the command ran cannot be put back; the
// command must learn of it at its explicit restore rather than report success.
TEST_F(ScopedContextRestoreTest, RestoreRaisesAFaultWhenTheHostContextCannotBePutBack)
{
    TestThread other;
    {
        ScopedContextRestore guard;
        ContextRegistry::root()->makeCurrent();
        other.run([] {
            ASSERT_TRUE(wglMakeCurrent(host->deviceContext(), host->glContext()));
        });
        EXPECT_THROW(guard.restore(), AESDK_OpenGL_Fault);
        EXPECT_NE(wglGetCurrentContext(), host->glContext());
    } // the guard's own end must not raise again
    other.run([] { wglMakeCurrent(nullptr, nullptr); });
}

} // namespace
} // namespace Tessarine::Lamino
