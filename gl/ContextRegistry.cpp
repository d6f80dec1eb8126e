#include "gl/ContextRegistry.h"

#include "gl/AEOpenGLContext.h"
#include "gl/BindingStates.h"
#include "gl/PendingWindows.h"

#include <windows.h>

#include <atomic>
#include <map>

namespace Tessarine::Lamino {

namespace {

// Contexts are held by plain pointers on purpose: contexts still held when the library is
// unloaded are not deleted by static destruction (no WGL work while the loader tears down).
AEOpenGLContext* rootContext;
std::atomic<int32_t> threadCounter;
thread_local int32_t threadIndex = -1;
std::map<int32_t, AEOpenGLContext*> contexts;
// The index of each thread by its Windows id, for releaseCurrentThread: it runs when the thread
// ends, when the thread's own thread_local values may already be gone.
std::map<DWORD, int32_t> indicesByThread;
RecursiveSlimMutex registryMutex;
ContextRegistry::Hook threadEndHook = nullptr;

// Deletes a thread's context when the thread ends: a fiber-local value set on each thread that
// gets a context, whose callback the system runs as the thread ends, before the loader's
// thread-detach notifications and outside the loader lock (the context's deletion may wait for
// driver threads, which need that lock themselves). The value is the thread's id: the callbacks
// that FlsFree runs on the unloading thread for every other thread do nothing.
class ThreadEndWatch {
public:
    ~ThreadEndWatch()
    {
        // Library unload or process exit: no context is deleted while the loader tears down,
        // and no callback may stay behind pointing into the unloaded library.
        unloading = true;
        if (slot != FLS_OUT_OF_INDEXES)
            FlsFree(slot);
    }

    // Called with registryMutex held.
    void watchCallingThread()
    {
        if (slot == FLS_OUT_OF_INDEXES)
            slot = FlsAlloc(&threadEnded);
        if (slot != FLS_OUT_OF_INDEXES)
            FlsSetValue(slot, reinterpret_cast<void*>(uintptr_t(GetCurrentThreadId())));
    }

private:
    static void WINAPI threadEnded(void* value)
    {
        if (unloading || reinterpret_cast<uintptr_t>(value) != GetCurrentThreadId())
            return;
        try {
            ContextRegistry::releaseCurrentThread();
        } catch (...) {
            // the context is left to global setdown
        }
    }

    static inline std::atomic<bool> unloading{false};
    DWORD slot = FLS_OUT_OF_INDEXES;
};

ThreadEndWatch threadEndWatch;

} // namespace

void ContextRegistry::createRoot()
{
    std::lock_guard<RecursiveSlimMutex> lock(registryMutex);
    if (rootContext) {
        rootContext->makeCurrent();
        return;
    }
    rootContext = new AEOpenGLContext(nullptr);
}

AEOpenGLContext* ContextRegistry::root()
{
    return rootContext;
}

AEOpenGLContext* ContextRegistry::contextForCurrentThread()
{
    std::lock_guard<RecursiveSlimMutex> lock(registryMutex);
    if (threadIndex == -1)
        threadIndex = threadCounter.fetch_add(1);
    indicesByThread[GetCurrentThreadId()] = threadIndex;

    // An index without a context belongs to a thread whose context failed to build or was
    // deleted by destroyAll; it gets a fresh one rather than nothing.
    // Without a root (global setup found no OpenGL 3.3, or a later setdown removed it) the
    // first render makes it, so that every context shares one set of objects.
    if (!rootContext) {
        rootContext = new AEOpenGLContext(nullptr);
    }
    AEOpenGLContext*& slot = contexts[threadIndex];
    if (!slot) {
        // A failed build raises before slot is written; the empty slot is harmless.
        slot = new AEOpenGLContext(rootContext);
        threadEndWatch.watchCallingThread();
    }
    return slot;
}

void ContextRegistry::releaseCurrentThread()
{
    {
        // Held over the whole deletion: a thread ends whenever it ends, also while global setdown
        // runs on the host's thread, and destroyAll (under this lock) releases glbinding's table,
        // which the deletion's GL calls go through.
        std::lock_guard<RecursiveSlimMutex> lock(registryMutex);
        auto index = indicesByThread.find(GetCurrentThreadId());
        if (index == indicesByThread.end())
            return;
        auto found = contexts.find(index->second);
        indicesByThread.erase(index);
        if (found != contexts.end()) {
            AEOpenGLContext* context = found->second;
            contexts.erase(found);
            if (threadEndHook)
                threadEndHook();
            deleteOnItsThread(context);
        }
    }
    PendingWindows::sweep();
}

// Deleted on its own thread, the context gives its memory back and its window goes at once;
// windows of contexts deleted elsewhere before go too. It is made current first, so that the
// textures and buffers made in it, which the share group would keep, are deleted with it. The
// thread is pointed at glbinding's table only if it still exists: this path never registers one.
void ContextRegistry::deleteOnItsThread(AEOpenGLContext* context)
{
    if (!context)
        return;
    const HGLRC previous = wglGetCurrentContext();
    const HDC previousDeviceContext = wglGetCurrentDC();
    const HGLRC deleted = context->glContext();
    // Not current: its shared objects stay with the group until global setdown.
    context->makeCurrentWithExistingTable();
    delete context;
    if (previous && previous != deleted && wglGetCurrentContext() != previous)
        wglMakeCurrent(previousDeviceContext, previous);
}

void ContextRegistry::destroyAll()
{
    std::lock_guard<RecursiveSlimMutex> lock(registryMutex);
    for (auto& [index, context] : contexts)
        delete context;
    contexts.clear();
    delete rootContext;
    rootContext = nullptr;
    BindingStates::releaseAll();
}

int32_t ContextRegistry::currentThreadIndex()
{
    return threadIndex;
}

size_t ContextRegistry::threadContextCount()
{
    std::lock_guard<RecursiveSlimMutex> lock(registryMutex);
    size_t count = 0;
    for (const auto& entry : contexts)
        count += entry.second != nullptr;
    return count;
}

void ContextRegistry::setThreadEndHookForTesting(Hook hook)
{
    threadEndHook = hook;
}

RecursiveSlimMutex& ContextRegistry::mutexForTesting()
{
    return registryMutex;
}

} // namespace Tessarine::Lamino
