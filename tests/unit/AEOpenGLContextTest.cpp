#include "gl/AEOpenGLContext.h"

#include "gl/AESDK_OpenGL_Fault.h"
#include "gl/PerContextBase.h"
#include "gl/ScopedContextRestore.h"
#include "support/ContextWindows.h"
#include "support/DescriptionBlock.h"
#include "support/StdoutCapture.h"
#include "support/TestThread.h"

#include <glbinding/gl/gl.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <thread>

using namespace gl;

namespace Tessarine::Lamino {
namespace {

constexpr char kPrefix[] = "AEOpenGL_Win_Class";

// The counter after the last "_" of a context's window class name.
int32_t classCounter(const AEOpenGLContext& context)
{
    const std::string& name = context.windowClassName();
    return std::stoi(name.substr(name.rfind('_') + 1));
}

TEST(AEOpenGLContext, RootContextIsCurrentAndPrintsOneDescriptionBlock)
{
    ScopedContextRestore guard;
    StdoutCapture output;
    AEOpenGLContext root(nullptr);

    EXPECT_TRUE(isDescriptionBlocks(output.text(), 1)) << output.text();
    EXPECT_EQ(wglGetCurrentContext(), root.glContext());
    EXPECT_EQ(wglGetCurrentDC(), root.deviceContext());
    EXPECT_NE(root.window(), nullptr);
}

TEST(AEOpenGLContext, ClassNamesCarryAddressAndARisingCounter)
{
    ScopedContextRestore guard;
    StdoutCapture quiet;
    auto first = std::make_unique<AEOpenGLContext>(nullptr);
    auto second = std::make_unique<AEOpenGLContext>(first.get());

    const std::string firstStart =
        kPrefix + std::to_string(reinterpret_cast<uintptr_t>(first.get())) + "_";
    const std::string secondStart =
        kPrefix + std::to_string(reinterpret_cast<uintptr_t>(second.get())) + "_";
    EXPECT_EQ(first->windowClassName().rfind(firstStart, 0), 0u) << first->windowClassName();
    EXPECT_EQ(second->windowClassName().rfind(secondStart, 0), 0u) << second->windowClassName();
    EXPECT_EQ(classCounter(*second), classCounter(*first) + 1);
    EXPECT_TRUE(isWindowClassRegistered(first->windowClassName()));
}

TEST(AEOpenGLContext, SharedContextIsCurrentCoreAndSeesRootObjects)
{
    ScopedContextRestore guard;
    StdoutCapture output;
    AEOpenGLContext root(nullptr);
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);

