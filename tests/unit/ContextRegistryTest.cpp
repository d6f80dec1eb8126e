#include "gl/ContextRegistry.h"

#include "gl/AEOpenGLContext.h"
#include "gl/AESDK_OpenGL_Fault.h"
#include "gl/BindingStates.h"
#include "gl/PendingWindows.h"
#include "gl/PerContext.h"
#include "gl/ScopedContextRestore.h"
#include "support/DescriptionBlock.h"
#include "support/StdoutCapture.h"
#include "support/TestThread.h"

#include <glbinding/gl/gl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <set>
#include <thread>
#include <vector>

using namespace gl;

namespace Tessarine::Lamino {
namespace {

// Each test plays global setup and setdown on its own thread, as the host's main thread does.
class ContextRegistryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ScopedContextRestore guard;
        StdoutCapture quiet;
        ContextRegistry::createRoot();
    }

    void TearDown() override
    {
        ScopedContextRestore guard;
        try {
            if (AEOpenGLContext* root = ContextRegistry::root())
                root->makeCurrent();
        } catch (const AESDK_OpenGL_Fault&) {
            // a test broke the root on purpose; it goes all the same
        }
        ContextRegistry::destroyAll();
    }

    // One render's worth of context use on the calling thread.
    static AEOpenGLContext* renderOnce()
    {
        ScopedContextRestore guard;
        AEOpenGLContext* context = ContextRegistry::contextForCurrentThread();
        context->makeCurrent();
        EXPECT_EQ(wglGetCurrentContext(), context->glContext());
        return context;
    }
};

TEST_F(ContextRegistryTest, FirstCallBuildsAContextAndLaterCallsReuseIt)
{
    TestThread renderThread;
    AEOpenGLContext* first = nullptr;
    AEOpenGLContext* second = nullptr;
    StdoutCapture output;
    renderThread.run([&] { first = renderOnce(); });
    const std::string afterFirst = output.text();
    StdoutCapture laterOutput;
    renderThread.run([&] { second = renderOnce(); });

    ASSERT_NE(first, nullptr);
    EXPECT_EQ(second, first);
    EXPECT_NE(first, ContextRegistry::root());
    EXPECT_TRUE(isDescriptionBlocks(afterFirst, 1)) << afterFirst;
    EXPECT_EQ(laterOutput.text(), "");
}

TEST_F(ContextRegistryTest, ThreadIndicesFollowTheOrderOfFirstUse)
{
    StdoutCapture quiet;
    TestThread a, b, c;
    int32_t indexA = -1, indexB = -1, indexC = -1;
    c.run([&] { EXPECT_EQ(ContextRegistry::currentThreadIndex(), -1); });
    c.run([&] { renderOnce(); indexC = ContextRegistry::currentThreadIndex(); });
    a.run([&] { renderOnce(); indexA = ContextRegistry::currentThreadIndex(); });
    b.run([&] { renderOnce(); indexB = ContextRegistry::currentThreadIndex(); });
    c.run([&] { renderOnce(); EXPECT_EQ(ContextRegistry::currentThreadIndex(), indexC); });

    EXPECT_GE(indexC, 0);
    EXPECT_EQ(indexA, indexC + 1);
    EXPECT_EQ(indexB, indexC + 2);
    EXPECT_EQ(ContextRegistry::threadContextCount(), 3u);
}

TEST_F(ContextRegistryTest, ThreadContextSharesObjectsWithTheRoot)
{
    ContextRegistry::root()->makeCurrent();
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    StdoutCapture quiet;
    TestThread renderThread;
    GLboolean visible = GL_FALSE;
    renderThread.run([&] {
        renderOnce();
        ScopedContextRestore guard;
        ContextRegistry::contextForCurrentThread()->makeCurrent();
        visible = glIsTexture(texture);
    });
    EXPECT_EQ(visible, GL_TRUE);
    ContextRegistry::root()->makeCurrent();
    glDeleteTextures(1, &texture);
}

