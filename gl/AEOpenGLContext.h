#pragma once

#include <windows.h>

#include <string>
#include <utility>

namespace Tessarine::Lamino {

// One offscreen OpenGL rendering context with the hidden 8 x 8 window, window class and device
// context that WGL needs: a 3.3 core context. Built without a context to share with, it is the
// root context (WGL's extension functions are looked up in a legacy context made for the purpose
// and deleted again); built with one, it shares textures, buffers and programs with it, and its
// pixel format and renderer must be the root's, since all contexts call GL through one function
// table (BindingStates).
//
// Owns its window class registration, its window (with the window's own device context, which
// goes with the window) and its rendering context. The constructor runs on the thread that will
// use the context and leaves the context current there; the destructor may run on any thread
// (the hidden window is then handed to PendingWindows, since only its own thread may destroy it).
class AEOpenGLContext {
public:
    // Raises AESDK_OpenGL_Fault(1) when any step fails, GpuFailure (DriverMismatch) when a shared
    // context's pixel format or renderer is not shareWith's; whatever was made is released again.
    explicit AEOpenGLContext(AEOpenGLContext* shareWith);
    virtual ~AEOpenGLContext();

    AEOpenGLContext(const AEOpenGLContext&) = delete;
    AEOpenGLContext& operator=(const AEOpenGLContext&) = delete;

    // Binds the context to the calling thread and tells glbinding about it. Raises
    // AESDK_OpenGL_Fault(1), touching no GL, when the context does not become current (it is
    // current on another thread, or gone).
    void makeCurrent();

    // Binds the context and points the thread at glbinding's table, only if that table exists
    // (it never makes one). False, with no context of this object's current, otherwise.
    bool makeCurrentWithExistingTable() noexcept;

    // What a context's GL functions depend on: its pixel format and its driver's renderer.
    struct Identity {
        int pixelFormat = 0;
        std::string renderer;
    };
    const Identity& identity() const { return own; }
    // For tests: what contexts that share with this one are compared with.
    void setIdentityForTesting(Identity identity) { own = std::move(identity); }

    HDC deviceContext() const { return owned.deviceContext; }
    HGLRC glContext() const { return owned.glContext; }
    HWND window() const { return owned.window; }
    const std::string& windowClassName() const { return owned.windowClassName; }

private:
    void bindToThread();
    void createHiddenWindow();
    void createGLContext(HGLRC shareContext);
    void createRootContext();
    void createSharedContext(HGLRC shareContext);
    void initializeBinding();
    void requireSameIdentity(const AEOpenGLContext& root) const;
    void release();

    struct Handles {
        HDC deviceContext = nullptr;
        HGLRC glContext = nullptr;
        HWND window = nullptr;
        std::string windowClassName;
    };
    Handles owned;
    Identity own;
};

} // namespace Tessarine::Lamino
