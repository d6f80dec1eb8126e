#include "gl/BindingStates.h"

#include <glbinding/Binding.h>
#include <glbinding/ContextHandle.h>

#include <mutex>

namespace Tessarine::Lamino {

namespace {

std::mutex statesMutex;
glbinding::ContextHandle registered = 0; // the context whose table every context uses

} // namespace

void BindingStates::useForCurrentContext()
{
    std::lock_guard<std::mutex> lock(statesMutex);
    if (!registered) {
        registered = glbinding::getCurrentContext();
        // Registering resolves every function now, on this thread, while no render runs GL.
        glbinding::Binding::initialize(registered, true, true);
    }
    glbinding::Binding::useContext(registered);
}

void BindingStates::releaseAll()
{
    std::lock_guard<std::mutex> lock(statesMutex);
    if (registered)
        glbinding::Binding::releaseContext(registered);
    registered = 0;
}

size_t BindingStates::count()
{
    std::lock_guard<std::mutex> lock(statesMutex);
    return registered ? 1 : 0;
}

} // namespace Tessarine::Lamino