// While one thread holds the registry (as it does while it builds a context), no other thread
// builds; released, the waiting threads build one after another, each printing an unbroken
// description block.
TEST_F(ContextRegistryTest, ConcurrentFirstUsesBuildOneAfterAnother)
{
    constexpr int kThreads = 3;
    std::vector<std::thread> threads;
    std::vector<int32_t> indices(kThreads, -1);
    std::vector<AEOpenGLContext*> contexts(kThreads, nullptr);
    std::atomic<int> finished{0};
    StdoutCapture output;
    {
        std::lock_guard<RecursiveSlimMutex> hold(ContextRegistry::mutexForTesting());
        for (int i = 0; i < kThreads; ++i) {
            threads.emplace_back([&, i] {
                contexts[i] = renderOnce();
                indices[i] = ContextRegistry::currentThreadIndex();
                ++finished;
                // Each thread stays until all have rendered: an ended thread's context goes,
                // and a later one could be built at its address.
                while (finished.load() < kThreads)
                    std::this_thread::yield();
            });
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        EXPECT_EQ(finished.load(), 0);
        EXPECT_EQ(ContextRegistry::threadContextCount(), 0u);
    }
    for (std::thread& thread : threads)
        thread.join();

    EXPECT_TRUE(isDescriptionBlocks(output.text(), kThreads)) << output.text();
    EXPECT_EQ(std::set<AEOpenGLContext*>(contexts.begin(), contexts.end()).size(), 3u);
    const std::set<int32_t> sorted(indices.begin(), indices.end());
    ASSERT_EQ(sorted.size(), 3u);
    EXPECT_EQ(*sorted.rbegin() - *sorted.begin(), 2);
}

TEST_F(ContextRegistryTest, DestroyAllLeavesNoContextBehind)
{
    StdoutCapture quiet;
    TestThread renderThread;
    renderThread.run([] { renderOnce(); });
    ContextRegistry::root()->makeCurrent();
    ContextRegistry::destroyAll();

    EXPECT_EQ(ContextRegistry::root(), nullptr);
    EXPECT_EQ(ContextRegistry::threadContextCount(), 0u);
    EXPECT_EQ(wglGetCurrentContext(), nullptr);
}

// A thread keeps its index through global setdown; after a new global setup its next render
// builds a fresh context that shares with the new root.
TEST_F(ContextRegistryTest, ThreadIndexThatSurvivedSetdownGetsAFreshContext)
{
    StdoutCapture quiet;
    TestThread renderThread;
    int32_t indexBefore = -1;
    renderThread.run([&] { renderOnce(); indexBefore = ContextRegistry::currentThreadIndex(); });
    TearDown();
    SetUp();
    ContextRegistry::root()->makeCurrent();
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);

    AEOpenGLContext* fresh = nullptr;
    GLboolean visible = GL_FALSE;
    renderThread.run([&] {
        ScopedContextRestore guard;
        fresh = ContextRegistry::contextForCurrentThread();
        fresh->makeCurrent();
        visible = glIsTexture(texture);
        EXPECT_EQ(ContextRegistry::currentThreadIndex(), indexBefore);
    });
    EXPECT_NE(fresh, nullptr);
    EXPECT_EQ(visible, GL_TRUE);
    ContextRegistry::root()->makeCurrent();
    glDeleteTextures(1, &texture);
}

// A root whose rendering context is gone makes sharing fail. The fault leaves the registry
// unlocked and empty, and the same thread gets a working context once the root is sound again.
TEST_F(ContextRegistryTest, FailedBuildStoresNothingAndTheNextCallBuildsAgain)
{
    StdoutCapture quiet;
    wglMakeCurrent(nullptr, nullptr);
    wglDeleteContext(ContextRegistry::root()->glContext());
    TestThread renderThread;
    renderThread.run([] {
        ScopedContextRestore guard;
        EXPECT_THROW(ContextRegistry::contextForCurrentThread(), AESDK_OpenGL_Fault);
    });
    EXPECT_EQ(ContextRegistry::threadContextCount(), 0u);
    std::thread([] {
        auto& registryMutex = ContextRegistry::mutexForTesting();
        EXPECT_TRUE(registryMutex.try_lock());
        registryMutex.unlock();
    }).join();

    TearDown();
    SetUp();
    renderThread.run([] { EXPECT_NE(renderOnce(), nullptr); });
    EXPECT_EQ(ContextRegistry::threadContextCount(), 1u);
}

