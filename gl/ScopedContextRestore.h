#pragma once

#include <windows.h>

namespace Tessarine::Lamino {

// Saves the device context and rendering context current on the calling thread when it is made
// (the host's own, possibly none) and puts them back once: at restore or at its end, whichever
// comes first, also while an exception unwinds. Lives on the stack of one host command; owns no
// GL object.
class ScopedContextRestore {
public:
    ScopedContextRestore();
    ~ScopedContextRestore();

    ScopedContextRestore(const ScopedContextRestore&) = delete;
    ScopedContextRestore& operator=(const ScopedContextRestore&) = delete;

    // Raises AESDK_OpenGL_Fault(1) when the saved contexts cannot be made current again (the
    // host's context became current on another thread): the command must not report success
    // then. A saved context that was deleted meanwhile leaves none current. The restore at the
    // end never raises.
    void restore();

private:
    bool putBack() noexcept;

    bool restored = false;
    HDC savedDeviceContext = nullptr;
    HGLRC savedContext = nullptr;
};

} // namespace Tessarine::Lamino
