#include "gl/BindingStates.h"

#include <glbinding/Binding.h>
#include <glbinding/ContextHandle.h>

#include <algorithm>
#include <mutex>
#include <vector>

namespace Tessarine::Lamino {

namespace {

std::mutex statesMutex;
std::vector<glbinding::ContextHandle> registered; // in glbinding's order of registration

} // namespace

void BindingStates::registerCurrentContext()
{
    const glbinding::ContextHandle context = glbinding::getCurrentContext();
    std::lock_guard<std::mutex> lock(statesMutex);
    // initialize does nothing for a handle it has seen before (drivers reuse handles of deleted
    // contexts), so the binding is pointed at the current context explicitly as well.
    glbinding::Binding::initialize(false);
    glbinding::Binding::useCurrentContext();
    if (std::find(registered.begin(), registered.end(), context) == registered.end())
        registered.push_back(context);
}

void BindingStates::releaseAll()
{
    std::lock_guard<std::mutex> lock(statesMutex);
    for (auto context = registered.rbegin(); context != registered.rend(); ++context)
        glbinding::Binding::releaseContext(*context);
    registered.clear();
}

size_t BindingStates::count()
{
    std::lock_guard<std::mutex> lock(statesMutex);
    return registered.size();
}

} // namespace Tessarine::Lamino
