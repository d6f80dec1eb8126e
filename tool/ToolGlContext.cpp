#include "tool/ToolGlContext.h"

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
    const HDC deviceContext = window.deviceContext();
    // wglCreateContextAttribsARB is only found with a legacy context current.
    HGLRC legacy = wglCreateContext(deviceContext);
    if (!legacy || !wglMakeCurrent(deviceContext, legacy)) {
        if (legacy) {
            wglDeleteContext(legacy);
        }
        fail("no legacy context");
    }
    auto create = reinterpret_cast<CreateContextAttribs>(
        reinterpret_cast<void*>(wglGetProcAddress("wglCreateContextAttribsARB")));
    const int attributes[] = {0x2091, 3, 0x2092, 3, 0};  // major, minor version
    context = create ? create(deviceContext, nullptr, attributes) : nullptr;
    wglMakeCurrent(nullptr, nullptr);
    wglDeleteContext(legacy);
    if (!context || !wglMakeCurrent(deviceContext, context)) {
        release();
        fail("no 3.3 context");
    }
    glbinding::Binding::initialize(false);
    glbinding::Binding::useCurrentContext();
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
}

void ToolGlContext::makeCurrent() const
{
    if (!wglMakeCurrent(window.deviceContext(), context)
        || wglGetCurrentContext() != context) {
        throw std::runtime_error("the tool's OpenGL context could not be made current");
    }
    glbinding::Binding::useCurrentContext();
}

}  // namespace Tessarine::Lamino
