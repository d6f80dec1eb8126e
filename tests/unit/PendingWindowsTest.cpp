#include "gl/PendingWindows.h"

#include "gl/AEOpenGLContext.h"
#include "gl/ContextRegistry.h"
#include "gl/ScopedContextRestore.h"
#include "support/ContextWindows.h"
#include "support/StdoutCapture.h"
#include "support/TestThread.h"

#include <glbinding/gl/gl.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

using namespace gl;

namespace Tessarine::Lamino {
namespace {

// Builds a context on `thread`, leaving nothing current there (as a render's guard does).
std::unique_ptr<AEOpenGLContext> buildOn(TestThread& thread, AEOpenGLContext* shareWith)
{
    std::unique_ptr<AEOpenGLContext> context;
    thread.run([&] {
        ScopedContextRestore guard;
        context = std::make_unique<AEOpenGLContext>(shareWith);
    });
    return context;
}

TEST(PendingWindows, WindowOfAContextDeletedElsewhereGoesWhenItsThreadBuildsAgain)
{
    StdoutCapture quiet;
    ScopedContextRestore guard;
    PendingWindows::sweep();
    const size_t pendingBefore = PendingWindows::count();
    TestThread renderThread;
    auto first = buildOn(renderThread, nullptr);
    const HWND window = first->window();
    const std::string className = first->windowClassName();
    first.reset();

    EXPECT_EQ(PendingWindows::count(), pendingBefore + 1);
    EXPECT_TRUE(IsWindow(window));
    EXPECT_TRUE(isWindowClassRegistered(className));

    auto second = buildOn(renderThread, nullptr);
    EXPECT_EQ(PendingWindows::count(), pendingBefore);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_FALSE(isWindowClassRegistered(className));
    EXPECT_EQ(countContextWindows(renderThread.nativeId()), 1);
    renderThread.run([&] { second.reset(); });
    EXPECT_EQ(countContextWindows(renderThread.nativeId()), 0);
}

TEST(PendingWindows, ClassOfAWindowWhoseThreadEndedGoesAtTheNextSweep)
{
    StdoutCapture quiet;
    ScopedContextRestore guard;
    PendingWindows::sweep();
    const size_t pendingBefore = PendingWindows::count();
    auto renderThread = std::make_unique<TestThread>();
    auto context = buildOn(*renderThread, nullptr);
    const std::string className = context->windowClassName();
    context.reset();
    ASSERT_EQ(PendingWindows::count(), pendingBefore + 1);

    renderThread.reset();
    PendingWindows::sweep();
    EXPECT_EQ(PendingWindows::count(), pendingBefore);
    EXPECT_FALSE(isWindowClassRegistered(className));
}

int contextClassesRegistered(const std::vector<std::string>& classNames)
{
    int count = 0;
    for (const std::string& name : classNames)
        count += isWindowClassRegistered(name);
    return count;
}

// Global setup, a render on a long-lived render thread and on a thread that ends after one
// render, global setdown, again and again: what is left over must not grow with the cycles.
TEST(PendingWindows, RepeatedSetupRenderSetdownCyclesLeaveABoundedRest)
{
    constexpr int kCycles = 50;
    auto quiet = std::make_unique<StdoutCapture>();
    ScopedContextRestore guard;
    PendingWindows::sweep();
    TestThread steadyThread;
    std::vector<std::string> classNames;
    const size_t pendingBefore = PendingWindows::count();
    const int windowsBefore = countContextWindows();
    const DWORD userBefore = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    const DWORD gdiBefore = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    const auto render = [&classNames] {
        ScopedContextRestore renderGuard;
        AEOpenGLContext* context = ContextRegistry::contextForCurrentThread();
        context->makeCurrent();
        glClear(GL_COLOR_BUFFER_BIT);
        classNames.push_back(context->windowClassName());
    };

    for (int cycle = 0; cycle < kCycles; ++cycle) {
        ContextRegistry::createRoot();
        classNames.push_back(ContextRegistry::root()->windowClassName());
        steadyThread.run(render);
        std::thread(render).join();
        ContextRegistry::root()->makeCurrent();
        ContextRegistry::destroyAll();

        // At most the steady thread's last window waits for that thread's next render.
        ASSERT_LE(PendingWindows::count(), pendingBefore + 1) << "cycle " << cycle;
        ASSERT_LE(countContextWindows(), windowsBefore + 1) << "cycle " << cycle;
    }
    EXPECT_LE(contextClassesRegistered(classNames), 1);
    // GetGuiResources reports 0 where the platform does not count (as under Wine).
    if (userBefore != 0) {
        EXPECT_LE(GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS), userBefore + 10);
    }
    if (gdiBefore != 0) {
        EXPECT_LE(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS), gdiBefore + 10);
    }
    quiet.reset();
    std::printf("user objects %lu -> %lu, gdi %lu -> %lu\n", userBefore,
                GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS), gdiBefore,
                GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS));
}

} // namespace
} // namespace Tessarine::Lamino
