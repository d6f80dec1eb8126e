#include "gl/BindingStates.h"
#include "gl/SlimMutex.h"

#include <glbinding/AbstractFunction.h>
#include <glbinding/Binding.h>
#include <glbinding/ContextHandle.h>
#include <glbinding/Meta.h>
#include <glbinding/Version.h>

#include <mutex>

namespace Tessarine::Lamino {

namespace {

SlimMutex statesMutex;
glbinding::ContextHandle registered = 0; // the context whose table every context uses

// Resolves every function of OpenGL up to 3.3, the plug-in's whole vocabulary, in the table of the
// calling thread. The rest (extensions) stays unresolved: resolving all of glbinding's functions
// makes Wine keep two handles per load of the plug-in.
void resolveCoreFunctions()
{
    const glbinding::Version newest(3, 3);
    for (const glbinding::Version& version : glbinding::Version::versions()) {
        if (newest < version)
            continue;
        for (glbinding::AbstractFunction* function : glbinding::Meta::functions(version))
            function->resolveAddress();
    }
}

} // namespace

void BindingStates::useForCurrentContext()
{
    std::lock_guard<SlimMutex> lock(statesMutex);
    if (!registered) {
        registered = glbinding::getCurrentContext();
        // Addresses are resolved now, on this thread, while no render runs GL: a function first
        // resolved by two render threads at once would be written by both.
        glbinding::Binding::initialize(registered, true, false);
        resolveCoreFunctions();
    }
    glbinding::Binding::useContext(registered);
}

void BindingStates::releaseAll()
{
    std::lock_guard<SlimMutex> lock(statesMutex);
    if (registered)
        glbinding::Binding::releaseContext(registered);
    registered = 0;
}

size_t BindingStates::count()
{
    std::lock_guard<SlimMutex> lock(statesMutex);
    return registered ? 1 : 0;
}

} // namespace Tessarine::Lamino
