#pragma once

#include <cstddef>

namespace Tessarine::Lamino {

// The plug-in's side of glbinding's per-context state. glbinding keeps a table of function
// addresses for every context handle it is told about, and telling it about a new handle resizes
// the table of every function: not safe while another thread calls GL through those tables, as
// render threads do when a new thread builds its context. WGL function addresses depend on the
// device and pixel format, which all of the plug-in's contexts share, so one table serves them
// all: glbinding is told about the first context only, with every address resolved at once (no
// thread resolves an address lazily afterwards), and each context made current on a thread points
// that thread at the same table. Nothing grows per context or per thread; the table goes in
// releaseAll, when no context of the plug-in is left. Guarded by its own mutex; any thread may
// call.
class BindingStates {
public:
    // Points glbinding on the calling thread at the plug-in's table, first registering the
    // context current on this thread for it when there is no table yet. A context must be
    // current.
    static void useForCurrentContext();

    // Releases the table. Only when none of the plug-in's contexts exists any more: a live
    // context would lose its functions.
    static void releaseAll();

    // For tests: the number of context handles registered with glbinding (0 or 1).
    static size_t count();
};

} // namespace Tessarine::Lamino
