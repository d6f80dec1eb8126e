#include "gl/AEOpenGLContext.h"

#include "gl/AESDK_OpenGL_Fault.h"
#include "gl/BindingStates.h"
#include "gl/GpuFailure.h"
#include "gl/PendingWindows.h"
#include "gl/PerContextBase.h"

#include <glbinding/Binding.h>
#include <glbinding/ContextInfo.h>
#include <glbinding/Meta.h>
#include <glbinding/Version.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace Tessarine::Lamino {

namespace {

using GetExtensionsStringArb = const char*(WINAPI*)(HDC);
using CreateContextAttribsArb = HGLRC(WINAPI*)(HDC, HGLRC, const int*);

constexpr int kContextMajorVersionArb = 0x2091;
constexpr int kContextMinorVersionArb = 0x2092;
constexpr int kContextProfileMaskArb = 0x9126;
constexpr int kContextCoreProfileBitArb = 0x0001;
constexpr int kContextAttributes[] = {kContextMajorVersionArb, 3, kContextMinorVersionArb, 3,
                                      kContextProfileMaskArb, kContextCoreProfileBitArb, 0};

constexpr char kWindowClassPrefix[] = "AEOpenGL_Win_Class";
constexpr char kWindowTitle[] = "OpenGL-using FBOs in AE";
constexpr char kCreateContextExtension[] = "WGL_ARB_create_context";

// Appended to every window class name, so that two objects that reuse one address in turn get
// different classes (the old one may still be registered while its window waits to go).
std::atomic<int32_t> windowCounter;
// Looked up while a root context is built, read when thread contexts are built afterwards.
GetExtensionsStringArb getExtensionsString;
CreateContextAttribsArb createContextAttribs;

[[noreturn]] void fail()
{
    throw AESDK_OpenGL_Fault(1);
}

PIXELFORMATDESCRIPTOR pixelFormatDescriptor()
{
    PIXELFORMATDESCRIPTOR descriptor = {};
    descriptor.nSize = sizeof(PIXELFORMATDESCRIPTOR);
    descriptor.nVersion = 1;
    descriptor.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL;
    descriptor.iPixelType = PFD_TYPE_RGBA;
    descriptor.cColorBits = 32;
    descriptor.cDepthBits = 8;
    descriptor.iLayerType = PFD_MAIN_PLANE;
    return descriptor;
}

void setPixelFormat(HDC deviceContext)
{
    const PIXELFORMATDESCRIPTOR descriptor = pixelFormatDescriptor();
    const int format = ChoosePixelFormat(deviceContext, &descriptor);
    if (format == 0 || !SetPixelFormat(deviceContext, format, &descriptor))
        fail();
}

void printLine(const char* label, const std::string& value, const char* suffix = "")
{
    std::printf("%s%s%s\n", label, value.c_str(), suffix);
    std::fflush(stdout);
}

} // namespace

AEOpenGLContext::AEOpenGLContext(AEOpenGLContext* shareWith)
{
    // Windows of deleted contexts that this thread may destroy go first, so that repeated
    // set-up and set-down leave nothing behind.
    PendingWindows::sweep();
    owned.windowClassName = std::to_string(reinterpret_cast<uintptr_t>(this));
    try {
        createHiddenWindow();
        owned.deviceContext = GetDC(owned.window);
        createGLContext(shareWith ? shareWith->owned.glContext : nullptr);
        initializeBinding();
        if (shareWith)
            requireSameIdentity(*shareWith);
    } catch (...) {
        release();
        throw;
    }
}

AEOpenGLContext::~AEOpenGLContext()
{
    release();
}

void AEOpenGLContext::makeCurrent()
{
    bindToThread();
    BindingStates::useForCurrentContext();
}

bool AEOpenGLContext::makeCurrentWithExistingTable() noexcept
{
    if (!wglMakeCurrent(owned.deviceContext, owned.glContext) ||
        wglGetCurrentContext() != owned.glContext)
        return false;
    if (BindingStates::useExisting())
        return true;
    wglMakeCurrent(nullptr, nullptr);
    return false;
}

void AEOpenGLContext::bindToThread()
{
    // wglMakeCurrent fails when the context is current on another thread or is gone; reading the
    // current context back also catches a driver that reports success without switching.
    if (!wglMakeCurrent(owned.deviceContext, owned.glContext) ||
        wglGetCurrentContext() != owned.glContext)
        fail();
}

void AEOpenGLContext::createHiddenWindow()
{
    owned.windowClassName = kWindowClassPrefix + owned.windowClassName + "_" +
                            std::to_string(windowCounter.fetch_add(1));

    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof(WNDCLASSEXA);
    // A class device context belongs to the window and goes with it: nothing to release, which
    // matters because only the window's own thread could release a common one, and contexts
    // are deleted on whichever thread runs global setdown.
    windowClass.style = CS_HREDRAW | CS_VREDRAW | CS_OWNDC;
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    windowClass.lpszClassName = owned.windowClassName.c_str();
    if (!RegisterClassExA(&windowClass)) {
        owned.windowClassName.clear(); // nothing registered, nothing to unregister
        fail();
    }

    owned.window = CreateWindowExA(WS_EX_APPWINDOW | WS_EX_WINDOWEDGE,
                                   owned.windowClassName.c_str(), kWindowTitle, 0, 0, 0, 8, 8,
                                   nullptr, nullptr, nullptr, nullptr);
    if (!owned.window)
        fail();
}