// What a thread-detach notification does: the ending thread's context, window and device
// context go on that thread, and the registry no longer holds the context.
TEST_F(ContextRegistryTest, ReleaseCurrentThreadDeletesTheThreadsContextThere)
{
    StdoutCapture quiet;
    TestThread renderThread;
    HWND window = nullptr;
    HDC deviceContext = nullptr;
    renderThread.run([&] {
        AEOpenGLContext* context = renderOnce();
        window = context->window();
        deviceContext = context->deviceContext();
        ContextRegistry::releaseCurrentThread();
    });

    EXPECT_EQ(ContextRegistry::threadContextCount(), 0u);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(GetObjectType(deviceContext), 0u);
    EXPECT_EQ(PendingWindows::count(), 0u);
    renderThread.run([] { EXPECT_NE(renderOnce(), nullptr); });
    EXPECT_EQ(ContextRegistry::threadContextCount(), 1u);
}

TEST_F(ContextRegistryTest, ThreadThatEndsTakesItsContextWithIt)
{
    StdoutCapture quiet;
    auto renderThread = std::make_unique<TestThread>();
    HWND window = nullptr;
    renderThread->run([&] { window = renderOnce()->window(); });
    ASSERT_EQ(ContextRegistry::threadContextCount(), 1u);
    renderThread.reset();

    EXPECT_EQ(ContextRegistry::threadContextCount(), 0u);
    EXPECT_FALSE(IsWindow(window));
}

TEST_F(ContextRegistryTest, ReleaseCurrentThreadLeavesOtherThreadsContexts)
{
    StdoutCapture quiet;
    TestThread a, b;
    AEOpenGLContext* kept = nullptr;
    a.run([&] { kept = renderOnce(); });
    b.run([] {
        renderOnce();
        ContextRegistry::releaseCurrentThread();
    });
    ContextRegistry::releaseCurrentThread(); // the test's thread has no context: nothing happens

    EXPECT_EQ(ContextRegistry::threadContextCount(), 1u);
    a.run([&] { EXPECT_EQ(renderOnce(), kept); });
}

// Global setdown runs on another thread than the render thread; the render thread's device
// context must still go once its window does (a common device context released by the wrong
// thread stays in use for good).
TEST_F(ContextRegistryTest, SetdownElsewhereLeavesNoDeviceContextOnceTheThreadEnds)
{
    StdoutCapture quiet;
    auto renderThread = std::make_unique<TestThread>();
    HDC deviceContext = nullptr;
    renderThread->run([&] { deviceContext = renderOnce()->deviceContext(); });
    ContextRegistry::root()->makeCurrent();
    ContextRegistry::destroyAll();
    renderThread.reset();
    PendingWindows::sweep();

    EXPECT_EQ(GetObjectType(deviceContext), 0u);
    EXPECT_EQ(PendingWindows::count(), 0u);
}

