#pragma once

#include <cstddef>

namespace Tessarine::Lamino {

// The plug-in's side of glbinding's per-context state. glbinding keeps a table of function
// addresses for every context handle it is told about and never drops it by itself; since WGL
// implementations need not reuse handles, each context ever made would grow it for good.
// glbinding 2.1.1 can only release that state in the reverse order of registration (a release
// out of order hands the next context another context's slot, and each release also cuts the
// slot below it), so the state is released all at once, when no context of the plug-in is left.
// Guarded by its own mutex; any thread may call.
class BindingStates {
public:
    // Tells glbinding about the context current on the calling thread (registering it when it
    // is new) and makes it glbinding's current context on this thread.
    static void registerCurrentContext();

    // Releases the state of every registered context, newest first. Only when none of the
    // plug-in's contexts exists any more: a live context would lose its function table.
    static void releaseAll();

    // For tests: the number of context handles registered.
    static size_t count();
};

} // namespace Tessarine::Lamino
