#include "hosting/OwnGlContext.h"

#include <stdexcept>

namespace Tessarine::Lamino {

OwnGlContext::OwnGlContext() : context(wglCreateContext(window.deviceContext()))
{
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
    if (context != nullptr) {
        if (wglGetCurrentContext() == context) {
            wglMakeCurrent(nullptr, nullptr);
        }
        wglDeleteContext(context);
        context = nullptr;
    }
}

bool OwnGlContext::makeCurrent() const
{
    return wglMakeCurrent(window.deviceContext(), context) && isCurrent();
}

bool OwnGlContext::isCurrent() const
{
    return wglGetCurrentContext() == context && wglGetCurrentDC() == window.deviceContext();
}

}  // namespace Tessarine::Lamino
