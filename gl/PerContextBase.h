#pragma once

#include <windows.h>

namespace Tessarine::Lamino {

// The part of PerContext that does not depend on the value type: every live PerContext is
// listed here, so that deleting an OpenGL context drops the values kept for it everywhere.
// Without that, a later context that happens to get the same handle (drivers reuse them) would
// be handed GL names that do not exist in it. The list is guarded by its own mutex.
class PerContextBase {
public:
    // Called when the rendering context `context` is deleted: while it is still current on the
    // calling thread, when it is, so that owners can delete the shared objects they made in it.
    static void forgetContextEverywhere(HGLRC context);

    PerContextBase(const PerContextBase&) = delete;
    PerContextBase& operator=(const PerContextBase&) = delete;

protected:
    PerContextBase();
    virtual ~PerContextBase();

    // Takes this object off the list; a derived class calls it first thing in its destructor,
    // so that forget is never called on a half-destroyed object. Calling it twice is harmless.
    void leaveList();

    virtual void forget(HGLRC context) = 0;
};

} // namespace Tessarine::Lamino
