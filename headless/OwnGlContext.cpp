#include "headless/OwnGlContext.h"

#include <stdexcept>

namespace Tessarine::Lamino {

namespace {

const char kWindowClass[] = "LaminoOwnGlContextWindow";

}  // namespace

OwnGlContext::OwnGlContext()
{
    WNDCLASSA windowClass{};
    windowClass.style = CS_OWNDC;
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = kWindowClass;
    RegisterClassA(&windowClass);  // fails harmlessly once an earlier context registered it
    window = CreateWindowExA(0, kWindowClass, "lamino host context", 0, 0, 0, 8, 8, nullptr,
                             nullptr, windowClass.hInstance, nullptr);
    deviceContext = window != nullptr ? GetDC(window) : nullptr;
    PIXELFORMATDESCRIPTOR format{};
    format.nSize = sizeof format;
    format.nVersion = 1;
    format.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL;
    format.cColorBits = 32;
    if (deviceContext != nullptr) {
        SetPixelFormat(deviceContext, ChoosePixelFormat(deviceContext, &format), &format);
        context = wglCreateContext(deviceContext);
    }
    if (context == nullptr || !makeCurrent()) {
        release();
        throw std::runtime_error("no OpenGL context of the host's own could be made");
    }
}

OwnGlContext::~OwnGlContext()
{
    release();
}

void OwnGlContext::release()
{
    if (context != nullptr && wglGetCurrentContext() == context) {
        wglMakeCurrent(nullptr, nullptr);
    }
    if (context != nullptr) {
        wglDeleteContext(context);
    }
    if (window != nullptr) {
        DestroyWindow(window);  // a class device context goes with its window
    }
    context = nullptr;
    window = nullptr;
}

bool OwnGlContext::makeCurrent() const
{
    return wglMakeCurrent(deviceContext, context) && isCurrent();
}

bool OwnGlContext::isCurrent() const
{
    return wglGetCurrentContext() == context && wglGetCurrentDC() == deviceContext;
}

}  // namespace Tessarine::Lamino
