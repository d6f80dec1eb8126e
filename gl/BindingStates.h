#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace Tessarine::Lamino {

// The plug-in's side of glbinding's per-context state. glbinding keeps a table of function
// addresses for every context handle it is told about, and telling it about a new handle resizes
// the table of every function: not safe while another thread calls GL through those tables, as
// render threads do when a new thread builds its context. WGL function addresses are the same
// only for contexts of one pixel format on one driver; all of the plug-in's contexts are 3.3 core
// contexts of one pixel format, checked against the root's as each is made (AEOpenGLContext), so
// one table serves them all. glbinding is told about the first context only (the root, a 3.3
// core context), with every address up to 3.3 resolved at once (no thread resolves an address
// lazily afterwards) and every function the plug-in calls checked to have one, since glbinding
// skips a call to a function without an address silently. Each context made current on a thread
// points that thread at the same table. Nothing grows per context or per thread; the table goes
// in releaseAll, when no context of the plug-in is left. Guarded by its own mutex; any thread may
// call.
class BindingStates {
public:
    // Points glbinding on the calling thread at the plug-in's table, first making the table from
    // the context current on this thread when there is none. Raises AESDK_OpenGL_Fault(1), with
    // no table left and a line on standard output naming the function, when a function the
    // plug-in calls has no address. A context must be current.
    static void useForCurrentContext();

    // Points glbinding on the calling thread at the plug-in's table when there is one; false,
    // changing nothing, when there is none. Never makes a table.
    static bool useExisting();

    // Releases the table. Only when none of the plug-in's contexts exists any more: a live
    // context would lose its functions.
    static void releaseAll();

    // Every OpenGL function the plug-in calls, as glbinding names them ("glDrawArrays").
    static const std::vector<std::string>& calledFunctions();

    // For tests: the number of context handles registered with glbinding (0 or 1), and a
    // function that the next table's check takes as unresolved (empty: none).
    static size_t count();
    static void pretendUnresolvedForTesting(const std::string& name);
};

} // namespace Tessarine::Lamino
