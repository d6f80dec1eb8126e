#pragma once

#include "gl/PerContextBase.h"
#include "gl/SlimMutex.h"

#include <windows.h>

#include <map>
#include <mutex>
#include <type_traits>

namespace Tessarine::Lamino {

// Values kept apart for each OpenGL rendering context, keyed by the context current on the
// calling thread (wglGetCurrentContext). For objects that GL does not share between contexts,
// such as framebuffers and vertex arrays: each context needs names of its own.
//
// Owns the values only (T should be plain data such as GL names; its destructor must make no GL
// call, since values are dropped when their context is deleted). Deleting the GL objects the
// values name is the owner's task, with their own context current. Objects that GL shares
// between contexts (textures, buffers, renderbuffers) outlive the context that made them, so an
// owner of such names gives a release function: it runs when a context is deleted while current
// on the deleting thread, before the context goes. A mutex guards the map.
template <typename T>
class PerContext : public PerContextBase {
public:
    using Release = void (*)(T&);

    explicit PerContext(Release release = nullptr) : release(release) {}
    ~PerContext() override { leaveList(); }

    // The value of the context current on the calling thread, default-constructed on first use.
    T& current()
    {
        std::lock_guard<SlimMutex> lock(mutex);
        return values[wglGetCurrentContext()];
    }

    bool hasCurrent() const
    {
        std::lock_guard<SlimMutex> lock(mutex);
        return values.count(wglGetCurrentContext()) != 0;
    }

    // Calls visit(HGLRC context, T& value) or visit(T& value) for every context's value.
    template <class F>
    void forEach(F visit)
    {
        std::lock_guard<SlimMutex> lock(mutex);
        for (auto& [context, value] : values) {
            if constexpr (std::is_invocable_v<F&, HGLRC, T&>)
                visit(context, value);
            else
                visit(value);
        }
    }

    void clear()
    {
        std::lock_guard<SlimMutex> lock(mutex);
        values.clear();
    }

    size_t size() const
    {
        std::lock_guard<SlimMutex> lock(mutex);
        return values.size();
    }

protected:
    void forget(HGLRC context) override
    {
        std::lock_guard<SlimMutex> lock(mutex);
        const auto found = values.find(context);
        if (found == values.end())
            return;
        if (release && context == wglGetCurrentContext())
            release(found->second);
        values.erase(found);
    }

private:
    const Release release;
    mutable SlimMutex mutex;
    std::map<HGLRC, T> values;
};

} // namespace Tessarine::Lamino
