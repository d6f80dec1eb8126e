#pragma once

#include <windows.h>

#include "hosting/HiddenGlWindow.h"

namespace Tessarine::Lamino {

// A legacy OpenGL context of the caller's own (not the effect's), on a hidden window of the
// thread that makes it: the context a host has current when it calls the effect, which the
// effect must leave current after every command. Made current by the constructor; use it only on
// the thread that made it. Throws std::runtime_error when no context can be made.
class OwnGlContext {
public:
    OwnGlContext();
    ~OwnGlContext();
    OwnGlContext(const OwnGlContext&) = delete;
    OwnGlContext& operator=(const OwnGlContext&) = delete;

    bool makeCurrent() const;
    bool isCurrent() const;
    HGLRC handle() const { return context; }

private:
    void release();

    HiddenGlWindow window;
    HGLRC context = nullptr;
};

}  // namespace Tessarine::Lamino
