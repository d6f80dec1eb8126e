#pragma once

#include <windows.h>

#include "hosting/HiddenGlWindow.h"

namespace Tessarine::Lamino {

// An OpenGL 3.3 core context of the tool's own (not the plug-in's) on a hidden window, for the
// tool's own GPU work: the baseline round trip, asking the GPU its limits. Owns the window and
// the GL context; the constructor leaves the context current on the
// calling thread and reports it to the tool's glbinding. Throws std::runtime_error, saying which
// step failed, when no such context can be made (nothing is then left current). One thread at a
// time; the destructor makes no context current on the calling thread when it deletes its own.
class ToolGlContext {
public:
    ToolGlContext();
    ~ToolGlContext();
    ToolGlContext(const ToolGlContext&) = delete;
    ToolGlContext& operator=(const ToolGlContext&) = delete;

    // Makes the context current on the calling thread (and tells glbinding); throws
    // std::runtime_error when it cannot.
    void makeCurrent() const;

private:
    void release();

    HiddenGlWindow window;
    HGLRC context = nullptr;
};

}  // namespace Tessarine::Lamino
