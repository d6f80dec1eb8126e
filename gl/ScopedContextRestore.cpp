#include "gl/ScopedContextRestore.h"

namespace Tessarine::Lamino {

ScopedContextRestore::ScopedContextRestore()
    : savedContext(wglGetCurrentContext())
{
    savedDeviceContext = wglGetCurrentDC();
}

ScopedContextRestore::~ScopedContextRestore()
{
    restore();
}

void ScopedContextRestore::restore()
{
    if (restored)
        return;
    // glbinding is not told: the plug-in's next makeCurrent brings it up to date again.
    if (wglGetCurrentContext() != savedContext || wglGetCurrentDC() != savedDeviceContext)
        wglMakeCurrent(savedDeviceContext, savedContext);
    restored = true;
}

} // namespace Tessarine::Lamino