TEST_F(ContextRegistryTest, AllContextsShareOneGlbindingTableReleasedByDestroyAll)
{
    StdoutCapture quiet;
    TestThread renderThread;
    renderThread.run([] { renderOnce(); });
    TestThread secondThread;
    secondThread.run([] { renderOnce(); });
    EXPECT_EQ(BindingStates::count(), 1u);
    ContextRegistry::root()->makeCurrent();
    ContextRegistry::destroyAll();
    EXPECT_EQ(BindingStates::count(), 0u);

    // Contexts made afterwards get state of their own and work.
    SetUp();
    ContextRegistry::root()->makeCurrent();
    GLuint texture = 0;
    glGenTextures(1, &texture);
    EXPECT_NE(texture, 0u);
    glDeleteTextures(1, &texture);
    renderThread.run([] {
        ScopedContextRestore guard;
        ContextRegistry::contextForCurrentThread()->makeCurrent();
        GLint major = 0;
        glGetIntegerv(GL_MAJOR_VERSION, &major);
        EXPECT_GE(major, 3);
    });
    EXPECT_EQ(BindingStates::count(), 1u);
}

// Nothing orders a render thread's end against global setdown. An ending thread that is held up
// after it took its context from the registry (the hook's delay) must still delete it wholly
// before or wholly after setdown: never call GL through a table that setdown released, never make
// a new table for its dying context. Rounds with and without delay, and with GL objects that
// the ending context deletes on its way out.
TEST_F(ContextRegistryTest, ThreadEndsDuringSetdownLeaveNoTableAndNoContext)
{
    static std::atomic<bool> ending;
    static std::atomic<int> delayMs;
    ContextRegistry::setThreadEndHookForTesting([] {
        ending = true;
        Sleep(DWORD(delayMs.load()));
    });
    StdoutCapture quiet;
    PerContext<GLuint> textures([](GLuint& texture) { glDeleteTextures(1, &texture); });
    for (int round = 0; round < 24; ++round) {
        ending = false;
        delayMs = (round % 3) * 10;
        std::thread renderThread([&] {
            renderOnce();
            ScopedContextRestore guard;
            ContextRegistry::contextForCurrentThread()->makeCurrent();
            glGenTextures(1, &textures.current());
        });
        while (!ending)
            std::this_thread::yield();
        ContextRegistry::root()->makeCurrent();
        ContextRegistry::destroyAll();
        renderThread.join();

        EXPECT_EQ(BindingStates::count(), 0u) << "round " << round;
        EXPECT_EQ(ContextRegistry::threadContextCount(), 0u) << "round " << round;
        EXPECT_EQ(textures.size(), 0u) << "round " << round;
        BindingStates::releaseAll(); // a failed round's table, so that the next round starts clean
        SetUp();
    }
    ContextRegistry::setThreadEndHookForTesting(nullptr);
}

// glbinding skips a call to a function without an address, silently: on a driver that lacks one
// the plug-in calls, no root context is made (global setup fails, a line names the function) and
// no table stays behind.
TEST_F(ContextRegistryTest, DriverWithoutAFunctionThePluginCallsGetsNoRootAndNoTable)
{
    TearDown();
    BindingStates::pretendUnresolvedForTesting("glUniformBlockBinding");
    StdoutCapture output;
    {
        ScopedContextRestore guard;
        EXPECT_THROW(ContextRegistry::createRoot(), AESDK_OpenGL_Fault);
    }
    BindingStates::pretendUnresolvedForTesting("");

    EXPECT_NE(output.text().find("OpenGL function glUniformBlockBinding has no address"),
              std::string::npos)
        << output.text();
    EXPECT_EQ(ContextRegistry::root(), nullptr);
    EXPECT_EQ(BindingStates::count(), 0u);
    SetUp();
    EXPECT_NE(ContextRegistry::root(), nullptr);
    EXPECT_EQ(BindingStates::count(), 1u);
}

TEST_F(ContextRegistryTest, CreateRootAgainKeepsTheOneRoot)
{
    AEOpenGLContext* root = ContextRegistry::root();
    wglMakeCurrent(nullptr, nullptr);
    StdoutCapture output;
    ContextRegistry::createRoot();

    EXPECT_EQ(ContextRegistry::root(), root);
    EXPECT_EQ(wglGetCurrentContext(), root->glContext());
    EXPECT_EQ(output.text(), "");
}

} // namespace
} // namespace Tessarine::Lamino