void AEOpenGLContext::createGLContext(HGLRC shareContext)
{
    setPixelFormat(owned.deviceContext);
    if (shareContext)
        createSharedContext(shareContext);
    else
        createRootContext();
}

// WGL's extension functions are only found with a context current; a legacy context serves for
// that and goes again, so that the root, like every other context, is a 3.3 core context and
// glbinding's one table is filled from a context of the kind that uses it.
void AEOpenGLContext::createRootContext()
{
    const HGLRC legacy = wglCreateContext(owned.deviceContext);
    if (!legacy)
        fail();
    if (!wglMakeCurrent(owned.deviceContext, legacy) || wglGetCurrentContext() != legacy) {
        wglMakeCurrent(nullptr, nullptr);
        wglDeleteContext(legacy);
        fail();
    }
    getExtensionsString = reinterpret_cast<GetExtensionsStringArb>(
        reinterpret_cast<void*>(wglGetProcAddress("wglGetExtensionsStringARB")));
    const char* extensions = getExtensionsString ? getExtensionsString(owned.deviceContext)
                                                 : nullptr;
    if (extensions && std::strstr(extensions, kCreateContextExtension)) {
        createContextAttribs = reinterpret_cast<CreateContextAttribsArb>(
            reinterpret_cast<void*>(wglGetProcAddress("wglCreateContextAttribsARB")));
    }
    if (createContextAttribs)
        owned.glContext = createContextAttribs(owned.deviceContext, nullptr, kContextAttributes);
    wglMakeCurrent(nullptr, nullptr);
    wglDeleteContext(legacy);
    if (!owned.glContext)
        fail();
    bindToThread();
}

void AEOpenGLContext::createSharedContext(HGLRC shareContext)
{
    if (!createContextAttribs)
        fail(); // no root context was ever built in this process
    owned.glContext = createContextAttribs(owned.deviceContext, nullptr, kContextAttributes);
    if (!owned.glContext)
        fail();
    // Shared before the new context is first made current: some WGL implementations (Wine's
    // among them) can only share a context that was never current. The new context is still
    // empty either way.
    if (!wglShareLists(shareContext, owned.glContext))
        fail();
    bindToThread();
}

void AEOpenGLContext::initializeBinding()
{
    BindingStates::useForCurrentContext();

    const std::string renderer = glbinding::ContextInfo::renderer();
    const std::string vendor = glbinding::ContextInfo::vendor();
    const glbinding::Version version = glbinding::ContextInfo::version();
    own.pixelFormat = GetPixelFormat(owned.deviceContext);
    own.renderer = renderer;

    printLine("", "");
    printLine("OpenGL Version:  ", version.toString());
    printLine("OpenGL Vendor:   ", vendor);
    printLine("OpenGL Renderer: ", renderer);
    printLine("OpenGL Revision: ", std::to_string(glbinding::Meta::glRevision()), " (gl.xml)");
    printLine("", "");
}

// A context of another pixel format or on another driver (a second GPU, a remote session) may
// need other function addresses than the table holds, and glbinding would then call the wrong
// code or skip calls: such a context draws nothing.
void AEOpenGLContext::requireSameIdentity(const AEOpenGLContext& root) const
{
    if (own.pixelFormat == root.own.pixelFormat && own.renderer == root.own.renderer)
        return;
    std::printf("OpenGL context differs from the first one: pixel format %d against %d, "
                "renderer \"%s\" against \"%s\"\n",
                own.pixelFormat, root.own.pixelFormat, own.renderer.c_str(),
                root.own.renderer.c_str());
    std::fflush(stdout);
    throw GpuFailure{GpuFailure::Kind::DriverMismatch};
}

void AEOpenGLContext::release()
{
    if (owned.glContext) {
        // The values kept for the context go first, while its handle still names it: a driver may
        // give a deleted context's handle to the next context made, on any thread, which must
        // neither inherit stale names nor lose its own. While the context is current, owners
        // delete what they made in it.
        PerContextBase::forgetContextEverywhere(owned.glContext);
        wglMakeCurrent(nullptr, nullptr);
        wglDeleteContext(owned.glContext);
        owned.glContext = nullptr;
    }
    owned.deviceContext = nullptr; // the window's own, destroyed with it
    if (!owned.windowClassName.empty())
        PendingWindows::release(owned.window, owned.windowClassName);
    owned.window = nullptr;
    // glbinding's state for the context stays until BindingStates::releaseAll.
}

} // namespace Tessarine::Lamino