    AEOpenGLContext shared(&root);
    EXPECT_TRUE(isDescriptionBlocks(output.text(), 2)) << output.text();
    EXPECT_EQ(wglGetCurrentContext(), shared.glContext());
    EXPECT_EQ(glIsTexture(texture), GL_TRUE);
    GLint major = 0;
    glGetIntegerv(GL_MAJOR_VERSION, &major);
    EXPECT_GE(major, 3);
    glDeleteTextures(1, &texture);
}

TEST(AEOpenGLContext, DestroyingLeavesNoContextAndRemovesWindowAndClass)
{
    ScopedContextRestore guard;
    StdoutCapture quiet;
    auto context = std::make_unique<AEOpenGLContext>(nullptr);
    const HWND window = context->window();
    const std::string className = context->windowClassName();
    context.reset();

    EXPECT_EQ(wglGetCurrentContext(), nullptr);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_FALSE(isWindowClassRegistered(className));
}

// A class name that is taken already makes the registration fail; the failed construction must
// not unregister a class that it did not register.
TEST(AEOpenGLContext, FailedClassRegistrationRaisesFaultAndLeavesForeignClass)
{
    ScopedContextRestore guard;
    StdoutCapture quiet;
    const int32_t lastCounter = classCounter(AEOpenGLContext(nullptr));
    alignas(AEOpenGLContext) unsigned char storage[sizeof(AEOpenGLContext)];
    const std::string taken = kPrefix + std::to_string(reinterpret_cast<uintptr_t>(storage)) +
                              "_" + std::to_string(lastCounter + 1);
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = taken.c_str();
    ASSERT_NE(RegisterClassExA(&windowClass), 0);

    try {
        new (storage) AEOpenGLContext(nullptr);
        ADD_FAILURE() << "construction succeeded";
    } catch (const AESDK_OpenGL_Fault& fault) {
        EXPECT_EQ(fault.code, 1);
    }
    EXPECT_TRUE(isWindowClassRegistered(taken));
    UnregisterClassA(taken.c_str(), GetModuleHandleA(nullptr));
}

// Sharing with a context that no longer exists fails after the new context, its window and its
// class were made; all of them must go again.
TEST(AEOpenGLContext, FailedSharingRaisesFaultAndReleasesWhatWasMade)
{
    ScopedContextRestore guard;
    StdoutCapture quiet;
    AEOpenGLContext root(nullptr);
    wglMakeCurrent(nullptr, nullptr);
    wglDeleteContext(root.glContext());
    const int windowsBefore = countContextWindows(GetCurrentThreadId());

    try {
        AEOpenGLContext shared(&root);
        ADD_FAILURE() << "construction succeeded";
    } catch (const AESDK_OpenGL_Fault& fault) {
        EXPECT_EQ(fault.code, 1);
    }
    EXPECT_EQ(countContextWindows(GetCurrentThreadId()), windowsBefore);
    EXPECT_EQ(wglGetCurrentContext(), nullptr);
}

// WGL refuses a context that is current on another thread; the refusal must surface as a fault
// instead of leaving the caller to issue GL calls with no context of its own current.
TEST(AEOpenGLContext, MakeCurrentRaisesAFaultWhenAnotherThreadHoldsTheContext)
{
    ScopedContextRestore guard;
    StdoutCapture quiet;
    AEOpenGLContext context(nullptr);
    wglMakeCurrent(nullptr, nullptr);
    TestThread holder;
    holder.run([&] {
        ASSERT_TRUE(wglMakeCurrent(context.deviceContext(), context.glContext()));
    });

    EXPECT_THROW(context.makeCurrent(), AESDK_OpenGL_Fault);
    EXPECT_NE(wglGetCurrentContext(), context.glContext());

    holder.run([] { wglMakeCurrent(nullptr, nullptr); });
    EXPECT_NO_THROW(context.makeCurrent());
    EXPECT_EQ(wglGetCurrentContext(), context.glContext());
}

TEST(AEOpenGLContext, MakeCurrentRaisesAFaultWhenTheContextIsGone)
{
    ScopedContextRestore guard;
    StdoutCapture quiet;
    AEOpenGLContext context(nullptr);
    wglMakeCurrent(nullptr, nullptr);
    wglDeleteContext(context.glContext());

    EXPECT_THROW(context.makeCurrent(), AESDK_OpenGL_Fault);
    EXPECT_EQ(wglGetCurrentContext(), nullptr);
}

// A deleted context's handle may go to the next context made, on any thread, at once. The values
// kept for a context must therefore be dropped while its handle still names it: here the
// context is deleted on another thread than its own, where it is not current, and a helper
// thread checks at the moment of dropping that the handle can still be made current.
TEST(AEOpenGLContext, PerContextValuesAreDroppedWhileTheContextStillExists)
{
    struct Probe : PerContextBase {
        ~Probe() override { leaveList(); }
        void forget(HGLRC context) override
        {
            if (context != watched)
                return;
            std::thread([&] {
                alive = wglMakeCurrent(deviceContext, context) != FALSE;
                wglMakeCurrent(nullptr, nullptr);
            }).join();
            dropped = true;
        }
        HGLRC watched = nullptr;
        HDC deviceContext = nullptr;
        bool dropped = false;
        bool alive = false;
    } probe;

    ScopedContextRestore guard;
    StdoutCapture quiet;
    AEOpenGLContext root(nullptr);
    std::unique_ptr<AEOpenGLContext> context;
    TestThread renderThread;
    renderThread.run([&] {
        context = std::make_unique<AEOpenGLContext>(&root);
        wglMakeCurrent(nullptr, nullptr);
    });
    probe.watched = context->glContext();
    probe.deviceContext = context->deviceContext();
    root.makeCurrent();
    context.reset();

    EXPECT_TRUE(probe.dropped);
    EXPECT_TRUE(probe.alive);
}

} // namespace
} // namespace Tessarine::Lamino
