#pragma once

#include <windows.h>

#include <string>

namespace Tessarine::Lamino {

// One offscreen OpenGL rendering context with the hidden 8 x 8 window, window class and device
// context that WGL needs. Built without a context to share with, it is the legacy root context;
// built with one, it is a 3.3 context that shares textures, buffers and programs with it.
//
// Owns its window class registration, its window (with the window's own device context, which
// goes with the window) and its rendering context. The constructor runs on the thread that will
// use the context and leaves the context current there; the destructor may run on any thread
// (the hidden window is then handed to PendingWindows, since only its own thread may destroy it).
class AEOpenGLContext {
public:
    // Raises AESDK_OpenGL_Fault(1) when any step fails; whatever was made is released again.
    explicit AEOpenGLContext(AEOpenGLContext* shareWith);
    virtual ~AEOpenGLContext();

    AEOpenGLContext(const AEOpenGLContext&) = delete;
    AEOpenGLContext& operator=(const AEOpenGLContext&) = delete;

    // Binds the context to the calling thread and tells glbinding about it. Raises
    // AESDK_OpenGL_Fault(1), touching no GL, when the context does not become current (it is
    // current on another thread, or gone).
    void makeCurrent();

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
    void release();

    struct Handles {
        HDC deviceContext = nullptr;
        HGLRC glContext = nullptr;
        HWND window = nullptr;
        std::string windowClassName;
    };
    Handles owned;
};

} // namespace Tessarine::Lamino
