#include "gl/ScopedContextRestore.h"

#include "gl/AESDK_OpenGL_Fault.h"

namespace Tessarine::Lamino {

ScopedContextRestore::ScopedContextRestore()
    : savedContext(wglGetCurrentContext())
{
    savedDeviceContext = wglGetCurrentDC();
}

ScopedContextRestore::~ScopedContextRestore()
{
    putBack();
}

void ScopedContextRestore::restore()
{
    if (!putBack())
        throw AESDK_OpenGL_Fault(1);
}

bool ScopedContextRestore::putBack() noexcept
{
    if (restored)
        return true;
    restored = true;
    // glbinding is not told: the plug-in's next makeCurrent brings it up to date again.
    if (wglGetCurrentContext() == savedContext && wglGetCurrentDC() == savedDeviceContext)
        return true;
    if (wglMakeCurrent(savedDeviceContext, savedContext))
        return wglGetCurrentContext() == savedContext;
    // A saved context that no longer exists was one of the plug-in's own, deleted by this very
    // command (global setdown called with the root current): there is nothing to put back.
    if (GetLastError() == ERROR_INVALID_HANDLE) {
        wglMakeCurrent(nullptr, nullptr);
        return true;
    }
    return false;
}

} // namespace Tessarine::Lamino
