#include "headless/ToolGlContext.h"

#include <stdexcept>
#include <string>

#include <glbinding/Binding.h>

namespace Tessarine::Lamino {

namespace {

using CreateContextAttribs = HGLRC(WINAPI*)(HDC, HGLRC, const int*);

[[noreturn]] void fail(const char* what)
{
    throw std::runtime_error(std::string("the tool's OpenGL context could not be made: ") + what);
}

}  // namespace

ToolGlContext::ToolGlContext()
{
    try {
        window = CreateWindowExA(0, "STATIC", "lamino", 0, 0, 0, 8, 8, nullptr, nullptr, nullptr,
                                 nullptr);
        if (!window)
            fail("no window");
        deviceContext = GetDC(window);
        PIXELFORMATDESCRIPTOR descriptor = {};
        descriptor.nSize = sizeof descriptor;
        descriptor.nVersion = 1;
        descriptor.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL;
        descriptor.iPixelType = PFD_TYPE_RGBA;
        descriptor.cColorBits = 32;
        const int format = ChoosePixelFormat(deviceContext, &descriptor);
        if (format == 0 || !SetPixelFormat(deviceContext, format, &descriptor))
            fail("no pixel format");
        // wglCreateContextAttribsARB is only found with a legacy context current.
        HGLRC legacy = wglCreateContext(deviceContext);
        if (!legacy || !wglMakeCurrent(deviceContext, legacy))
            fail("no legacy context");
        auto create = reinterpret_cast<CreateContextAttribs>(
            reinterpret_cast<void*>(wglGetProcAddress("wglCreateContextAttribsARB")));
        const int attributes[] = {0x2091, 3, 0x2092, 3, 0};  // major, minor version
        context = create ? create(deviceContext, nullptr, attributes) : nullptr;
        wglMakeCurrent(nullptr, nullptr);
        wglDeleteContext(legacy);
        if (!context || !wglMakeCurrent(deviceContext, context))
            fail("no 3.3 context");
        glbinding::Binding::initialize(false);
        glbinding::Binding::useCurrentContext();
    } catch (...) {
        release();
        throw;
    }
}

ToolGlContext::~ToolGlContext()
{
    release();
}

void ToolGlContext::release()
{
    if (context) {
        if (wglGetCurrentContext() == context) {
            wglMakeCurrent(nullptr, nullptr);
        }
        wglDeleteContext(context);
        context = nullptr;
    }
    if (window) {
        ReleaseDC(window, deviceContext);
        DestroyWindow(window);
        window = nullptr;
    }
}

void ToolGlContext::makeCurrent() const
{
    wglMakeCurrent(deviceContext, context);
    glbinding::Binding::useCurrentContext();
}

}  // namespace Tessarine::Lamino
