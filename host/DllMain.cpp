// The plug-in library's load, unload and thread notifications.

#include <windows.h>

#include "gl/ContextRegistry.h"

using namespace Tessarine::Lamino;

// A render thread that ends takes its OpenGL context with it, deleted on that thread while it
// still runs: a context whose thread has ended is never given back by some drivers. Nothing is
// done at process detach: contexts still held then are not deleted while the loader tears down.
extern "C" BOOL WINAPI DllMain(HINSTANCE /*instance*/, DWORD reason, LPVOID /*reserved*/)
{
    if (reason == DLL_THREAD_DETACH) {
        try {
            ContextRegistry::releaseCurrentThread();
        } catch (...) {
            // a failed deletion leaves the context to global setdown
        }
    }
    return TRUE;
}
