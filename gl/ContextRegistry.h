#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>

#include "gl/RecursiveSlimMutex.h"

namespace Tessarine::Lamino {

class AEOpenGLContext;

// The process-wide keeper of the plug-in's OpenGL contexts: one root context, built at global
// setup, and one context per render thread, built on that thread's first render and sharing its
// objects with the root. Owns every context it holds and deletes them all in destroyAll.
//
// contextForCurrentThread and releaseCurrentThread are safe from any thread (one recursive
// mutex, held while a context is built, so first renders on several threads build one after
// another); destroyAll holds it too, since render threads may end during global setdown.
// createRoot takes the same lock.
class ContextRegistry {
public:
    // Builds the root context on the calling thread and leaves it current there. When a root
    // context exists already, that one is made current instead, so that all contexts keep
    // sharing one set of objects.
    static void createRoot();
    static AEOpenGLContext* root();

    // The calling thread's own context, built on its first call (and built afresh when the
    // thread's earlier context is gone or failed to build), with the root context first when
    // there is none. Never returns null; raises AESDK_OpenGL_Fault when a context cannot be
    // built. The caller makes it current.
    static AEOpenGLContext* contextForCurrentThread();

    // Deletes the calling thread's context, on this thread, when it has one. Runs by itself as
    // each thread that got a context ends: a context left to a thread that has ended is never
    // given back by some drivers, whoever deletes it later. Holds the lock throughout, so that it
    // runs wholly before or wholly after a destroyAll of global setdown; never registers or
    // releases glbinding's table.
    static void releaseCurrentThread();

    // Deletes every thread's context and the root context, then glbinding's state for all of
    // them. Leaves the calling thread with no current context.
    static void destroyAll();

    // For tests: the calling thread's index (-1 before its first call), the number of thread
    // contexts held, the registry's lock, and a hook that an ending thread runs once its context
    // is taken from the registry, before deleting it (null: none).
    using Hook = void (*)();
    static int32_t currentThreadIndex();
    static size_t threadContextCount();
    static RecursiveSlimMutex& mutexForTesting();
    static void setThreadEndHookForTesting(Hook hook);

private:
    static void deleteOnItsThread(AEOpenGLContext* context);
};

} // namespace Tessarine::Lamino
